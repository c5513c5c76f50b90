// The OLE DB schema rowsets of the provider, computed from the catalogue, with their columns
// and restrictions.
#include <map>

#include "SampleDatabase.h"
#include "SqlServerFixture.h"
#include "platform/data/SchemaRowsets.h"

class RowsetsTest : public SqlServerTest {
 protected:
  void SetUp() override {
    SqlServerTest::SetUp();
    sample_db::Build(Db());
  }
  ado::RowSet Open(ado::TSchemaInfo kind, std::vector<ado::Variant> r = {}) {
    auto rs = Db().OpenSchema(kind, r);
    const auto& shape = ado::SchemaRowsetColumns(kind);
    EXPECT_EQ(rs.Fields.size(), shape.size());
    for (size_t i = 0; i < shape.size() && i < rs.Fields.size(); ++i) EXPECT_EQ(rs.Fields[i].Name, shape[i].Name);
    for (const auto& row : rs.Rows) EXPECT_EQ(row.size(), shape.size());
    return rs;
  }
  std::string At(const ado::RowSet& rs, const ado::Row& row, const char* name) {
    const auto& v = row[static_cast<size_t>(Field(rs, name))];
    return v.IsNull() ? "<null>" : v.AsString();
  }
};

TEST_F(RowsetsTest, CatalogsTablesAndColumns) {
  auto cats = Open(ado::siCatalogs);
  std::vector<std::string> names;
  for (const auto& r : cats.Rows) names.push_back(r[0].AsString());
  EXPECT_EQ(names, (std::vector<std::string>{"db", "master"}));

  auto tables = Open(ado::siTables, {ado::Variant::Null(), ado::Variant::Null(), ado::Variant::Null(), "TABLE"});
  ASSERT_EQ(tables.Rows.size(), 2u);
  EXPECT_EQ(At(tables, tables.Rows[0], "TABLE_NAME"), "Customers");
  EXPECT_EQ(At(tables, tables.Rows[0], "TABLE_CATALOG"), "db");
  EXPECT_EQ(At(tables, tables.Rows[0], "DESCRIPTION"), "The customers");
  EXPECT_EQ(Open(ado::siTables, {ado::Variant(), ado::Variant(), "vCustomers"}).Rows.size(), 1u);

  auto cols = Open(ado::siColumns, {ado::Variant(), ado::Variant(), "Customers"});
  ASSERT_EQ(cols.Rows.size(), 7u);
  std::map<std::string, ado::Row> byName;
  for (const auto& r : cols.Rows) byName[At(cols, r, "COLUMN_NAME")] = r;
  EXPECT_EQ(At(cols, byName["Name"], "DATA_TYPE"), "202");
  EXPECT_EQ(At(cols, byName["Name"], "CHARACTER_MAXIMUM_LENGTH"), "50");
  EXPECT_EQ(At(cols, byName["Name"], "IS_NULLABLE"), "False");
  EXPECT_EQ(At(cols, byName["Name"], "COLLATION_NAME"), "Latin1_General_CI_AS");
  EXPECT_EQ(At(cols, byName["Rate"], "NUMERIC_PRECISION"), "10");
  EXPECT_EQ(At(cols, byName["Rate"], "NUMERIC_SCALE"), "3");
  EXPECT_EQ(At(cols, byName["Created"], "COLUMN_HASDEFAULT"), "True");
  EXPECT_EQ(At(cols, byName["Created"], "COLUMN_DEFAULT"), "(getdate())");
  EXPECT_EQ(At(cols, byName["Code"], "ORDINAL_POSITION"), "3");
}

TEST_F(RowsetsTest, IndexesKeysAndConstraints) {
  auto idx = Open(ado::siIndexes, {ado::Variant(), ado::Variant(), ado::Variant(), ado::Variant(), "Orders"});
  ASSERT_EQ(idx.Rows.size(), 5u);  // PK (2 columns), IX_Orders_Amount, IX_Orders_B (2 columns)
  std::map<std::string, int> perIndex;
  for (const auto& r : idx.Rows) ++perIndex[At(idx, r, "INDEX_NAME")];
  EXPECT_EQ(perIndex["PK_Orders"], 2);
  EXPECT_EQ(perIndex["IX_Orders_B"], 2);
  auto pk = Open(ado::siIndexes, {ado::Variant(), ado::Variant(), "PK_Customers"});
  ASSERT_EQ(pk.Rows.size(), 1u);
  EXPECT_EQ(At(pk, pk.Rows[0], "PRIMARY_KEY"), "True");
  EXPECT_EQ(At(pk, pk.Rows[0], "UNIQUE"), "True");
  EXPECT_EQ(At(pk, pk.Rows[0], "CLUSTERED"), "True");
  EXPECT_EQ(At(pk, pk.Rows[0], "COLUMN_NAME"), "CustId");

  auto fks = Open(ado::siForeignKeys);
  ASSERT_EQ(fks.Rows.size(), 1u);
  EXPECT_EQ(At(fks, fks.Rows[0], "PK_TABLE_NAME"), "Customers");
  EXPECT_EQ(At(fks, fks.Rows[0], "FK_TABLE_NAME"), "Orders");
  EXPECT_EQ(At(fks, fks.Rows[0], "FK_COLUMN_NAME"), "CustId");
  EXPECT_EQ(At(fks, fks.Rows[0], "DELETE_RULE"), "CASCADE");
  EXPECT_EQ(At(fks, fks.Rows[0], "UPDATE_RULE"), "NO ACTION");
  EXPECT_EQ(At(fks, fks.Rows[0], "PK_NAME"), "PK_Customers");
  EXPECT_EQ(At(fks, fks.Rows[0], "FK_NAME"), "FK_Orders_Customers");

  auto pks = Open(ado::siPrimaryKeys, {ado::Variant(), ado::Variant(), "Orders"});
  ASSERT_EQ(pks.Rows.size(), 2u);
  EXPECT_EQ(At(pks, pks.Rows[0], "COLUMN_NAME"), "OrderId");
  EXPECT_EQ(At(pks, pks.Rows[1], "ORDINAL"), "2");

  auto cons = Open(ado::siTableConstraints);
  EXPECT_EQ(cons.Rows.size(), 5u);
  auto checks = Open(ado::siTableConstraints, {ado::Variant(), ado::Variant(), ado::Variant(), ado::Variant(),
                                               ado::Variant(), ado::Variant(), "CHECK"});
  ASSERT_EQ(checks.Rows.size(), 1u);
  EXPECT_EQ(At(checks, checks.Rows[0], "CONSTRAINT_NAME"), "CK_Customers_Rate");
}

TEST_F(RowsetsTest, ViewsAndProcedures) {
  auto views = Open(ado::siViews);
  ASSERT_EQ(views.Rows.size(), 1u);
  EXPECT_EQ(At(views, views.Rows[0], "VIEW_DEFINITION"), sample_db::kView);
  auto procs = Open(ado::siProcedures);
  ASSERT_EQ(procs.Rows.size(), 2u);
  EXPECT_EQ(At(procs, procs.Rows[0], "PROCEDURE_NAME"), "pLong;1");
  EXPECT_EQ(At(procs, procs.Rows[1], "PROCEDURE_NAME"), "pSecret;1");
  EXPECT_EQ(Open(ado::siProcedures, {ado::Variant(), ado::Variant(), "pSecret;1"}).Rows.size(), 1u);
}
