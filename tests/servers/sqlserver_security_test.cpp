// Security of the SQL Server stand-in: logins and their passwords, who may manage logins, no
// password in any message, and no message of the storage engine reaching a client.
#include <fstream>
#include <iterator>
#include <random>
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

// True when the text is SQLite's (or the C++ library's) rather than the server's.
bool EngineText(const std::string& m) {
  for (const char* part : {"unrecognized token", "near \"", "syntax error", "no such", "SQL logic", "sqlite",
                           "constraint failed", "too many", "misuse", "sub-select", "hex literal", "tsql_",
                           "overflow\n", "database is locked", "not a database", "vector::", "basic_string"})
    if (m.find(part) != std::string::npos) return true;
  return false;
}

// Fault: SQLite's messages reached the client for input the translation passed on (NUL bytes in a
// literal gave `unrecognized token: "'a"`, error 50000), and raw for some statements.
TEST_F(SecurityTest, EveryErrorIsTheServersOwn) {
  Db().Execute("CREATE TABLE T (a int NULL, b nvarchar(20) NULL)");
  Db().Execute("INSERT INTO T VALUES (1, 'x')");
  const std::string nul(1, '\0');
  // A NUL inside a string is data, as on the real server.
  Db().Execute("INSERT INTO T (a, b) VALUES (2, 'x" + nul + "y')");
  EXPECT_EQ(Value("SELECT b FROM T WHERE a = 2").AsString(), "x" + nul + "y");
  EXPECT_EQ(Value("SELECT count(*) FROM T WHERE b = N'x" + nul + "y'").AsInt(), 1);
  EXPECT_EQ(Value("SELECT datalength(0x)").AsInt(), 0);
  EXPECT_EQ(Value("SELECT datalength(0x0102030405060708090A)").AsInt(), 10);
  std::string wide = "CREATE TABLE Wide (c0 int NULL";
  for (int i = 1; i < 2100; ++i) wide += ", c" + std::to_string(i) + " int NULL";
  const std::pair<std::string, int> cases[] = {
      {"SELECT [a" + nul + "] FROM T", 170},
      {"SELECT abs(-9223372036854775808)", 8115},
      {"SELECT max(max(a)) FROM T", 130},
      {"SELECT a FROM T UNION SELECT a, b FROM T", 205},
      {"SELECT a FROM T WHERE a IN (SELECT a, b FROM T)", 116},
      {"SELECT *", 263},
      {"SELECT a FROM T ORDER BY 5", 108},
      {"SELECT upper(1, 2)", 174},
      {"SELECT power(2, 3)", 195},
      {"SELECT count(*) FROM T WHERE b LIKE '" + std::string(60000, '%') + "'", 191},
      {wide + ")", 1702}};
  for (const auto& [sql, number] : cases) {
    std::string message;
    EXPECT_EQ(ErrorOf(sql, &message), number) << sql.substr(0, 60);
    EXPECT_FALSE(EngineText(message)) << message;
  }
  // Random statements with NUL bytes and odd tokens give only the server's errors.
  static const char* const kWords[] = {"SELECT", "FROM", "T", "a", "b", "WHERE", "=", "+", "(", ")", ",", "'", "N'x'",
                                       "0x", "0x1F", "@v", "GROUP", "BY", "ORDER", "1", "max(", "count(*)", "UNION"};
  std::mt19937 rng(16);
  for (int i = 0; i < 3000; ++i) {
    std::string sql = "SELECT ";
    for (size_t k = 1 + rng() % 10; k > 0; --k) {
      if (rng() % 7 == 0) sql += rng() % 2 ? "'a" + nul + "b' " : nul;
      else sql += std::string(kWords[rng() % std::size(kWords)]) + " ";
    }
    std::string message;
    ErrorOf(sql, &message);
    EXPECT_FALSE(EngineText(message)) << message;
  }
  // A database file that is no database: the server's I/O error, not SQLite's text.
  session_.reset();
  {
    std::ofstream broken(root_ + "/testsrv/db.sqlite", std::ios::binary | std::ios::trunc);
    broken << std::string(4096, 'x');
  }
  auto master = Connect();
  try {
    master->Execute("USE db");
    ADD_FAILURE() << "a broken file opened";
  } catch (const ado::EOleException& e) {
    EXPECT_EQ(e.NativeError(), 823);
    EXPECT_FALSE(EngineText(e.what())) << e.what();
  }
}

}  // namespace
