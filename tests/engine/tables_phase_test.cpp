// The tables and columns phase on the three embedded servers: the statements a check writes for
// missing tables and changed columns, run in one transaction, bring the client's tables to the
// master's and keep every row.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RoundTrip.h"

namespace {

using round_trip::Server;
using Strings = std::vector<std::string>;

struct Case {
  Server server;
  Strings master;
  Strings client;
  std::string query;  // the client's rows after the update, in order
  Strings rows;
};

void RunRoundTrips(const std::string& prefix, const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE(round_trip::ServerName(c.server));
    const std::string name = prefix + round_trip::ServerName(c.server);
    const std::string master = round_trip::CreateDatabase(c.server, name + "M", c.master);
    const std::string client = round_trip::CreateDatabase(c.server, name + "C", c.client);
    const round_trip::CheckResult first = round_trip::RoundTrip(master, client, round_trip::NewFolder(name));
    EXPECT_EQ(first.errors, Strings{});
    EXPECT_EQ(round_trip::Rows(client, c.query), c.rows) << testing::PrintToString(round_trip::Texts(first.instructions));
  }
}

}  // namespace

TEST(TablesPhase, ChangedColumnsKeepTheirRows) {
  RunRoundTrips(
      "Cols",
      {
          {Server::SqlServer,
           {"CREATE TABLE T (id int NOT NULL PRIMARY KEY, a bigint NULL, v varchar(50) NULL, d decimal(12,4) NULL, "
            "n int NOT NULL DEFAULT 7, t varchar(100) NULL, e int NOT NULL DEFAULT 0)"},
           {"CREATE TABLE T (id int NOT NULL PRIMARY KEY, a int NULL, v varchar(20) NULL, d decimal(10,2) NULL, "
            "n int NULL, t text NULL)",
            "INSERT INTO T (id, a, v, d, n, t) VALUES (1, 5, 'abc', 12.34, NULL, 'long')",
            "INSERT INTO T (id, a, v, d, n, t) VALUES (2, NULL, 'x', NULL, 3, NULL)"},
           "SELECT id, a, v, d, n, t, e FROM T ORDER BY id",
           {"1|5|abc|12.34|7|long|0", "2|<null>|x|<null>|3|<null>|0"}},
          {Server::Asa,
           {"CREATE TABLE T (id integer NOT NULL PRIMARY KEY, a bigint NULL, v varchar(50) NULL, "
            "d decimal(12,4) NULL, n integer NOT NULL DEFAULT 7, e integer NOT NULL DEFAULT 0)"},
           {"CREATE TABLE T (id integer NOT NULL PRIMARY KEY, a integer NULL, v varchar(20) NULL, "
            "d decimal(10,2) NULL, n integer NULL)",
            "INSERT INTO T (id, a, v, d, n) VALUES (1, 5, 'abc', 12.34, NULL)",
            "INSERT INTO T (id, a, v, d, n) VALUES (2, NULL, 'x', NULL, 3)"},
           "SELECT id, a, v, d, n, e FROM T ORDER BY id",
           {"1|5|abc|12.34|7|0", "2|<null>|x|<null>|3|0"}},
          {Server::Access,
           {"CREATE TABLE T (id integer NOT NULL PRIMARY KEY, a integer NULL, v varchar(50) NULL, "
            "d decimal(12,4) NULL, n integer NOT NULL DEFAULT 7, e integer NOT NULL DEFAULT 0)"},
           {"CREATE TABLE T (id integer NOT NULL PRIMARY KEY, a smallint NULL, v varchar(20) NULL, "
            "d decimal(10,2) NULL, n integer NULL)",
            "INSERT INTO T (id, a, v, d, n) VALUES (1, 5, 'abc', 12.34, NULL)",
            "INSERT INTO T (id, a, v, d, n) VALUES (2, NULL, 'x', NULL, 3)"},
           "SELECT id, a, v, d, n, e FROM T ORDER BY id",
           {"1|5|abc|12.34|7|0", "2|<null>|x|<null>|3|0"}},
      });
}
