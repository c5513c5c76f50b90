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
