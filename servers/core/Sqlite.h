// RAII wrappers for the SQLite handles behind the embedded servers: a connection and a prepared
// statement, with the few helpers the servers need (execute, step, read columns).
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

namespace servers {

// A failure of SQLite itself; the server maps it to its own error before it reaches a client.
class ESqliteError : public std::runtime_error {
 public:
  ESqliteError(const std::string& message, int code) : std::runtime_error(message), code_(code) {}
  int Code() const { return code_; }

 private:
  int code_;
};

// Closes the connection, finalizing the statements kept for it.
struct SqliteCloser {
  void operator()(sqlite3* db) const;
};
struct StmtFinalizer {
  void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};
using SqliteDbPtr = std::unique_ptr<sqlite3, SqliteCloser>;

// The collations of character columns, registered on every connection: trailing blanks are
// ignored, and the case too under the first.
extern const char* const kCaseInsensitiveCollation;
extern const char* const kCaseSensitiveCollation;

// How long a connection waits for another's lock before it fails with SQLITE_BUSY.
constexpr int kBusyTimeoutMs = 10000;

// Opens (creating when `create`) the database file; raises ESqliteError on failure.
SqliteDbPtr OpenSqlite(const std::string& path, bool create);

// A prepared statement bound to a connection (not owned). Statements are kept per connection
// after use and handed out again for the same text, reset and unbound: a server runs the same
// catalogue look-ups and data statements over and over, and preparing costs more than running
// them. SQLite prepares a kept statement again when the schema has changed since.
class Stmt {
 public:
  Stmt(sqlite3* db, const std::string& sql);
  ~Stmt();
  Stmt(const Stmt&) = delete;
  Stmt& operator=(const Stmt&) = delete;
  // Binds by 1-based index.
  Stmt& Bind(int index, int64_t value);
  Stmt& Bind(int index, const std::string& value);
  Stmt& BindNull(int index);
  // Steps once; true while a row is available. Raises ESqliteError on failure.
  bool Step();
  void Reset();
  int64_t Int(int col) const { return sqlite3_column_int64(stmt_.get(), col); }
  std::string Text(int col) const;
  bool IsNull(int col) const { return sqlite3_column_type(stmt_.get(), col) == SQLITE_NULL; }
  sqlite3_stmt* Get() const { return stmt_.get(); }

 private:
  sqlite3* db_;
  std::unique_ptr<sqlite3_stmt, StmtFinalizer> stmt_;
  std::string sql_;
};

// Runs SQL without results (several statements allowed); raises ESqliteError on failure.
void ExecSql(sqlite3* db, const std::string& sql);
// Resets the reads of the connection whose first row was taken (but `except`), so that they do
// not hold the tables a statement is about to change.
void ReleaseReads(sqlite3* db, sqlite3_stmt* except = nullptr);
// The first column of the first row as an integer, or `fallback` when there is no row.
int64_t QueryInt(sqlite3* db, const std::string& sql, int64_t fallback = 0);
// Single-quoted SQL literal with inner quotes doubled; a text holding NUL characters becomes an
// expression that joins its pieces with char(0), in parentheses.
std::string SqlLiteral(const std::string& text);
// Double-quoted SQLite identifier.
std::string SqlIdent(const std::string& name);

}  // namespace servers
