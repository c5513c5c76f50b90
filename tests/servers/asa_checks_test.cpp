// CHECK constraints of the Adaptive Server Anywhere stand-in: column and table conditions kept in
// the catalogue and enforced on every insert and update, through rebuilds, renames and drops.
#include <string>

#include "AsaFixture.h"

namespace {

TEST_F(AsaServer, ColumnAndTableChecksRefuseRowsAndChangeNothing) {
  auto db = NewDatabase("checks");
  db->Execute("CREATE TABLE dba.R (lo integer NOT NULL, hi integer NULL CHECK (hi < 100), "
              "CONSTRAINT ordered CHECK (lo <= hi), CHECK (lo >= 0 OR hi IS NULL))");
  db->Execute("INSERT INTO R VALUES (1, 2), (5, NULL)");
  struct Case {
    const char* sql;
    const char* text;
  } cases[] = {
      {"INSERT INTO R VALUES (3, 2)", "Invalid value for column 'lo' in table 'R'"},
      {"INSERT INTO R VALUES (-1, 1)", "Invalid value for column 'lo' in table 'R'"},
      {"INSERT INTO R VALUES (1, 100)", "Invalid value for column 'hi' in table 'R'"},
      {"UPDATE R SET lo = 9 WHERE hi = 2", "Invalid value for column 'lo' in table 'R'"},
      {"INSERT INTO R SELECT 7, 6", "Invalid value for column 'lo' in table 'R'"},
  };
  for (const auto& c : cases) {
    std::string message;
    EXPECT_EQ(Code(*db, c.sql, &message), -209) << c.sql;
    EXPECT_EQ(message, c.text) << c.sql;
  }
  EXPECT_EQ(Rows(*db, "SELECT lo, hi FROM R ORDER BY lo"), "1,2;5,NULL");
  EXPECT_EQ(Rows(*db, "SELECT c.constraint_name, c.constraint_type, k.check_defn FROM SYS.SYSCONSTRAINT c JOIN "
                      "SYS.SYSCHECK k ON k.check_id = c.constraint_id ORDER BY c.constraint_id"),
            "ordered,T,lo <= hi;ASA2,T,lo >= 0 OR hi IS NULL");
}

TEST_F(AsaServer, ChecksFollowTheTableThroughAlterations) {
  auto db = NewDatabase("alter");
  db->Execute("CREATE TABLE dba.A (a integer NOT NULL, b integer NULL)");
  db->Execute("INSERT INTO A VALUES (1, 1)");
  db->Execute("ALTER TABLE A ADD CONSTRAINT pos CHECK (a > 0)");
  db->Execute("ALTER TABLE A ADD c integer NULL CONSTRAINT small CHECK (c < 10)");
  EXPECT_EQ(Code(*db, "INSERT INTO A VALUES (0, 1, 1)"), -209);
  EXPECT_EQ(Code(*db, "INSERT INTO A VALUES (1, 1, 10)"), -209);
  // A renamed column is renamed in the conditions that use it.
  db->Execute("ALTER TABLE A RENAME a TO first");
  db->Execute("ALTER TABLE A RENAME c TO third");
  std::string message;
  EXPECT_EQ(Code(*db, "INSERT INTO A VALUES (0, 1, 1)", &message), -209);
  EXPECT_EQ(message, "Invalid value for column 'first' in table 'A'");
  EXPECT_EQ(Code(*db, "INSERT INTO A VALUES (1, 1, 10)", &message), -209);
  EXPECT_EQ(message, "Invalid value for column 'third' in table 'A'");
  // Dropped by name, a check no longer refuses; an unknown name is refused.
  db->Execute("ALTER TABLE A DROP CONSTRAINT pos");
  db->Execute("ALTER TABLE A DROP CONSTRAINT small");
  EXPECT_EQ(Code(*db, "INSERT INTO A VALUES (0, 1, 10)"), 0);
  EXPECT_EQ(Code(*db, "ALTER TABLE A DROP CONSTRAINT pos"), -145);
  // A check naming a dropped column stays in the catalogue and leaves the table usable.
  db->Execute("ALTER TABLE A ADD CONSTRAINT pair CHECK (b < third)");
  db->Execute("ALTER TABLE A DROP third");
  EXPECT_EQ(Code(*db, "INSERT INTO A VALUES (2, 50)"), 0);
  EXPECT_EQ(Value(*db, "SELECT count(*) FROM SYS.SYSCONSTRAINT WHERE constraint_name = 'pair'"), "1");
  db->Execute("DROP TABLE A");
  EXPECT_EQ(Value(*db, "SELECT count(*) FROM SYS.SYSCHECK"), "0");
}

}  // namespace
