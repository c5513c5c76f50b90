#include "servers/asa/StatementCache.h"

#include <cstring>

#include "servers/core/Rowsets.h"

namespace servers::asa {

namespace {

// Statements kept before the query cache starts again: a bound on memory for a connection that
// runs many different queries.
constexpr size_t kMaxQueries = 256;

// The end of the quoted run that starts at `begin` (its closing quote + 1); doubled quotes stay
// inside it.
size_t QuotedEnd(const std::string& sql, size_t begin) {
  const char quote = sql[begin];
  size_t p = begin + 1;
  while (p < sql.size()) {
    if (sql[p] == quote) {
      if (p + 1 < sql.size() && sql[p + 1] == quote) {
        p += 2;
        continue;
      }
      return p + 1;
    }
    ++p;
  }
  return sql.size();
}

}  // namespace

std::string ParameterizedQuery(const std::string& sql, std::vector<std::string>& texts) {
  std::string out;
  out.reserve(sql.size());
  size_t p = 0;
  while (p < sql.size()) {
    const char c = sql[p];
    if (c != '\'' && c != '"') {
      out += c;
      ++p;
      continue;
    }
    const size_t end = QuotedEnd(sql, p);
    const bool compared = c == '\'' && end > p + 1 && sql[end - 1] == '\'' && out.size() >= 2 &&
                          out.compare(out.size() - 2, 2, "= ") == 0;
    if (!compared) {
      out.append(sql, p, end - p);
    } else {
      std::string value;
      for (size_t i = p + 1; i + 1 < end; ++i) {
        value += sql[i];
        if (sql[i] == '\'') ++i;  // a doubled quote stands for one
      }
      texts.push_back(std::move(value));
      out += "?" + std::to_string(texts.size());
    }
    p = end;
  }
  return out;
}

Stmt& StatementCache::Lookup(const std::string& sql) {
  auto& slot = lookups_[sql];
  if (!slot) slot = std::make_unique<Stmt>(db_, sql);
  else slot->Reset();
  return *slot;
}

ado::RowSet StatementCache::Query(const std::string& sql) {
  std::vector<std::string> texts;
  const std::string key = ParameterizedQuery(sql, texts);
  if (texts.empty()) return QueryRowSet(db_, sql);
  auto found = queries_.find(key);
  if (found == queries_.end()) {
    std::unique_ptr<Stmt> q;
    try {
      q = std::make_unique<Stmt>(db_, key);
    } catch (const ESqliteError&) {
      return QueryRowSet(db_, sql);  // refused as written too, or too many parameters
    }
    // A parameter in a column's name (an expression without its own name) would change what
    // the caller reads: such a query runs as written.
    for (int i = 0; i < sqlite3_column_count(q->Get()); ++i)
      if (std::strchr(sqlite3_column_name(q->Get(), i), '?')) return QueryRowSet(db_, sql);
    if (queries_.size() >= kMaxQueries) queries_.clear();
    found = queries_.emplace(key, std::move(q)).first;
  }
  Stmt& q = *found->second;
  q.Reset();
  for (size_t i = 0; i < texts.size(); ++i) q.Bind(static_cast<int>(i) + 1, texts[i]);
  try {
    ado::RowSet rows = QueryRowSet(q);
    q.Reset();
    return rows;
  } catch (...) {
    q.Reset();
    throw;
  }
}

}  // namespace servers::asa
