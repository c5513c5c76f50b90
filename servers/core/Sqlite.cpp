#include "servers/core/Sqlite.h"

#include <algorithm>
#include <mutex>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace servers {

namespace {

// The server's character comparison: trailing blanks never count ("ab" = "ab  "); the case
// counts only under a case-sensitive collation.
int CompareText(bool caseSensitive, int leftBytes, const void* left, int rightBytes, const void* right) {
  auto* a = static_cast<const unsigned char*>(left);
  auto* b = static_cast<const unsigned char*>(right);
  while (leftBytes > 0 && a[leftBytes - 1] == ' ') --leftBytes;
  while (rightBytes > 0 && b[rightBytes - 1] == ' ') --rightBytes;
  int n = std::min(leftBytes, rightBytes);
  for (int i = 0; i < n; ++i) {
    int x = a[i], y = b[i];
    if (!caseSensitive) {
      if (x >= 'A' && x <= 'Z') x += 'a' - 'A';
      if (y >= 'A' && y <= 'Z') y += 'a' - 'A';
    }
    if (x != y) return x < y ? -1 : 1;
  }
  return leftBytes == rightBytes ? 0 : leftBytes < rightBytes ? -1 : 1;
}

int CompareIgnoringCase(void*, int leftBytes, const void* left, int rightBytes, const void* right) {
  return CompareText(false, leftBytes, left, rightBytes, right);
}
int CompareWithCase(void*, int leftBytes, const void* left, int rightBytes, const void* right) {
  return CompareText(true, leftBytes, left, rightBytes, right);
}

// The statements kept per connection, by text. A connection is used by one thread at a time,
// but connections live on several threads: the registry is guarded.
constexpr size_t kMaxKeptStatements = 512;

struct KeptStatements {
  std::unordered_map<std::string, std::vector<sqlite3_stmt*>> byText;
  size_t count = 0;
  // Hashes of texts run once: a statement is kept from its second run on, so that texts run
  // only once (a data statement of its own values) never crowd out those that come back.
  std::unordered_set<size_t> seen;
};
constexpr size_t kMaxSeenTexts = 4096;

std::mutex keptMutex;
std::unordered_map<sqlite3*, KeptStatements>& Kept() {
  static auto* kept = new std::unordered_map<sqlite3*, KeptStatements>();
  return *kept;
}

// A kept statement of the text, or nullptr.
sqlite3_stmt* TakeKept(sqlite3* db, const std::string& sql) {
  std::lock_guard lock(keptMutex);
  auto pool = Kept().find(db);
  if (pool == Kept().end()) return nullptr;
  auto found = pool->second.byText.find(sql);
  if (found == pool->second.byText.end() || found->second.empty()) return nullptr;
  sqlite3_stmt* st = found->second.back();
  found->second.pop_back();
  --pool->second.count;
  return st;
}

// Keeps the statement for its text; false when the connection keeps enough already.
bool Keep(sqlite3* db, const std::string& sql, sqlite3_stmt* st) {
  std::lock_guard lock(keptMutex);
  auto pool = Kept().find(db);  // none once the connection is closed
  if (pool == Kept().end() || pool->second.count >= kMaxKeptStatements) return false;
  if (!pool->second.byText.count(sql)) {
    if (pool->second.seen.size() >= kMaxSeenTexts) pool->second.seen.clear();
    if (pool->second.seen.insert(std::hash<std::string>()(sql)).second) return false;
  }
  pool->second.byText[sql].push_back(st);
  ++pool->second.count;
  return true;
}

// SQLite's optimisation that filters a join through a hash of the joined values (a Bloom
// filter): the hash is of the bytes, so values that compare equal under the servers' collations
// ('N  ' and 'N', 'a' and 'A') would never meet.
constexpr int kBloomFilterOptimisation = 0x00080000;

}  // namespace

void SqliteCloser::operator()(sqlite3* db) const {
  {
    std::lock_guard lock(keptMutex);
    auto pool = Kept().find(db);
    if (pool != Kept().end()) {
      for (auto& [text, statements] : pool->second.byText)
        for (sqlite3_stmt* st : statements) sqlite3_finalize(st);
      Kept().erase(pool);
    }
  }
  sqlite3_close_v2(db);
}

const char* const kCaseInsensitiveCollation = "TSQL_CI";
const char* const kCaseSensitiveCollation = "TSQL_CS";

SqliteDbPtr OpenSqlite(const std::string& path, bool create) {
  sqlite3* raw = nullptr;
  int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
  int rc = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
  SqliteDbPtr db(raw);
  if (rc != SQLITE_OK) {
    std::string message = raw ? sqlite3_errmsg(raw) : "cannot open database";
    throw ESqliteError(message + ": " + path, rc);
  }
  {
    std::lock_guard lock(keptMutex);
    Kept()[raw];
  }
  sqlite3_busy_timeout(raw, kBusyTimeoutMs);
  // Double quotes always name something: an unknown column must not turn into a string.
  sqlite3_db_config(raw, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
  sqlite3_db_config(raw, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
  sqlite3_extended_result_codes(raw, 0);
  sqlite3_create_collation_v2(raw, kCaseInsensitiveCollation, SQLITE_UTF8, nullptr, CompareIgnoringCase, nullptr);
  sqlite3_create_collation_v2(raw, kCaseSensitiveCollation, SQLITE_UTF8, nullptr, CompareWithCase, nullptr);
  sqlite3_test_control(SQLITE_TESTCTRL_OPTIMIZATIONS, raw, kBloomFilterOptimisation);
  return db;
}

Stmt::Stmt(sqlite3* db, const std::string& sql) : db_(db), sql_(sql) {
  sqlite3_stmt* raw = TakeKept(db, sql);
  // One that this connection's own change of the schema has outdated is prepared anew here, so
  // that a failure shows where it did before.
  if (raw && sqlite3_expired(raw)) {
    sqlite3_finalize(raw);
    raw = nullptr;
  }
  if (raw) {
    stmt_.reset(raw);
    return;
  }
  int rc = sqlite3_prepare_v3(db, sql.c_str(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT, &raw,
                              nullptr);
  stmt_.reset(raw);
  if (rc != SQLITE_OK) {
    sql_.clear();
    throw ESqliteError(sqlite3_errmsg(db), rc);
  }
}

Stmt::~Stmt() {
  sqlite3_stmt* st = stmt_.get();
  if (!st || sql_.empty()) return;
  sqlite3_reset(st);
  sqlite3_clear_bindings(st);
  if (Keep(db_, sql_, st)) stmt_.release();
}

Stmt& Stmt::Bind(int index, int64_t value) {
  sqlite3_bind_int64(stmt_.get(), index, value);
  return *this;
}

Stmt& Stmt::Bind(int index, const std::string& value) {
  sqlite3_bind_text(stmt_.get(), index, value.data(), static_cast<int>(value.size()),
                    SQLITE_TRANSIENT);
  return *this;
}

Stmt& Stmt::BindNull(int index) {
  sqlite3_bind_null(stmt_.get(), index);
  return *this;
}

bool Stmt::Step() {
  int rc = sqlite3_step(stmt_.get());
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  std::string message = sqlite3_errmsg(db_);
  sqlite3_reset(stmt_.get());
  throw ESqliteError(message, rc);
}

void Stmt::Reset() {
  sqlite3_reset(stmt_.get());
  sqlite3_clear_bindings(stmt_.get());
}

std::string Stmt::Text(int col) const {
  const unsigned char* p = sqlite3_column_text(stmt_.get(), col);
  if (!p) return {};
  return std::string(reinterpret_cast<const char*>(p),
                     static_cast<size_t>(sqlite3_column_bytes(stmt_.get(), col)));
}

void ReleaseReads(sqlite3* db, sqlite3_stmt* except) {
  for (sqlite3_stmt* st = sqlite3_next_stmt(db, nullptr); st; st = sqlite3_next_stmt(db, st))
    if (st != except && sqlite3_stmt_busy(st)) sqlite3_reset(st);
}

void ExecSql(sqlite3* db, const std::string& sql) {
  // A savepoint changes no table.
  if (sql.rfind("SAVEPOINT ", 0) != 0 && sql.rfind("RELEASE ", 0) != 0) ReleaseReads(db);
  char* err = nullptr;
  int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err);
  if (rc != SQLITE_OK) {
    std::string message = err ? err : sqlite3_errmsg(db);
    sqlite3_free(err);
    throw ESqliteError(message, rc);
  }
}

int64_t QueryInt(sqlite3* db, const std::string& sql, int64_t fallback) {
  Stmt stmt(db, sql);
  if (!stmt.Step() || stmt.IsNull(0)) return fallback;
  return stmt.Int(0);
}

namespace {

// `text` between two `quote`s, each quote inside it doubled.
std::string Quoted(const std::string& text, char quote) {
  std::string out(1, quote);
  for (char c : text) {
    if (c == quote) out += quote;
    out += c;
  }
  return out + quote;
}

}  // namespace

std::string SqlLiteral(const std::string& text) {
  if (text.find('\0') == std::string::npos) return Quoted(text, '\'');
  // SQLite reads no NUL inside a literal: the text is joined from its pieces and char(0).
  std::string out = "(";
  size_t start = 0;
  for (;;) {
    size_t nul = text.find('\0', start);
    out += Quoted(text.substr(start, nul == std::string::npos ? std::string::npos : nul - start), '\'');
    if (nul == std::string::npos) break;
    out += " || char(0) || ";
    start = nul + 1;
  }
  return out + ")";
}

std::string SqlIdent(const std::string& name) { return Quoted(name, '"'); }

}  // namespace servers
