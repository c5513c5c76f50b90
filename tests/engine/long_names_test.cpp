// Names as long as each server takes: the temporary columns, constraints and tables the engine
// names after them, and the keys and defaults it names itself, stay within the server's limit, so
// the update goes through and keeps every row.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RoundTrip.h"

namespace {

using round_trip::Server;
using Strings = std::vector<std::string>;

std::string Repeat(const std::string& part, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += part;
  return out;
}

}  // namespace

// Regression: a column of 128 characters moved through "TMP_PRN_" + its name, and its NOT NULL
// default constraint "TMP_PRN_DF_" + table + column, which SQL Server refuses as too long.
TEST(LongNames, LongColumnsMoveThroughTemporaryColumnsThatFit) {
  // 128 characters each, alike in their first 120.
  const std::string a = std::string(120, 'c') + "AAAAAAAA";
  const std::string b = std::string(120, 'c') + "BBBBBBBB";
  const std::string master = round_trip::CreateDatabase(
      Server::SqlServer, "LongColsM", {"CREATE TABLE T (id int NOT NULL, [" + a + "] ntext NULL, [" + b +
                                           "] text NOT NULL DEFAULT ('d'))"});
  const std::string client = round_trip::CreateDatabase(
      Server::SqlServer, "LongColsC",
      {"CREATE TABLE T (id int NOT NULL, [" + a + "] text NULL, [" + b + "] text NULL)",
       "INSERT INTO T VALUES (1, 'x', 'y')", "INSERT INTO T VALUES (2, NULL, NULL)"});
  const round_trip::CheckResult first = round_trip::RoundTrip(master, client, round_trip::NewFolder("LongCols"));
  EXPECT_EQ(first.errors, Strings{});
  EXPECT_EQ(round_trip::Rows(client, "SELECT id, [" + a + "], [" + b + "] FROM T ORDER BY id"),
            (Strings{"1|x|y", "2|<null>|d"}))
      << testing::PrintToString(round_trip::Texts(first.instructions));
}

// Regression: a table whose name takes the server's whole limit was rebuilt through
// "_ORV_TMP_TABLE_" + its name, which every server refuses as too long.
TEST(LongNames, ATableAsLongAsTheServerTakesIsRebuilt) {
  struct Case {
    Server server;
    std::string table;
    std::string identity;  // the master's identity column
    std::string plain;     // the client's column
  };
  const std::vector<Case> cases = {
      {Server::SqlServer, std::string(128, 't'), "id int IDENTITY(1, 1) NOT NULL", "id int NOT NULL"},
      // 128 bytes in 64 characters.
      {Server::Asa, Repeat("\xC3\xA9", 64), "id integer DEFAULT AUTOINCREMENT NOT NULL", "id integer NOT NULL"},
      {Server::Access, std::string(64, 't'), "id counter NOT NULL", "id int NOT NULL"},
  };
  for (const Case& c : cases) {
    const std::string name = std::string("LongTable") + round_trip::ServerName(c.server);
    SCOPED_TRACE(name);
    const std::string table = c.server == Server::Asa ? "\"" + c.table + "\"" : "[" + c.table + "]";
    const std::string master = round_trip::CreateDatabase(
        c.server, name + "M", {"CREATE TABLE " + table + " (" + c.identity + ", v varchar(10) NULL)"});
    const std::string client = round_trip::CreateDatabase(
        c.server, name + "C",
        {"CREATE TABLE " + table + " (" + c.plain + ", v varchar(10) NULL)", "INSERT INTO " + table + " VALUES (4, 'a')"});
    const round_trip::CheckResult first = round_trip::RoundTrip(master, client, round_trip::NewFolder(name));
    EXPECT_EQ(first.errors, Strings{});
    EXPECT_EQ(round_trip::Rows(client, "SELECT id, v FROM " + table), Strings{"4|a"})
        << testing::PrintToString(round_trip::Texts(first.instructions));
  }
}

// Regression: a primary key named "PK_" + table and a default named "DF_" + table + "_" + column
// for a master that names neither went past SQL Server's 128 characters.
TEST(LongNames, KeysAndDefaultsTheEngineNamesFit) {
  const std::string table = std::string(128, 'k');
  const std::string column = std::string(128, 'd');
  const std::string master = round_trip::CreateDatabase(
      Server::Asa, "LongKeysM",
      {"CREATE TABLE \"" + table + "\" (id integer NOT NULL PRIMARY KEY, \"" + column + "\" integer NULL DEFAULT 5)"});
  const std::string client = round_trip::CreateDatabase(
      Server::SqlServer, "LongKeysC",
      {"CREATE TABLE [" + table + "] (id int NOT NULL, [" + column + "] int NULL)",
       "INSERT INTO [" + table + "] VALUES (1, 2)"});
  const round_trip::CheckResult first = round_trip::RoundTrip(master, client, round_trip::NewFolder("LongKeys"));
  EXPECT_EQ(first.errors, Strings{});
  EXPECT_EQ(round_trip::Rows(client, "SELECT id, [" + column + "] FROM [" + table + "]"), Strings{"1|2"})
      << testing::PrintToString(round_trip::Texts(first.instructions));
}
