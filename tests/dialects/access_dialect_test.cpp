// The Access dialect without its server: field values, Jet's forms of the statements, the
// constant rowsets it answers, and the provider's TABLES and COLUMNS rows, built in memory,
// extended with the columns the engine reads. The catalogue of a database comes with the server.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "DialectTestSupport.h"
#include "StatementRecorder.h"
#include "dialects/AccessRows.h"
#include "dialects/DataSetAccess.h"
#include "platform/data/Connection.h"
#include "platform/data/DataSet.h"
#include "platform/data/SchemaRowsets.h"

namespace {

using dialect_test::FreshRecording;
using dialect_test::kRecorderConnection;

TEST(AccessDialect, ConstructorSetsTheServersValues) {
  TAccessSpecific d;
  EXPECT_EQ(d.QuoteOpen, "[");
  EXPECT_EQ(d.QuoteClose, "]");
  EXPECT_FALSE(d.DefaultAsConstraint);
  EXPECT_TRUE(d.IdentityOptions->IdentityAddPlain);
  EXPECT_FALSE(d.IdentityOptions->IdentityNullClause);
  EXPECT_FALSE(d.IdentityOptions->WriteIdentitySeed);
  EXPECT_FALSE(d.IdentityOptions->WriteIdentityIncrement);
  EXPECT_TRUE(d.FillNullsOnAlter);
  EXPECT_TRUE(d.CreateKeepsNullable);
  EXPECT_FALSE(d.UseDbSpaces);
  EXPECT_FALSE(d.UseOwners);
  EXPECT_FALSE(d.AutoPrimaryKeyName);
  EXPECT_FALSE(d.GlobalTempTables);
  EXPECT_EQ(d.AlterColumnKeyword, " ALTER COLUMN ");
  EXPECT_EQ(d.DropConstraintFormat, " DROP CONSTRAINT %s");
  // Regression: " DROP COLUMN" without its trailing blank gave "ALTER TABLE T DROP COLUMNc".
  EXPECT_EQ("ALTER TABLE T" + d.DropColumnKeyword + "c", "ALTER TABLE T DROP COLUMN c");
  EXPECT_EQ(d.ServerKey, "Data Source=");
  EXPECT_EQ(d.DatabaseKey, "Initial Catalog=");
  // Jet's reserved words and names that are not regular identifiers.
  EXPECT_EQ(d.QuoteName("Key"), "[Key]");
  EXPECT_EQ(d.QuoteName("Date"), "[Date]");
  EXPECT_EQ(d.QuoteName("20"), "[20]");
  EXPECT_EQ(d.QuoteName("a$b"), "[a$b]");
  EXPECT_EQ(d.QuoteName("_x1"), "_x1");
  EXPECT_EQ(d.QuoteName("Order"), "[Order]");
  EXPECT_EQ(d.QuoteName("my table"), "[my table]");
  EXPECT_EQ(d.QuoteName("orders"), "orders");
  ASSERT_NE(d.FindDataType("memo", kFindByNativeName), nullptr);
  EXPECT_EQ(d.GetCurrentDateDefault(), "(now())");
  EXPECT_EQ(d.GetRenameTableSql("", "T", "T2"), "");
  EXPECT_EQ(d.GetRenameColumnSql("", "T", "a", "b"), "");
  EXPECT_EQ(d.GetRenumberSql("", "T", "a"), "");
  EXPECT_EQ(d.GetClusterPrimaryKeySql("", "T", true), "");
  EXPECT_EQ(d.GetIdentityInsertOnSql("T"), "");
  EXPECT_EQ(d.GetConditionalSql(true, "*", "T", "id = 1", "UPDATE T SET a = 1", "x"),
            "UPDATE T SET a = 1");

  ado::TConnection closed;
  d.DatabaseName = "shop";
  d.DateFormat = "mdy";
  d.GetDatabaseName(closed);
  d.GetDateFormat(closed);
  EXPECT_EQ(d.DatabaseName, "shop");
  EXPECT_EQ(d.DateFormat, "mdy");
}

TEST(AccessDialect, KeyAndIndexStatementsInJetsForms) {
  TAccessSpecific d;
  const std::vector<std::pair<std::string, std::string>> cases = {
      {d.GetAddKeyConstraintSql("", "T", "pk", true, true, "id"),
       "ALTER TABLE T ADD CONSTRAINT pk PRIMARY KEY (id)"},
      {d.GetAddKeyConstraintSql("", "Order", "uq", false, false, "a, b"),
       "ALTER TABLE [Order] ADD CONSTRAINT uq UNIQUE (a, b)"},
      {d.GetCreateIndexSql("", "T", "ix", true, true, "a, b DESC"),
       "CREATE UNIQUE INDEX ix ON T (a, b DESC)"},
      {d.GetCreateIndexSql("", "my t", "ix", false, false, "a"), "CREATE INDEX ix ON [my t] (a)"},
      {d.GetDropIndexSql("", "T", "ix"), "DROP INDEX ix ON T"},
      {d.GetDropIndexSql("", "Order", "my ix"), "DROP INDEX [my ix] ON [Order]"},
  };
  for (const auto& [actual, expected] : cases) EXPECT_EQ(actual, expected);
}

TEST(AccessDialect, ConstantRowsetsAndClosedKinds) {
  TAccessSpecific d;
  const struct {
    TOrvSchemaInfo kind;
    const char* sql;
  } constants[] = {
      {vsiCatalogs, "SELECT  '' AS CATALOG_NAME,  '' AS DESCRIPTION "},
      {vsiUsers, "SELECT  '' as GROUP_NAME,  '' AS LOGIN_NAME,  '' AS USER_NAME,  0 AS USER_ID "},
      {vsiDbSpaceIndexes,
       "select  '' INDEX_DBSPACE,  '' as TABLE_SCHEMA,  '' as TABLE_NAME,  '' as INDEX_NAME "},
      {vsiDbSpaceText, "select  '' as TEXT_DBSPACE,  '' as TABLE_SCHEMA,  '' as TABLE_NAME "},
      {vsiDbSpaces,
       "select  0 as FILE_ID,  '' as DBSPACE_NAME,  ''  as FILE_NAME,  0 AS DBSPACE_DEFAULT "},
  };
  for (const auto& c : constants) {
    dialect_test::Recording& log = FreshRecording();
    ado::TConnection connection(kRecorderConnection);
    connection.Open();
    ado::TDataSet data;
    data.SetConnection(&connection);
    d.OpenSchema(c.kind, ado::Variant(), ado::Variant(), data);
    ASSERT_EQ(log.statements.size(), 1u);
    EXPECT_EQ(log.statements[0], c.sql);
    EXPECT_TRUE(data.Active());
  }
  for (TOrvSchemaInfo kind : {vsiDefaultValues, vsiClusterIndexes}) {
    dialect_test::Recording& log = FreshRecording();
    ado::TConnection connection(kRecorderConnection);
    connection.Open();
    ado::TDataSet data;
    data.SetConnection(&connection);
    d.OpenSchema(kind, ado::Variant(), ado::Variant(), data);
    EXPECT_FALSE(data.Active()) << kind;
    EXPECT_TRUE(log.statements.empty()) << kind;
  }
}

// One row of the provider's COLUMNS rowset.
struct ProviderColumn {
  const char* name;
  int dataType;
  int flags;
  bool nullable;
  ado::Variant length;
  ado::Variant precision;
  ado::Variant scale;
  ado::Variant defaultText;
};

void AddColumn(ado::TDataSet& source, const ProviderColumn& c, int ordinal) {
  source.Append();
  source.FieldByName("TABLE_NAME").SetValue("T");
  source.FieldByName("COLUMN_NAME").SetValue(c.name);
  source.FieldByName("ORDINAL_POSITION").SetValue(ordinal);
  source.FieldByName("DATA_TYPE").SetValue(c.dataType);
  source.FieldByName("COLUMN_FLAGS").SetValue(c.flags);
  source.FieldByName("IS_NULLABLE").SetValue(c.nullable);
  source.FieldByName("CHARACTER_MAXIMUM_LENGTH").SetValue(c.length);
  source.FieldByName("NUMERIC_PRECISION").SetValue(c.precision);
  source.FieldByName("NUMERIC_SCALE").SetValue(c.scale);
  source.FieldByName("COLUMN_HASDEFAULT").SetValue(!c.defaultText.IsNullOrEmpty());
  source.FieldByName("COLUMN_DEFAULT").SetValue(c.defaultText);
  source.Post();
}

// Regression: the provider's COLUMNS and TABLES rows lacked COLUMN_TYPE_NAME, SIZE, SCALE,
// IS_IDENTITY, IDENTITY_SEED, IDENTITY_INCR and TABLE_DBSPACE, so every Access round trip
// failed on a missing field.
TEST(AccessDialect, ColumnRowsCarryWhatTheEngineReads) {
  const ado::Variant none = ado::Variant::Null();
  const struct {
    ProviderColumn column;
    const char* typeName;
    int size;
    int scale;
    int identity;
    const char* definition;  // as the engine writes it for an Access master
  } cases[] = {
      {{"id", 3, 0x5A, false, none, 10, none, none}, "int", 10, 0, 1, "id int IDENTITY  NOT NULL"},
      {{"qty", 3, 0x56, false, none, 10, none, "0"}, "int", 10, 0, 0, "qty int NOT NULL DEFAULT 0"},
      {{"name", 130, 0x66, true, 50, none, none, "'x'"}, "text", 50, 0, 0,
       "name text (50)  DEFAULT 'x'"},
      {{"notes", 130, 0xE6, true, 536870910, none, none, none}, "memo", 536870910, 0, 0,
       "notes memo"},
      {{"amount", 131, 0x76, true, none, 10, 2, none}, "decimal", 10, 2, 0,
       "amount decimal (10, 2) "},
      {{"paid", 11, 0x56, false, none, none, none, none}, "bit", 0, 0, 0, "paid bit NOT NULL"},
      // The type table's first "ole" row is generic binary, which takes a size clause.
      {{"photo", 128, 0xE6, true, 1073741823, none, none, none}, "ole", 1073741823, 0, 0,
       "photo ole (1073741823) "},
      {{"at", 7, 0x76, true, none, none, none, "(now())"}, "datetime", 0, 0, 0,
       "[at] datetime DEFAULT (now())"},
      {{"price", 6, 0x76, true, none, 19, none, none}, "money", 19, 0, 0, "price money"},
  };
  ado::TDataSet source;
  dialect_data::CreateEmpty(source, ado::SchemaRowsetColumns(ado::siColumns));
  int ordinal = 0;
  for (const auto& c : cases) AddColumn(source, c.column, ++ordinal);

  TAccessSpecific d;
  ado::TDataSet rows;
  FillAccessColumnRows(source, rows, d);
  ASSERT_EQ(rows.FieldCount(), source.FieldCount() + 6);
  ASSERT_EQ(rows.RecordCount(), static_cast<int>(std::size(cases)));
  rows.First();
  for (const auto& c : cases) {
    EXPECT_EQ(rows.FieldByName("COLUMN_NAME").AsString(), c.column.name);
    EXPECT_EQ(rows.FieldByName("COLUMN_TYPE_NAME").AsString(), c.typeName) << c.column.name;
    EXPECT_EQ(rows.FieldByName("SIZE").AsInteger(), c.size) << c.column.name;
    EXPECT_EQ(rows.FieldByName("SCALE").AsInteger(), c.scale) << c.column.name;
    EXPECT_EQ(rows.FieldByName("IS_IDENTITY").AsInteger(), c.identity) << c.column.name;
    EXPECT_EQ(rows.FieldByName("IDENTITY_SEED").AsInteger(), 1);
    EXPECT_EQ(rows.FieldByName("IDENTITY_INCR").AsInteger(), 1);
    EXPECT_EQ(rows.FieldByName("IS_NULLABLE").Value(), ado::Variant(c.column.nullable ? 1 : 0));
    const TOrvDataType* type = d.FindDataType(c.typeName, kFindByNativeName);
    EXPECT_EQ(d.GetColumnDefinition(rows, type, true, true), c.definition);
    rows.Next();
  }

  // Jet alters a column only with its type: the nullable-default statement carries it.
  rows.First();
  ASSERT_TRUE(rows.Locate("COLUMN_NAME", ado::Variant("name"), 0));
  EXPECT_EQ(d.GetAlterColumnNullSql(rows, d.FindDataType("text", kFindByNativeName), "", "T",
                                    "name"),
            "ALTER TABLE T ALTER COLUMN name text (50)  NULL DEFAULT 'x'");

  ado::TDataSet tableSource;
  dialect_data::CreateEmpty(tableSource, ado::SchemaRowsetColumns(ado::siTables));
  dialect_data::AppendRow(tableSource, {ado::Variant::Null(), ado::Variant::Null(), "T", "TABLE"});
  ado::TDataSet tables;
  FillAccessTableRows(tableSource, tables);
  ASSERT_EQ(tables.RecordCount(), 1);
  EXPECT_EQ(tables.FieldByName("TABLE_NAME").AsString(), "T");
  EXPECT_EQ(tables.FieldByName("TABLE_TYPE").AsString(), "TABLE");
  EXPECT_FALSE(tables.FieldByName("TABLE_DBSPACE").IsNull());
  EXPECT_EQ(tables.FieldByName("TABLE_DBSPACE").AsString(), "");
}

}  // namespace
