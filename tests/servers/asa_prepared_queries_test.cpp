// Queries of the Adaptive Server Anywhere stand-in that differ only in the texts they compare
// with share one prepared statement: each still reads its own rows, names its columns as written,
// and follows the tables when they change.
#include <string>

#include "AsaFixture.h"
#include "TwoSessions.h"

namespace {

TEST_F(AsaServer, QueriesDifferingInComparedTextsReadTheirOwnRows) {
  auto db = NewDatabase("prep");
  db->Execute("CREATE TABLE dba.N (k varchar(10) NOT NULL, v integer NULL)");
  db->Execute("INSERT INTO N VALUES ('a', 1), ('it''s', 2), ('b', 3)");
  struct Case {
    const char* sql;
    const char* rows;
  } cases[] = {
      {"SELECT v FROM N WHERE k = 'a'", "1"},
      {"SELECT v FROM N WHERE k = 'b'", "3"},
      {"SELECT v FROM N WHERE k = 'it''s'", "2"},
      {"SELECT v FROM N WHERE k = 'A' AND v = '1'", "1"},
      {"SELECT v FROM N WHERE k = 'none'", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(Rows(*db, c.sql), c.rows) << c.sql;
  // A compared text in a column without a name of its own: the column is named as written.
  auto results = db->Execute("SELECT if k = 'a' then 1 else 0 endif FROM N WHERE v = 1");
  const std::string name = results.back().Rows.Fields.at(0).Name;
  EXPECT_NE(name.find("= 'a'"), std::string::npos) << name;
  EXPECT_EQ(Rows(*db, "SELECT if k = 'b' then 1 else 0 endif FROM N ORDER BY v"), "0;0;1");
  // The shared statement follows the table through a change of definition.
  db->Execute("ALTER TABLE N ADD w integer NULL DEFAULT 9");
  EXPECT_EQ(Rows(*db, "SELECT v, w FROM N WHERE k = 'b'"), "3,9");
  db->Execute("DROP TABLE N");
  EXPECT_EQ(Code(*db, "SELECT v FROM N WHERE k = 'a'"), -141);
}

// Rows written by statements of one shape keep their own values, and a table another connection
// made anew is written as it is now.
TEST_F(AsaServer, RowStatementsOfOneShapeWriteTheirOwnValuesIntoTheTableAsItIs) {
  auto db = NewDatabase("shape");
  db->Execute("CREATE TABLE dba.S (k integer NOT NULL PRIMARY KEY, v varchar(10) NULL)");
  db->Execute("INSERT INTO S (k, v) VALUES (1, 'a')");
  db->Execute("INSERT INTO S (k, v) VALUES (2, 'it''s')");
  db->Execute("IF NOT EXISTS (SELECT * FROM S WHERE k = 2) THEN INSERT INTO S (k, v) VALUES (2, 'no') END IF");
  db->Execute("UPDATE S SET v = 'b' WHERE k = 1");
  EXPECT_EQ(Rows(*db, "SELECT k, v FROM S ORDER BY k"), "1,b;2,it's");
  auto other = Connect(";dbn=shape");
  other->Execute("DROP TABLE S");
  other->Execute("CREATE TABLE dba.S (w integer NULL, k integer NOT NULL PRIMARY KEY, v varchar(10) NULL)");
  db->Execute("INSERT INTO S (k, v) VALUES (3, 'c')");
  EXPECT_EQ(Rows(*db, "SELECT w, k, v FROM S"), "NULL,3,c");
}

// Another connection's committed definitions are seen by the next statement, and by one that
// waited for that connection's transaction, never the descriptions read before.
TEST_F(AsaServer, StatementsSeeTheDefinitionsAnotherConnectionCommitted) {
  auto db = NewDatabase("twosessions");
  db->Execute("CREATE TABLE t3 (a integer NOT NULL, c varchar(10) NULL)");
  db->Execute("CREATE TABLE t4 (a integer NOT NULL)");
  db->Execute("INSERT INTO t3 VALUES (1, 'x')");
  db->Execute("INSERT INTO t4 VALUES (1)");
  EXPECT_EQ(Rows(*db, "SELECT a FROM t4"), "1");
  auto other = Connect(";dbn=twosessions");
  other->Execute("ALTER TABLE t3 MODIFY c varchar(20) NULL");
  other->Execute("ALTER TABLE t3 ADD d integer NOT NULL DEFAULT 7");
  other->Execute("DROP TABLE t4");
  other->Execute("CREATE TABLE t4 (b integer NOT NULL)");
  other->Execute("INSERT INTO t4 VALUES (2)");
  db->Execute("INSERT INTO t3 VALUES (2, '123456789012345', 7)");
  EXPECT_EQ(Rows(*db, "SELECT a, c, d FROM t3 WHERE a = 2"), "2,123456789012345,7");
  EXPECT_EQ(Rows(*db, "SELECT * FROM t4"), "2");
  // The other connection's transaction, begun again after its definition committed, holds the
  // database: the statement waits for it.
  other->BeginTrans();
  other->Execute("ALTER TABLE t3 ADD e integer NOT NULL DEFAULT 8");
  other->Execute("INSERT INTO t3 (a) VALUES (3)");
  std::string failure;
  RunWhileAnotherCommits(*db, *other, "INSERT INTO t3 (a) VALUES (4)", failure);
  EXPECT_EQ(failure, "");
  EXPECT_EQ(Rows(*db, "SELECT a, d, e FROM t3 ORDER BY a"), "1,7,8;2,7,8;3,7,8;4,7,8");
}

}  // namespace
