// Small helpers of the check's catalogue walks: a filter, sort or cursor that is put back when the
// walk ends, a field's text, and the rows of a filtered set read into plain values first so
// that nothing the walk calls can move the cursor under it.
#pragma once

#include <string>
#include <vector>

#include "platform/data/DataSet.h"

namespace catalog_scope {

// Remembers a data set's filter text and switch and, unless told otherwise, its current row, and
// puts them back when the scope ends. A closed set is left alone; an earlier filter that no longer
// applies is dropped rather than raised from here.
class FilterKeeper {
 public:
  explicit FilterKeeper(ado::TDataSet& dataSet, bool keepRow = true)
      : dataSet_(dataSet), filter_(dataSet.Filter()), filtered_(dataSet.Filtered()) {
    hasRow_ = keepRow && dataSet.Active() && !dataSet.IsEmpty() && !dataSet.Eof();
    if (hasRow_) bookmark_ = dataSet.GetBookmark();
  }
  ~FilterKeeper() {
    if (!dataSet_.Active()) return;
    try {
      dataSet_.SetFilter(filter_);
      dataSet_.SetFiltered(filtered_);
      if (hasRow_ && dataSet_.BookmarkValid(bookmark_)) dataSet_.GotoBookmark(bookmark_);
    } catch (...) {
      dataSet_.SetFiltered(false);
    }
  }
  FilterKeeper(const FilterKeeper&) = delete;
  FilterKeeper& operator=(const FilterKeeper&) = delete;

 private:
  ado::TDataSet& dataSet_;
  std::string filter_;
  bool filtered_;
  bool hasRow_ = false;
  ado::TBookmark bookmark_ = 0;
};

// Sets a filter on a data set for one walk, on its first row; what FilterKeeper keeps comes back
// when the scope ends.
class FilterScope : public FilterKeeper {
 public:
  FilterScope(ado::TDataSet& dataSet, const std::string& filter, bool keepRow = true)
      : FilterKeeper(dataSet, keepRow) {
    if (!dataSet.Active()) return;
    dataSet.SetFilter(filter);
    dataSet.SetFiltered(true);
    dataSet.First();
  }
};

// Remembers a data set's filter switch and current row, and puts both back.
class CursorKeeper {
 public:
  explicit CursorKeeper(ado::TDataSet& dataSet) : dataSet_(dataSet), filtered_(dataSet.Filtered()) {
    hasRow_ = dataSet.Active() && !dataSet.IsEmpty() && !dataSet.Eof();
    if (hasRow_) bookmark_ = dataSet.GetBookmark();
  }
  ~CursorKeeper() {
    if (!dataSet_.Active()) return;
    if (dataSet_.Filtered() != filtered_) dataSet_.SetFiltered(filtered_);
    if (hasRow_ && dataSet_.BookmarkValid(bookmark_)) dataSet_.GotoBookmark(bookmark_);
  }
  CursorKeeper(const CursorKeeper&) = delete;
  CursorKeeper& operator=(const CursorKeeper&) = delete;

 private:
  ado::TDataSet& dataSet_;
  bool filtered_;
  bool hasRow_ = false;
  ado::TBookmark bookmark_ = 0;
};

// Remembers a data set's sort and current row, and puts both back (a sort that no longer applies
// is dropped rather than raised from here).
class SortKeeper {
 public:
  explicit SortKeeper(ado::TDataSet& dataSet) : dataSet_(dataSet), sort_(dataSet.Sort()) {
    hasRow_ = dataSet_.Active() && !dataSet_.IsEmpty() && !dataSet_.Eof();
    if (hasRow_) bookmark_ = dataSet_.GetBookmark();
  }
  ~SortKeeper() {
    if (!dataSet_.Active()) return;
    try {
      if (dataSet_.Sort() != sort_) dataSet_.SetSort(sort_);
      if (hasRow_ && dataSet_.BookmarkValid(bookmark_)) dataSet_.GotoBookmark(bookmark_);
    } catch (...) {
      dataSet_.SetSort(std::string());
    }
  }
  SortKeeper(const SortKeeper&) = delete;
  SortKeeper& operator=(const SortKeeper&) = delete;

 private:
  ado::TDataSet& dataSet_;
  std::string sort_;
  bool hasRow_ = false;
  ado::TBookmark bookmark_ = 0;
};

// The text of a field of the current row; empty when the set lacks the field.
inline std::string TextOf(ado::TDataSet& row, const char* field) {
  const ado::TField* f = row.FindField(field);
  return f != nullptr ? f->AsString() : std::string();
}

// The visible rows of a set, each as the texts of the named fields in that order.
inline std::vector<std::vector<std::string>> ReadRows(ado::TDataSet& dataSet,
                                                      const std::vector<const char*>& fields) {
  std::vector<std::vector<std::string>> rows;
  if (!dataSet.Active()) return rows;
  for (dataSet.First(); !dataSet.Eof(); dataSet.Next()) {
    std::vector<std::string> row;
    row.reserve(fields.size());
    for (const char* field : fields) row.push_back(TextOf(dataSet, field));
    rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace catalog_scope
