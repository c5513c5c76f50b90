// Unusual but valid schemas on the whole road, SQL Server to SQL Server and ASA to ASA: the update
// brings the client to the master and keeps every row with its values.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RoundTrip.h"

namespace {

using round_trip::Server;
using Strings = std::vector<std::string>;

struct Case {
  const char* name;
  Server server;
  Strings master;
  Strings client;
  std::string query;  // the client's rows after the update, in order
  Strings rows;
};

void RunRoundTrips(const std::vector<Case>& cases) {
  for (const Case& c : cases) round_trip::RunRoad({c.name, c.server, c.server, c.master, c.client, {}, c.query, c.rows});
}

}  // namespace

// Regression: a column becoming text, ntext or image was altered in place, which SQL Server
// refuses; its values now move through a new column.
TEST(Probe, ColumnsBecomingLongTypesOnSqlServer) {
  RunRoundTrips({
      {"PLongSql", Server::SqlServer,
       {"CREATE TABLE T (id int NOT NULL PRIMARY KEY, k text NULL, n ntext NOT NULL, i image NULL)"},
       {"CREATE TABLE T (id int NOT NULL PRIMARY KEY, k varchar(100) NULL, n nvarchar(10) NOT NULL, "
        "i varbinary(4) NULL)",
        "INSERT INTO T VALUES (1, 'txt', N'nt', 0x0102)", "INSERT INTO T VALUES (2, NULL, N'', NULL)"},
       "SELECT id, k, n, i FROM T ORDER BY id",
       {"1|txt|nt|\x01\x02", "2|<null>||<null>"}},
  });
}

// Regression: the rows of a new ASA column whose default is a special value (TIMESTAMP, UTC
// TIMESTAMP) were filled with that value as an expression, which the server refuses.
TEST(Probe, SpecialDefaultsFillTheRowsOnAsa) {
  RunRoundTrips({
      {"PDefaultsAsa", Server::Asa,
       {"CREATE TABLE T (id integer NOT NULL PRIMARY KEY, d timestamp NOT NULL DEFAULT CURRENT TIMESTAMP, "
        "u timestamp NOT NULL DEFAULT TIMESTAMP, w timestamp NULL DEFAULT UTC TIMESTAMP, "
        "g uniqueidentifier NOT NULL DEFAULT newid(), "
        "n decimal(9,2) NOT NULL DEFAULT -1.5, e varchar(5) NOT NULL DEFAULT '')"},
       {"CREATE TABLE T (id integer NOT NULL PRIMARY KEY, e varchar(5) NULL)", "INSERT INTO T VALUES (1, NULL)",
        "INSERT INTO T VALUES (2, 'x')"},
       "SELECT id, n, e, CASE WHEN d IS NULL OR u IS NULL OR w IS NULL OR g IS NULL THEN 0 ELSE 1 END "
       "FROM T ORDER BY id",
       {"1|-1.5||1", "2|-1.5|x|1"}},
  });
}

// Regression: the ASA stand-in's views kept reading a table that a rebuild had replaced, so a view
// over such a view could not be created.
TEST(Probe, ViewsOverARebuiltTableOnAsa) {
  RunRoundTrips({
      {"PViewsAsa", Server::Asa,
       {"CREATE TABLE T (id integer NOT NULL PRIMARY KEY, v bigint NULL, w integer NULL)",
        "CREATE VIEW A1 AS SELECT id, v FROM T", "CREATE VIEW Z0 AS SELECT id FROM A1 WHERE v > 0"},
       {"CREATE TABLE T (id integer NOT NULL DEFAULT AUTOINCREMENT PRIMARY KEY, v integer NULL)",
        "CREATE VIEW A1 AS SELECT id, v FROM T", "INSERT INTO T (v) VALUES (4)", "INSERT INTO T (v) VALUES (-1)"},
       "SELECT (SELECT count(*) FROM A1), id FROM Z0",
       {"2|1"}},
  });
}

// The ASA stand-in refuses to alter a column an index, a unique constraint or a foreign key
// holds: the update drops them first and makes them again after, for a new type, nullability
// and default alike.
TEST(Probe, IndexedColumnsChangeOnAsa) {
  RunRoundTrips({
      {"PIndexedAsa", Server::Asa,
       {"CREATE TABLE P (a integer NOT NULL PRIMARY KEY, b bigint NULL, c bigint NOT NULL, d integer NOT NULL DEFAULT 7, "
        "CONSTRAINT uq UNIQUE (c))",
        "CREATE INDEX ixb ON P (b)", "CREATE INDEX ixd ON P (d DESC)",
        "CREATE TABLE C (id integer NOT NULL PRIMARY KEY, pa integer NOT NULL, FOREIGN KEY fk (pa) REFERENCES P (a))"},
       {"CREATE TABLE P (a integer NOT NULL PRIMARY KEY, b integer NULL, c integer NOT NULL, d integer NOT NULL DEFAULT 5, "
        "CONSTRAINT uq UNIQUE (c))",
        "CREATE INDEX ixb ON P (b)", "CREATE INDEX ixd ON P (d DESC)",
        "CREATE TABLE C (id integer NOT NULL PRIMARY KEY, pa integer NULL, FOREIGN KEY fk (pa) REFERENCES P (a))",
        "INSERT INTO P VALUES (1, 10, 100, 5)", "INSERT INTO P VALUES (2, 20, 200, 5)",
        "INSERT INTO C VALUES (1, 1)", "INSERT INTO C VALUES (2, 2)"},
       "SELECT p.a, p.b, p.c, p.d, c.id FROM P p JOIN C c ON c.pa = p.a ORDER BY p.a",
       {"1|10|100|5|1", "2|20|200|5|2"}},
  });
}
