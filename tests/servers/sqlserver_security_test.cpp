// Security of the SQL Server stand-in: logins and their passwords, who may manage logins, no
// password in any message, and no message of the storage engine reaching a client.
#include <sstream>

#include "SqlServerFixture.h"
#include "platform/data/Connection.h"
#include "servers/client/SqlClient.h"
#include "servers/sqlserver/Sqlite.h"

namespace {

const char* const kServer = "Provider=SQLOLEDB.1;Data Source=TESTSRV";

class SecurityTest : public SqlServerTest {
 protected:
  // The server's error number and text for a connection that is refused; "" when it opens.
  static std::string LoginError(const std::string& connection) {
    try {
      ado::ProviderRegistry::Instance().Open(connection);
    } catch (const ado::EOleException& e) {
      return std::to_string(e.NativeError()) + " " + e.what();
    }
    return "";
  }
  static std::string As(const std::string& login, const std::string& password) {
    return std::string(kServer) + ";User ID=" + login + ";Password=" + password;
  }
  static std::unique_ptr<ado::IProviderSession> Open(const std::string& login, const std::string& password) {
    return ado::ProviderRegistry::Instance().Open(As(login, password));
  }
  static int ErrorIn(ado::IProviderSession& s, const std::string& sql) {
    try {
      s.Execute(sql);
    } catch (const ado::EOleException& e) {
      return e.NativeError();
    }
    return 0;
  }
  // Stands in for sp_addsrvrolemember, which the server does not have: writes master directly.
  void GrantServerRole(const std::string& login, const std::string& role) {
    auto db = servers::OpenSqlite(root_ + "/testsrv/master.sqlite", false);
    servers::ExecSql(db.get(), "UPDATE syslogins SET " + role + " = 1 WHERE name = " + servers::SqlLiteral(login));
  }
};

// Fault: a login name that did not exist connected without a password and acted as dbo.
TEST_F(SecurityTest, UnknownLoginsAndMissingCredentialsAreRefused) {
  Connect().reset();
  EXPECT_EQ(LoginError(As("nobody", "x")), "18456 Login failed for user 'nobody'.");
  EXPECT_EQ(LoginError(As("nobody", "")), "18456 Login failed for user 'nobody'.");
  EXPECT_EQ(LoginError(kServer), "18456 Login failed for user ''.");
  EXPECT_EQ(LoginError(std::string(kServer) + ";Integrated Security=False"), "18456 Login failed for user ''.");
  EXPECT_EQ(LoginError(As("sa", "wrong")), "18456 Login failed for user 'sa'.");
  EXPECT_EQ(LoginError(As("sa", "")), "");
  // Integrated Security stays the machine's administrator.
  auto integrated = ado::ProviderRegistry::Instance().Open(std::string(kServer) + ";Integrated Security=SSPI");
  EXPECT_EQ(TextOf(*integrated, "select suser_sname()"), "sa");
  EXPECT_EQ(TextOf(*integrated, "select sysadmin from syslogins where name = 'sa'"), "1");
}

// Fault: passwords were kept in clear text in master..syslogins, readable by any login.
TEST_F(SecurityTest, PasswordsAreKeptAsSaltedOneWayHashes) {
  auto sa = Connect();
  sa->Execute("exec sp_addlogin 'luca', 'secret'");
  sa->Execute("exec sp_addlogin 'mara', 'secret'");
  auto luca = Open("luca", "secret");
  auto rows = Rows(*luca, "select name, password from syslogins order by name");
  ASSERT_EQ(rows.Rows.size(), 3u);
  for (const auto& row : rows.Rows) {
    ASSERT_EQ(row[1].Type(), ado::VarType::Bytes) << row[0].AsString();
    const ado::Bytes& hash = row[1].AsBytes();
    EXPECT_EQ(hash.size(), 26u);
    EXPECT_EQ(std::string(hash.begin(), hash.end()).find("secret"), std::string::npos);
  }
  EXPECT_NE(rows.Rows[0][1].AsBytes(), rows.Rows[1][1].AsBytes());  // the same password, salted apart
  EXPECT_EQ(TextOf(*luca, "select count(*) from syslogins where pwdcompare('secret', password) = 1"), "2");
  EXPECT_EQ(TextOf(*luca, "select pwdcompare('Secret', password) from syslogins where name = 'luca'"), "0");
  EXPECT_EQ(TextOf(*luca, "select pwdcompare('', password) from syslogins where name = 'sa'"), "1");
  EXPECT_EQ(TextOf(*luca, "select pwdcompare(N'pässwörd', pwdencrypt(N'pässwörd'))"), "1");
  EXPECT_EQ(TextOf(*luca, "select pwdcompare('a', pwdencrypt('b'))"), "0");
}

// Fault: a server folder written before hashing would keep its clear-text passwords.
TEST_F(SecurityTest, ClearTextPasswordsOfAnOlderServerAreHashedWhenItOpens) {
  Connect().reset();
  {
    auto db = servers::OpenSqlite(root_ + "/testsrv/master.sqlite", false);
    servers::ExecSql(db.get(),
                     "UPDATE syslogins SET password = 'sapw' WHERE name = 'sa';"
                     "INSERT INTO syslogins (sid, name, dbname, password, language, loginname) VALUES "
                     "(X'02', 'old', 'master', 'oldpw', 'us_english', 'old'),"
                     "(X'03', 'blank', 'master', NULL, 'us_english', 'blank')");
  }
  EXPECT_EQ(LoginError(As("old", "oldpw")), "");
  EXPECT_EQ(LoginError(As("sa", "sapw")), "");
  EXPECT_EQ(LoginError(As("blank", "")), "");
  EXPECT_EQ(LoginError(As("old", "wrong")), "18456 Login failed for user 'old'.");
  EXPECT_EQ(TextOf(*Connect(), "select count(*) from syslogins where datalength(password) <> 26"), "0");
}

// Fault: sp_password reported success and changed nothing.
TEST_F(SecurityTest, SpPasswordChangesThePasswordAfterCheckingTheOldOne) {
  auto sa = Open("sa", "");
  sa->Execute("exec sp_addlogin 'luca', 'old'");
  auto luca = Open("luca", "old");
  EXPECT_EQ(ErrorIn(*luca, "exec sp_password 'wrong', 'new'"), 15211);
  EXPECT_EQ(ErrorIn(*luca, "exec sp_password NULL, 'new'"), 15211);
  luca->Execute("exec sp_password 'old', 'new'");
  EXPECT_EQ(LoginError(As("luca", "old")), "18456 Login failed for user 'luca'.");
  EXPECT_EQ(LoginError(As("luca", "new")), "");
  // Another login's password: only a security administrator, and then without the old one.
  EXPECT_EQ(ErrorIn(*luca, "exec sp_password NULL, 'x', 'sa'"), 15210);
  sa->Execute("exec sp_password NULL, 'reset', 'luca'");
  EXPECT_EQ(LoginError(As("luca", "reset")), "");
  EXPECT_EQ(ErrorIn(*sa, "exec sp_password NULL, 'x', 'nobody'"), 15007);
  // A blank password is the NULL old one.
  sa->Execute("exec sp_password NULL, 'sapw'");
  EXPECT_EQ(LoginError(As("sa", "")), "18456 Login failed for user 'sa'.");
  EXPECT_EQ(LoginError(As("sa", "sapw")), "");
}

// Fault: any login could add logins and drop sa.
TEST_F(SecurityTest, OnlySecurityAdministratorsManageLogins) {
  auto sa = Connect();
  for (const char* login : {"luca", "sec", "admin2"}) sa->Execute(std::string("exec sp_addlogin '") + login + "', 'pw'");
  GrantServerRole("sec", "securityadmin");
  GrantServerRole("admin2", "sysadmin");
  auto luca = Open("luca", "pw");
  for (const char* sql : {"exec sp_addlogin 'x', 'y'", "exec sp_droplogin 'sa'", "exec sp_droplogin 'sec'"})
    EXPECT_EQ(ErrorIn(*luca, sql), 15247) << sql;
  auto sec = Open("sec", "pw");
  sec->Execute("exec sp_addlogin 'temp', 'pw'");
  EXPECT_EQ(LoginError(As("temp", "pw")), "");
  sec->Execute("exec sp_droplogin 'temp'");
  EXPECT_EQ(ErrorIn(*sec, "exec sp_droplogin 'admin2'"), 15247);  // a system administrator
  EXPECT_EQ(ErrorIn(*sec, "exec sp_droplogin 'sa'"), 15405);
  EXPECT_EQ(ErrorIn(*sa, "exec sp_droplogin 'sa'"), 15405);
  EXPECT_EQ(ErrorIn(*sec, "exec sp_droplogin 'sec'"), 15434);
  EXPECT_EQ(ErrorIn(*sa, "exec sp_droplogin 'nobody'"), 15007);
  sa->Execute("exec sp_droplogin 'admin2'");
  sa->Execute("exec sp_droplogin 'luca'");
  EXPECT_EQ(TextOf(*sa, "select count(*) from syslogins"), "2");
  EXPECT_EQ(LoginError(As("luca", "pw")), "18456 Login failed for user 'luca'.");
}

// Fault: a password the connection string did not parse as one (its ";" left out) was echoed in
// the refusal, by the server, the data layer and the client alike.
TEST_F(SecurityTest, PasswordsNeverShowInMessages) {
  Connect().reset();
  const std::string runOn = std::string(kServer) + ";User ID=sa Password=hunter2";
  EXPECT_EQ(LoginError(runOn).find("hunter2"), std::string::npos) << LoginError(runOn);
  for (const std::string& connection : {runOn, std::string("Provider=NoSuch Password=hunter2")}) {
    ado::TConnection c(connection);
    try {
      c.Open();
      ADD_FAILURE() << connection;
    } catch (const ado::EOleException& e) {
      EXPECT_EQ(std::string(e.what()).find("hunter2"), std::string::npos) << e.what();
    }
    std::istringstream in;
    std::ostringstream out, err;
    EXPECT_EQ(sqlclient::RunSqlClient({"-c", connection, "-q", "select 1"}, in, out, err), 2);
    EXPECT_EQ(err.str().find("hunter2"), std::string::npos) << err.str();
  }
  // The providers' own password keys are masked too.
  ado::ConnectionString jet("Provider=Microsoft.Jet.OLEDB.4.0;Jet OLEDB:Database Password=hunter2");
  EXPECT_EQ(jet.MaskPasswords("cannot open with hunter2"), "cannot open with *****");
  EXPECT_EQ(jet.ToStringWithoutPassword().find("hunter2"), std::string::npos);
}

}  // namespace
