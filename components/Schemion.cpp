#include "components/Schemion.h"

#include <algorithm>
#include <vector>

#include "common/Text.h"
#include "dialects/uDbSpecific.h"

namespace {

constexpr std::string_view kAddConstraint = " ADD CONSTRAINT ";
constexpr std::string_view kDropConstraint = " DROP CONSTRAINT ";
constexpr std::string_view kDropColumn = " DROP COLUMN ";
constexpr std::string_view kPrimaryKey = " PRIMARY KEY ";
constexpr std::string_view kForeignKey = " FOREIGN KEY (";
constexpr std::string_view kReferences = " REFERENCES ";
constexpr std::string_view kDefault = " DEFAULT ";
constexpr std::string_view kFor = " FOR ";
constexpr std::string_view kIndex = " INDEX ";

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

// A plain name part ends at these characters.
bool EndsPlainPart(char c) {
  return IsBlank(c) || c == '.' || c == '(' || c == ')' || c == ',' || c == ';';
}

bool IsWordChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '@' || c == '#' || c == '$';
}

// The text from `pos` on; empty when `pos` lies past its end.
std::string_view After(std::string_view s, size_t pos) {
  return pos >= s.size() ? std::string_view() : s.substr(pos);
}

bool Contains(std::string_view s, std::string_view part) { return s.find(part) != s.npos; }

// The text between the first `open` and the next `close` after it; empty when either is missing.
std::string_view Between(std::string_view s, std::string_view open, std::string_view close) {
  const size_t a = s.find(open);
  if (a == s.npos) return {};
  const size_t from = a + open.size();
  const size_t b = s.find(close, from);
  return b == s.npos ? std::string_view() : s.substr(from, b - from);
}

// True when `word` stands in `s` as a whole word (exact case), whatever surrounds it.
bool HasWord(std::string_view s, std::string_view word) {
  for (size_t p = s.find(word); p != s.npos; p = s.find(word, p + 1)) {
    const bool startOk = p == 0 || !IsWordChar(s[p - 1]);
    const size_t end = p + word.size();
    const bool endOk = end >= s.size() || !IsWordChar(s[end]);
    if (startOk && endOk) return true;
  }
  return false;
}

// "UNIQUE", "CLUSTERED" or both joined by ";", by the words that stand in `options`.
std::string IndexOptions(std::string_view options) {
  std::string detail = HasWord(options, "UNIQUE") ? "UNIQUE" : "";
  if (HasWord(options, "CLUSTERED")) {
    if (!detail.empty()) detail += ";";
    detail += "CLUSTERED";
  }
  return detail;
}

// Reads one dotted name starting at `pos` (blanks before it skipped) with the quotes `open` and
// `close` (empty: no quoted parts); returns it as written and sets `end` after it.
std::string ReadName(std::string_view s, size_t pos, const std::string& open,
                     const std::string& close, size_t& end) {
  while (pos < s.size() && IsBlank(s[pos])) ++pos;
  std::string name;
  while (pos < s.size()) {
    if (!open.empty() && s.compare(pos, open.size(), open) == 0) {
      const size_t closing = close.empty() ? s.npos : s.find(close, pos + open.size());
      const size_t stop = closing == s.npos ? s.size() : closing + close.size();
      name.append(s.substr(pos, stop - pos));
      pos = stop;
    } else {
      const size_t start = pos;
      while (pos < s.size() && !EndsPlainPart(s[pos])) ++pos;
      name.append(s.substr(start, pos - start));
    }
    if (pos >= s.size() || s[pos] != '.') break;
    name += '.';
    ++pos;
  }
  end = pos;
  return name;
}

}  // namespace

const TDatabaseSpecific* TInstruction::Dialect() const {
  return Owner != nullptr ? Owner->CurrentDialect() : nullptr;
}

void TInstruction::SetInstruction(int aNumber, const std::string& aSql) {
  Number = aNumber;
  Sql = aSql;
  Classify();
}

void TInstruction::ClearNames() {
  DatabaseName.clear();
  OwnerName.clear();
  ObjectName.clear();
  SecondName.clear();
  Detail.clear();
}

std::string TInstruction::QuoteName(const std::string& aName, bool aAdd) const {
  const TDatabaseSpecific* dialect = Dialect();
  const std::string open = dialect != nullptr ? dialect->QuoteOpen : std::string();
  const std::string close = dialect != nullptr ? dialect->QuoteClose : std::string();
  if (aAdd) return open + aName + close;
  std::string name = text::Trim(aName);
  if (!open.empty() && name.compare(0, open.size(), open) == 0) name.erase(0, open.size());
  if (!close.empty() && name.size() >= close.size() &&
      name.compare(name.size() - close.size(), close.size(), close) == 0) {
    name.erase(name.size() - close.size());
  }
  return name;
}

std::string TInstruction::FirstName(std::string_view aText) const {
  const TDatabaseSpecific* dialect = Dialect();
  size_t end = 0;
  return ReadName(aText, 0, dialect != nullptr ? dialect->QuoteOpen : std::string(),
                  dialect != nullptr ? dialect->QuoteClose : std::string(), end);
}

void TInstruction::SplitName(const std::string& aName, std::string& aDatabase,
                             std::string& aOwner, std::string& aObject) const {
  aDatabase.clear();
  aOwner.clear();
  aObject.clear();
  const std::string name = text::Trim(aName);
  const TDatabaseSpecific* dialect = Dialect();
  const std::string open = dialect != nullptr ? dialect->QuoteOpen : std::string();
  const std::string close = dialect != nullptr ? dialect->QuoteClose : std::string();
  // Cut at dots outside the dialect's quotes: at most two cuts, the third part keeps the rest.
  std::vector<std::string> parts;
  size_t start = 0;
  size_t pos = 0;
  while (pos < name.size() && parts.size() < 2) {
    if (!open.empty() && name.compare(pos, open.size(), open) == 0) {
      const size_t closing = close.empty() ? name.npos : name.find(close, pos + open.size());
      pos = closing == name.npos ? name.size() : closing + close.size();
    } else if (name[pos] == '.') {
      parts.push_back(name.substr(start, pos - start));
      start = ++pos;
      if (start >= name.size()) break;  // an empty remainder ends the cutting
    } else {
      ++pos;
    }
  }
  if (start < name.size() || parts.empty()) parts.push_back(name.substr(std::min(start, name.size())));
  switch (parts.size()) {
    case 1: aObject = QuoteName(parts[0], false); break;
    case 2:
      aOwner = QuoteName(parts[0], false);
      aObject = QuoteName(parts[1], false);
      break;
    default:
      aDatabase = QuoteName(parts[0], false);
      aOwner = QuoteName(parts[1], false);
      aObject = QuoteName(parts[2], false);
      break;
  }
}

bool TInstruction::SetTableName(std::string_view text) {
  SplitName(FirstName(text), DatabaseName, OwnerName, ObjectName);
  return !ObjectName.empty() || !OwnerName.empty() || !DatabaseName.empty();
}

bool TInstruction::ClassifyDialectStatement() {
  TDatabaseSpecific* dialect = Owner != nullptr ? Owner->CurrentDialect() : nullptr;
  if (dialect == nullptr) return false;
  TInstructionKind kind = ikUnknown;
  std::string first;
  std::string second;
  if (dialect->IsDbSpaceStatement(Sql, kind, first, second)) {
    Kind = kind;
    DatabaseName = first;  // the db space itself, which would otherwise reach no handler
    SecondName = second;
    return true;
  }
  if (dialect->IsUserStatement(Sql, kind, first, second)) {
    Kind = kind;
    OwnerName = first;
    SecondName = second;
    return true;
  }
  return false;
}

void TInstruction::Classify() {
  Kind = ikUnknown;
  ClearNames();
  if (ClassifyDialectStatement()) return;
  const std::string_view sql = Sql;
  if (text::StartsWithText(sql, "CREATE TABLE")) {
    Kind = ikCreateTable;
    SetTableName(After(sql, 12));
  } else if (text::StartsWithText(sql, "ALTER TABLE")) {
    ClassifyAlterTable();
  } else if (text::StartsWithText(sql, "DROP TABLE")) {
    Kind = ikDropTable;
    SetTableName(After(sql, 10));
  } else if (text::StartsWithText(sql, "UPDATE ")) {
    Kind = ikUpdateTable;
    SetTableName(After(sql, 7));
  } else if (text::StartsWithText(sql, "DELETE FROM ")) {
    Kind = ikDeleteFrom;
    SetTableName(After(sql, 12));
  } else if (text::StartsWithText(sql, "CREATE") && Contains(sql, kIndex)) {
    ClassifyIndex();
  } else if (text::StartsWithText(sql, "DROP INDEX ")) {
    Kind = ikDropIndex;
    ClassifyDropIndex(After(sql, 11));
  }
}

void TInstruction::ClassifyAlterTable() {
  const std::string_view sql = Sql;
  const std::string_view table = After(sql, 11);
  const bool addConstraint = Contains(sql, kAddConstraint);
  if (!addConstraint && !Contains(sql, kDropColumn) && !Contains(sql, "DROP CONSTRAINT ")) {
    Kind = ikAlterTable;
    SetTableName(table);
    return;
  }
  if (Contains(sql, kDropColumn)) {
    Kind = ikDropField;
    SetTableName(table);
    SecondName = QuoteName(std::string(After(sql, sql.find(kDropColumn) + kDropColumn.size())), false);
    return;
  }
  if (addConstraint && Contains(sql, kPrimaryKey)) {
    Kind = ikCreatePrimaryKey;
    if (!SetTableName(table)) return;
    SecondName = QuoteName(std::string(Between(sql, kAddConstraint, kPrimaryKey)), false);
    // The key's options stand between PRIMARY KEY and its column list.
    const std::string_view options = After(sql, sql.find(kPrimaryKey) + kPrimaryKey.size());
    Detail = IndexOptions(options.substr(0, options.find('(')));
  } else if (addConstraint && Contains(sql, kForeignKey)) {
    Kind = ikCreateForeignKey;
    if (!SetTableName(table)) return;
    SecondName = QuoteName(std::string(Between(sql, kAddConstraint, kForeignKey)), false);
    const size_t p = sql.find(kReferences);
    if (p != sql.npos) {
      std::string database, owner, object;
      SplitName(FirstName(After(sql, p + kReferences.size())), database, owner, object);
      Detail = object;  // the referenced table
    }
  } else if (addConstraint && Contains(sql, kDefault)) {
    Kind = ikCreateDefaultValue;
    if (!SetTableName(table)) return;
    SecondName = QuoteName(std::string(Between(sql, kAddConstraint, kDefault)), false);
    const std::string rest = text::Trim(After(sql, sql.find(kDefault) + kDefault.size()));
    const size_t f = rest.find(kFor);
    if (f != std::string::npos) {
      const std::string value = text::Trim(std::string_view(rest).substr(0, f));
      const std::string column = QuoteName(std::string(After(rest, f + kFor.size())), false);
      Detail = column + "=" + value;
    }
  } else if (addConstraint || Contains(sql, kDropConstraint)) {
    Kind = addConstraint ? ikCreateConstraint : ikDropConstraint;
    if (!SetTableName(table)) return;
    const std::string_view keyword = addConstraint ? kAddConstraint : kDropConstraint;
    SecondName = QuoteName(FirstName(After(sql, sql.find(keyword) + keyword.size())), false);
  }
}

void TInstruction::ClassifyIndex() {
  const std::string_view sql = Sql;
  Kind = ikCreateIndex;
  const size_t p = sql.find(kIndex);
  Detail = IndexOptions(text::Trim(sql.substr(0, p)));
  const TDatabaseSpecific* dialect = Dialect();
  const std::string open = dialect != nullptr ? dialect->QuoteOpen : std::string();
  const std::string close = dialect != nullptr ? dialect->QuoteClose : std::string();
  size_t end = 0;
  const std::string rest(After(sql, p + kIndex.size()));
  SecondName = QuoteName(ReadName(rest, 0, open, close, end), false);
  while (end < rest.size() && IsBlank(rest[end])) ++end;
  if (text::StartsWithText(After(rest, end), "ON ")) SetTableName(After(rest, end + 3));
}

void TInstruction::ClassifyDropIndex(std::string_view rest) {
  const std::string name = text::Trim(rest);
  const TDatabaseSpecific* dialect = Dialect();
  const std::string open = dialect != nullptr ? dialect->QuoteOpen : std::string();
  const std::string close = dialect != nullptr ? dialect->QuoteClose : std::string();
  size_t end = 0;
  const std::string index = ReadName(name, 0, open, close, end);
  while (end < name.size() && IsBlank(name[end])) ++end;
  if (text::StartsWithText(After(name, end), "ON ")) {
    // "DROP INDEX ix ON T": the index and then its table.
    ObjectName = QuoteName(index, false);
    std::string database, owner;
    SplitName(FirstName(After(name, end + 3)), database, owner, SecondName);
    return;
  }
  // Roles in order: owner, second name (the table), object (the index).
  std::string first, second, third;
  SplitName(name, first, second, third);
  OwnerName = first;
  SecondName = second;
  ObjectName = third;
}
