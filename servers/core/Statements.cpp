#include "servers/core/Statements.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "common/Text.h"
#include "servers/core/Physical.h"
#include "servers/core/Sqlite.h"

namespace servers {

void RunAtomically(sqlite3* db, bool own, int& depth, const std::function<void()>& body,
                   const std::function<void()>& undo) {
  std::string sp = "schm_stmt" + std::to_string(depth++);
  // Run for every statement: their prepared forms are kept. The COMMIT goes through ExecSql, which
  // first ends reads left on a row, so that they hold no lock past the transaction.
  auto run = [db](const std::string& sql) {
    Stmt q(db, sql);
    q.Step();
  };
  try {
    run("SAVEPOINT " + sp);
    body();
    run("RELEASE " + sp);
    if (own) ExecSql(db, "COMMIT");
    --depth;
  } catch (...) {
    sqlite3_exec(db, ("ROLLBACK TO " + sp + "; RELEASE " + sp).c_str(), nullptr, nullptr, nullptr);
    if (own) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    --depth;
    undo();
    throw;
  }
}

SqliteFailure ReadSqliteFailure(const std::string& m) {
  SqliteFailure f;
  // Errors the servers' triggers and functions raise carry "number|message".
  size_t bar = m.find('|');
  if (bar != std::string::npos && bar > 0 && bar < 6 &&
      m.substr(0, bar).find_first_not_of("0123456789") == std::string::npos) {
    f.kind = SqliteFailure::Coded;
    f.number = std::atoi(m.substr(0, bar).c_str());
    f.text = m.substr(bar + 1);
    return f;
  }
  auto lastPart = [](const std::string& n) {
    size_t dot = n.rfind('.');
    return dot == std::string::npos ? n : n.substr(dot + 1);
  };
  struct Prefix {
    const char* text;
    SqliteFailure::Kind kind;
    bool last;
  };
  static const Prefix prefixes[] = {{"no such table: ", SqliteFailure::NoTable, true},
                                    {"no such column: ", SqliteFailure::NoColumn, true},
                                    {"ambiguous column name: ", SqliteFailure::AmbiguousColumn, true},
                                    {"NOT NULL constraint failed: ", SqliteFailure::NotNull, false},
                                    {"CHECK constraint failed: ", SqliteFailure::Check, false}};
  for (const auto& p : prefixes) {
    std::string prefix = p.text;
    if (m.rfind(prefix, 0) != 0) continue;
    f.kind = p.kind;
    f.name = p.last ? lastPart(m.substr(prefix.size())) : m.substr(prefix.size());
    if (f.name.rfind(kRebuildPrefix, 0) == 0) f.name.erase(0, std::string(kRebuildPrefix).size());
    return f;
  }
  const std::string noFunction = "no such function: ";
  if (m.rfind(noFunction, 0) == 0) {
    // The servers' own functions run under a "tsql_" prefix that is no name of the client's.
    f.kind = SqliteFailure::NoFunction;
    f.name = m.substr(noFunction.size());
    f.name = f.name.substr(0, f.name.find(' '));
    if (f.name.rfind("tsql_", 0) == 0) f.name.erase(0, 5);
    return f;
  }
  const std::string unique = "UNIQUE constraint failed: ";
  if (m.rfind(unique + "index '", 0) == 0) {
    f.kind = SqliteFailure::UniqueIndex;
    f.text = m.substr(unique.size());
    f.name = m.substr(unique.size() + 7);
    f.name = f.name.substr(0, f.name.find('\''));
    return f;
  }
  if (m.rfind(unique, 0) == 0) {
    f.kind = SqliteFailure::Unique;
    f.name = m.substr(unique.size());
    return f;
  }
  int term = 0;
  if (m.find("ORDER BY term out of range") != std::string::npos &&
      std::sscanf(m.c_str(), "%d%*2[a-z] ORDER BY term out of range", &term) == 1) {
    f.kind = SqliteFailure::OrderByTerm;
    f.number = term;
  }
  return f;
}

std::optional<std::string> FirstDuplicateKey(sqlite3* db, const std::string& physical,
                                             const std::vector<std::string>& columns) {
  std::string list;
  for (size_t i = 0; i < columns.size(); ++i) list += (i ? ", " : "") + SqlIdent(columns[i]);
  Stmt q(db, "SELECT " + list + " FROM " + SqlIdent(physical) + " GROUP BY " + list + " HAVING count(*) > 1 LIMIT 1");
  if (!q.Step()) return std::nullopt;
  return q.IsNull(0) ? std::string("NULL") : q.Text(0);
}

bool MentionsName(const std::string& text, const std::string& name) {
  std::string t = text::Lower(text), n = text::Lower(name);
  if (n.empty()) return false;
  auto wordChar = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; };
  size_t p = 0;
  while ((p = t.find(n, p)) != std::string::npos) {
    size_t e = p + n.size();
    if ((p == 0 || !wordChar(t[p - 1])) && (e >= t.size() || !wordChar(t[e]))) return true;
    p = e;
  }
  return false;
}

}  // namespace servers
