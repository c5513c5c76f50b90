// Names that hold the server's closing quote, a statement end or a comment start: the engine's SQL
// quotes them whole, so the update makes exactly the master's objects and runs nothing else.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RoundTrip.h"

namespace {

using round_trip::Server;
using Strings = std::vector<std::string>;

}  // namespace

// Regression: a name with "]" (or '"' on Adaptive Server Anywhere) and ";" or "--" closed the
// quotes the engine put around it, and the rest of the name ran as statements of its own.
TEST(HostileNames, NamesHoldingQuotesAndStatementEndsAreQuotedWhole) {
  struct Case {
    Server server;
    std::string table, column;  // as written in the scripts
    std::string tableName;      // as the catalogue holds it
  };
  const std::vector<Case> cases = {
      {Server::SqlServer, "[O]]; DROP TABLE Keep --]", "[a]]b-c]", "O]; DROP TABLE Keep --"},
      {Server::Asa, "\"O\"\"; DROP TABLE Keep --\"", "\"a\"\"b-c\"", "O\"; DROP TABLE Keep --"},
  };
  for (const Case& c : cases) {
    const std::string name = std::string("Hostile") + round_trip::ServerName(c.server);
    SCOPED_TRACE(name);
    const std::string master = round_trip::CreateDatabase(
        c.server, name + "M",
        {"CREATE TABLE Keep (id integer NOT NULL PRIMARY KEY)",
         "CREATE TABLE " + c.table + " (id integer NOT NULL PRIMARY KEY, " + c.column + " integer NULL)"});
    const std::string client = round_trip::CreateDatabase(
        c.server, name + "C",
        {"CREATE TABLE Keep (id integer NOT NULL PRIMARY KEY)", "INSERT INTO Keep VALUES (1)"});
    const round_trip::CheckResult first = round_trip::RoundTrip(master, client, round_trip::NewFolder(name));
    EXPECT_EQ(first.errors, Strings{});
    EXPECT_EQ(round_trip::Rows(client, "SELECT id FROM Keep"), Strings{"1"});
    EXPECT_EQ(round_trip::Rows(client, "SELECT count(*) FROM " + c.table), Strings{"0"});
  }
}

// Regression: a name that is not a regular identifier of the server (starting with a digit) or is
// one of its reserved words (Key and Date on Access) was written bare, which the server refuses.
TEST(HostileNames, NamesThatAreNoRegularIdentifiersOrReservedWordsAreQuoted) {
  struct Case {
    Server server;
    std::string open, close, integer, text;
  };
  const std::vector<Case> cases = {{Server::SqlServer, "[", "]", "int", "varchar(50)"},
                                   {Server::Asa, "\"", "\"", "integer", "varchar(50)"},
                                   {Server::Access, "[", "]", "int", "text(50)"}};
  for (const Case& c : cases) {
    const auto q = [&](const std::string& name) { return c.open + name + c.close; };
    const std::string name = std::string("Reserved") + round_trip::ServerName(c.server);
    const std::string table = "CREATE TABLE T (id " + c.integer + " NOT NULL PRIMARY KEY";
    const std::string client = round_trip::RunRoad(
        {name.c_str(), c.server, c.server,
         {table + ", " + q("20") + " " + c.integer + " NULL, " + q("Key") + " " + c.text + " NULL, " + q("Date") +
              " datetime NULL)",
          "CREATE TABLE " + q("Group") + " (id " + c.integer + " NOT NULL PRIMARY KEY, " + q("1st") + " " +
              c.integer + " NULL)",
          "CREATE INDEX " + q("Index") + " ON T (" + q("Key") + ")"},
         {table + ")", "INSERT INTO T (id) VALUES (1)"},
         {"INSERT INTO " + q("Group") + " (id, " + q("1st") + ") VALUES (1, 2)"},
         "SELECT T.id, " + q("1st") + " FROM T, " + q("Group"),
         {"1|2"}});
    EXPECT_EQ(round_trip::Columns(client, false),
              (Strings{"Group.1st", "Group.id", "T.20", "T.Date", "T.Key", "T.id"}));
  }
}
