// Logins of the server: the check of a login and its password when a session opens, and the
// procedures that add, drop and change logins, each allowed only to the fixed server roles that
// the real server allows (sysadmin, and securityadmin for logins).
#include "common/Text.h"
#include "servers/sqlserver/Passwords.h"
#include "servers/sqlserver/Session.h"
#include "servers/sqlserver/SqlError.h"

namespace servers::sqlserver {

namespace {

constexpr const char* kNoPermission = "User does not have permission to perform this action.";

void BindBlob(Stmt& stmt, int index, const std::string& bytes) {
  sqlite3_bind_blob(stmt.Get(), index, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
}

}  // namespace

void Session::LogIn(const std::string& user, const std::string& password, std::string& defaultDb) {
  Stmt q(Db(), "SELECT password, dbname, language FROM syslogins WHERE name = ?");
  q.Bind(1, user);
  // An unknown login and a wrong password look alike to the client.
  if (user.empty() || !q.Step() || !PwdCompare(password, q.Text(0)))
    Fail(18456, "Login failed for user '" + user + "'.");
  defaultDb = q.Text(1);
  login_ = user;
  std::string order = LanguageDateFormat(q.Text(2));
  if (!order.empty()) {
    dateFormat_ = order;
    language_ = LanguageName(q.Text(2));
  }
}

bool Session::ServerRole(const char* role) {
  // A member of sysadmin holds every fixed server role.
  Stmt q(Db(), std::string("SELECT sysadmin, ") + role + " FROM " + (InMaster() ? "" : "master.") +
                   "syslogins WHERE name = ?");
  q.Bind(1, login_);
  return q.Step() && (q.Int(0) != 0 || q.Int(1) != 0);
}

bool Session::RunLoginProc(const std::string& name, const std::vector<std::string>& args,
                           const std::vector<bool>& isNull) {
  auto given = [&](size_t i) { return i < args.size() && !isNull[i]; };
  auto arg = [&](size_t i) { return given(i) ? args[i] : std::string(); };
  std::string master = InMaster() ? "" : "master.";
  if (name == "sp_addlogin") {
    if (!ServerRole("securityadmin")) Fail(15247, kNoPermission);
    std::string login = arg(0);
    if (login.empty()) Fail(15007, "The login '' does not exist.");
    Stmt q(Db(), "SELECT 1 FROM " + master + "syslogins WHERE name = ?");
    q.Bind(1, login);
    if (q.Step()) Fail(15025, "The login '" + login + "' already exists.");
    std::string language = arg(3).empty() ? "us_english" : arg(3);
    if (LanguageDateFormat(language).empty())
      Fail(15033, "'" + language + "' is not a valid official language name.");
    std::string now = NowText();
    Stmt ins(Db(), "INSERT INTO " + master + "syslogins (sid, createdate, updatedate, accdate, name, dbname, password, "
                   "language, loginname) VALUES (randomblob(16), ?, ?, ?, ?, ?, ?, ?, ?)");
    ins.Bind(1, now).Bind(2, now).Bind(3, now).Bind(4, login).Bind(5, arg(2).empty() ? "master" : arg(2));
    BindBlob(ins, 6, PwdEncrypt(arg(1)));
    ins.Bind(7, language).Bind(8, login);
    ins.Step();
    return true;
  }
  if (name == "sp_droplogin") {
    if (!ServerRole("securityadmin")) Fail(15247, kNoPermission);
    Stmt q(Db(), "SELECT name, sid = X'01', sysadmin FROM " + master + "syslogins WHERE name = ?");
    q.Bind(1, arg(0));
    if (!q.Step()) Fail(15007, "The login '" + arg(0) + "' does not exist.");
    if (q.Int(1) != 0) Fail(15405, "Cannot use the reserved user or role name '" + arg(0) + "'.");
    // Only a system administrator removes another.
    if (q.Int(2) != 0 && !ServerRole("sysadmin")) Fail(15247, kNoPermission);
    if (text::SameText(q.Text(0), login_))
      Fail(15434, "Could not drop login '" + arg(0) + "' as the user is currently logged in.");
    Stmt d(Db(), "DELETE FROM " + master + "syslogins WHERE name = ?");
    d.Bind(1, arg(0));
    d.Step();
    return true;
  }
  if (name == "sp_password") {
    // sp_password @old, @new, @loginame: another login's password is changed by securityadmin
    // without the old one; a login's own, or a system administrator's by one who is not, needs it.
    std::string login = given(2) ? arg(2) : login_;
    bool self = text::SameText(login, login_);
    if (!self && !ServerRole("securityadmin"))
      Fail(15210, "Only members of the sysadmin role can use the loginame option. The password was not changed.");
    Stmt q(Db(), "SELECT password, sysadmin FROM " + master + "syslogins WHERE name = ?");
    q.Bind(1, login);
    if (!q.Step()) Fail(15007, "The login '" + login + "' does not exist.");
    if (q.Int(1) != 0 && !ServerRole("sysadmin")) self = true;
    // A NULL old password is the empty one.
    if ((self || given(0)) && !PwdCompare(arg(0), q.Text(0)))
      Fail(15211, "Old (current) password incorrect for user. The password was not changed.");
    Stmt u(Db(), "UPDATE " + master + "syslogins SET password = ?, updatedate = ? WHERE name = ?");
    BindBlob(u, 1, PwdEncrypt(arg(1)));
    u.Bind(2, NowText()).Bind(3, login);
    u.Step();
    return true;
  }
  return false;
}

}  // namespace servers::sqlserver
