// Column definitions and the ALTER TABLE clauses built from rows of the vsiColumns shape:
// identity, size, collation, nullability and default clauses as each dialect spells them.
#include <gtest/gtest.h>

#include "DialectTestSupport.h"
#include "platform/data/DataErrors.h"
#include "platform/data/DataSet.h"

namespace {

struct Column {
  Column(std::string columnName, std::string type)
      : name(std::move(columnName)), typeName(std::move(type)) {}
  Column& Table(std::string t) { table = std::move(t); return *this; }
  Column& NotNull() { nullable = 0; return *this; }
  Column& Size(int s) { size = s; return *this; }
  Column& Size(int s, int sc) { size = s; scale = sc; return *this; }
  Column& Identity() { identity = 1; return *this; }
  Column& Identity(int s, int i) { identity = 1; seed = s; increment = i; return *this; }
  Column& Collate(std::string c) { collation = std::move(c); return *this; }
  Column& Default(std::string d) { defaultText = std::move(d); return *this; }

  std::string table = "T";
  std::string name;
  std::string typeName;
  int nullable = 1;
  ado::Variant size;
  ado::Variant scale;
  int identity = 0;
  ado::Variant seed;
  ado::Variant increment;
  std::string collation;
  ado::Variant defaultText;
};

// A data set of the vsiColumns shape positioned on one row.
class ColumnRow {
 public:
  explicit ColumnRow(const Column& c) {
    using ado::FieldType;
    const char* names[] = {"DATABASE_NAME", "TABLE_SCHEMA",   "TABLE_NAME",     "COLUMN_NAME",
                           "ORDINAL_POSITION", "COLUMN_DEFAULT", "IS_NULLABLE",  "COLUMN_TYPE",
                           "COLUMN_TYPE_NAME", "SIZE",           "SCALE",          "IS_IDENTITY",
                           "IDENTITY_SEED",    "IDENTITY_INCR",  "COLLATION_NAME", "DESCRIPTION"};
    const FieldType types[] = {FieldType::ftString,  FieldType::ftString,  FieldType::ftString,
                               FieldType::ftString,  FieldType::ftInteger, FieldType::ftMemo,
                               FieldType::ftInteger, FieldType::ftInteger, FieldType::ftString,
                               FieldType::ftInteger, FieldType::ftInteger, FieldType::ftInteger,
                               FieldType::ftFloat,   FieldType::ftFloat,   FieldType::ftString,
                               FieldType::ftString};
    for (size_t i = 0; i < 16; ++i) {
      data.FieldDefs().push_back({names[i], types[i], types[i] == FieldType::ftString ? 128 : 0});
    }
    data.CreateDataSet();
    data.Append();
    data.FieldByName("DATABASE_NAME").SetValue("Sales");
    data.FieldByName("TABLE_SCHEMA").SetValue("dbo");
    data.FieldByName("TABLE_NAME").SetValue(c.table);
    data.FieldByName("COLUMN_NAME").SetValue(c.name);
    data.FieldByName("ORDINAL_POSITION").SetValue(1);
    data.FieldByName("COLUMN_DEFAULT").SetValue(c.defaultText.IsEmpty() ? ado::Variant::Null()
                                                                        : c.defaultText);
    data.FieldByName("IS_NULLABLE").SetValue(c.nullable);
    data.FieldByName("COLUMN_TYPE_NAME").SetValue(c.typeName);
    data.FieldByName("SIZE").SetValue(c.size.IsEmpty() ? ado::Variant::Null() : c.size);
    data.FieldByName("SCALE").SetValue(c.scale.IsEmpty() ? ado::Variant::Null() : c.scale);
    data.FieldByName("IS_IDENTITY").SetValue(c.identity);
    data.FieldByName("IDENTITY_SEED").SetValue(c.seed.IsEmpty() ? ado::Variant::Null() : c.seed);
    data.FieldByName("IDENTITY_INCR").SetValue(c.increment.IsEmpty() ? ado::Variant::Null()
                                                                     : c.increment);
    data.FieldByName("COLLATION_NAME").SetValue(c.collation);
    data.Post();
    data.First();
  }
  ado::TDataSet data;
};

class ColumnDefinition : public ::testing::Test {
 protected:
  // The definition in `dialect` of a column whose type is native to `master`.
  std::string Define(TDatabaseSpecific& dialect, const TDatabaseSpecific& master, const Column& c,
                     bool withNullClause = true, bool withIdentity = true,
                     const std::string& name = {}) {
    ColumnRow row(c);
    return dialect.GetColumnDefinition(row.data, master.FindDataType(c.typeName, kFindByNativeName),
                                       withNullClause, withIdentity, name);
  }
  TSqlServerSpecific sqlServer;
};

TEST_F(ColumnDefinition, IdentityColumnAsTheExampleSpellsIt) {
  Column id = Column("id", "int").NotNull().Identity(1, 1);
  EXPECT_EQ(Define(sqlServer, sqlServer, id), "id int IDENTITY (1, 1)  NOT NULL");
  // Without identity the column keeps NOT NULL, written as for any identity column.
  EXPECT_EQ(Define(sqlServer, sqlServer, id, true, false), "id int NOT NULL");

  Column seeded = Column("n", "bigint").Identity(100, 5);
  EXPECT_EQ(Define(sqlServer, sqlServer, seeded), "n bigint IDENTITY (100, 5)  NOT NULL");
  Column noSeed = Column("n", "int").NotNull().Identity();
  EXPECT_EQ(Define(sqlServer, sqlServer, noSeed), "n int IDENTITY (1, 1)  NOT NULL");

  // Seed without increment; no seed at all; identity columns with their own null clause.
  sqlServer.IdentityOptions->WriteIdentityIncrement = false;
  EXPECT_EQ(Define(sqlServer, sqlServer, seeded), "n bigint IDENTITY (100)  NOT NULL");
  sqlServer.IdentityOptions->WriteIdentitySeed = false;
  EXPECT_EQ(Define(sqlServer, sqlServer, seeded), "n bigint IDENTITY  NOT NULL");
  sqlServer.IdentityOptions->IdentityNullClause = true;
  EXPECT_EQ(Define(sqlServer, sqlServer, seeded), "n bigint IDENTITY ");
  EXPECT_EQ(Define(sqlServer, sqlServer, seeded, false), "n bigint IDENTITY  NULL");
}

TEST_F(ColumnDefinition, SizeCollationAndNullability) {
  Column name = Column("Last Name", "varchar").Size(50);
  EXPECT_EQ(Define(sqlServer, sqlServer, name), "[Last Name] varchar (50) ");
  EXPECT_EQ(Define(sqlServer, sqlServer, name, false), "[Last Name] varchar (50)  NULL");
  name.collation = "Latin1_General_CI_AS";
  name.nullable = 0;
  EXPECT_EQ(Define(sqlServer, sqlServer, name),
            "[Last Name] varchar (50)  COLLATE Latin1_General_CI_AS NOT NULL");
  EXPECT_EQ(Define(sqlServer, sqlServer, name, false),
            "[Last Name] varchar (50)  COLLATE Latin1_General_CI_AS NULL");

  Column price = Column("price", "decimal").NotNull().Size(10, 2);
  EXPECT_EQ(Define(sqlServer, sqlServer, price), "price decimal (10, 2)  NOT NULL");
  Column qty = Column("order", "int").NotNull();
  EXPECT_EQ(Define(sqlServer, sqlServer, qty), "[order] int NOT NULL");
  EXPECT_EQ(Define(sqlServer, sqlServer, qty, true, true, "quantity"), "quantity int NOT NULL");
  Column sys = Column("who", "sysname").NotNull().Size(128);
  EXPECT_EQ(Define(sqlServer, sqlServer, sys), "who nvarchar (128)  NOT NULL");
}

TEST_F(ColumnDefinition, DefaultsOnlyInlineWhereTheDialectAllowsThem) {
  Column flag = Column("flag", "bit").NotNull().Default("(0)");
  EXPECT_EQ(Define(sqlServer, sqlServer, flag), "flag bit NOT NULL");

  TSqlServerSpecific inlineDefaults;
  inlineDefaults.DefaultAsConstraint = false;
  EXPECT_EQ(Define(inlineDefaults, sqlServer, flag), "flag bit NOT NULL DEFAULT (0)");
  Column id = Column("id", "int").NotNull().Identity().Default("(1)");
  EXPECT_EQ(Define(inlineDefaults, sqlServer, id), "id int IDENTITY (1, 1)  NOT NULL");
  Column empty = Column("e", "int").Default("");
  EXPECT_EQ(Define(inlineDefaults, sqlServer, empty), "e int");
}

TEST_F(ColumnDefinition, TranslationToAnotherServersTypes) {
  TSqlServerSpecific asa;
  UseAsaTypesAndQuotes(asa);
  TSqlServerSpecific access;
  UseAccessTypes(access);

  Column when("when", "date");
  EXPECT_EQ(Define(sqlServer, asa, when), "[when] smalldatetime");  // a keyword of the server
  Column count = Column("count", "integer").NotNull();
  EXPECT_EQ(Define(sqlServer, asa, count), "count int NOT NULL");
  Column text = Column("t", "nvarchar").Size(40);
  EXPECT_EQ(Define(access, sqlServer, text), "t text (40) ");
  Column fixed = Column("c", "nchar").Size(3);
  EXPECT_EQ(Define(asa, sqlServer, fixed), "");  // no nchar row: nothing is written
  Column unknown("g", "geography");
  EXPECT_EQ(Define(sqlServer, sqlServer, unknown), "");
  ColumnRow row(text);
  EXPECT_EQ(sqlServer.GetColumnDefinition(row.data, nullptr, true, true), "");
}

TEST_F(ColumnDefinition, AddAndAlterColumnStatements) {
  Column c = Column("qty", "smallint").Table("Order Details").NotNull();
  ColumnRow row(c);
  const TOrvDataType* type = sqlServer.FindDataType("smallint", kFindByNativeName);
  EXPECT_EQ(sqlServer.GetAddColumnSql(row.data, type, "dbo", true, true),
            "ALTER TABLE dbo.[Order Details] ADD qty smallint NOT NULL");
  EXPECT_EQ(sqlServer.GetAddColumnSql(row.data, type, "", false, true),
            "ALTER TABLE [Order Details] ADD qty smallint NULL");
  EXPECT_EQ(sqlServer.GetAlterColumnSql(row.data, type, "dbo", true),
            "ALTER TABLE dbo.[Order Details] ALTER COLUMN qty smallint NOT NULL");

  Column id = Column("id", "int").Table("T").NotNull().Identity(1, 1);
  ColumnRow idRow(id);
  EXPECT_EQ(sqlServer.GetAlterColumnSql(idRow.data, sqlServer.FindDataType("int", 1), "", true),
            "ALTER TABLE T ALTER COLUMN id int NOT NULL");
}

TEST_F(ColumnDefinition, ClauseHelpersAndDefaults) {
  Column c = Column("c", "char").Size(8, 0).Default("('x')");
  ColumnRow row(c);
  for (int ordinal : {2, 4, 15, 18, 33, 34}) {
    EXPECT_EQ(sqlServer.GetSizeClause(ordinal, row.data), " (8) ") << ordinal;
  }
  EXPECT_EQ(sqlServer.GetSizeClause(7, row.data), " (8, 0) ");
  EXPECT_EQ(sqlServer.GetSizeClause(17, row.data), " (8, 0) ");
  for (int ordinal : {0, 1, 3, 6, 11, 13, 16, 24, 25, 35, 36}) {
    EXPECT_EQ(sqlServer.GetSizeClause(ordinal, row.data), "") << ordinal;
  }
  EXPECT_EQ(sqlServer.GetNullClause(row.data), "");
  EXPECT_EQ(sqlServer.GetDefaultText(row.data), "('x')");

  Column other = Column("d", "int").NotNull().Default("(5)");
  ColumnRow otherRow(other);
  EXPECT_EQ(sqlServer.GetNullClause(otherRow.data), " NOT NULL");
  EXPECT_EQ(sqlServer.GetColumnDefault(row.data, &otherRow.data), "('x')");
  Column none("e", "int");
  ColumnRow noneRow(none);
  EXPECT_EQ(sqlServer.GetColumnDefault(noneRow.data, &otherRow.data), "(5)");
  EXPECT_EQ(sqlServer.GetColumnDefault(noneRow.data, nullptr), "");

  // A row without the column shape raises the data set's field-not-found error.
  ado::TDataSet bare;
  bare.FieldDefs().push_back({"X", ado::FieldType::ftString, 10});
  bare.CreateDataSet();
  EXPECT_THROW(sqlServer.GetNullClause(bare), ado::EDatabaseError);
  EXPECT_THROW(sqlServer.GetColumnDefinition(bare, sqlServer.FindDataType("int", 1), true, true),
               ado::EDatabaseError);
}

}  // namespace
