// The Adaptive Server Anywhere stand-in describes its own SYS tables and views in SYSCOLUMN, as
// it does every user table, so that catalogue queries over them read their columns.
#include <string>

#include "AsaFixture.h"

namespace {

TEST_F(AsaServer, SysTablesAreDescribedInTheirOwnCatalogue) {
  auto db = NewDatabase("sys");
  EXPECT_EQ(Rows(*db, "SELECT cname, coltype, length, nulls FROM sys.sysColumns WHERE creator = 'SYS' AND tname = "
                      "'SYSTABLE' AND colno IN (1, 7, 12, 14) ORDER BY colno"),
            "table_id,integer,4,N;creator,integer,4,N;table_name,char,128,N;view_def,long varchar,32767,Y");
  EXPECT_EQ(Rows(*db, "SELECT tname, tabletype, ncols FROM sys.sysCatalog WHERE tname IN ('SYSCOLUMN', 'SYSINDEXES', "
                      "'SYSCHECK') ORDER BY tname"),
            "SYSCHECK,TABLE,2;SYSCOLUMN,TABLE,18;SYSINDEXES,VIEW,9");
  // Every SYS table and view has its columns; none of them is a key column or has a default.
  EXPECT_EQ(Value(*db, "SELECT count(*) FROM SYS.SYSTABLE t WHERE creator = 0 AND NOT EXISTS (SELECT 1 FROM "
                       "SYS.SYSCOLUMN c WHERE c.table_id = t.table_id)"),
            "0");
  EXPECT_EQ(Value(*db, "SELECT count(*) FROM SYS.SYSCOLUMN c JOIN SYS.SYSTABLE t ON t.table_id = c.table_id WHERE "
                       "t.creator = 0 AND (c.pkey = 'Y' OR c.\"default\" IS NOT NULL)"),
            "0");
  // A user table's columns follow on as before.
  db->Execute("CREATE TABLE dba.U (a integer NOT NULL, b varchar(5) NULL)");
  EXPECT_EQ(Rows(*db, "SELECT cname, coltype FROM sys.sysColumns WHERE tname = 'U' ORDER BY colno"),
            "a,integer;b,varchar");
}

}  // namespace
