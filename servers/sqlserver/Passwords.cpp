#include "servers/sqlserver/Passwords.h"

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include "servers/core/Sha1.h"
#include "servers/core/Sqlite.h"

namespace servers::sqlserver {

namespace {

constexpr size_t kSaltSize = 4;
constexpr size_t kDigestSize = 20;
constexpr size_t kHeaderSize = 2 + kSaltSize;

using Digest = Sha1::Digest;

// The password as the server hashes it: UTF-16LE code units of its UTF-8 text; a byte that
// starts no valid sequence counts as the character of that code.
std::vector<uint8_t> Utf16Le(const std::string& text) {
  std::vector<uint8_t> out;
  auto unit = [&](uint32_t u) {
    out.push_back(static_cast<uint8_t>(u & 0xFF));
    out.push_back(static_cast<uint8_t>(u >> 8));
  };
  size_t i = 0;
  while (i < text.size()) {
    const auto b = static_cast<uint8_t>(text[i]);
    size_t len = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 0;
    uint32_t cp = len == 1 ? b : len == 2 ? (b & 0x1Fu) : len == 3 ? (b & 0x0Fu) : (b & 0x07u);
    for (size_t k = 1; len > 1 && k < len; ++k) {
      const auto c = i + k < text.size() ? static_cast<uint8_t>(text[i + k]) : uint8_t{0};
      if ((c & 0xC0) != 0x80) {
        len = 0;
        break;
      }
      cp = (cp << 6) | (c & 0x3Fu);
    }
    if (len == 0 || cp > 0x10FFFF) {
      cp = b;
      len = 1;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      unit(0xD800 + (cp >> 10));
      unit(0xDC00 + (cp & 0x3FF));
    } else {
      unit(cp);
    }
    i += len;
  }
  return out;
}

Digest SaltedDigest(const std::string& clear, const uint8_t* salt) {
  const std::vector<uint8_t> bytes = Utf16Le(clear);
  Sha1 sha;
  sha.Update(bytes.data(), bytes.size());
  sha.Update(salt, kSaltSize);
  return sha.Final();
}

std::string ValueBytes(sqlite3_value* v) {
  const auto* p = static_cast<const char*>(sqlite3_value_blob(v));
  return p ? std::string(p, static_cast<size_t>(sqlite3_value_bytes(v))) : std::string();
}

std::string ValueText(sqlite3_value* v) {
  const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
  return p ? std::string(p, static_cast<size_t>(sqlite3_value_bytes(v))) : std::string();
}

void PwdEncryptFunc(sqlite3_context* c, int, sqlite3_value** v) {
  if (sqlite3_value_type(v[0]) == SQLITE_NULL) return sqlite3_result_null(c);
  const std::string hash = PwdEncrypt(ValueText(v[0]));
  sqlite3_result_blob(c, hash.data(), static_cast<int>(hash.size()), SQLITE_TRANSIENT);
}

void PwdCompareFunc(sqlite3_context* c, int, sqlite3_value** v) {
  if (sqlite3_value_type(v[0]) == SQLITE_NULL || sqlite3_value_type(v[1]) == SQLITE_NULL)
    return sqlite3_result_null(c);
  sqlite3_result_int(c, PwdCompare(ValueText(v[0]), ValueBytes(v[1])) ? 1 : 0);
}

}  // namespace

void RegisterPasswordFunctions(sqlite3* db) {
  sqlite3_create_function_v2(db, "tsql_pwdencrypt", 1, SQLITE_UTF8, nullptr, PwdEncryptFunc, nullptr, nullptr, nullptr);
  sqlite3_create_function_v2(db, "tsql_pwdcompare", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, PwdCompareFunc,
                             nullptr, nullptr, nullptr);
}

bool IsPasswordHash(const std::string& stored) {
  return (stored.size() == kHeaderSize + kDigestSize || stored.size() == kHeaderSize + 2 * kDigestSize) &&
         stored[0] == 0x01 && stored[1] == 0x00;
}

std::string PwdEncrypt(const std::string& clear) {
  uint8_t salt[kSaltSize];
  FillSalt(salt, kSaltSize);
  const Digest digest = SaltedDigest(clear, salt);
  std::string out{'\x01', '\x00'};
  out.append(reinterpret_cast<const char*>(salt), kSaltSize);
  out.append(reinterpret_cast<const char*>(digest.data()), digest.size());
  return out;
}

bool PwdCompare(const std::string& clear, const std::string& hash) {
  if (!IsPasswordHash(hash)) return false;
  const auto* salt = reinterpret_cast<const uint8_t*>(hash.data() + 2);
  return DigestMatches(SaltedDigest(clear, salt), hash.data() + kHeaderSize);
}

void HashClearPasswords(sqlite3* master) {
  const char* const kClear = "SELECT count(*) FROM syslogins WHERE typeof(password) <> 'blob'";
  if (QueryInt(master, kClear) == 0) return;
  ExecSql(master, "BEGIN IMMEDIATE");
  try {
    std::vector<std::pair<int64_t, std::string>> clear;
    Stmt read(master, "SELECT rowid, password FROM syslogins WHERE typeof(password) <> 'blob'");
    while (read.Step()) clear.emplace_back(read.Int(0), read.IsNull(1) ? std::string() : read.Text(1));
    Stmt write(master, "UPDATE syslogins SET password = ? WHERE rowid = ?");
    for (const auto& [rowid, password] : clear) {
      const std::string hash = PwdEncrypt(password);
      write.Reset();
      sqlite3_bind_blob(write.Get(), 1, hash.data(), static_cast<int>(hash.size()), SQLITE_TRANSIENT);
      write.Bind(2, rowid);
      write.Step();
    }
    ExecSql(master, "COMMIT");
  } catch (...) {
    sqlite3_exec(master, "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
}

}  // namespace servers::sqlserver
