// Two owners' tables and procedures of the same names on the embedded SQL Server, read back
// through the dialect: each owner's rows under its own schema, and long procedure texts kept
// apart per owner.
#include <gtest/gtest.h>

#include <algorithm>

#include "DialectTestSupport.h"
#include "SqlServerTestDatabase.h"

namespace {

using dialect_test::Column;
using Names = std::vector<std::string>;

ado::Variant Criteria(std::initializer_list<ado::Variant> elements) {
  return ado::Variant(ado::VariantArray(elements));
}
const ado::Variant kAny = ado::Variant::Null();

// A procedure text spread over several catalogue rows, different for each owner.
std::string ProcedureText(const std::string& owner) {
  std::string sql = "CREATE PROCEDURE " + owner + ".pList AS\n";
  int i = 0;
  while (sql.size() < 9000) sql += "SELECT '" + owner + "' AS who, " + std::to_string(i++) + " AS n\n";
  return sql;
}

TEST(SqlServerOwnersCatalog, EachOwnersTablesColumnsAndProceduresStayApart) {
  TestOwner owner;
  TSqlServerSpecific dialect(&owner);
  owner.current = &dialect;
  auto connection = dialect_test::CreateAndConnect(dialect, "OwnersDb");
  dialect_test::RunScript(*connection, {
      "sp_addLogin 'fred', 'pw'",
      "sp_grantDbAccess 'fred'",
      "CREATE TABLE dbo.Items (id int NOT NULL, name varchar (20) NULL)",
      "CREATE TABLE fred.Items (code char (3) NOT NULL, qty int NULL, price money NULL)",
      ProcedureText("dbo"),
      ProcedureText("fred"),
  });
  ado::TDataSet data;
  data.SetConnection(connection.get());
  auto find = [&](const std::string& keys, std::initializer_list<ado::Variant> values) {
    return data.Locate(keys, ado::Variant(ado::VariantArray(values)), ado::loCaseInsensitive);
  };

  dialect.OpenSchema(vsiTables, Criteria({kAny, kAny, "Items"}), ado::Variant(), data);
  Names schemas = Column(data, "TABLE_SCHEMA");
  std::sort(schemas.begin(), schemas.end());
  EXPECT_EQ(schemas, (Names{"dbo", "fred"}));
  dialect.OpenSchema(vsiTables, Criteria({kAny, "fred", "Items"}), ado::Variant(), data);
  EXPECT_EQ(Column(data, "TABLE_TYPE"), (Names{"TABLE"}));

  dialect.OpenSchema(vsiColumns, Criteria({kAny, "dbo", "Items"}), ado::Variant(), data);
  EXPECT_EQ(Column(data, "COLUMN_NAME"), (Names{"id", "name"}));
  dialect.OpenSchema(vsiColumns, Criteria({kAny, "fred", "Items"}), ado::Variant(), data);
  EXPECT_EQ(Column(data, "COLUMN_NAME"), (Names{"code", "qty", "price"}));
  ASSERT_TRUE(find("TABLE_SCHEMA;COLUMN_NAME", {"fred", "price"}));
  EXPECT_EQ(data.FieldByName("COLUMN_TYPE_NAME").AsString(), "money");
  dialect.OpenSchema(vsiColumns, Criteria({kAny, kAny, "Items"}), ado::Variant(), data);
  EXPECT_EQ(data.RecordCount(), 5);

  dialect.OpenSchema(vsiProcedures, ado::Variant(), ado::Variant(), data);
  const Names names = Column(data, "PROCEDURE_NAME");
  EXPECT_EQ(std::count(names.begin(), names.end(), "pList"), 2);
  ASSERT_TRUE(find("PROCEDURE_SCHEMA;PROCEDURE_NAME", {"dbo", "pList"}));
  EXPECT_EQ(data.FieldByName("PROCEDURE_DEFINITION").AsString(), ProcedureText("dbo"));
  ASSERT_TRUE(find("PROCEDURE_SCHEMA;PROCEDURE_NAME", {"fred", "pList"}));
  EXPECT_EQ(data.FieldByName("PROCEDURE_DEFINITION").AsString(), ProcedureText("fred"));
  dialect.OpenSchema(vsiProcedures, Criteria({kAny, "fred"}), ado::Variant(), data);
  EXPECT_EQ(Column(data, "PROCEDURE_NAME"), (Names{"pList"}));
  EXPECT_TRUE(owner.errors.empty());
}

}  // namespace
