#include "SqlServerFixture.h"

TEST_F(SqlServerTest, Smoke) {
  Db().Execute("CREATE TABLE [T1] (id int IDENTITY (1, 1) NOT NULL, name nvarchar(50) NULL, d datetime NULL, "
               "CONSTRAINT PK_T1 PRIMARY KEY CLUSTERED (id))");
  Db().Execute("INSERT INTO T1 (name, d) VALUES ('a' + 'b', '12/31/2020 10:00:00')");
  Db().Execute("INSERT INTO T1 (name) VALUES ('x')");
  auto rs = Rows("select id, name, d from T1 order by id");
  ASSERT_EQ(rs.Rows.size(), 2u);
  EXPECT_EQ(rs.Rows[0][0].AsInt(), 1);
  EXPECT_EQ(rs.Rows[1][0].AsInt(), 2);
  EXPECT_EQ(rs.Rows[0][1].AsString(), "ab");
  EXPECT_EQ(rs.Rows[0][2].Type(), ado::VarType::DateTime);
}
