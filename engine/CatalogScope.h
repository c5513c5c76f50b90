// Small helpers of the check's catalogue walks: filter values in single quotes, a filter that is
// put back when the walk ends, and the rows of a filtered set read into plain values first so
// that nothing the walk calls can move the cursor under it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/data/DataSet.h"

namespace catalog_scope {

// A text value for a data-set filter: in single quotes, inner quotes doubled.
inline std::string Quoted(std::string_view value) {
  std::string out = "'";
  for (char c : value) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out + "'";
}

// Sets a filter on a data set for one walk; the set's earlier filter text, filter switch and
// current row come back when the scope ends. A closed set is left alone.
class FilterScope {
 public:
  FilterScope(ado::TDataSet& dataSet, const std::string& filter)
      : dataSet_(dataSet), filter_(dataSet.Filter()), filtered_(dataSet.Filtered()) {
    if (!dataSet_.Active()) return;
    hasRow_ = !dataSet_.IsEmpty() && !dataSet_.Eof();
    if (hasRow_) bookmark_ = dataSet_.GetBookmark();
    dataSet_.SetFilter(filter);
    dataSet_.SetFiltered(true);
    dataSet_.First();
  }
  ~FilterScope() {
    if (!dataSet_.Active()) return;
    try {
      dataSet_.SetFiltered(false);
      dataSet_.SetFilter(filter_);
      dataSet_.SetFiltered(filtered_);
      if (hasRow_ && dataSet_.BookmarkValid(bookmark_)) dataSet_.GotoBookmark(bookmark_);
    } catch (...) {
      // An earlier filter that no longer parses is dropped rather than raised from here.
      dataSet_.SetFiltered(false);
    }
  }
  FilterScope(const FilterScope&) = delete;
  FilterScope& operator=(const FilterScope&) = delete;

 private:
  ado::TDataSet& dataSet_;
  std::string filter_;
  bool filtered_;
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
