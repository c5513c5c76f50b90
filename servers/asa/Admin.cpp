// Users, options and db spaces of a database.

#include <vector>

#include "common/Text.h"
#include "servers/asa/Errors.h"
#include "servers/asa/Session.h"
#include "servers/core/Sha1.h"

namespace servers::asa {

namespace {

constexpr size_t kSaltSize = 16;  // with the digest, the 36 bytes of SYSUSERPERM.password

Sha1::Digest SaltedDigest(const std::string& clear, const uint8_t* salt) {
  Sha1 sha;
  sha.Update(salt, kSaltSize);
  sha.Update(reinterpret_cast<const uint8_t*>(clear.data()), clear.size());
  return sha.Final();
}

}  // namespace

std::string PasswordHash(const std::string& clear) {
  uint8_t salt[kSaltSize];
  FillSalt(salt, kSaltSize);
  const Sha1::Digest digest = SaltedDigest(clear, salt);
  std::string out(reinterpret_cast<const char*>(salt), kSaltSize);
  out.append(reinterpret_cast<const char*>(digest.data()), digest.size());
  return out;
}

bool PasswordMatches(const std::string& clear, const std::string& stored) {
  if (stored.size() != kSaltSize + Sha1::kDigestSize) return false;
  return DigestMatches(SaltedDigest(clear, reinterpret_cast<const uint8_t*>(stored.data())), stored.data() + kSaltSize);
}

void BindPassword(Stmt& q, int index, const std::string& clear) {
  const std::string hash = PasswordHash(clear);
  sqlite3_bind_blob(q.Get(), index, hash.data(), static_cast<int>(hash.size()), SQLITE_TRANSIENT);
}

void HashClearPasswords(sqlite3* db) {
  std::vector<std::pair<int64_t, std::string>> clear;
  {
    Stmt q(db, "SELECT user_id, password FROM SYSUSERPERM WHERE typeof(password) = 'text'");
    while (q.Step()) clear.emplace_back(q.Int(0), q.Text(1));
  }
  // The page that held a password's text is overwritten, not only released.
  ExecSql(db, "PRAGMA secure_delete = ON");
  Stmt u(db, "UPDATE SYSUSERPERM SET password = ? WHERE user_id = ?");
  for (const auto& [id, password] : clear) {
    BindPassword(u, 1, password);
    u.Bind(2, id);
    u.Step();
    u.Reset();
  }
}

void Session::SetOption(const SetOptionStmt& s) {
  int user = uid_;
  if (!s.user.empty()) {
    user = UserId(Db(), s.user);
    if (user < 0) Fail(-140, "User ID '" + s.user + "' does not exist");
  }
  std::string option = text::Lower(s.option);
  if (s.value.empty()) {
    if (user == kPublicUser) Fail(-201, "Invalid setting for option '" + s.option + "'");
    Stmt d(Db(), "DELETE FROM SYSOPTION WHERE user_id = ? AND \"option\" = ?");
    d.Bind(1, int64_t{user}).Bind(2, option);
    d.Step();
    return;
  }
  Stmt q(Db(), "INSERT OR REPLACE INTO SYSOPTION VALUES (?, ?, ?)");
  q.Bind(1, int64_t{user}).Bind(2, option).Bind(3, s.value);
  q.Step();
}

void Session::RunNamed(const NamedStmt& s) {
  switch (s.kind) {
    case Statement::kCreateDbSpace: {
      Stmt dup(Db(), "SELECT 1 FROM SYSFILE WHERE dbspace_name = ?");
      dup.Bind(1, s.name);
      if (dup.Step()) Fail(-110, "Item '" + s.name + "' already exists");
      Stmt q(Db(), "INSERT INTO SYSFILE VALUES ((SELECT max(file_id) + 1 FROM SYSFILE WHERE file_id < 15), ?, ?, 'SA')");
      q.Bind(1, s.value).Bind(2, s.name);
      q.Step();
      return;
    }
    case Statement::kDropDbSpace: {
      int id = DbSpaceId(s.name);
      if (id == 0) Fail(-121, "Permission denied: the SYSTEM dbspace cannot be dropped");
      ExecSql(Db(), "DELETE FROM SYSFILE WHERE file_id = " + std::to_string(id));
      return;
    }
    case Statement::kGrantConnect: {
      int id = UserId(Db(), s.name);
      if (id >= 0) {
        Stmt q(Db(), "UPDATE SYSUSERPERM SET password = ? WHERE user_id = ?");
        BindPassword(q, 1, s.value);
        q.Bind(2, int64_t{id});
        q.Step();
        return;
      }
      int64_t newId = std::max<int64_t>(QueryInt(Db(), "SELECT max(user_id) FROM SYSUSERPERM", 0) + 1, 100);
      Stmt q(Db(), "INSERT INTO SYSUSERPERM (user_id, user_name, password) VALUES (?, ?, ?)");
      q.Bind(1, newId).Bind(2, s.name);
      if (s.value.empty()) q.BindNull(3);
      else BindPassword(q, 3, s.value);
      q.Step();
      ExecSql(Db(), "INSERT INTO SYSGROUP VALUES (2, " + std::to_string(newId) + ")");
      return;
    }
    case Statement::kGrantAuthority: {
      // Every user is found before any is granted.
      std::vector<int> ids;
      for (const std::string& user : s.names) {
        ids.push_back(UserId(Db(), user));
        if (ids.back() < 0) Fail(-140, "User ID '" + user + "' does not exist");
      }
      Stmt q(Db(), "UPDATE SYSUSERPERM SET dbaauth = CASE WHEN ?1 THEN 'Y' ELSE dbaauth END, resourceauth = "
                   "CASE WHEN ?2 THEN 'Y' ELSE resourceauth END WHERE user_id = ?3");
      for (const int id : ids) {
        q.Bind(1, int64_t{s.value.find('D') != std::string::npos});
        q.Bind(2, int64_t{s.value.find('R') != std::string::npos});
        q.Bind(3, int64_t{id});
        q.Step();
        q.Reset();
      }
      return;
    }
    case Statement::kRevokeConnect: {
      int id = UserId(Db(), s.name);
      if (id < 0) Fail(-140, "User ID '" + s.name + "' does not exist");
      if (id <= 3) Fail(-121, "Permission denied: " + s.name + " cannot be dropped");
      if (QueryInt(Db(), "SELECT count(*) FROM SYSTABLE WHERE creator = " + std::to_string(id)))
        Fail(-128, "Cannot drop a user that owns tables in runtime system");
      ExecSql(Db(), "DELETE FROM SYSUSERPERM WHERE user_id = " + std::to_string(id) +
                        ";DELETE FROM SYSGROUP WHERE group_member = " + std::to_string(id) +
                        ";DELETE FROM SYSOPTION WHERE user_id = " + std::to_string(id));
      return;
    }
    case Statement::kCreateDatabase:
      return CreateDatabase(s);
    case Statement::kStartDatabase:
      return StartDatabase(s);
    case Statement::kStopDatabase:
      return StopDatabase(s);
    case Statement::kBackup:
      return Backup(s);
    case Statement::kRestore:
      return Restore(s);
    case Statement::kAlterDatabase:
      return AlterDatabase(s);
    default:
      Fail(-130, "Invalid statement");
  }
}

}  // namespace servers::asa
