// Global temporary tables of the Adaptive Server Anywhere stand-in: one definition in the
// catalogue, rows of each connection its own, emptied at commit unless created ON COMMIT
// PRESERVE ROWS.
#include <string>

#include "AsaFixture.h"

namespace {

TEST_F(AsaServer, TemporaryRowsBelongToTheirConnection) {
  auto a = NewDatabase("tmp");
  auto b = Connect(";dbn=tmp");
  a->Execute("CREATE GLOBAL TEMPORARY TABLE dba.G (id integer NOT NULL, v varchar(10) NULL CHECK (v <> 'bad'), "
             "PRIMARY KEY (id)) ON COMMIT PRESERVE ROWS");
  a->Execute("INSERT INTO G VALUES (1, 'a')");
  b->Execute("INSERT INTO G VALUES (1, 'b'), (2, 'b')");
  EXPECT_EQ(Rows(*a, "SELECT id, v FROM G ORDER BY id"), "1,a");
  EXPECT_EQ(Rows(*b, "SELECT id, v FROM dba.G ORDER BY id"), "1,b;2,b");
  // Each connection's copy keeps the table's key and checks.
  EXPECT_EQ(Code(*a, "INSERT INTO G VALUES (1, 'x')"), -193);
  EXPECT_EQ(Code(*a, "INSERT INTO G VALUES (3, 'bad')"), -209);
  a->Execute("UPDATE G SET v = 'z'");
  a->Execute("DELETE FROM G WHERE id = 5");
  EXPECT_EQ(Rows(*b, "SELECT v FROM G ORDER BY id"), "b;b");
  // A definition changed by one connection reaches the other, which keeps its rows.
  a->Execute("ALTER TABLE G ADD n integer NULL DEFAULT 7");
  EXPECT_EQ(Rows(*b, "SELECT id, v, n FROM G ORDER BY id"), "1,b,7;2,b,7");
  EXPECT_EQ(Rows(*a, "SELECT id, v, n FROM G ORDER BY id"), "1,z,7");
  // Rows in a transaction rolled back go with it.
  b->BeginTrans();
  b->Execute("INSERT INTO G (id) VALUES (9)");
  b->RollbackTrans();
  EXPECT_EQ(Value(*b, "SELECT count(*) FROM G"), "2");
  EXPECT_EQ(Value(*a, "SELECT count(*) FROM SYS.SYSTABLE WHERE table_name = 'G' AND table_type = 'GBL TEMP' AND "
                      "last_page = 0"),
            "1");
  a->Execute("DROP TABLE G");
  EXPECT_EQ(Code(*b, "SELECT * FROM G"), -141);
}

TEST_F(AsaServer, CommitDeletesTemporaryRowsUnlessPreserved) {
  auto db = NewDatabase("commit");
  db->Execute("CREATE GLOBAL TEMPORARY TABLE D (id integer IDENTITY NOT NULL, v integer NULL)");
  db->Execute("CREATE GLOBAL TEMPORARY TABLE P (v integer NULL) ON COMMIT PRESERVE ROWS");
  // Outside a transaction every statement commits: the rows of D go at once.
  db->Execute("INSERT INTO D (v) VALUES (1)");
  db->Execute("INSERT INTO P VALUES (1)");
  EXPECT_EQ(Value(*db, "SELECT count(*) FROM D"), "0");
  db->BeginTrans();
  db->Execute("INSERT INTO D (v) VALUES (2), (3)");
  db->Execute("INSERT INTO P VALUES (2)");
  EXPECT_EQ(Rows(*db, "SELECT id, v FROM D ORDER BY id"), "2,2;3,3");
  db->CommitTrans();
  EXPECT_EQ(Value(*db, "SELECT count(*) FROM D"), "0");
  db->Execute("BEGIN TRANSACTION; INSERT INTO D (v) VALUES (4); COMMIT");
  EXPECT_EQ(Value(*db, "SELECT count(*) FROM D"), "0");
  EXPECT_EQ(Rows(*db, "SELECT v FROM P ORDER BY v"), "1;2");
  EXPECT_EQ(Value(*db, "SELECT last_page FROM SYS.SYSTABLE WHERE table_name = 'D'"), "1");
}

}  // namespace
