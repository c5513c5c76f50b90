#include "servers/core/StatementShape.h"

#include <strings.h>

#include <cctype>
#include <memory>

#include "servers/core/Rowsets.h"
#include "servers/core/Sqlite.h"

namespace servers {

namespace {

bool IsNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// The end of the quoted part starting at `p` (past its closing quote; a doubled one stands for one).
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

}  // namespace

std::string LiteralFreeShape(const std::string& sql, std::vector<ado::Variant>& values) {
  std::string out;
  out.reserve(sql.size());
  size_t p = 0;
  while (p < sql.size()) {
    const char c = sql[p];
    if (c == '\'') {
      const size_t end = QuoteEnd(sql, p, '\'');
      if (end == std::string::npos || (!out.empty() && IsNameChar(out.back()))) return {};  // a blob
      TakeQuotedText(sql, p, end, out, values);
      p = end;
    } else if (c == '"' || c == '`' || c == '[') {
      const size_t end = QuoteEnd(sql, p, c == '[' ? ']' : c);
      if (end == std::string::npos) return {};
      out.append(sql, p, end - p);
      p = end;
    } else if (std::isdigit(static_cast<unsigned char>(c)) && (out.empty() || (!IsNameChar(out.back()) && out.back() != '.'))) {
      p = TakeWholeNumber(sql, p, out, values);
    } else if (IsNameChar(c)) {
      size_t end = p;
      while (end < sql.size() && IsNameChar(sql[end])) ++end;
      if (ShapeBreakingWord(sql, p, end)) return {};
      out.append(sql, p, end - p);
      p = end;
    } else if (c == ';' || c == '?' || c == ':' || c == '@' || c == '$' || c == '#' ||
               sql.compare(p, 2, "--") == 0 || sql.compare(p, 2, "/*") == 0) {
      return {};  // a second statement, a parameter or a comment
    } else {
      out += c;
      ++p;
    }
  }
  return out;
}

void ExecShaped(sqlite3* db, const std::string& sql) {
  std::vector<ado::Variant> values;
  const std::string shape = LiteralFreeShape(sql, values);
  if (shape.empty()) return ExecSql(db, sql);
  std::unique_ptr<Stmt> q = PrepareBound(db, shape, values);
  if (!q) return ExecSql(db, sql);
  ReleaseReads(db, q->Get());
  while (q->Step()) {
  }
}

int64_t QueryIntShared(sqlite3* db, const std::string& sql) {
  std::vector<ado::Variant> values;
  std::unique_ptr<Stmt> q = PrepareBound(db, ParameterizedQuery(sql, values, true), values);
  if (!q) q = std::make_unique<Stmt>(db, sql);
  return q->Step() ? q->Int(0) : 0;
}

}  // namespace servers
