// The main road across servers: a master of one server kind, a client of another, both built by
// script; extract, check, update, check again. The client keeps every row and ends as the master.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RoundTrip.h"

namespace {

using round_trip::Server;
using Strings = std::vector<std::string>;

void RunCrossCases(const std::vector<round_trip::RoadCase>& cases) {
  for (const round_trip::RoadCase& c : cases) round_trip::RunRoad(c);
}

}  // namespace

// The master's defaults reach a client of another kind and serve a row written without values:
// numbers, negative numbers, quoted strings, bits and the current date.
TEST(CrossServerRoad, DefaultsServeNewRowsOnTheClient) {
  RunCrossCases({
      // Regression: the Adaptive Server Anywhere stand-in ignored a default written in parentheses
      // and knew no newid().
      {"DefSqlAsa", Server::SqlServer, Server::Asa,
       {"CREATE TABLE T (id int NOT NULL PRIMARY KEY, f bit NOT NULL DEFAULT 1, d datetime NULL DEFAULT getdate(), "
        "n int NULL DEFAULT -5, s varchar(20) NULL DEFAULT 'it''s', g uniqueidentifier NULL DEFAULT newid())"},
       {"CREATE TABLE T (id integer NOT NULL PRIMARY KEY, f smallint NOT NULL, d date NULL)",
        "INSERT INTO T VALUES (1, 0, '2020-01-31')"},
       {"INSERT INTO T (id) VALUES (2)"},
       "SELECT id, f, n, s FROM T WHERE d IS NOT NULL AND g IS NOT NULL ORDER BY id",
       {"1|False|-5|it's", "2|True|-5|it's"}},
      // Regression: SQL Server's getdate() went to Access as it stood, which Access refuses.
      {"DefSqlAcc", Server::SqlServer, Server::Access,
       {"CREATE TABLE T (id int NOT NULL PRIMARY KEY, f bit NOT NULL DEFAULT 1, d datetime NULL DEFAULT getdate(), "
        "n int NULL DEFAULT -5, s varchar(20) NULL DEFAULT 'it''s')"},
       {"CREATE TABLE T (id int NOT NULL PRIMARY KEY, f bit NOT NULL)", "INSERT INTO T VALUES (1, false)"},
       {"INSERT INTO T (id) VALUES (2)", "UPDATE T SET d = #2020-01-31# WHERE id = 1"},
       "SELECT id, f, n, s FROM T WHERE d IS NOT NULL ORDER BY id",
       {"1|False|-5|it's", "2|True|-5|it's"}},
      // Regression: Adaptive Server Anywhere's "current timestamp" and "current date" went to SQL
      // Server as they stood.
      {"DefAsaSql", Server::Asa, Server::SqlServer,
       {"CREATE TABLE T (id integer NOT NULL PRIMARY KEY, f bit NOT NULL DEFAULT 1, "
        "d datetime NULL DEFAULT current timestamp, n integer NULL DEFAULT -5, s varchar(20) NULL DEFAULT 'it''s', "
        "e date NULL DEFAULT current date)"},
       {"CREATE TABLE T (id int NOT NULL PRIMARY KEY, f bit NOT NULL, d datetime NULL)",
        "INSERT INTO T VALUES (1, 0, '2020-01-31')"},
       {"INSERT INTO T (id) VALUES (2)"},
       "SELECT id, f, n, s FROM T WHERE d IS NOT NULL AND e IS NOT NULL ORDER BY id",
       {"1|False|-5|it's", "2|True|-5|it's"}},
      // Regression: Access's Yes/No words, double-quoted strings and date() went to other servers
      // as they stood.
      {"DefAccSql", Server::Access, Server::SqlServer,
       {"CREATE TABLE T (id int NOT NULL PRIMARY KEY, f bit NOT NULL DEFAULT Yes, d datetime NULL DEFAULT date(), "
        "n int NULL DEFAULT -5, s text(20) NULL DEFAULT \"it's\")"},
       {"CREATE TABLE T (id int NOT NULL PRIMARY KEY)", "INSERT INTO T VALUES (1)"},
       {"INSERT INTO T (id) VALUES (2)"},
       "SELECT id, f, n, s FROM T WHERE d IS NOT NULL ORDER BY id",
       {"1|True|-5|it's", "2|True|-5|it's"}},
      {"DefAccAsa", Server::Access, Server::Asa,
       {"CREATE TABLE T (id int NOT NULL PRIMARY KEY, f bit NOT NULL DEFAULT False, d datetime NULL DEFAULT now(), "
        "n int NULL DEFAULT -5, s text(20) NULL DEFAULT \"it's\")"},
       {"CREATE TABLE T (id integer NOT NULL PRIMARY KEY, f bit NOT NULL)", "INSERT INTO T VALUES (1, 0)"},
       {"INSERT INTO T (id) VALUES (2)", "UPDATE T SET d = '2020-01-31' WHERE id = 1"},
       "SELECT id, f, n, s FROM T WHERE d IS NOT NULL ORDER BY id",
       {"1|False|-5|it's", "2|False|-5|it's"}},
  });
}

// Regression: a master smallint or tinyint identity column rebuilt its Access table at every check.
TEST(CrossServerRoad, IdentityColumnsBecomeCountersOnAccess) {
  RunCrossCases({
      {"IdSqlAcc", Server::SqlServer, Server::Access,
       {"CREATE TABLE J (job_id smallint IDENTITY(1,1) NOT NULL PRIMARY KEY, d varchar(20) NULL)",
        "CREATE TABLE K (k tinyint IDENTITY(1,1) NOT NULL, d varchar(20) NULL)"},
       {"CREATE TABLE J (job_id smallint NOT NULL PRIMARY KEY, d text(20) NULL)", "INSERT INTO J VALUES (5, 'x')"},
       {"INSERT INTO J (d) VALUES ('y')", "INSERT INTO K (d) VALUES ('z')"},
       "SELECT 'J', job_id, d FROM J UNION ALL SELECT 'K', k, d FROM K ORDER BY 1, 2",
       {"J|5|x", "J|6|y", "K|1|z"}},
  });
}
