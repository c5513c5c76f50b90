// Columns of user data types (sp_addtype) on the embedded SQL Server, read back through the
// dialect: each reads as its base type with its size, so its column definition is never empty.
#include <gtest/gtest.h>

#include "DialectTestSupport.h"
#include "SqlServerTestDatabase.h"

namespace {

TEST(SqlServerUserTypesCatalog, UserTypeColumnsReadAsTheirBaseTypes) {
  TestOwner owner;
  TSqlServerSpecific dialect(&owner);
  owner.current = &dialect;
  auto connection = dialect_test::CreateAndConnect(dialect, "UserTypesDb");
  dialect_test::RunScript(*connection, {
      "sp_addtype id, 'varchar(11)', 'NOT NULL'",
      "EXEC sp_addtype price_t, 'decimal (10, 2)'",
      "CREATE TABLE Authors (au_id id, fee price_t, note varchar(20) NULL)",
  });
  ado::TDataSet data;
  data.SetConnection(connection.get());
  dialect.OpenSchema(vsiColumns, ado::Variant(ado::VariantArray({ado::Variant::Null(), ado::Variant::Null(), "Authors"})),
                     ado::Variant(), data);
  struct Expected {
    const char* column;
    const char* typeName;
    int type, size, nullable;
    const char* definition;
  };
  const Expected cases[] = {
      {"au_id", "varchar", 167, 11, 0, "au_id varchar (11)  COLLATE SQL_Latin1_General_CP1_CI_AS NOT NULL"},
      {"fee", "decimal", 106, 10, 1, "fee decimal (10, 2) "},
      {"note", "varchar", 167, 20, 1, "note varchar (20)  COLLATE SQL_Latin1_General_CP1_CI_AS"},
  };
  ASSERT_EQ(data.RecordCount(), 3);
  for (const auto& c : cases) {
    ASSERT_TRUE(data.Locate("COLUMN_NAME", ado::Variant(c.column), ado::loCaseInsensitive)) << c.column;
    EXPECT_EQ(data.FieldByName("COLUMN_TYPE_NAME").AsString(), c.typeName) << c.column;
    EXPECT_EQ(data.FieldByName("COLUMN_TYPE").AsInteger(), c.type) << c.column;
    EXPECT_EQ(data.FieldByName("SIZE").AsInteger(), c.size) << c.column;
    EXPECT_EQ(data.FieldByName("IS_NULLABLE").AsInteger(), c.nullable) << c.column;
    const TOrvDataType* type = dialect.FindDataType(c.typeName, 1);
    EXPECT_EQ(dialect.GetColumnDefinition(data, type, true, true), c.definition) << c.column;
  }
  EXPECT_TRUE(owner.errors.empty());
}

}  // namespace
