#include "servers/core/Rowsets.h"

#include <strings.h>

#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

#include "common/Text.h"
#include "platform/data/SchemaRowsets.h"
#include "servers/core/Sqlite.h"

namespace servers {

namespace {

using text::Lower;

ado::FieldType FieldTypeOf(const std::string& decl) {
  std::string d = Lower(decl);
  if (d == "int") return ado::FieldType::ftInteger;
  if (d == "smallint") return ado::FieldType::ftSmallint;
  if (d == "tinyint") return ado::FieldType::ftByte;
  if (d == "bigint") return ado::FieldType::ftLargeint;
  if (d == "bit") return ado::FieldType::ftBoolean;
  if (d == "float" || d == "real") return ado::FieldType::ftFloat;
  if (d == "money" || d == "smallmoney") return ado::FieldType::ftCurrency;
  if (d == "decimal" || d == "numeric") return ado::FieldType::ftBCD;
  if (d == "datetime" || d == "smalldatetime") return ado::FieldType::ftDateTime;
  if (d == "text" || d == "ntext") return ado::FieldType::ftMemo;
  if (d == "image") return ado::FieldType::ftBlob;
  if (d == "binary" || d == "varbinary" || d == "timestamp") return ado::FieldType::ftBytes;
  if (d == "uniqueidentifier") return ado::FieldType::ftGuid;
  return ado::FieldType::ftString;
}

ado::Variant ToDateTime(const std::string& text) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0;
  if (std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d.%d", &y, &mo, &d, &h, &mi, &s, &ms) >= 3 && y > 0)
    return ado::EncodeDateTime(y, mo, d, h, mi, s, ms);
  return text;
}

bool IsNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// The end of the quoted part opening at `p` (past its closing quote; a doubled one stands for
// one, except in brackets), npos when it is not closed.
size_t QuoteEnd(const std::string& sql, size_t p, char close) {
  size_t i = p + 1;
  while (i < sql.size()) {
    if (sql[i] == close) {
      if (close != ']' && i + 1 < sql.size() && sql[i + 1] == close) {
        i += 2;
        continue;
      }
      return i + 1;
    }
    ++i;
  }
  return std::string::npos;
}

// Words after which a number or text is not a value alone.
bool ShapeBreakingWord(const std::string& sql, size_t p, size_t end) {
  const std::string word = sql.substr(p, end - p);
  for (const char* w : {"LIMIT", "ORDER", "GROUP", "OFFSET", "COLLATE"})
    if (strcasecmp(word.c_str(), w) == 0) return true;
  return false;
}

// The digits at `p`: a whole number goes to `out` as the next numbered parameter, its value to
// `values`; other digits are copied as they stand. Returns the position after the digits.
size_t TakeWholeNumber(const std::string& sql, size_t p, std::string& out, std::vector<ado::Variant>& values) {
  size_t end = p;
  while (end < sql.size() && std::isdigit(static_cast<unsigned char>(sql[end]))) ++end;
  if (end - p <= 15 && (end == sql.size() || (!IsNameChar(sql[end]) && sql[end] != '.'))) {
    values.emplace_back(static_cast<long long>(std::stoll(sql.substr(p, end - p))));
    out += "?" + std::to_string(values.size());
  } else {
    out.append(sql, p, end - p);
  }
  return end;
}

// The single-quoted text from `p` to `end`: its value to `values`, the next parameter to `out`.
void TakeQuotedText(const std::string& sql, size_t p, size_t end, std::string& out, std::vector<ado::Variant>& values) {
  std::string value;
  for (size_t i = p + 1; i + 1 < end; ++i) {
    value += sql[i];
    if (sql[i] == '\'') ++i;  // a doubled quote stands for one
  }
  values.emplace_back(std::move(value));
  out += "?" + std::to_string(values.size());
}

}  // namespace

std::string ParameterizedQuery(const std::string& sql, std::vector<ado::Variant>& values, Literals which) {
  const bool every = which == Literals::Every;
  std::string out;
  out.reserve(sql.size());
  auto afterEquals = [&out] { return out.size() >= 2 && out.compare(out.size() - 2, 2, "= ") == 0; };
  auto afterName = [&out] { return !out.empty() && (IsNameChar(out.back()) || out.back() == '.'); };
  size_t p = 0;
  while (p < sql.size()) {
    const char c = sql[p];
    if (c == '\'' || c == '"' || c == '`' || c == '[') {
      const size_t end = QuoteEnd(sql, p, c == '[' ? ']' : c);
      if (end == std::string::npos) {
        if (every) return {};
        out.append(sql, p, std::string::npos);
        break;
      }
      // Texts compared by "=" and first arguments of functions ("name('text', ..."); a text
      // right after a name character is a blob's.
      const bool blob = c == '\'' && !out.empty() && IsNameChar(out.back());
      if (blob && every) return {};
      const bool take = c == '\'' && !blob &&
                        (every || afterEquals() || (out.size() >= 2 && out.back() == '(' && IsNameChar(out[out.size() - 2])));
      if (take) TakeQuotedText(sql, p, end, out, values);
      else out.append(sql, p, end - p);
      p = end;
    } else if (std::isdigit(static_cast<unsigned char>(c)) && !afterName() &&
               (every || (which == Literals::ComparedAndNumbers && afterEquals()))) {
      p = TakeWholeNumber(sql, p, out, values);
    } else if (IsNameChar(c)) {
      size_t end = p;
      while (end < sql.size() && IsNameChar(sql[end])) ++end;
      if (every && ShapeBreakingWord(sql, p, end)) return {};
      out.append(sql, p, end - p);
      p = end;
    } else if (every && (c == ';' || c == '?' || c == ':' || c == '@' || c == '$' || c == '#' ||
                         sql.compare(p, 2, "--") == 0 || sql.compare(p, 2, "/*") == 0)) {
      return {};  // a second statement, a parameter or a comment
    } else {
      out += c;
      ++p;
    }
  }
  return out;
}

std::unique_ptr<Stmt> PrepareBound(sqlite3* db, const std::string& shape, const std::vector<ado::Variant>& values) {
  std::unique_ptr<Stmt> q;
  try {
    q = std::make_unique<Stmt>(db, shape);
  } catch (const ESqliteError&) {
    return nullptr;  // refused as written too, or too many parameters
  }
  for (size_t i = 0; i < values.size(); ++i) {
    const int index = static_cast<int>(i) + 1;
    if (const std::string* text = values[i].IfText()) q->Bind(index, *text);
    else q->Bind(index, static_cast<int64_t>(values[i].AsInt()));
  }
  return q;
}

ado::RowSet QueryRowSetShared(sqlite3* db, const std::string& sql) {
  std::vector<ado::Variant> values;
  const std::string key = ParameterizedQuery(sql, values);
  if (values.empty()) return QueryRowSet(db, sql);
  std::unique_ptr<Stmt> q = PrepareBound(db, key, values);
  if (!q) return QueryRowSet(db, sql);
  for (int i = 0; i < sqlite3_column_count(q->Get()); ++i)
    if (std::strchr(sqlite3_column_name(q->Get(), i), '?')) return QueryRowSet(db, sql);
  return QueryRowSet(*q);
}

ado::RowSet QueryRowSet(sqlite3* db, const std::string& sql) {
  Stmt q(db, sql);
  return QueryRowSet(q);
}

ado::RowSet QueryRowSet(Stmt& q) {
  ado::RowSet rs;
  sqlite3_stmt* st = q.Get();
  // The first step comes before the columns are read: a statement kept from before a change of
  // the schema is prepared again by it, and then describes the columns as they are now.
  bool more = q.Step();
  int n = sqlite3_column_count(st);
  std::vector<std::string> decl(static_cast<size_t>(n));
  std::vector<bool> declared(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    ado::FieldDef f;
    f.Name = sqlite3_column_name(st, i);
    const char* d = sqlite3_column_decltype(st, i);
    declared[static_cast<size_t>(i)] = d != nullptr;
    // "nvarchar(50)" or "decimal(10,3)": the type, then its size or precision and scale.
    std::string type = d ? Lower(d) : "";
    size_t paren = type.find('(');
    if (paren != std::string::npos) {
      int a = 0, b = 0;
      int n = std::sscanf(type.c_str() + paren, "(%d,%d)", &a, &b);
      type = type.substr(0, paren);
      if (type == "decimal" || type == "numeric") {
        f.Precision = a;
        if (n == 2) f.Scale = b;
      } else if (n >= 1) {
        f.Size = a;
      }
    }
    decl[static_cast<size_t>(i)] = type;
    f.Type = d ? FieldTypeOf(type) : ado::FieldType::ftString;
    if (type == "integer") f.Type = ado::FieldType::ftInteger;
    rs.Fields.push_back(f);
  }
  std::vector<int> seen(static_cast<size_t>(n), 0);  // bit 1 int, 2 float, 4 text, 8 blob
  for (; more; more = q.Step()) {
    ado::Row row;
    row.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
      size_t k = static_cast<size_t>(i);
      int t = sqlite3_column_type(st, i);
      const std::string& d = decl[k];
      switch (t) {
        case SQLITE_NULL:
          row.push_back(ado::Variant::Null());
          break;
        case SQLITE_INTEGER: {
          int64_t v = sqlite3_column_int64(st, i);
          seen[k] |= 1;
          if (d == "bit") row.emplace_back(v != 0);
          else if ((d == "money" || d == "smallmoney") && v > -922337203685477 && v < 922337203685477)
            row.emplace_back(ado::Currency{v * 10000});
          else if (d == "money" || d == "smallmoney") row.emplace_back(static_cast<double>(v));
          else row.emplace_back(static_cast<long long>(v));
          break;
        }
        case SQLITE_FLOAT: {
          double v = sqlite3_column_double(st, i);
          seen[k] |= 2;
          if ((d == "money" || d == "smallmoney") && std::fabs(v) < 922337203685477.0)
            row.emplace_back(ado::Currency{static_cast<int64_t>(v * 10000 + (v < 0 ? -0.5 : 0.5))});
          else row.emplace_back(v);
          break;
        }
        case SQLITE_TEXT: {
          std::string v(reinterpret_cast<const char*>(sqlite3_column_text(st, i)),
                        static_cast<size_t>(sqlite3_column_bytes(st, i)));
          seen[k] |= 4;
          if (d == "datetime" || d == "smalldatetime") row.push_back(ToDateTime(v));
          else {
            if (!declared[k] && static_cast<int>(v.size()) > rs.Fields[k].Size) rs.Fields[k].Size = static_cast<int>(v.size());
            row.emplace_back(std::move(v));
          }
          break;
        }
        default: {
          const auto* p = static_cast<const uint8_t*>(sqlite3_column_blob(st, i));
          seen[k] |= 8;
          row.emplace_back(ado::Bytes(p, p + sqlite3_column_bytes(st, i)));
        }
      }
    }
    rs.Rows.push_back(std::move(row));
  }
  for (size_t k = 0; k < rs.Fields.size(); ++k) {
    auto& f = rs.Fields[k];
    if (!declared[k]) {
      if (seen[k] == 1) f.Type = ado::FieldType::ftInteger;
      else if (seen[k] && (seen[k] & ~3) == 0) f.Type = ado::FieldType::ftFloat;
      else if (seen[k] == 8) f.Type = ado::FieldType::ftBlob;
      else f.Type = ado::FieldType::ftString;
      if (f.Type == ado::FieldType::ftInteger) {
        for (const auto& r : rs.Rows)
          if (r[k].Type() == ado::VarType::Int && (r[k].AsInt() > INT32_MAX || r[k].AsInt() < INT32_MIN))
            f.Type = ado::FieldType::ftLargeint;
      }
      if (f.Type == ado::FieldType::ftString) {
        // Mixed columns come back as text.
        for (auto& r : rs.Rows)
          if (!r[k].IsNullOrEmpty() && r[k].Type() != ado::VarType::Text) r[k] = r[k].AsString();
      }
    }
    if (f.Type == ado::FieldType::ftString && f.Size > 4000) f.Type = ado::FieldType::ftMemo;
    if (f.Type == ado::FieldType::ftString && f.Size == 0) f.Size = 1;
  }
  return rs;
}

// Keeps the rows whose restriction columns equal the given values (case ignored, as the
// server compares names).
void RestrictRowset(ado::RowSet& rs, ado::TSchemaInfo kind, const std::vector<ado::Variant>& restrictions) {
  const auto& names = ado::SchemaRowsetRestrictions(kind);
  for (size_t k = 0; k < restrictions.size() && k < names.size(); ++k) {
    if (restrictions[k].IsNullOrEmpty()) continue;
    size_t col = rs.Fields.size();
    for (size_t i = 0; i < rs.Fields.size(); ++i)
      if (strcasecmp(rs.Fields[i].Name.c_str(), names[k].c_str()) == 0) col = i;
    if (col == rs.Fields.size()) continue;
    std::string want = restrictions[k].AsString();
    std::vector<ado::Row> kept;
    for (auto& row : rs.Rows)
      if (!row[col].IsNullOrEmpty() && strcasecmp(row[col].AsString().c_str(), want.c_str()) == 0)
        kept.push_back(std::move(row));
    rs.Rows = std::move(kept);
  }
}

}  // namespace servers
