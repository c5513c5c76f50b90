// Default constraints on a SQL Server client: by the master's names when the master keeps its
// defaults as constraints, else by column; none on the other servers. Extract, check, run,
// check again: nothing left to do.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RoundTrip.h"

namespace {

using round_trip::Server;

std::vector<std::string> DefaultStatements(const round_trip::CheckResult& result) {
  std::vector<std::string> texts;
  for (const round_trip::Instruction& row : result.instructions) {
    if (row.sql.find(" CONSTRAINT ") != std::string::npos) {
      texts.push_back(row.sql);
    }
  }
  return texts;
}

// The client's defaults as "column=text", by column.
std::vector<std::string> ClientDefaults(const std::string& client) {
  return round_trip::Rows(client,
                          "SELECT c.name, m.text, object_name(c.cdefault) FROM syscolumns c JOIN sysobjects t ON t.id = c.id JOIN syscomments m "
                          "ON m.id = c.cdefault WHERE t.name = 'T' ORDER BY c.name");
}

}  // namespace

// A SQL Server master: its names kept. Changed, added, equal ("(.5)" is "(0.5)"), another default
// on the column replaced, a surplus one dropped, server-named defaults converging.
TEST(DefaultValues, ByNameFromSqlServer) {
  const std::string masterDb = round_trip::CreateDatabase(
      Server::SqlServer, "DefNameM",
      {"CREATE TABLE T (id int NOT NULL PRIMARY KEY, a int NULL CONSTRAINT DF_T_a DEFAULT (0), "
       "b varchar(10) NULL CONSTRAINT [DF T b] DEFAULT ('x'), c decimal(5,2) NULL CONSTRAINT DF_T_c DEFAULT (.5), "
       "d int NULL CONSTRAINT DF_T_d DEFAULT (2), e int NULL, f int NULL DEFAULT (3))"});
  const std::string clientDb = round_trip::CreateDatabase(
      Server::SqlServer, "DefNameC",
      {"CREATE TABLE Z (id int NULL)", "CREATE TABLE T (id int NOT NULL PRIMARY KEY, a int NULL CONSTRAINT DF_T_a DEFAULT (1), b varchar(10) NULL, "
       "c decimal(5,2) NULL CONSTRAINT DF_T_c DEFAULT (0.5), d int NULL CONSTRAINT DF_OTHER DEFAULT (2), "
       "e int NULL CONSTRAINT DF_T_e DEFAULT (5), f int NULL DEFAULT (3))",
       "INSERT INTO T (id) VALUES (1)"});
  const round_trip::CheckResult first = round_trip::RoundTrip(masterDb, clientDb, round_trip::NewFolder("DefName"));
  EXPECT_EQ(first.errors, std::vector<std::string>{});
  EXPECT_EQ(DefaultStatements(first),
            (std::vector<std::string>{"ALTER TABLE dbo.T DROP CONSTRAINT DF_T_a",
                                      "ALTER TABLE dbo.T ADD CONSTRAINT DF_T_a DEFAULT (0) FOR a",
                                      "ALTER TABLE dbo.T ADD CONSTRAINT [DF T b] DEFAULT ('x') FOR b",
                                      "ALTER TABLE dbo.T DROP CONSTRAINT DF_OTHER",
                                      "ALTER TABLE dbo.T ADD CONSTRAINT DF_T_d DEFAULT (2) FOR d",
                                      "ALTER TABLE dbo.T DROP CONSTRAINT DF__T__f__75D7838F",
                                      "ALTER TABLE dbo.T ADD CONSTRAINT DF__T__f__75D7837F DEFAULT (3) FOR f",
                                      "ALTER TABLE dbo.T DROP CONSTRAINT DF_T_e"}));
  EXPECT_EQ(ClientDefaults(clientDb), (std::vector<std::string>{"a|(0)|DF_T_a", "b|('x')|DF T b", "c|(0.5)|DF_T_c",
                                                               "d|(2)|DF_T_d", "f|(3)|DF__T__f__75D7837F"}));
}

// Masters that keep no default constraints: by column, a new default named "DF_" + table + "_" +
// column, a changed one under the client's name, a surplus one dropped, an equal one ("0" is
// "(0)") left; an autoincrement column gets none; the Access master's come from its columns.
TEST(DefaultValues, ByColumnFromAdaptiveServerAnywhereAndAccess) {
  const std::string columns =
      " NOT NULL PRIMARY KEY, a int NULL CONSTRAINT DF_A DEFAULT (1), b varchar(10) NULL, c int NULL DEFAULT (0), "
      "e int NULL CONSTRAINT DF_E DEFAULT (5))";
  const std::vector<std::string> expected = {"ALTER TABLE dbo.T DROP CONSTRAINT DF_A",
                                             "ALTER TABLE dbo.T ADD CONSTRAINT DF_A DEFAULT 0 FOR a",
                                             "ALTER TABLE dbo.T ADD CONSTRAINT DF_T_b DEFAULT 'x' FOR b",
                                             "ALTER TABLE dbo.T DROP CONSTRAINT DF_E"};
  for (const Server server : {Server::Asa, Server::Access}) {
    SCOPED_TRACE(round_trip::ServerName(server));
    const std::string name = std::string("DefCol") + round_trip::ServerName(server);
    const std::string masterDb = round_trip::CreateDatabase(
        server, name + "M",
        {std::string("CREATE TABLE T (id integer NOT NULL ") +
         (server == Server::Asa ? "DEFAULT AUTOINCREMENT " : "") +
         "PRIMARY KEY, a integer NULL DEFAULT 0, b varchar(10) NULL DEFAULT 'x', c integer NULL DEFAULT 0, "
         "e integer NULL)"});
    const std::string clientDb = round_trip::CreateDatabase(
        Server::SqlServer, name + "C",
        {std::string("CREATE TABLE T (id int") + (server == Server::Asa ? " IDENTITY (1, 1)" : "") + columns});
    const round_trip::CheckResult first = round_trip::RoundTrip(masterDb, clientDb, round_trip::NewFolder(name));
    EXPECT_EQ(DefaultStatements(first), expected) << ::testing::PrintToString(round_trip::Texts(first.instructions));
  }
}

// Clients that keep defaults in their column definitions get no default statement.
TEST(DefaultValues, NoneOnTheOtherServers) {
  const std::string masterDb = round_trip::CreateDatabase(
      Server::SqlServer, "DefNoneM", {"CREATE TABLE T (id int NOT NULL PRIMARY KEY, a int NULL CONSTRAINT DF_T_a DEFAULT (0))"});
  for (const Server server : {Server::Asa, Server::Access}) {
    SCOPED_TRACE(round_trip::ServerName(server));
    const std::string name = std::string("DefNone") + round_trip::ServerName(server);
    const std::string clientDb = round_trip::CreateDatabase(
        server, name + "C", {"CREATE TABLE T (id integer NOT NULL PRIMARY KEY, a integer NULL DEFAULT 1)"});
    const std::string folder = round_trip::NewFolder(name);
    round_trip::Produce(masterDb, folder);
    EXPECT_EQ(DefaultStatements(round_trip::Check(clientDb, folder)), std::vector<std::string>{});
  }
}
