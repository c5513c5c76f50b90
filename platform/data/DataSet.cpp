#include "platform/data/DataSet.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "common/Text.h"
#include "platform/data/Connection.h"
#include "platform/data/DataErrors.h"
#include "platform/data/DataSetInternal.h"
#include "platform/data/PersistXml.h"

namespace ado {

void AppendNumber(std::string& out, double d) {
  char buf[40];
  auto r = std::to_chars(buf, buf + sizeof buf, d);
  out.append(buf, r.ptr);
}

// An index serving Locate on one key list and case option: the encoded key of every visible row
// mapped to its rows in view order, so the first entry of a group is the row Locate moves to.
// Hashed: a lookup costs the same in a set of any size.
struct TDataSet::LocateIndex {
  std::vector<int> fields;
  bool ignoreCase = false;
  std::unordered_map<std::string, std::vector<int>> groups;
};

namespace {

constexpr size_t kMaxIndexes = 8;

const Variant& NullValue() {
  static const Variant null = Variant::Null();
  return null;
}

// Appends one field's part of a key so that equal keys (under the case option) encode equally.
// Every part but the last is preceded by its length.
void AppendKeyPart(std::string& out, const FieldDef& def, const Variant& v, bool ignoreCase,
                   bool last) {
  const size_t lengthAt = out.size();
  if (!last) out.append(sizeof(uint32_t), '\0');
  const size_t partAt = out.size();
  switch (v.Type()) {
    case VarType::Empty:
    case VarType::Null: out += '\x01'; break;
    case VarType::Text:
      if (def.Type == FieldType::ftBCD) {
        out += '\x04';
        AppendNumber(out, v.AsFloat());
      } else {
        const std::string& t = *v.IfText();
        out += '\x02';
        const size_t textAt = out.size();
        out += t;
        if (ignoreCase) {
          for (size_t i = textAt; i < out.size(); ++i)
            if (out[i] >= 'a' && out[i] <= 'z') out[i] = static_cast<char>(out[i] - 'a' + 'A');
        }
      }
      break;
    case VarType::Bool: out += v.AsBool() ? "\x03" "1" : "\x03" "0"; break;
    case VarType::Int:
      if (def.Type == FieldType::ftBCD) {
        out += '\x04';
        AppendNumber(out, v.AsFloat());
      } else {
        out += '\x05';
        out += std::to_string(v.AsInt());
      }
      break;
    case VarType::Float:
    case VarType::Currency:
      if (def.Type == FieldType::ftCurrency) {
        out += '\x06';
        out += std::to_string(v.AsCurrency().scaled);
      } else {
        out += '\x04';
        AppendNumber(out, v.AsFloat());
      }
      break;
    case VarType::DateTime:
      out += '\x07';
      AppendNumber(out, v.AsDateTime().value);
      break;
    case VarType::Bytes: {
      const Bytes& b = v.AsBytes();
      out += '\x08';
      out.append(b.begin(), b.end());
      break;
    }
    case VarType::Array: out += '\x09' + v.AsString(); break;
  }
  if (!last) {
    const uint32_t n = static_cast<uint32_t>(out.size() - partAt);
    std::memcpy(&out[lengthAt], &n, sizeof n);
  }
}

// The key of `value(i)`, the value of the i-th key field, for each key field in turn.
template <class Value>
std::string EncodeKeyOf(const std::vector<int>& fields, const FieldDefs& defs, bool ignoreCase, Value value) {
  std::string key;
  for (size_t i = 0; i < fields.size(); ++i) {
    AppendKeyPart(key, defs[static_cast<size_t>(fields[i])], value(i), ignoreCase, i + 1 == fields.size());
  }
  return key;
}

std::string EncodeKey(const std::vector<int>& fields, const FieldDefs& defs, const Row& row,
                      bool ignoreCase) {
  return EncodeKeyOf(fields, defs, ignoreCase,
                     [&](size_t i) -> const Variant& { return row[static_cast<size_t>(fields[i])]; });
}

void CheckUniqueNames(const FieldDefs& defs) {
  std::map<std::string, int, text::LessText> seen;
  for (const FieldDef& d : defs) {
    if (!seen.emplace(d.Name, 0).second) {
      throw EDatabaseError("Duplicate field name '" + d.Name + "'");
    }
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TField

const std::string& TField::FieldName() const { return Def().Name; }
FieldType TField::DataType() const { return Def().Type; }
int TField::Size() const { return Def().Size; }
const FieldDef& TField::Def() const { return dataSet_->defs_[static_cast<size_t>(index_)]; }
const Variant& TField::Value() const { return dataSet_->CurrentValue(index_); }
void TField::SetValue(const Variant& value) { dataSet_->SetCurrentValue(index_, value); }

// ---------------------------------------------------------------------------------------------
// Opening and closing

TDataSet::TDataSet() = default;
TDataSet::~TDataSet() = default;

void TDataSet::CreateDataSet() {
  if (defs_.empty()) throw EDatabaseError("Cannot create a data set without field definitions");
  CheckUniqueNames(defs_);
  ado::FieldDefs defs = defs_;
  OpenOn(std::move(defs), {});
}

void TDataSet::Assign(RowSet rows) {
  for (Row& row : rows.Rows) {
    row.resize(rows.Fields.size(), Variant::Null());
    for (size_t f = 0; f < rows.Fields.size(); ++f) CoerceInPlace(rows.Fields[f], row[f]);
  }
  OpenOn(std::move(rows.Fields), std::move(rows.Rows));
}

void TDataSet::OpenOn(ado::FieldDefs defs, std::vector<Row> rows) {
  Close();
  defs_ = std::move(defs);
  fields_.clear();
  fieldByName_.clear();
  locateFieldsText_.clear();
  locateFields_.clear();
  for (size_t i = 0; i < defs_.size(); ++i) {
    fields_.push_back(std::make_unique<TField>(*this, static_cast<int>(i)));
    fieldByName_.emplace(defs_[i].Name, static_cast<int>(i));
  }
  store_ = std::move(rows);
  order_.resize(store_.size());
  for (size_t i = 0; i < store_.size(); ++i) order_[i] = static_cast<int>(i);
  active_ = true;
  state_ = dsBrowse;
  // A sort or filter that does not fit the new fields is dropped, and the failure reported.
  std::string failure;
  if (!sortText_.empty()) {
    try {
      sortKeys_ = SortKeys(sortText_);
    } catch (const EDatabaseError& e) {
      sortText_.clear();
      sortKeys_.clear();
      failure = e.what();
    }
  }
  try {
    RebuildView();
  } catch (const EDatabaseError& e) {
    filtered_ = false;
    RebuildView();
    if (failure.empty()) failure = e.what();
  }
  if (!failure.empty()) throw EDatabaseError(failure);
}

void TDataSet::Open() {
  if (active_) return;
  if (!connection_) throw EDatabaseError("Missing Connection or ConnectionString");
  if (text::Trim(commandText_).empty()) throw EDatabaseError("CommandText is empty");
  connection_->Query(commandText_, *this);
}

int64_t TDataSet::ExecSQL() {
  if (!connection_) throw EDatabaseError("Missing Connection or ConnectionString");
  if (text::Trim(commandText_).empty()) throw EDatabaseError("CommandText is empty");
  return connection_->Execute(commandText_);
}

void TDataSet::Close() {
  active_ = false;
  state_ = dsInactive;
  store_.clear();
  order_.clear();
  view_.clear();
  posOf_.Clear();
  editBuffer_.clear();
  indexes_.clear();
  RowsChanged();
  cursor_ = 0;
  eof_ = bof_ = true;
}

void TDataSet::SetActive(bool value) {
  if (value) {
    Open();
  } else {
    Close();
  }
}

void TDataSet::Clone(const TDataSet& source) {
  if (!source.active_) throw EDatabaseError("Cannot perform this operation on a closed dataset");
  std::vector<Row> rows;
  rows.reserve(source.order_.size());
  for (int r : source.order_) rows.push_back(source.store_[static_cast<size_t>(r)]);
  filtered_ = false;
  filterText_.clear();
  filter_.reset();
  sortText_.clear();
  sortKeys_.clear();
  OpenOn(source.defs_, std::move(rows));
}

void TDataSet::EmptyDataSet() {
  CheckActive();
  if (state_ == dsEdit || state_ == dsInsert) Cancel();
  store_.clear();
  order_.clear();
  RowsChanged();
  RebuildView();
}

void TDataSet::LoadFromFile(const std::string& fileName, const PersistedLoad& rules) {
  Close();
  RowSet rs = LoadPersistedXml(fileName, rules);
  OpenOn(std::move(rs.Fields), std::move(rs.Rows));
}

void TDataSet::SaveToFile(const std::string& fileName, TPersistFormat /*format*/) {
  CheckActive();
  CheckBrowseMode();
  std::vector<const Row*> rows;
  rows.reserve(view_.size());
  for (int r : view_) rows.push_back(&store_[static_cast<size_t>(r)]);
  SavePersistedXml(fileName, defs_, rows);
}

void TDataSet::CheckActive() const {
  if (!active_) throw EDatabaseError("Cannot perform this operation on a closed dataset");
}

void TDataSet::CheckBrowseMode() {
  CheckActive();
  if (state_ == dsEdit || state_ == dsInsert) Post();
}

// ---------------------------------------------------------------------------------------------
// Fields

TField& TDataSet::Fields(int index) {
  if (index < 0 || index >= FieldCount()) {
    throw EDatabaseError("Field index out of range: " + std::to_string(index));
  }
  return *fields_[static_cast<size_t>(index)];
}

int TDataSet::FieldIndex(const std::string& name) const {
  // Trimmed in place: a name is looked up far more often than it has blanks around it.
  constexpr std::string_view blanks = " \t\r\n\f\v";
  std::string_view trimmed = name;
  const size_t first = trimmed.find_first_not_of(blanks);
  trimmed = first == std::string_view::npos ? std::string_view() : trimmed.substr(first);
  trimmed = trimmed.substr(0, trimmed.find_last_not_of(blanks) + 1);
  auto it = fieldByName_.find(trimmed);
  return it == fieldByName_.end() ? -1 : it->second;
}

bool TDataSet::NameLess::operator()(std::string_view a, std::string_view b) const {
  return text::CompareText(a, b) < 0;
}

TField& TDataSet::FieldByName(const std::string& name) {
  TField* f = FindField(name);
  if (!f) throw EDatabaseError("Field '" + name + "' not found");
  return *f;
}

TField* TDataSet::FindField(const std::string& name) {
  const int i = FieldIndex(name);
  return i < 0 ? nullptr : fields_[static_cast<size_t>(i)].get();
}

int TDataSet::CurrentRecord() const {
  if (view_.empty() || cursor_ < 0 || cursor_ >= static_cast<int>(view_.size())) return -1;
  return view_[static_cast<size_t>(cursor_)];
}

const Variant& TDataSet::CurrentValue(int field) const {
  if (state_ == dsEdit || state_ == dsInsert) return editBuffer_[static_cast<size_t>(field)];
  const int r = CurrentRecord();
  if (r < 0) return NullValue();
  const Row& row = store_[static_cast<size_t>(r)];
  return static_cast<size_t>(field) < row.size() ? row[static_cast<size_t>(field)] : NullValue();
}

void TDataSet::SetCurrentValue(int field, const Variant& value) {
  if (state_ != dsEdit && state_ != dsInsert) {
    throw EDatabaseError("Dataset not in edit or insert mode");
  }
  const FieldDef& def = defs_[static_cast<size_t>(field)];
  editBuffer_[static_cast<size_t>(field)] = CoerceToField(def, value);
}

// ---------------------------------------------------------------------------------------------
// Cursor

void TDataSet::MoveTo(int viewPos) {
  cursor_ = viewPos;
  eof_ = bof_ = false;
}

void TDataSet::First() {
  CheckBrowseMode();
  cursor_ = 0;
  bof_ = true;
  eof_ = view_.empty();
}

void TDataSet::Last() {
  CheckBrowseMode();
  cursor_ = view_.empty() ? 0 : static_cast<int>(view_.size()) - 1;
  eof_ = true;
  bof_ = view_.empty();
}

void TDataSet::Next() {
  CheckBrowseMode();
  if (cursor_ + 1 < static_cast<int>(view_.size())) {
    ++cursor_;
    eof_ = bof_ = false;
  } else {
    eof_ = true;
  }
}

void TDataSet::Prior() {
  CheckBrowseMode();
  if (cursor_ > 0 && !view_.empty()) {
    --cursor_;
    eof_ = bof_ = false;
  } else {
    bof_ = true;
  }
}

int TDataSet::RecNo() const {
  if (!active_ || view_.empty()) return 0;
  if (state_ == dsInsert) return 0;
  return cursor_ + 1;
}

void TDataSet::SetRecNo(int recNo) {
  CheckBrowseMode();
  if (recNo < 1 || recNo > static_cast<int>(view_.size())) {
    throw EDatabaseError("Record number out of range: " + std::to_string(recNo));
  }
  MoveTo(recNo - 1);
}

TBookmark TDataSet::GetBookmark() const {
  CheckActive();
  return CurrentRecord();
}

bool TDataSet::BookmarkValid(TBookmark bookmark) const {
  return active_ && bookmark >= 0 && bookmark < static_cast<TBookmark>(store_.size()) &&
         posOf_.Get(static_cast<int>(bookmark)) >= 0;
}

void TDataSet::GotoBookmark(TBookmark bookmark) {
  CheckBrowseMode();
  if (!BookmarkValid(bookmark)) throw EDatabaseError("Record not found");
  MoveTo(posOf_.Get(static_cast<int>(bookmark)));
}

// ---------------------------------------------------------------------------------------------
// Editing

void TDataSet::Append() {
  CheckBrowseMode();
  editBuffer_.assign(defs_.size(), Variant::Null());
  appending_ = true;
  state_ = dsInsert;
}

void TDataSet::Insert() {
  CheckBrowseMode();
  editBuffer_.assign(defs_.size(), Variant::Null());
  appending_ = false;
  insertPos_ = view_.empty() ? 0 : std::clamp(cursor_, 0, static_cast<int>(view_.size()));
  state_ = dsInsert;
}

void TDataSet::Edit() {
  CheckActive();
  if (state_ == dsEdit || state_ == dsInsert) return;
  if (view_.empty()) {
    Insert();
    return;
  }
  editBuffer_ = store_[static_cast<size_t>(CurrentRecord())];
  editBuffer_.resize(defs_.size(), Variant::Null());
  state_ = dsEdit;
}

void TDataSet::Post() {
  CheckActive();
  if (state_ != dsEdit && state_ != dsInsert) return;
  for (size_t f = 0; f < defs_.size(); ++f) {
    if (defs_[f].Required && editBuffer_[f].IsNullOrEmpty()) {
      throw EDatabaseError("Field '" + defs_[f].Name + "' must have a value");
    }
  }
  if (state_ == dsEdit) {
    const int r = CurrentRecord();
    Row before = std::move(store_[static_cast<size_t>(r)]);
    store_[static_cast<size_t>(r)] = std::move(editBuffer_);
    editBuffer_.clear();
    state_ = dsBrowse;
    RowsChanged();
    IndexRowChanged(r, before);
    return;
  }
  const int r = static_cast<int>(store_.size());
  store_.push_back(std::move(editBuffer_));
  editBuffer_.clear();
  const int pos = appending_ ? static_cast<int>(view_.size())
                             : std::min(insertPos_, static_cast<int>(view_.size()));
  if (appending_ || pos >= static_cast<int>(view_.size())) {
    order_.push_back(r);
  } else {
    const int before = view_[static_cast<size_t>(pos)];
    order_.insert(std::find(order_.begin(), order_.end(), before), r);
  }
  view_.insert(view_.begin() + pos, r);
  for (size_t i = static_cast<size_t>(pos); i < view_.size(); ++i) posOf_.Set(view_[i], static_cast<int>(i));
  state_ = dsBrowse;
  RowsChanged();
  MoveTo(pos);
  IndexRowInserted(r);
}

void TDataSet::Cancel() {
  CheckActive();
  if (state_ != dsEdit && state_ != dsInsert) return;
  editBuffer_.clear();
  state_ = dsBrowse;
}

void TDataSet::Delete() {
  CheckActive();
  if (state_ == dsInsert) {
    Cancel();
    return;
  }
  if (state_ == dsEdit) Cancel();
  if (view_.empty()) throw EDatabaseError("Cannot perform this operation on an empty dataset");
  const int pos = cursor_;
  const int r = view_[static_cast<size_t>(pos)];
  RowsChanged();
  IndexRowRemoved(r, store_[static_cast<size_t>(r)]);
  view_.erase(view_.begin() + pos);
  order_.erase(std::find(order_.begin(), order_.end(), r));
  posOf_.Set(r, -1);
  for (size_t i = static_cast<size_t>(pos); i < view_.size(); ++i) posOf_.Set(view_[i], static_cast<int>(i));
  Row().swap(store_[static_cast<size_t>(r)]);
  if (view_.empty()) {
    cursor_ = 0;
    eof_ = bof_ = true;
  } else {
    MoveTo(std::min(pos, static_cast<int>(view_.size()) - 1));
  }
}

// ---------------------------------------------------------------------------------------------
// Filter and sort

void TDataSet::SetFilter(const std::string& filterIn) {
  const std::string filter = filterIn;  // the argument may be Filter() itself
  std::unique_ptr<FilterNode> parsed;
  if (!text::Trim(filter).empty()) parsed = ParseFilter(filter);
  if (active_) CheckBrowseMode();
  std::string oldText = std::move(filterText_);
  std::unique_ptr<FilterNode> oldFilter = std::move(filter_);
  filterText_ = filter;
  filter_ = std::move(parsed);
  if (active_ && filtered_) {
    try {
      RebuildView();
    } catch (const EDatabaseError&) {
      filterText_ = std::move(oldText);
      filter_ = std::move(oldFilter);
      RebuildView();
      throw;
    }
  }
}

void TDataSet::SetFiltered(bool value) {
  if (value == filtered_) return;
  if (active_) CheckBrowseMode();
  filtered_ = value;
  if (!active_) return;
  try {
    RebuildView();
  } catch (const EDatabaseError&) {
    filtered_ = false;
    RebuildView();
    throw;
  }
}

std::vector<std::pair<int, bool>> TDataSet::SortKeys(const std::string& sort) const {
  std::vector<std::pair<int, bool>> keys;
  if (text::Trim(sort).empty()) return keys;
  for (std::string item : SplitNameList(sort, ",;")) {
    if (item.empty()) continue;
    bool desc = false;
    if (item.size() > 5 && text::EndsWithText(item, " DESC")) {
      desc = true;
      item = text::Trim(item.substr(0, item.size() - 5));
    } else if (item.size() > 4 && text::EndsWithText(item, " ASC")) {
      item = text::Trim(item.substr(0, item.size() - 4));
    }
    const int f = FieldIndex(item);
    if (f < 0) throw EDatabaseError("Field '" + item + "' not found");
    keys.emplace_back(f, desc);
  }
  return keys;
}

void TDataSet::SetSort(const std::string& sort) {
  if (!active_) {
    sortText_ = sort;
    return;
  }
  std::vector<std::pair<int, bool>> keys = SortKeys(sort);
  CheckBrowseMode();
  sortText_ = sort;
  sortKeys_ = std::move(keys);
  RebuildView();
}

std::string TDataSet::ViewSignature() const {
  return (filtered_ && filter_ ? filterText_ : std::string()) + '\x01' + sortText_;
}

void TDataSet::RowsChanged() {
  viewClean_ = false;
  savedViews_.clear();
  filterIndexes_.clear();
  filterUses_.clear();
}

namespace {

const FilterNode* IndexableEquality(const FilterNode& node, const FieldDefs& defs) {
  if (node.kind == FilterNode::kAnd) {
    const FilterNode* left = IndexableEquality(*node.left, defs);
    return left ? left : IndexableEquality(*node.right, defs);
  }
  if (node.kind == FilterNode::kCompare && node.op == FilterNode::kEq && node.literal.IfText() &&
      IsTextField(defs[static_cast<size_t>(node.field)].Type)) {
    return &node;
  }
  return nullptr;
}

}  // namespace

const std::vector<int>* TDataSet::FilterCandidates(const FilterNode& filter) {
  const FilterNode* eq = IndexableEquality(filter, defs_);
  if (!eq) return nullptr;
  auto ix = filterIndexes_.find(eq->field);
  if (ix == filterIndexes_.end()) {
    // A filter used once is cheaper to scan than to index.
    if (++filterUses_[eq->field] < 2) return nullptr;
    ix = filterIndexes_.emplace(eq->field, std::map<std::string, std::vector<int>>()).first;
    for (int r : order_) {
      const std::string* v = store_[static_cast<size_t>(r)][static_cast<size_t>(eq->field)].IfText();
      if (v) ix->second[text::Upper(*v)].push_back(r);
    }
  }
  static const std::vector<int> kNone;
  auto group = ix->second.find(text::Upper(*eq->literal.IfText()));
  return group == ix->second.end() ? &kNone : &group->second;
}

void TDataSet::RebuildView() {
  constexpr size_t kMaxSavedViews = 4;
  if (viewClean_) {
    if (savedViews_.size() >= kMaxSavedViews) {
      // The smallest view goes: it is the cheapest to build again, and the whole set's view,
      // which a walk comes back to between its filters, stays.
      auto smallest = savedViews_.begin();
      for (auto it = savedViews_.begin(); it != savedViews_.end(); ++it)
        if (it->second.view.size() < smallest->second.view.size()) smallest = it;
      savedViews_.erase(smallest);
    }
    SavedView& saved = savedViews_[viewSignature_];
    saved.view = std::move(view_);
    saved.posOf = std::move(posOf_);
    saved.indexes = std::move(indexes_);
  }
  viewClean_ = false;
  indexes_.clear();
  const std::string signature = ViewSignature();
  auto saved = savedViews_.find(signature);
  if (saved != savedViews_.end()) {
    view_ = std::move(saved->second.view);
    posOf_ = std::move(saved->second.posOf);
    indexes_ = std::move(saved->second.indexes);
    savedViews_.erase(saved);
  } else {
    const std::vector<int>* candidates = nullptr;
    if (filtered_ && filter_) {
      BindFilter(*filter_, [this](const std::string& n) { return FieldIndex(n); });
      candidates = FilterCandidates(*filter_);
    }
    view_ = candidates ? *candidates : order_;
    if (filtered_ && filter_) {
      std::erase_if(view_, [this](int r) {
        return !MatchesFilter(*filter_, store_[static_cast<size_t>(r)], defs_);
      });
    }
    if (!sortKeys_.empty()) {
      std::stable_sort(view_.begin(), view_.end(), [this](int a, int b) {
        const Row& ra = store_[static_cast<size_t>(a)];
        const Row& rb = store_[static_cast<size_t>(b)];
        for (const auto& [f, desc] : sortKeys_) {
          const int c =
              CompareVariants(ra[static_cast<size_t>(f)], rb[static_cast<size_t>(f)], true);
          if (c != 0) return desc ? c > 0 : c < 0;
        }
        return false;
      });
    }
    posOf_.Assign(view_, store_.size());
  }
  viewSignature_ = signature;
  viewClean_ = true;
  cursor_ = 0;
  bof_ = true;
  eof_ = view_.empty();
}

int TDataSet::Positions::Get(int record) const {
  if (dense_) return record >= 0 && static_cast<size_t>(record) < bySlot_.size() ? bySlot_[static_cast<size_t>(record)] : -1;
  auto found = byHash_.find(record);
  return found == byHash_.end() ? -1 : found->second;
}

void TDataSet::Positions::Set(int record, int pos) {
  if (!dense_) {
    if (pos < 0) byHash_.erase(record);
    else byHash_[record] = pos;
    return;
  }
  if (static_cast<size_t>(record) >= bySlot_.size()) bySlot_.resize(static_cast<size_t>(record) + 1, -1);
  bySlot_[static_cast<size_t>(record)] = pos;
}

void TDataSet::Positions::Assign(const std::vector<int>& view, size_t records) {
  Clear();
  dense_ = view.size() * 8 >= records;
  if (dense_) bySlot_.assign(records, -1);
  else byHash_.reserve(view.size());
  for (size_t i = 0; i < view.size(); ++i) Set(view[i], static_cast<int>(i));
}

void TDataSet::Positions::Clear() {
  dense_ = true;
  bySlot_.clear();
  byHash_.clear();
}

// ---------------------------------------------------------------------------------------------
// Locate and its indexes

void TDataSet::IndexRowInserted(int record) {
  const int pos = posOf_.Get(record);
  for (auto& ix : indexes_) {
    auto& group = ix->groups[EncodeKey(ix->fields, defs_, store_[static_cast<size_t>(record)],
                                       ix->ignoreCase)];
    auto at = std::lower_bound(group.begin(), group.end(), pos, [this](int r, int p) {
      return posOf_.Get(r) < p;
    });
    group.insert(at, record);
  }
}

void TDataSet::IndexRowRemoved(int record, const Row& values) {
  for (auto& ix : indexes_) {
    auto it = ix->groups.find(EncodeKey(ix->fields, defs_, values, ix->ignoreCase));
    if (it == ix->groups.end()) continue;
    std::erase(it->second, record);
    if (it->second.empty()) ix->groups.erase(it);
  }
}

void TDataSet::IndexRowChanged(int record, const Row& before) {
  const Row& after = store_[static_cast<size_t>(record)];
  const int pos = posOf_.Get(record);
  for (auto& ix : indexes_) {
    std::string oldKey = EncodeKey(ix->fields, defs_, before, ix->ignoreCase);
    std::string newKey = EncodeKey(ix->fields, defs_, after, ix->ignoreCase);
    if (oldKey == newKey) continue;
    auto it = ix->groups.find(oldKey);
    if (it != ix->groups.end()) {
      std::erase(it->second, record);
      if (it->second.empty()) ix->groups.erase(it);
    }
    auto& group = ix->groups[newKey];
    auto at = std::lower_bound(group.begin(), group.end(), pos, [this](int r, int p) {
      return posOf_.Get(r) < p;
    });
    group.insert(at, record);
  }
}

bool TDataSet::Locate(const std::string& keyFields, const Variant& keyValues,
                      TLocateOptions options) {
  CheckBrowseMode();
  const bool ignoreCase = (options & loCaseInsensitive) != 0;
  const bool partial = (options & loPartialKey) != 0;
  // The key list is read once for the calls that name it again, as the engine's walks do.
  if (keyFields != locateFieldsText_) {
    std::vector<int> named;
    auto addField = [&](const std::string& name) {
      const int f = FieldIndex(name);
      if (f < 0) throw EDatabaseError("Field '" + text::Trim(name) + "' not found");
      named.push_back(f);
    };
    if (keyFields.find_first_of(";[") == std::string::npos) {
      addField(keyFields);  // one plain name, the usual case
    } else {
      for (const std::string& name : SplitNameList(keyFields, ";")) addField(name);
    }
    locateFields_ = std::move(named);
    locateFieldsText_ = keyFields;
  }
  const std::vector<int>& fields = locateFields_;
  const Variant* values = &keyValues;
  if (keyValues.IsArray() && keyValues.AsArray().size() == fields.size()) {
    values = keyValues.AsArray().data();
  } else if (fields.size() != 1 || keyValues.IsArray()) {
    throw EDatabaseError("Locate: " + std::to_string(fields.size()) +
                         " key fields need as many key values");
  }
  if (view_.empty()) return false;
  // The key's values by position in the key list; a field named twice holds its last value at
  // each of its positions.
  std::vector<Variant> key(fields.size());
  for (size_t i = 0; i < fields.size(); ++i) {
    const size_t f = static_cast<size_t>(fields[i]);
    Variant value;
    try {
      value = CoerceToField(defs_[f], values[i]);
    } catch (const EVariantError&) {
      return false;  // a value the field cannot hold matches no row
    }
    for (size_t j = 0; j < i; ++j) {
      if (fields[j] != fields[i]) continue;
      // A field named twice must match both values: two different ones match no row.
      if (!partial &&
          (CompareVariants(key[j], value, ignoreCase) != 0 || key[j].IsNullOrEmpty() != value.IsNullOrEmpty()))
        return false;
      key[j] = value;
    }
    key[i] = std::move(value);
  }

  bool partialText = false;
  if (partial) {
    for (int f : fields) partialText = partialText || IsTextField(defs_[static_cast<size_t>(f)].Type);
  }
  if (partialText && fields.size() > 1) {
    // Partial keys over several fields: checked row by row.
    for (size_t pos = 0; pos < view_.size(); ++pos) {
      const Row& row = store_[static_cast<size_t>(view_[pos])];
      bool match = true;
      for (size_t i = 0; i < fields.size(); ++i) {
        const size_t fi = static_cast<size_t>(fields[i]);
        const Variant& v = row[fi];
        if (IsTextField(defs_[fi].Type) && !key[i].IsNullOrEmpty()) {
          const std::string s = v.AsString();
          const std::string p = key[i].AsString();
          match = !v.IsNullOrEmpty() && s.size() >= p.size() &&
                  (ignoreCase ? text::SameText(std::string_view(s).substr(0, p.size()), p)
                              : s.compare(0, p.size(), p) == 0);
        } else {
          match = CompareVariants(v, key[i], ignoreCase) == 0 &&
                  v.IsNullOrEmpty() == key[i].IsNullOrEmpty();
        }
        if (!match) break;
      }
      if (match) {
        MoveTo(static_cast<int>(pos));
        return true;
      }
    }
    return false;
  }

  LocateIndex* index = nullptr;
  for (auto& ix : indexes_) {
    if (ix->fields == fields && ix->ignoreCase == ignoreCase) index = ix.get();
  }
  if (!index) {
    if (indexes_.size() >= kMaxIndexes) indexes_.erase(indexes_.begin());
    auto ix = std::make_unique<LocateIndex>();
    ix->fields = fields;
    ix->ignoreCase = ignoreCase;
    ix->groups.reserve(view_.size());
    for (int r : view_) {
      ix->groups[EncodeKey(fields, defs_, store_[static_cast<size_t>(r)], ignoreCase)].push_back(r);
    }
    indexes_.push_back(std::move(ix));
    index = indexes_.back().get();
  }
  const std::string encoded = EncodeKeyOf(fields, defs_, ignoreCase, [&](size_t i) -> const Variant& { return key[i]; });
  if (!partialText || key[0].IsNullOrEmpty()) {
    auto it = index->groups.find(encoded);
    if (it == index->groups.end() || it->second.empty()) return false;
    MoveTo(posOf_.Get(it->second.front()));
    return true;
  }
  // One text field, partial: every key beginning with the value; the earliest row wins.
  int best = -1;
  for (const auto& [groupKey, rows] : index->groups) {
    if (rows.empty() || groupKey.compare(0, encoded.size(), encoded) != 0) continue;
    const int pos = posOf_.Get(rows.front());
    if (best < 0 || pos < best) best = pos;
  }
  if (best < 0) return false;
  MoveTo(best);
  return true;
}

}  // namespace ado
