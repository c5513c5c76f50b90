// The dialect's catalogue queries run word for word on a database built by T-SQL.
#include <map>
#include <set>

#include "CatalogQueries.h"
#include "SampleDatabase.h"
#include "SqlServerFixture.h"

namespace cq = catalog_queries;

class CatalogQueriesTest : public SqlServerTest {
 protected:
  void SetUp() override {
    SqlServerTest::SetUp();
    sample_db::Build(Db());
  }
  // Rows keyed by the text of one column.
  std::map<std::string, ado::Row> ByName(const ado::RowSet& rs, const std::string& column) {
    std::map<std::string, ado::Row> out;
    int k = Field(rs, column);
    for (const auto& r : rs.Rows) out[r[static_cast<size_t>(k)].AsString()] = r;
    return out;
  }
  std::string Get(const ado::RowSet& rs, const ado::Row& row, const std::string& column) {
    const auto& v = row[static_cast<size_t>(Field(rs, column))];
    return v.IsNull() ? "<null>" : v.AsString();
  }
};

TEST_F(CatalogQueriesTest, TablesGiveDbSpacesTypesAndDescriptions) {
  auto rs = Rows(cq::kTables);
  auto rows = ByName(rs, "TABLE_NAME");
  ASSERT_TRUE(rows.count("Customers"));
  EXPECT_EQ(Get(rs, rows["Customers"], "TABLE_DBSPACE"), "FG_DATA");
  EXPECT_EQ(Get(rs, rows["Customers"], "TABLE_SCHEMA"), "dbo");
  EXPECT_EQ(Get(rs, rows["Customers"], "TABLE_TYPE"), "TABLE");
  EXPECT_EQ(Get(rs, rows["Customers"], "DESCRIPTION"), "The customers");
  EXPECT_EQ(Get(rs, rows["Orders"], "TABLE_DBSPACE"), "PRIMARY");
  EXPECT_EQ(Get(rs, rows["vCustomers"], "TABLE_TYPE"), "VIEW");
  EXPECT_EQ(Get(rs, rows["sysobjects"], "TABLE_TYPE"), "SYSTEM TABLE");
  EXPECT_EQ(rs.Rows[0].size(), 9u);

  // Restrictions as the dialect appends them.
  auto one = Rows(std::string(cq::kTables) + " and obj.name = 'customers'");
  ASSERT_EQ(one.Rows.size(), 1u);
  auto views = Rows(std::string(cq::kTables) + " and obj.xType = 'V' and obj.category = 0");
  ASSERT_EQ(views.Rows.size(), 1u);
  EXPECT_EQ(views.Rows[0][2].AsString(), "vCustomers");
  EXPECT_EQ(Rows(std::string(cq::kTables) + " and db_name() = 'db' and user_name(obj.uid) = 'dbo' and obj.xType = 'U'").Rows.size(), 2u);
}

TEST_F(CatalogQueriesTest, ColumnsGiveTypesSizesIdentityDefaultsAndCollations) {
  auto rs = Rows(std::string(cq::kColumns) + " and obj.name = 'Customers'");
  ASSERT_EQ(rs.Rows.size(), 7u);
  auto rows = ByName(rs, "COLUMN_NAME");
  EXPECT_EQ(Get(rs, rows["CustId"], "IS_IDENTITY"), "1");
  EXPECT_EQ(Get(rs, rows["CustId"], "IDENTITY_SEED"), "10");
  EXPECT_EQ(Get(rs, rows["CustId"], "IDENTITY_INCR"), "5");
  EXPECT_EQ(Get(rs, rows["CustId"], "IS_NULLABLE"), "0");
  EXPECT_EQ(Get(rs, rows["Name"], "COLUMN_TYPE_NAME"), "nvarchar");
  EXPECT_EQ(Get(rs, rows["Name"], "COLUMN_TYPE"), "231");
  EXPECT_EQ(Get(rs, rows["Name"], "SIZE"), "50");
  EXPECT_EQ(Get(rs, rows["Name"], "COLLATION_NAME"), "Latin1_General_CI_AS");
  EXPECT_EQ(Get(rs, rows["Name"], "DESCRIPTION"), "Customer name");
  EXPECT_EQ(Get(rs, rows["Code"], "COLLATION_NAME"), "SQL_Latin1_General_CP1_CI_AS");
  EXPECT_EQ(Get(rs, rows["Created"], "COLUMN_DEFAULT"), "(getdate())");
  EXPECT_EQ(Get(rs, rows["Balance"], "COLUMN_DEFAULT"), "(0)");
  EXPECT_EQ(Get(rs, rows["Rate"], "SIZE"), "10");
  EXPECT_EQ(Get(rs, rows["Rate"], "SCALE"), "3");
  EXPECT_EQ(Get(rs, rows["Rate"], "ORDINAL_POSITION"), "7");

  // Every type of the server's type table, with its code.
  auto orders = ByName(Rows(std::string(cq::kColumns) + " and obj.name = 'Orders'"), "COLUMN_NAME");
  std::map<std::string, std::pair<std::string, int>> expected = {
      {"B", {"bigint", 127}}, {"S", {"smallint", 52}}, {"TI", {"tinyint", 48}}, {"SD", {"smalldatetime", 58}},
      {"R", {"real", 59}}, {"SM", {"smallmoney", 122}}, {"N", {"numeric", 108}}, {"VC", {"varchar", 167}},
      {"NC", {"nchar", 239}}, {"TX", {"text", 35}}, {"IM", {"image", 34}}, {"BI", {"binary", 173}},
      {"VB", {"varbinary", 165}}, {"G", {"uniqueidentifier", 36}}, {"SV", {"sql_variant", 98}},
      {"TS", {"timestamp", 189}}, {"Flag", {"bit", 104}}, {"Amount", {"float", 62}}};
  for (const auto& [column, type] : expected) {
    ASSERT_TRUE(orders.count(column)) << column;
    EXPECT_EQ(orders[column][8].AsString(), type.first) << column;
    EXPECT_EQ(orders[column][7].AsInt(), type.second) << column;
  }
  EXPECT_EQ(orders["VC"][9].AsInt(), 30);
  EXPECT_EQ(orders["NC"][9].AsInt(), 4);

  auto identity = Rows(std::string(cq::kColumns) + " and (col.status & 128) = 128 ");
  ASSERT_EQ(identity.Rows.size(), 1u);
  EXPECT_EQ(identity.Rows[0][3].AsString(), "CustId");
  // The view's columns are listed as well.
  EXPECT_EQ(Rows(std::string(cq::kColumns) + " and obj.name = 'vCustomers'").Rows.size(), 2u);
}

TEST_F(CatalogQueriesTest, ConstraintsDefaultsAndPrimaryKeys) {
  auto cons = Rows(cq::kTableConstraints);
  auto rows = ByName(cons, "CONSTRAINT_NAME");
  EXPECT_EQ(cons.Rows.size(), 5u);
  EXPECT_EQ(Get(cons, rows["PK_Customers"], "CONSTRAINT_TYPE"), "PRIMARY KEY");
  EXPECT_EQ(Get(cons, rows["UQ_Customers_Code"], "CONSTRAINT_TYPE"), "UNIQUE");
  EXPECT_EQ(Get(cons, rows["FK_Orders_Customers"], "CONSTRAINT_TYPE"), "FOREIGN KEY");
  EXPECT_EQ(Get(cons, rows["CK_Customers_Rate"], "TEXT"), "([Rate] >= 0)");
  EXPECT_EQ(Get(cons, rows["PK_Orders"], "TABLE_NAME"), "Orders");
  EXPECT_EQ(Rows(std::string(cq::kTableConstraints) + " and so1.xType = 'F' ").Rows.size(), 1u);

  auto defs = Rows(cq::kDefaultValues);
  auto d = ByName(defs, "COLUMN_NAME");
  ASSERT_EQ(defs.Rows.size(), 3u);
  EXPECT_EQ(Get(defs, d["Created"], "CONSTRAINT_NAME"), "DF_Customers_Created");
  EXPECT_EQ(Get(defs, d["Created"], "TEXT"), "(getdate())");
  EXPECT_EQ(Get(defs, d["Created"], "COLUMN_TYPE"), "61");
  EXPECT_EQ(Get(defs, d["Flag"], "TABLE_NAME"), "Orders");
  EXPECT_EQ(Rows(std::string(cq::kDefaultValues) + " and so1.name = 'DF_Customers_Created' and so2.name = 'Customers' and sc1.name = 'Created'").Rows.size(), 1u);

  auto pk = Rows(std::string(cq::kPrimaryKeys) + cq::kPrimaryKeysOrder);
  ASSERT_EQ(pk.Rows.size(), 2u);
  EXPECT_EQ(pk.Rows[0][1].AsString(), "Customers");
  EXPECT_EQ(pk.Rows[0][2].AsInt(), 1);
  EXPECT_EQ(pk.Rows[1][1].AsString(), "Orders");
  EXPECT_EQ(pk.Rows[1][2].AsInt(), 2);
  // The per-table key query, a union of one select per key position.
  std::string part =
      "(select db_name() as TABLE_CATALOG, user_name(o.uid) as TABLE_SCHEMA, o.name as TABLE_NAME, c.name as "
      "COLUMN_NAME, convert(uniqueidentifier, null) as COLUMN_GUID, convert(int, null) as COLUMN_PROPID, %K as "
      "ORDINAL, i.name as PK_NAME from sysindexes i, syscolumns c, sysobjects o where o.type = 'U' and o.id = c.id "
      "and o.id = i.id and (i.status & 0x800) = 0x800 and permissions(o.id) <> 0 and c.name = "
      "index_col('dbo.Orders', i.indid, %K) and o.name = 'Orders' and user_name(o.uid) = 'dbo')";
  auto withK = [&](int k) {
    std::string s = part;
    for (size_t p; (p = s.find("%K")) != std::string::npos;) s.replace(p, 2, std::to_string(k));
    return s;
  };
  auto keys = Rows(withK(1) + " UNION " + withK(2));
  ASSERT_EQ(keys.Rows.size(), 2u);
  std::map<int64_t, std::string> byOrdinal;
  for (const auto& r : keys.Rows) byOrdinal[r[6].AsInt()] = r[3].AsString();
  EXPECT_EQ(byOrdinal[1], "OrderId");
  EXPECT_EQ(byOrdinal[2], "CustId");
  EXPECT_EQ(keys.Rows[0][7].AsString(), "PK_Orders");
}

TEST_F(CatalogQueriesTest, UsersDbSpacesAndIndexPlacement) {
  auto users = ByName(Rows(cq::kUsers), "USER_NAME");
  ASSERT_TRUE(users.count("mario"));
  EXPECT_EQ(users["mario"][0].AsString(), "public");
  EXPECT_EQ(users["mario"][1].AsString(), "mario");
  EXPECT_EQ(users["dbo"][1].AsString(), "sa");
  EXPECT_EQ(Rows(std::string(cq::kUsers) + " and usu.name = 'mario'").Rows.size(), 1u);

  auto spaces = ByName(Rows(cq::kDbSpaces), "DBSPACE_NAME");
  EXPECT_EQ(spaces.size(), 3u);
  EXPECT_EQ(spaces["PRIMARY"][3].AsInt(), 1);
  EXPECT_EQ(spaces["FG_DATA"][3].AsInt(), 0);

  auto idx = ByName(Rows(cq::kDbSpaceIndexes), "INDEX_NAME");
  EXPECT_EQ(idx["PK_Customers"][0].AsString(), "FG_DATA");
  EXPECT_EQ(idx["IX_Orders_Amount"][0].AsString(), "FG_DATA");
  EXPECT_EQ(idx["IX_Orders_B"][0].AsString(), "PRIMARY");
  EXPECT_EQ(idx.size(), 5u);
  auto text = ByName(Rows(cq::kDbSpaceText), "TABLE_NAME");
  EXPECT_EQ(text["Customers"][0].AsString(), "FG_TEXT");
  EXPECT_EQ(text["Orders"][0].AsString(), "PRIMARY");
}

TEST_F(CatalogQueriesTest, ProceduresAndViewsKeepTheirTexts) {
  auto rs = Rows(std::string(cq::kProcedures) + " and obj.name = 'pLong'");
  ASSERT_GE(rs.Rows.size(), 3u);  // split over several catalogue rows
  std::string joined;
  for (const auto& r : rs.Rows) {
    EXPECT_LE(r[4].AsString().size(), 4000u);
    joined += r[4].AsString();
  }
  EXPECT_EQ(joined, sample_db::LongProcedure());
  EXPECT_EQ(rs.Rows[0][3].AsString(), "P");

  auto secret = Rows(std::string(cq::kProcedures) + " and obj.name = 'pSecret'");
  ASSERT_EQ(secret.Rows.size(), 1u);
  EXPECT_EQ(secret.Rows[0][6].AsInt(), 1);
  EXPECT_EQ(secret.Rows[0][4].AsString().find("SELECT"), std::string::npos);

  auto trig = Rows(std::string(cq::kProcedures) + " and obj.xType = 'TR'");
  ASSERT_EQ(trig.Rows.size(), 1u);
  EXPECT_EQ(trig.Rows[0][4].AsString(), sample_db::kTrigger);

  auto views = Rows(cq::kViews);
  ASSERT_EQ(views.Rows.size(), 1u);
  EXPECT_EQ(views.Rows[0][3].AsString(), sample_db::kView);
  // The view is also queryable.
  auto v = Rows("select Label from vCustomers order by CustId");
  ASSERT_EQ(v.Rows.size(), 2u);
  EXPECT_EQ(v.Rows[0][0].AsString(), "O'Brien (C1      )");
}

TEST_F(CatalogQueriesTest, ConnectionQueriesAndLogins) {
  EXPECT_EQ(Value("select db_name() as database_name").AsString(), "db");
  EXPECT_EQ(Value("SELECT dateformat FROM master.dbo.syslanguages WHERE (name = @@LANGUAGE) ").AsString(), "mdy");
  auto logins = Db().Execute("sp_helpLogins");
  ASSERT_GE(logins.size(), 1u);
  std::set<std::string> names;
  int k = Field(logins[0].Rows, "loginName");
  for (const auto& r : logins[0].Rows.Rows) names.insert(r[static_cast<size_t>(k)].AsString());
  EXPECT_TRUE(names.count("sa"));
  EXPECT_TRUE(names.count("mario"));
  auto master = Connect();
  EXPECT_EQ(Rows(*master, "select name from sysDatabases where name = 'db'").Rows.size(), 1u);
  EXPECT_EQ(Rows(*master, "select name from sysDatabases where name = 'nothere'").Rows.size(), 0u);
}
