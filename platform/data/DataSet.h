// The data set of the data-access layer: field definitions, rows, a cursor, editing with states,
// filters and sorts given as text, Locate served by lazily built indexes, persisted recordsets and
// queries through a connection.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/data/FieldDef.h"
#include "platform/data/PersistXml.h"
#include "platform/data/Variant.h"

namespace ado {

class TConnection;
class TDataSet;
struct FilterNode;

enum TDataSetState { dsInactive, dsBrowse, dsEdit, dsInsert };

// Locate options, combined with "|".
using TLocateOptions = unsigned;
constexpr TLocateOptions loCaseInsensitive = 1;
constexpr TLocateOptions loPartialKey = 2;

// Forms of a persisted recordset. Only the XML form is written: a binary form asked for is
// written as XML too (loading recognises the form by the file's content, not by its name).
enum TPersistFormat { pfADTG, pfXML };

// A stable handle of a row, valid until the data set is closed or emptied.
using TBookmark = int64_t;

// One field of an open data set: its definition and the value in the current row (the edit
// buffer while editing). Owned by the data set; valid while the data set stays open.
class TField {
 public:
  TField(TDataSet& dataSet, int index) : dataSet_(&dataSet), index_(index) {}

  const std::string& FieldName() const;
  FieldType DataType() const;
  int Size() const;
  int Index() const { return index_; }
  const FieldDef& Def() const;

  // The value in the current row; null when there is no current row.
  const Variant& Value() const;
  // Stores a value converted to the field's type; raises EDatabaseError when the data set is not
  // in edit or insert mode and EVariantError when the value does not convert.
  void SetValue(const Variant& value);
  bool IsNull() const { return Value().IsNullOrEmpty(); }
  void Clear() { SetValue(Variant::Null()); }

  std::string AsString() const { return Value().AsString(); }
  int64_t AsInteger() const { return Value().AsInt(); }
  bool AsBoolean() const { return Value().AsBool(); }
  double AsFloat() const { return Value().AsFloat(); }
  DateTime AsDateTime() const { return Value().AsDateTime(); }
  Currency AsCurrency() const { return Value().AsCurrency(); }
  void SetAsString(const std::string& v) { SetValue(Variant(v)); }
  void SetAsInteger(int64_t v) { SetValue(Variant(static_cast<long long>(v))); }
  void SetAsBoolean(bool v) { SetValue(Variant(v)); }
  void SetAsFloat(double v) { SetValue(Variant(v)); }
  void SetAsDateTime(DateTime v) { SetValue(Variant(v)); }
  void SetAsCurrency(Currency v) { SetValue(Variant(v)); }

 private:
  TDataSet* dataSet_;
  int index_;
};

class TDataSet {
 public:
  TDataSet();
  ~TDataSet();
  TDataSet(const TDataSet&) = delete;
  TDataSet& operator=(const TDataSet&) = delete;

  // --- Definition and opening --------------------------------------------------------------
  // The field definitions used by CreateDataSet; an open data set reports its own fields here.
  ado::FieldDefs& FieldDefs() { return defs_; }
  const ado::FieldDefs& FieldDefs() const { return defs_; }
  // Opens the data set empty with the current field definitions. Raises EDatabaseError when
  // there are none or two share a name.
  void CreateDataSet();
  // Opens the data set on the rowset's fields and rows (moved in, converted to the field types),
  // positioned on the first row. Every way of opening applies the Filter and Sort already set; a
  // filter or sort naming a field the new rows lack raises EDatabaseError after opening, with
  // the data set open unfiltered (or unsorted).
  void Assign(RowSet rows);
  // Opens the command text through the connection; raises EDatabaseError when either is
  // missing or the command returns no rows, EOleException when the server refuses it.
  void Open();
  // Runs the command text through the connection without opening the data set; returns the
  // rows affected (-1 when no statement counts rows). Raises as Open does.
  int64_t ExecSQL();
  // Discards the rows (and a pending edit); field definitions stay.
  void Close();
  bool Active() const { return active_; }
  void SetActive(bool value);

  TConnection* Connection() const { return connection_; }
  void SetConnection(TConnection* connection) { connection_ = connection; }
  const std::string& CommandText() const { return commandText_; }
  void SetCommandText(const std::string& sql) { commandText_ = sql; }

  // Copies source's field definitions and all its rows (natural order, no filter or sort) into
  // this data set, which is opened on them; the two sets are independent afterwards.
  void Clone(const TDataSet& source);
  // Removes every row; the data set stays open.
  void EmptyDataSet();

  // --- Persisted recordsets ----------------------------------------------------------------
  // Closes the data set and opens it on the persisted recordset. A missing, truncated or
  // malformed file raises EDatabaseError naming the file and leaves the data set closed, as does a
  // file that breaks `rules` (PersistXml.h).
  void LoadFromFile(const std::string& fileName, const PersistedLoad& rules = {});
  // Writes the visible rows (current filter and sort) in ADO's XML persistence form, replacing
  // the file only when the whole file is written.
  void SaveToFile(const std::string& fileName, TPersistFormat format = pfXML);

  // --- Fields ------------------------------------------------------------------------------
  int FieldCount() const { return static_cast<int>(fields_.size()); }
  TField& Fields(int index);
  const TField& Fields(int index) const { return const_cast<TDataSet*>(this)->Fields(index); }
  // Case ignored. Raises EDatabaseError "Field 'X' not found" when missing.
  TField& FieldByName(const std::string& name);
  const TField& FieldByName(const std::string& name) const {
    return const_cast<TDataSet*>(this)->FieldByName(name);
  }
  // Case ignored; nullptr when missing.
  TField* FindField(const std::string& name);
  const TField* FindField(const std::string& name) const {
    return const_cast<TDataSet*>(this)->FindField(name);
  }

  // --- Cursor ------------------------------------------------------------------------------
  void First();
  void Next();
  void Prior();
  void Last();
  bool Eof() const { return eof_; }
  bool Bof() const { return bof_; }
  bool IsEmpty() const { return view_.empty(); }
  // Rows visible through the filter.
  int RecordCount() const { return static_cast<int>(view_.size()); }
  // 1-based position of the current row among the visible rows; 0 when there is none.
  int RecNo() const;
  void SetRecNo(int recNo);
  TBookmark GetBookmark() const;
  // Moves to the row; raises EDatabaseError when it is no longer visible.
  void GotoBookmark(TBookmark bookmark);
  bool BookmarkValid(TBookmark bookmark) const;

  // --- Editing ------------------------------------------------------------------------------
  TDataSetState State() const { return state_; }
  void Append();
  void Insert();
  void Edit();
  void Post();
  void Cancel();
  void Delete();

  // --- Filter, sort and search -----------------------------------------------------------------
  // Filter text: comparisons "field op value" (=, <>, <, >, <=, >=; text in single quotes
  // with quotes doubled, numbers, True/False, #date#, NULL) joined by AND/OR with parentheses.
  // Text compares ignoring case. Applied when Filtered is true; bad text raises EDatabaseError.
  // Rows posted later stay visible where they are until the filter or sort is set again.
  const std::string& Filter() const { return filterText_; }
  void SetFilter(const std::string& filter);
  bool Filtered() const { return filtered_; }
  void SetFiltered(bool value);
  // "a; b" or "a ASC, b DESC"; empty restores the natural order.
  const std::string& Sort() const { return sortText_; }
  void SetSort(const std::string& sort);
  // Moves to the first visible row whose key fields (";"-separated) equal the values (one
  // Variant for one field, a VariantArray for several). Returns false, not moving, when none.
  bool Locate(const std::string& keyFields, const Variant& keyValues, TLocateOptions options);

  // Controls bound to the data set are not refreshed while disabled (calls nest).
  void DisableControls() { ++controlsDisabled_; }
  void EnableControls() {
    if (controlsDisabled_ > 0) --controlsDisabled_;
  }
  bool ControlsDisabled() const { return controlsDisabled_ > 0; }

 private:
  friend class TField;
  struct LocateIndex;

  const Variant& CurrentValue(int field) const;
  void SetCurrentValue(int field, const Variant& value);
  void OpenOn(ado::FieldDefs defs, std::vector<Row> rows);
  void CheckActive() const;
  void CheckBrowseMode();
  void RebuildView();
  // Field indexes and descending flags of sort text; raises when a field is missing.
  std::vector<std::pair<int, bool>> SortKeys(const std::string& sort) const;
  // Called on every change of rows: views kept aside no longer match them.
  void RowsChanged();
  std::string ViewSignature() const;
  // The rows (natural order) that can match an equality on a text field in the filter's
  // top-level AND chain, from an index; nullptr when no index serves the filter.
  const std::vector<int>* FilterCandidates(const FilterNode& filter);
  int FieldIndex(const std::string& name) const;
  int CurrentRecord() const;
  void MoveTo(int viewPos);
  // Index maintenance when a row appears at, leaves or changes at a view position.
  void IndexRowInserted(int record);
  void IndexRowRemoved(int record, const Row& values);
  void IndexRowChanged(int record, const Row& before);

  ado::FieldDefs defs_;
  std::vector<std::unique_ptr<TField>> fields_;
  // Field indexes by name, case ignored; looked up by any text without copying it.
  struct NameLess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
  };
  std::map<std::string, int, NameLess> fieldByName_;
  bool active_ = false;
  TDataSetState state_ = dsInactive;

  // Rows live in store_ and keep their slot (the bookmark) until closed; order_ is the
  // natural order, view_ the visible rows in the current sort, posOf_ a row's view position.
  std::vector<Row> store_;
  std::vector<int> order_;
  std::vector<int> view_;
  // A row's view position (-1 outside the view): by slot for a view of most rows, in a hash for
  // a view of few, so that a small filtered view costs what it holds, not the whole set.
  class Positions {
   public:
    int Get(int record) const;
    void Set(int record, int pos);
    void Assign(const std::vector<int>& view, size_t records);
    void Clear();

   private:
    bool dense_ = true;
    std::vector<int> bySlot_;
    std::unordered_map<int, int> byHash_;
  };
  Positions posOf_;
  int cursor_ = 0;
  bool eof_ = true;
  bool bof_ = true;

  Row editBuffer_;
  int insertPos_ = 0;
  bool appending_ = false;

  std::string filterText_;
  bool filtered_ = false;
  std::unique_ptr<FilterNode> filter_;
  std::string sortText_;
  std::vector<std::pair<int, bool>> sortKeys_;  // field, descending

  std::vector<std::unique_ptr<LocateIndex>> indexes_;
  // The field indexes of the key list Locate was last given, kept while the fields stay.
  std::string locateFieldsText_;
  std::vector<int> locateFields_;
  // Views (with their indexes) of other filter and sort settings, kept while no row changes so
  // that switching a filter off and on again, as the engine does around a Locate, rebuilds
  // neither the view nor its indexes.
  struct SavedView {
    std::vector<int> view;
    Positions posOf;
    std::vector<std::unique_ptr<LocateIndex>> indexes;
  };
  std::map<std::string, SavedView> savedViews_;
  std::string viewSignature_;
  bool viewClean_ = false;  // view_ is exactly what its settings select from the rows
  // Per text field filtered on by equality more than once: the rows of each value (upper case),
  // in natural order; dropped on every change of rows.
  std::map<int, std::map<std::string, std::vector<int>>> filterIndexes_;
  std::map<int, int> filterUses_;

  TConnection* connection_ = nullptr;
  std::string commandText_;
  int controlsDisabled_ = 0;
};

}  // namespace ado
