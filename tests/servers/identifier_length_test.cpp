// The longest names the servers take: SQL Server 128 characters, Adaptive Server Anywhere 128
// bytes, Access 64 characters; and sp_rename, whose new name is a sysname, cuts a longer one.
#include <string>
#include <vector>

#include "SqlServerFixture.h"

namespace {

std::string Repeat(const std::string& part, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += part;
  return out;
}

// The server's error number and message for the statement; 0 when it runs.
int Refusal(ado::IProviderSession& session, const std::string& sql, std::string& message) {
  try {
    session.Execute(sql);
  } catch (const ado::EOleException& e) {
    message = e.what();
    return e.NativeError();
  }
  return 0;
}

}  // namespace

TEST_F(SqlServerTest, EachServerRefusesANameLongerThanItsLimit) {
  auto& registry = ado::ProviderRegistry::Instance();
  server_test::MakeAsaServer("names");
  auto asaServer = registry.Open("Provider=ASAProv.90;Eng=names");
  asaServer->Execute("CREATE DATABASE 'C:\\data\\n.db'");
  asaServer->Execute("START DATABASE 'C:\\data\\n.db'");
  auto asa = registry.Open("Provider=ASAProv.90;Eng=names;dbn=n");
  const std::string jet = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + root_ + "/n.mdb";
  registry.CreateDatabase(jet);
  auto access = registry.Open(jet);
  const std::string e = "\xC3\xA9";  // two bytes
  struct Case {
    const char* server;
    ado::IProviderSession& session;
    std::string open, close;
    std::string fits, over;
    int error;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"SQL Server", Db(), "[", "]", Repeat(e, 128), Repeat(e, 129), 103,
       "The identifier that starts with '" + Repeat(e, 128) + "' is too long. Maximum length is 128."},
      // The start quoted never splits a character.
      {"ASA", *asa, "\"", "\"", Repeat(e, 64), "a" + Repeat(e, 64), -250,
       "Identifier 'a" + Repeat(e, 63) + "' too long"},
      {"Access", *access, "[", "]", Repeat(e, 64), Repeat(e, 65), 3125,
       "'" + Repeat(e, 64) + "' is not a valid name."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.server);
    std::string message;
    EXPECT_EQ(Refusal(c.session, "CREATE TABLE " + c.open + c.over + c.close + " (a integer NULL)", message), c.error);
    EXPECT_NE(message.find(c.message), std::string::npos) << message;
    EXPECT_EQ(Refusal(c.session, "CREATE TABLE " + c.open + c.fits + c.close + " (a integer NULL)", message), 0)
        << message;
  }
}

TEST_F(SqlServerTest, SpRenameCutsANewNameToItsFirst128Characters) {
  Db().Execute("CREATE TABLE R (a int NULL)");
  Db().Execute("EXEC sp_rename N'R.a', N'" + Repeat("\xC3\xA9", 130) + "', 'COLUMN'");
  EXPECT_EQ(TextOf("SELECT name FROM syscolumns WHERE id = object_id('R')"), Repeat("\xC3\xA9", 128));
}

// Regression: the names the server makes for unnamed constraints cut the table's and column's
// names by bytes, splitting a character in two.
TEST_F(SqlServerTest, ConstraintNamesTheServerMakesKeepWholeCharacters) {
  const std::string table = Repeat("\xC3\xA9", 20), column = Repeat("\xC3\xA9", 15);
  Db().Execute("CREATE TABLE [" + table + "] ([" + column + "] int NOT NULL PRIMARY KEY DEFAULT 0)");
  const std::string key = TextOf("SELECT name FROM sysobjects WHERE xtype = 'PK'");
  const std::string fallback = TextOf("SELECT name FROM sysobjects WHERE xtype = 'D'");
  EXPECT_EQ(key.substr(0, 38), "PK__" + Repeat("\xC3\xA9", 16) + "__") << key;
  EXPECT_EQ(fallback.substr(0, 64), "DF__" + Repeat("\xC3\xA9", 16) + "__" + Repeat("\xC3\xA9", 12) + "__")
      << fallback;
}
