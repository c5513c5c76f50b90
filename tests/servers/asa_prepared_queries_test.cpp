// Queries of the Adaptive Server Anywhere stand-in that differ only in the texts they compare
// with share one prepared statement: each still reads its own rows, names its columns as written,
// and follows the tables when they change.
#include <string>

#include "AsaFixture.h"

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

}  // namespace
