// Long-type columns (text, ntext, image; long varchar, long binary; memo, OLE object) that the
// master has NOT NULL: one update brings the client's to NOT NULL with every row kept, and the next
// check finds nothing to do.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RoundTrip.h"

namespace {

using round_trip::Server;
using Strings = std::vector<std::string>;

// The master's T has a (no default), b and the client's missing n (default `defaultText`), all NOT
// NULL; the client's a and b are nullable, and its row 2 holds `a2` in a and NULL in b.
struct LongCase {
  Server server;
  const char* type;
  const char* value;        // the literal of row 1
  const char* a2;
  const char* defaultText;
  Strings rows;             // id|a|b|n after the update
};

// Whether the client refuses NULL in the column (a row holding it is put in and taken out again).
bool RefusesNull(const std::string& database, const std::string& column, const std::string& value) {
  ado::TConnection connection(database);
  connection.Open();
  std::string values;
  for (const char* name : {"a", "b", "n"}) values += ", " + (name == column ? std::string("NULL") : value);
  try {
    connection.Execute("INSERT INTO T (id, a, b, n) VALUES (3" + values + ")");
  } catch (const std::exception&) {
    return true;
  }
  connection.Execute("DELETE FROM T WHERE id = 3");
  return false;
}

std::string MasterTable(const std::string& type, const std::string& defaultText) {
  return "CREATE TABLE T (id int NOT NULL, a " + type + " NOT NULL, b " + type + " NOT NULL DEFAULT " + defaultText +
         ", n " + type + " NOT NULL DEFAULT " + defaultText + ")";
}

}  // namespace

// Regression: a long-type column the master has NOT NULL stayed nullable on SQL Server, so every
// check moved it through a temporary column again; a new one was altered to NOT NULL, which the
// server refuses for these types.
TEST(LongColumns, ANotNullLongColumnEndsNotNullWithEveryRow) {
  const std::vector<LongCase> cases = {
      {Server::SqlServer, "text", "'x'", "NULL", "('d')", {"1|x|x|d", "2||d|d"}},
      {Server::SqlServer, "ntext", "N'x'", "NULL", "(N'd')", {"1|x|x|d", "2||d|d"}},
      // The type implies no value for image: row 2 brings its own.
      {Server::SqlServer, "image", "0x41", "0x42", "(0x44)", {"1|A|A|D", "2|B|D|D"}},
      {Server::Asa, "long varchar", "'x'", "NULL", "'d'", {"1|x|x|d", "2||d|d"}},
      {Server::Asa, "long binary", "0x41", "NULL", "0x44", {"1|A|A|D", "2|0|D|D"}},
      {Server::Access, "memo", "'x'", "NULL", "'d'", {"1|x|x|d", "2||d|d"}},
      // Jet has no binary literal.
      {Server::Access, "ole", "1", "NULL", "2", {"1|1|1|2", "2|0|2|2"}},
  };
  int n = 0;
  for (const LongCase& c : cases) {
    SCOPED_TRACE(std::string(round_trip::ServerName(c.server)) + " " + c.type);
    const std::string name = "LongNotNull" + std::to_string(n++);
    const std::string type = c.type;
    const std::string master = round_trip::CreateDatabase(c.server, name + "M", {MasterTable(type, c.defaultText)});
    const std::string client = round_trip::CreateDatabase(
        c.server, name + "C",
        {"CREATE TABLE T (id int NOT NULL, a " + type + " NULL, b " + type + " NULL)",
         "INSERT INTO T (id, a, b) VALUES (1, " + std::string(c.value) + ", " + c.value + ")",
         "INSERT INTO T (id, a, b) VALUES (2, " + std::string(c.a2) + ", NULL)"});
    const round_trip::CheckResult first = round_trip::RoundTrip(master, client, round_trip::NewFolder(name));
    EXPECT_EQ(first.errors, Strings{});
    EXPECT_EQ(round_trip::Rows(client, "SELECT id, a, b, n FROM T ORDER BY id"), c.rows)
        << testing::PrintToString(round_trip::Texts(first.instructions));
    for (const char* column : {"a", "b", "n"}) EXPECT_TRUE(RefusesNull(client, column, c.value)) << column;
  }
}

// A NOT NULL image column without default has no value for a row that holds NULL: the server
// refuses the update rather than the engine inventing one, and every row stays as it was.
TEST(LongColumns, ARowWithoutAValueForANotNullImageColumnIsRefused) {
  const std::string master =
      round_trip::CreateDatabase(Server::SqlServer, "LongRefusedM", {"CREATE TABLE T (id int NOT NULL, a image NOT NULL)"});
  const std::string client = round_trip::CreateDatabase(
      Server::SqlServer, "LongRefusedC",
      {"CREATE TABLE T (id int NOT NULL, a image NULL)", "INSERT INTO T VALUES (1, 0x41)", "INSERT INTO T VALUES (2, NULL)"});
  const std::string folder = round_trip::NewFolder("LongRefused");
  round_trip::Produce(master, folder);
  EXPECT_TRUE(round_trip::Check(client, folder).ok);
  EXPECT_NE(round_trip::TryExecute(client, folder).find("Cannot insert the value NULL into column 'a'"),
            std::string::npos);
  EXPECT_EQ(round_trip::Rows(client, "SELECT id, a FROM T ORDER BY id"), (Strings{"1|A", "2|<null>"}));
}
