// An Access database built by a script on the embedded server, read back
// through the Access dialect in the 15 schema kinds: the provider's rowsets
// with the columns the engine reads, restrictions, and the constant and closed
// rowsets of the kinds Access lacks.
#include <gtest/gtest.h>

#include "AccessTestDatabase.h"
#include "DialectTestSupport.h"
#include "SqlServerTestDatabase.h"

namespace {

using Names = std::vector<std::string>;

ado::Variant Criteria(std::initializer_list<ado::Variant> elements) {
  return ado::Variant(ado::VariantArray(elements));
}
const ado::Variant kAny = ado::Variant::Null();

constexpr const char *kViewText =
    "CREATE VIEW vCustomers AS SELECT id, name FROM Customers WHERE id > 0";
constexpr const char *kProcedureText =
    "CREATE PROCEDURE pByName AS SELECT * FROM Customers WHERE name = 'x';";

class AccessCatalog : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    owner_ = new TestOwner();
    dialect_ = new TAccessSpecific(owner_);
    owner_->current = dialect_;
    connection_ = access_test::CreateAndConnect("catalog.mdb").release();
    access_test::RunScript(
        *connection_,
        {
            "CREATE TABLE Customers (id COUNTER NOT NULL, name text (50) NOT "
            "NULL, [order no] TEXT(20),"
            " notes memo, CONSTRAINT PK_Customers PRIMARY KEY (id))",
            "CREATE TABLE [Order] (orderId LONG NOT NULL, [lineNo] SHORT NOT "
            "NULL, customerId int,"
            " price money DEFAULT 0, paid YESNO, photo ole, amount decimal "
            "(10, 2), at datetime,"
            " rate float, ratio real, tiny byte, raw binary (16), uid guid,"
            " CONSTRAINT PK_Order PRIMARY KEY (orderId, [lineNo]),"
            " CONSTRAINT FK_Order_Customers FOREIGN KEY (customerId) "
            "REFERENCES Customers (id) ON DELETE CASCADE)",
            "CREATE UNIQUE INDEX IX_Customers_name ON Customers (name DESC, "
            "[order no])",
            kViewText,
            kProcedureText,
        });
  }
  static void TearDownTestSuite() {
    delete connection_;
    delete dialect_;
    delete owner_;
  }
  void SetUp() override { data_.SetConnection(connection_); }

  void Open(TOrvSchemaInfo kind, const ado::Variant &criteria = {}) {
    dialect_->OpenSchema(kind, criteria, ado::Variant(), data_);
  }
  bool Find(const std::string &keys,
            std::initializer_list<ado::Variant> values) {
    return data_.Locate(keys,
                        values.size() == 1
                            ? *values.begin()
                            : ado::Variant(ado::VariantArray(values)),
                        ado::loCaseInsensitive);
  }
  std::string Field(const std::string &name) {
    return data_.FieldByName(name).AsString();
  }
  bool IsNull(const std::string &name) {
    return data_.FieldByName(name).IsNull();
  }

  static TestOwner *owner_;
  static TAccessSpecific *dialect_;
  static ado::TConnection *connection_;
  ado::TDataSet data_;
};

TestOwner *AccessCatalog::owner_ = nullptr;
TAccessSpecific *AccessCatalog::dialect_ = nullptr;
ado::TConnection *AccessCatalog::connection_ = nullptr;

TEST_F(AccessCatalog, TablesAndColumnsCarryTheColumnsTheEngineReads) {
  Open(vsiTables);
  EXPECT_EQ(data_.RecordCount(), 3);
  ASSERT_TRUE(Find("TABLE_NAME", {"Order"}));
  EXPECT_EQ(Field("TABLE_TYPE"), "TABLE");
  EXPECT_TRUE(IsNull("TABLE_SCHEMA"));
  EXPECT_EQ(Field("TABLE_DBSPACE"), "");
  Open(vsiTables, Criteria({kAny, kAny, kAny, "VIEW"}));
  EXPECT_EQ(dialect_test::Column(data_, "TABLE_NAME"), Names{"vCustomers"});

  Open(vsiColumns, Criteria({kAny, kAny, "Order"}));
  EXPECT_EQ(data_.RecordCount(), 13);
  // Each native name of the Access type table, from Jet's type indicators and
  // flags.
  EXPECT_EQ(dialect_test::Column(data_, "COLUMN_TYPE_NAME"),
            (Names{"int", "smallint", "int", "money", "bit", "ole", "decimal",
                   "datetime", "float", "real", "tinyint", "binary",
                   "uniqueidentifier"}));
  ASSERT_TRUE(Find("COLUMN_NAME", {"amount"}));
  EXPECT_EQ(Field("SIZE"), "10");
  EXPECT_EQ(Field("SCALE"), "2");
  EXPECT_EQ(Field("IS_NULLABLE"), "1");
  ASSERT_TRUE(Find("COLUMN_NAME", {"price"}));
  EXPECT_EQ(Field("COLUMN_DEFAULT"), "0");
  ASSERT_TRUE(Find("COLUMN_NAME", {"orderId"}));
  EXPECT_EQ(Field("IS_NULLABLE"), "0");
  EXPECT_EQ(Field("IS_IDENTITY"), "0");

  Open(vsiColumns, Criteria({kAny, kAny, "Customers", "id"}));
  ASSERT_EQ(data_.RecordCount(), 1);
  EXPECT_EQ(Field("COLUMN_FLAGS"), "90"); // 0x5A: Jet's counter
  EXPECT_EQ(Field("IS_IDENTITY"), "1");
  EXPECT_EQ(Field("IDENTITY_SEED"), "1");
  EXPECT_EQ(Field("IDENTITY_INCR"), "1");
  Open(vsiColumns, Criteria({kAny, kAny, "Customers"}));
  EXPECT_EQ(dialect_test::Column(data_, "COLUMN_TYPE_NAME"),
            (Names{"int", "text", "text", "memo"}));
  ASSERT_TRUE(Find("COLUMN_NAME", {"order no"}));
  EXPECT_EQ(Field("SIZE"), "20");
}

TEST_F(AccessCatalog, KeysIndexesAndRelationshipsWithRestrictions) {
  Open(vsiIndexes, Criteria({kAny, kAny, kAny, kAny, "Customers"}));
  EXPECT_EQ(dialect_test::Column(data_, "INDEX_NAME"),
            (Names{"PK_Customers", "IX_Customers_name", "IX_Customers_name"}));
  EXPECT_EQ(dialect_test::Column(data_, "CLUSTERED"),
            (Names{"False", "False", "False"}));
  EXPECT_EQ(dialect_test::Column(data_, "COLLATION"), (Names{"1", "2", "1"}));
  Open(vsiIndexes, Criteria({kAny, kAny, "PK_Order"}));
  EXPECT_EQ(dialect_test::Column(data_, "COLUMN_NAME"),
            (Names{"orderId", "lineNo"}));

  Open(vsiPrimaryKeys, Criteria({kAny, kAny, "Order"}));
  EXPECT_EQ(dialect_test::Column(data_, "COLUMN_NAME"),
            (Names{"orderId", "lineNo"}));
  EXPECT_EQ(dialect_test::Column(data_, "PK_NAME"),
            (Names{"PK_Order", "PK_Order"}));

  Open(vsiForeignKeys, Criteria({kAny, kAny, kAny, kAny, kAny, "Order"}));
  ASSERT_EQ(data_.RecordCount(), 1);
  EXPECT_EQ(Field("PK_TABLE_NAME"), "Customers");
  EXPECT_EQ(Field("FK_COLUMN_NAME"), "customerId");
  EXPECT_EQ(Field("DELETE_RULE"), "CASCADE");
  EXPECT_EQ(Field("UPDATE_RULE"), "NO ACTION");
  EXPECT_EQ(Field("PK_NAME"), "PK_Customers");
  Open(vsiForeignKeys, Criteria({kAny, kAny, "Order"}));
  EXPECT_EQ(data_.RecordCount(), 0);

  Open(vsiTableConstraints, Criteria({kAny, kAny, kAny, kAny, kAny, "Order"}));
  EXPECT_EQ(dialect_test::Column(data_, "CONSTRAINT_TYPE"),
            (Names{"PRIMARY KEY", "FOREIGN KEY"}));
}

TEST_F(AccessCatalog, ViewsAndProceduresKeepTheirWholeCreatingText) {
  Open(vsiViews);
  ASSERT_EQ(data_.RecordCount(), 1);
  EXPECT_EQ(Field("VIEW_DEFINITION"), kViewText);
  Open(vsiProcedures, Criteria({kAny, kAny, "pByName"}));
  ASSERT_EQ(data_.RecordCount(), 1);
  EXPECT_EQ(Field("PROCEDURE_DEFINITION"), kProcedureText);
  // Run again, the text makes the same object (once the old one is gone).
  connection_->Execute("DROP  PROCEDURE pByName");
  connection_->Execute(Field("PROCEDURE_DEFINITION"));
  Open(vsiProcedures);
  EXPECT_EQ(data_.RecordCount(), 1);
}

TEST_F(AccessCatalog, KindsAccessLacksAnswerOneConstantRowOrStayClosed) {
  struct Case {
    TOrvSchemaInfo kind;
    Names fields;
    std::string row;
  };
  const Case cases[] = {
      {vsiCatalogs, {"CATALOG_NAME", "DESCRIPTION"}, "|"},
      {vsiUsers, {"GROUP_NAME", "LOGIN_NAME", "USER_NAME", "USER_ID"}, "|||0"},
      {vsiDbSpaceIndexes,
       {"INDEX_DBSPACE", "TABLE_SCHEMA", "TABLE_NAME", "INDEX_NAME"},
       "|||"},
      {vsiDbSpaceText, {"TEXT_DBSPACE", "TABLE_SCHEMA", "TABLE_NAME"}, "||"},
      {vsiDbSpaces,
       {"FILE_ID", "DBSPACE_NAME", "FILE_NAME", "DBSPACE_DEFAULT"},
       "0|||0"},
  };
  for (const Case &c : cases) {
    Open(c.kind);
    EXPECT_EQ(dialect_test::FieldNames(data_), c.fields) << c.kind;
    ASSERT_EQ(data_.RecordCount(), 1) << c.kind;
    std::string row;
    for (int i = 0; i < data_.FieldCount(); ++i)
      row += (i ? "|" : "") + data_.Fields(i).AsString();
    EXPECT_EQ(row, c.row) << c.kind;
  }
  for (TOrvSchemaInfo kind : {vsiDefaultValues, vsiClusterIndexes}) {
    Open(vsiTables);
    Open(kind);
    EXPECT_FALSE(data_.Active()) << kind;
  }
}

TEST_F(AccessCatalog, DatabaseNameAndDateFormatAreNotRead) {
  dialect_->DatabaseName = "kept";
  dialect_->DateFormat = "dmy";
  dialect_->GetDatabaseName(*connection_);
  dialect_->GetDateFormat(*connection_);
  EXPECT_EQ(dialect_->DatabaseName, "kept");
  EXPECT_EQ(dialect_->DateFormat, "dmy");
}

} // namespace
