// The 15 schema kinds of a SQL Server database built by a script on the embedded server, read
// back through the dialect: the columns of each rowset in order, the rows, and the restriction
// arrays of vsiTables and vsiDefaultValues.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "DialectTestSupport.h"
#include "SqlServerTestDatabase.h"
#include "platform/data/DataErrors.h"
#include "platform/data/SchemaRowsets.h"

namespace {

using dialect_test::Column;
using dialect_test::FieldNames;
using Names = std::vector<std::string>;

ado::Variant Criteria(std::initializer_list<ado::Variant> elements) {
  return ado::Variant(ado::VariantArray(elements));
}
const ado::Variant kAny = ado::Variant::Null();

// A module text longer than two catalogue rows.
std::string LongText(const std::string& head, const std::string& line, size_t length) {
  std::string sql = head;
  int i = 0;
  while (sql.size() < length) sql += line + std::to_string(i++) + " -- padding line\n";
  return sql;
}
std::string LongProcedureText() {
  return LongText("CREATE PROCEDURE pLong AS\n", "SELECT 1 AS n", 9500);
}
std::string LongSecretText() {
  return LongText("CREATE PROCEDURE pLongSecret WITH ENCRYPTION AS\n", "SELECT 2 AS n", 8500);
}
std::string LongViewText() {
  return LongText("CREATE VIEW vLong AS SELECT id FROM Customers WHERE id <> -1\n", "OR id = ", 4500);
}

Names OleDbColumns(ado::TSchemaInfo kind) {
  Names names;
  for (const ado::FieldDef& f : ado::SchemaRowsetColumns(kind)) names.push_back(f.Name);
  return names;
}

class SqlServerCatalog : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    owner_ = new TestOwner();
    dialect_ = new TSqlServerSpecific(owner_);
    owner_->current = dialect_;
    connection_ = dialect_test::CreateAndConnect(*dialect_, "CatalogDb").release();
    dialect_test::RunScript(*connection_, {
        "CREATE TABLE Customers (id int IDENTITY (1, 1) NOT NULL, name nvarchar (50) NOT NULL,"
        " [order no] varchar (20) NULL, CONSTRAINT PK_Customers PRIMARY KEY CLUSTERED (id))",
        "CREATE TABLE Orders (orderId int NOT NULL, [lineNo] smallint NOT NULL, customerId int NULL,"
        " price decimal (10, 2) NOT NULL, note text NULL,"
        " CONSTRAINT PK_Orders PRIMARY KEY NONCLUSTERED (orderId, [lineNo]),"
        " CONSTRAINT FK_Orders_Customers FOREIGN KEY (customerId) REFERENCES Customers (id),"
        " CONSTRAINT CK_Orders_price CHECK (price >= 0))",
        "ALTER TABLE Orders ADD CONSTRAINT DF_Orders_price DEFAULT (0) FOR price",
        "CREATE TABLE Counters (id bigint IDENTITY (100, 5) NOT NULL,"
        " label char (4) NULL CONSTRAINT DF_Counters_label DEFAULT ('none'))",
        "CREATE UNIQUE INDEX IX_Customers_name ON Customers (name)",
        "CREATE CLUSTERED INDEX IX_Orders_customer ON Orders (customerId)",
        "CREATE VIEW vCustomers AS SELECT id, name FROM Customers",
        LongProcedureText(),
        "CREATE PROCEDURE pSecret WITH ENCRYPTION AS SELECT 1",
        "CREATE TRIGGER trOrders ON Orders FOR INSERT AS SELECT 1",
        "ALTER DATABASE CatalogDb ADD FILEGROUP Archive",
        "sp_addLogin 'bob', 'pw'",
        "sp_grantDbAccess 'bob', 'bobby'",
        LongSecretText(),
        LongViewText(),
    });
  }
  static void TearDownTestSuite() {
    delete connection_;
    delete dialect_;
    delete owner_;
  }

  void SetUp() override { data_.SetConnection(connection_); }

  void Open(TOrvSchemaInfo kind, const ado::Variant& criteria = {}) {
    dialect_->OpenSchema(kind, criteria, ado::Variant(), data_);
  }
  bool Find(const std::string& keys, std::initializer_list<ado::Variant> values) {
    return data_.Locate(keys, values.size() == 1 ? *values.begin() : ado::Variant(ado::VariantArray(values)),
                        ado::loCaseInsensitive);
  }
  std::string Field(const std::string& name) { return data_.FieldByName(name).AsString(); }

  static TestOwner* owner_;
  static TSqlServerSpecific* dialect_;
  static ado::TConnection* connection_;
  ado::TDataSet data_;
};

TestOwner* SqlServerCatalog::owner_ = nullptr;
TSqlServerSpecific* SqlServerCatalog::dialect_ = nullptr;
ado::TConnection* SqlServerCatalog::connection_ = nullptr;

TEST_F(SqlServerCatalog, TablesWithRestrictionsAndTableTypes) {
  Open(vsiTables);
  EXPECT_EQ(FieldNames(data_), (Names{"TABLE_DBSPACE", "TABLE_SCHEMA", "TABLE_NAME", "TABLE_TYPE",
                                      "TABLE_GUID", "DESCRIPTION", "TABLE_PROPID", "DATE_CREATED",
                                      "DATE_MODIFIED"}));
  ASSERT_TRUE(Find("TABLE_NAME", {"Customers"}));
  EXPECT_EQ(Field("TABLE_TYPE"), "TABLE");
  EXPECT_EQ(Field("TABLE_SCHEMA"), "dbo");
  EXPECT_EQ(Field("TABLE_DBSPACE"), "PRIMARY");
  ASSERT_TRUE(Find("TABLE_NAME", {"vCustomers"}));
  EXPECT_EQ(Field("TABLE_TYPE"), "VIEW");
  ASSERT_TRUE(Find("TABLE_NAME", {"sysobjects"}));
  EXPECT_EQ(Field("TABLE_TYPE"), "SYSTEM TABLE");

  Open(vsiTables, Criteria({kAny, kAny, kAny, "TABLE"}));
  Names tables = Column(data_, "TABLE_NAME");
  std::sort(tables.begin(), tables.end());
  EXPECT_EQ(tables, (Names{"Counters", "Customers", "Orders"}));

  Open(vsiTables, Criteria({kAny, "dbo", "Orders"}));
  EXPECT_EQ(Column(data_, "TABLE_NAME"), (Names{"Orders"}));
  Open(vsiTables, Criteria({kAny, "nobody", "Orders"}));
  EXPECT_EQ(data_.RecordCount(), 0);
  Open(vsiTables, Criteria({"CatalogDb", kAny, "orders"}));
  EXPECT_EQ(data_.RecordCount(), 1);
  Open(vsiTables, Criteria({"OtherDb", kAny, "Orders"}));
  EXPECT_EQ(data_.RecordCount(), 0);

  Open(vsiTables, Criteria({kAny, kAny, kAny, "VIEW"}));
  Names views = Column(data_, "TABLE_NAME");
  std::sort(views.begin(), views.end());
  EXPECT_EQ(views, (Names{"vCustomers", "vLong"}));
  Open(vsiTables, Criteria({kAny, kAny, kAny, "SYSTEM TABLE"}));
  const Names types = Column(data_, "TABLE_TYPE");
  EXPECT_FALSE(types.empty());
  EXPECT_TRUE(std::all_of(types.begin(), types.end(),
                          [](const std::string& t) { return t == "SYSTEM TABLE"; }));
  Open(vsiTables, Criteria({kAny, kAny, kAny, "GBL TEMP"}));
  EXPECT_EQ(data_.RecordCount(), 0);
}

TEST_F(SqlServerCatalog, ColumnsWithTypesIdentityAndIdentityRestriction) {
  Open(vsiColumns, Criteria({kAny, kAny, "Customers"}));
  EXPECT_EQ(FieldNames(data_),
            (Names{"DATABASE_NAME", "TABLE_SCHEMA", "TABLE_NAME", "COLUMN_NAME",
                   "ORDINAL_POSITION", "COLUMN_DEFAULT", "IS_NULLABLE", "COLUMN_TYPE",
                   "COLUMN_TYPE_NAME", "SIZE", "SCALE", "IS_IDENTITY", "IDENTITY_SEED",
                   "IDENTITY_INCR", "COLLATION_NAME", "DESCRIPTION"}));
  EXPECT_EQ(data_.RecordCount(), 3);
  ASSERT_TRUE(Find("COLUMN_NAME", {"id"}));
  EXPECT_EQ(Field("DATABASE_NAME"), "CatalogDb");
  EXPECT_EQ(Field("COLUMN_TYPE_NAME"), "int");
  EXPECT_EQ(data_.FieldByName("COLUMN_TYPE").AsInteger(), 56);
  EXPECT_EQ(data_.FieldByName("IS_IDENTITY").AsInteger(), 1);
  EXPECT_EQ(data_.FieldByName("IS_NULLABLE").AsInteger(), 0);
  EXPECT_EQ(data_.FieldByName("IDENTITY_SEED").AsInteger(), 1);
  ASSERT_TRUE(Find("COLUMN_NAME", {"name"}));
  EXPECT_EQ(Field("COLUMN_TYPE_NAME"), "nvarchar");
  EXPECT_EQ(data_.FieldByName("SIZE").AsInteger(), 50);
  EXPECT_EQ(data_.FieldByName("IS_IDENTITY").AsInteger(), 0);
  ASSERT_TRUE(Find("COLUMN_NAME", {"order no"}));
  EXPECT_EQ(data_.FieldByName("IS_NULLABLE").AsInteger(), 1);

  Open(vsiColumns, Criteria({kAny, "dbo", "Orders", "price"}));
  ASSERT_EQ(data_.RecordCount(), 1);
  EXPECT_EQ(data_.FieldByName("SIZE").AsInteger(), 10);
  EXPECT_EQ(data_.FieldByName("SCALE").AsInteger(), 2);
  EXPECT_EQ(Field("COLUMN_DEFAULT"), "(0)");

  Open(vsiColumns, Criteria({kAny, kAny, "Counters", kAny, 1}));
  ASSERT_EQ(Column(data_, "COLUMN_NAME"), (Names{"id"}));
  EXPECT_EQ(data_.FieldByName("IDENTITY_SEED").AsInteger(), 100);
  EXPECT_EQ(data_.FieldByName("IDENTITY_INCR").AsInteger(), 5);
  Open(vsiColumns, Criteria({kAny, kAny, "Counters", kAny, 0}));
  EXPECT_EQ(Column(data_, "COLUMN_NAME"), (Names{"label"}));
}

TEST_F(SqlServerCatalog, ColumnDefinitionsReadBackRecreateTheTable) {
  Open(vsiColumns, Criteria({kAny, kAny, "Counters"}));
  std::string sql = "CREATE TABLE CountersCopy (";
  for (data_.First(); !data_.Eof(); data_.Next()) {
    const TOrvDataType* type =
        dialect_->FindDataType(Field("COLUMN_TYPE_NAME"), kFindByNativeName);
    if (data_.RecNo() > 1) sql += ", ";
    sql += dialect_->GetColumnDefinition(data_, type, true, true);
  }
  sql += ")";
  EXPECT_EQ(sql,
            "CREATE TABLE CountersCopy (id bigint IDENTITY (100, 5)  NOT NULL,"
            " label char (4)  COLLATE SQL_Latin1_General_CP1_CI_AS)");
  connection_->Execute(sql);

  Open(vsiColumns, Criteria({kAny, kAny, "CountersCopy"}));
  ASSERT_TRUE(Find("COLUMN_NAME", {"id"}));
  EXPECT_EQ(data_.FieldByName("IS_IDENTITY").AsInteger(), 1);
  EXPECT_EQ(data_.FieldByName("IDENTITY_SEED").AsInteger(), 100);
  EXPECT_EQ(data_.FieldByName("IDENTITY_INCR").AsInteger(), 5);
  ASSERT_TRUE(Find("COLUMN_NAME", {"label"}));
  EXPECT_EQ(Field("COLUMN_TYPE_NAME"), "char");
  EXPECT_EQ(data_.FieldByName("SIZE").AsInteger(), 4);
  EXPECT_EQ(data_.FieldByName("IS_NULLABLE").AsInteger(), 1);
  EXPECT_EQ(Field("COLLATION_NAME"), "SQL_Latin1_General_CP1_CI_AS");

  // A column dropped, then added again from its row through the dialect's own statement.
  ASSERT_TRUE(Find("COLUMN_NAME", {"label"}));
  connection_->Execute("ALTER TABLE CountersCopy DROP COLUMN label");
  const std::string add = dialect_->GetAddColumnSql(
      data_, dialect_->FindDataType("char", kFindByNativeName), "dbo", false, true);
  EXPECT_EQ(add,
            "ALTER TABLE dbo.CountersCopy ADD label char (4)  COLLATE SQL_Latin1_General_CP1_CI_AS"
            " NULL");
  connection_->Execute(add);
  Open(vsiColumns, Criteria({kAny, kAny, "CountersCopy"}));
  EXPECT_EQ(Column(data_, "COLUMN_NAME"), (Names{"id", "label"}));
  connection_->Execute("DROP TABLE CountersCopy");
}

TEST_F(SqlServerCatalog, ViewsAndProceduresJoinTheirCatalogueRows) {
  Open(vsiViews, Criteria({kAny, kAny, "vLong"}));
  ASSERT_EQ(data_.RecordCount(), 1);
  EXPECT_EQ(Field("VIEW_DEFINITION"), LongViewText());

  Open(vsiViews, Criteria({kAny, kAny, "vCustomers"}));
  EXPECT_EQ(FieldNames(data_),
            (Names{"TABLE_CATALOG", "TABLE_SCHEMA", "TABLE_NAME", "VIEW_DEFINITION",
                   "CHECK_OPTION", "IS_UPDATABLE", "DESCRIPTION", "DATE_CREATED",
                   "DATE_MODIFIED", "QUOTED_IDENTIFIER"}));
  ASSERT_EQ(data_.RecordCount(), 1);
  EXPECT_EQ(Field("TABLE_NAME"), "vCustomers");
  EXPECT_EQ(Field("VIEW_DEFINITION"), "CREATE VIEW vCustomers AS SELECT id, name FROM Customers");
  EXPECT_EQ(data_.FieldByName("IS_UPDATABLE").AsInteger(), 1);
  EXPECT_EQ(data_.FieldByName("QUOTED_IDENTIFIER").AsInteger(), 1);

  ado::TDataSet rows;
  rows.SetConnection(connection_);
  connection_->Query(
      "select count(*) as n from syscomments sc inner join sysobjects o on o.id = sc.id"
      " where o.name = 'pLong'",
      rows);
  EXPECT_EQ(rows.FieldByName("n").AsInteger(), 3);

  Open(vsiProcedures);
  EXPECT_EQ(FieldNames(data_),
            (Names{"PROCEDURE_CATALOG", "PROCEDURE_SCHEMA", "PROCEDURE_NAME", "PROCEDURE_TYPE",
                   "PROCEDURE_DEFINITION", "DESCRIPTION", "ENCRYPTED", "DATE_CREATED",
                   "DATE_MODIFIED", "QUOTED_IDENTIFIER"}));
  EXPECT_EQ(data_.RecNo(), 1);
  ASSERT_TRUE(Find("PROCEDURE_NAME", {"pLong"}));
  EXPECT_EQ(Field("PROCEDURE_DEFINITION"), LongProcedureText());
  EXPECT_EQ(Field("PROCEDURE_TYPE"), "P");
  EXPECT_EQ(data_.FieldByName("ENCRYPTED").AsInteger(), 0);
  ASSERT_TRUE(Find("PROCEDURE_NAME", {"pSecret"}));
  EXPECT_EQ(data_.FieldByName("ENCRYPTED").AsInteger(), 1);
  EXPECT_EQ(Field("PROCEDURE_DEFINITION"), "");
  ASSERT_TRUE(Find("PROCEDURE_NAME", {"pLongSecret"}));
  EXPECT_EQ(data_.FieldByName("ENCRYPTED").AsInteger(), 1);
  EXPECT_EQ(Field("PROCEDURE_DEFINITION"), "");
  ASSERT_TRUE(Find("PROCEDURE_NAME", {"trOrders"}));
  EXPECT_EQ(Field("PROCEDURE_TYPE"), "TR");
  ASSERT_TRUE(Find("PROCEDURE_NAME", {"vCustomers"}));
  EXPECT_EQ(Field("PROCEDURE_TYPE"), "V");
  const Names names = Column(data_, "PROCEDURE_NAME");
  EXPECT_EQ(std::count(names.begin(), names.end(), "pLong"), 1);
  EXPECT_EQ(std::count(names.begin(), names.end(), "pLongSecret"), 1);
  EXPECT_EQ(std::count(names.begin(), names.end(), "vLong"), 1);

  Open(vsiProcedures, Criteria({kAny, "dbo", kAny, "TR"}));
  EXPECT_EQ(Column(data_, "PROCEDURE_NAME"), (Names{"trOrders"}));
  Open(vsiProcedures, Criteria({kAny, "bobby"}));
  EXPECT_EQ(data_.RecordCount(), 0);
}

TEST_F(SqlServerCatalog, ConstraintsKeysAndDefaults) {
  Open(vsiTableConstraints);
  EXPECT_EQ(FieldNames(data_),
            (Names{"CONSTRAINT_CATALOG", "CONSTRAINT_SCHEMA", "CONSTRAINT_NAME", "TABLE_CATALOG",
                   "TABLE_SCHEMA", "TABLE_NAME", "CONSTRAINT_TYPE", "IS_DEFERRABLE",
                   "INITIALLY_DEFERRED", "TEXT"}));
  ASSERT_TRUE(Find("CONSTRAINT_NAME", {"PK_Orders"}));
  EXPECT_EQ(Field("CONSTRAINT_TYPE"), "PRIMARY KEY");
  EXPECT_EQ(Field("TABLE_NAME"), "Orders");
  ASSERT_TRUE(Find("CONSTRAINT_NAME", {"FK_Orders_Customers"}));
  EXPECT_EQ(Field("CONSTRAINT_TYPE"), "FOREIGN KEY");
  ASSERT_TRUE(Find("CONSTRAINT_NAME", {"CK_Orders_price"}));
  EXPECT_EQ(Field("CONSTRAINT_TYPE"), "CHECK");
  EXPECT_NE(Field("TEXT").find("price >= 0"), std::string::npos);
  Open(vsiTableConstraints, Criteria({kAny, kAny, kAny, kAny, kAny, kAny, "CHECK"}));
  EXPECT_EQ(Column(data_, "CONSTRAINT_NAME"), (Names{"CK_Orders_price"}));

  Open(vsiPrimaryKeys);
  EXPECT_EQ(FieldNames(data_), (Names{"TABLE_CATALOG", "TABLE_SCHEMA", "TABLE_NAME", "COLUMN_NAME",
                                      "COLUMN_GUID", "COLUMN_PROPID", "ORDINAL", "PK_NAME"}));
  ASSERT_TRUE(Find("TABLE_NAME;ORDINAL", {"Orders", 2}));
  EXPECT_EQ(Field("COLUMN_NAME"), "lineNo");
  EXPECT_EQ(Field("PK_NAME"), "PK_Orders");
  EXPECT_EQ(Field("TABLE_CATALOG"), "CatalogDb");
  EXPECT_TRUE(data_.FieldByName("COLUMN_GUID").IsNull());
  ASSERT_TRUE(Find("TABLE_NAME;ORDINAL", {"Orders", 1}));
  EXPECT_EQ(Field("COLUMN_NAME"), "orderId");
  ASSERT_TRUE(Find("TABLE_NAME", {"Customers"}));
  EXPECT_EQ(Field("COLUMN_NAME"), "id");
  EXPECT_EQ(data_.RecordCount(), 3);  // Counters has no primary key
  Open(vsiPrimaryKeys, Criteria({kAny, "dbo", "Customers"}));
  EXPECT_EQ(Column(data_, "PK_NAME"), (Names{"PK_Customers"}));

  // The OLE DB columns, then each key's state.
  Open(vsiForeignKeys);
  Names foreignKeyFields = OleDbColumns(ado::siForeignKeys);
  foreignKeyFields.push_back("IS_DISABLED");
  EXPECT_EQ(FieldNames(data_), foreignKeyFields);
  ASSERT_TRUE(Find("FK_NAME", {"FK_Orders_Customers"}));
  EXPECT_EQ(Field("IS_DISABLED"), "0");
  EXPECT_EQ(Field("PK_TABLE_NAME"), "Customers");
  EXPECT_EQ(Field("PK_COLUMN_NAME"), "id");
  EXPECT_EQ(Field("FK_COLUMN_NAME"), "customerId");

  Open(vsiDefaultValues);
  EXPECT_EQ(FieldNames(data_), (Names{"CONSTRAINT_NAME", "id", "TABLE_SCHEMA", "TABLE_NAME",
                                      "COLUMN_NAME", "COLUMN_TYPE", "TEXT"}));
  EXPECT_EQ(data_.RecordCount(), 2);
  ASSERT_TRUE(Find("CONSTRAINT_NAME", {"DF_Orders_price"}));
  EXPECT_EQ(Field("COLUMN_NAME"), "price");
  EXPECT_EQ(Field("TEXT"), "(0)");
  EXPECT_EQ(data_.FieldByName("COLUMN_TYPE").AsInteger(), 106);
  Open(vsiDefaultValues, Criteria({kAny, "dbo", "Counters", "label"}));
  EXPECT_EQ(Column(data_, "TEXT"), (Names{"('none')"}));
  Open(vsiDefaultValues, Criteria({"DF_Orders_price"}));
  EXPECT_EQ(Column(data_, "TABLE_NAME"), (Names{"Orders"}));
  Open(vsiDefaultValues, Criteria({kAny, kAny, "Orders", "orderId"}));
  EXPECT_EQ(data_.RecordCount(), 0);
}

TEST_F(SqlServerCatalog, IndexesClusteredIndexesAndTheirDbSpaces) {
  Open(vsiIndexes);
  EXPECT_EQ(FieldNames(data_), OleDbColumns(ado::siIndexes));
  ASSERT_TRUE(Find("INDEX_NAME", {"IX_Customers_name"}));
  EXPECT_TRUE(data_.FieldByName("UNIQUE").AsBoolean());

  Open(vsiClusterIndexes);
  EXPECT_EQ(FieldNames(data_), (Names{"TABLE_CATALOG", "TABLE_SCHEMA", "TABLE_NAME",
                                      "INDEX_CATALOG", "INDEX_SCHEMA", "INDEX_NAME"}));
  Names clustered = Column(data_, "INDEX_NAME");
  std::sort(clustered.begin(), clustered.end());
  EXPECT_EQ(clustered, (Names{"IX_Orders_customer", "PK_Customers"}));
  ASSERT_TRUE(Find("INDEX_NAME", {"PK_Customers"}));
  EXPECT_EQ(Field("TABLE_NAME"), "Customers");

  Open(vsiDbSpaceIndexes);
  EXPECT_EQ(FieldNames(data_), (Names{"INDEX_DBSPACE", "TABLE_SCHEMA", "TABLE_NAME", "INDEX_NAME"}));
  ASSERT_TRUE(Find("INDEX_NAME", {"IX_Customers_name"}));
  EXPECT_EQ(Field("INDEX_DBSPACE"), "PRIMARY");
  Open(vsiDbSpaceIndexes, Criteria({kAny, kAny, "Customers", "IX_Customers_name"}));
  EXPECT_EQ(data_.RecordCount(), 1);

  Open(vsiDbSpaceText);
  EXPECT_EQ(FieldNames(data_), (Names{"TEXT_DBSPACE", "TABLE_SCHEMA", "TABLE_NAME"}));
  ASSERT_TRUE(Find("TABLE_NAME", {"Orders"}));
  EXPECT_EQ(Field("TEXT_DBSPACE"), "PRIMARY");
}

TEST_F(SqlServerCatalog, CatalogsUsersAndDbSpaces) {
  Open(vsiCatalogs);
  EXPECT_EQ(FieldNames(data_), OleDbColumns(ado::siCatalogs));
  EXPECT_TRUE(Find("CATALOG_NAME", {"CatalogDb"}));

  Open(vsiUsers);
  EXPECT_EQ(FieldNames(data_), (Names{"GROUP_NAME", "LOGIN_NAME", "USER_NAME", "USER_ID"}));
  ASSERT_TRUE(Find("USER_NAME", {"bobby"}));
  EXPECT_EQ(Field("LOGIN_NAME"), "bob");
  EXPECT_EQ(Field("GROUP_NAME"), "public");
  Open(vsiUsers, Criteria({kAny, "bob"}));
  EXPECT_EQ(Column(data_, "USER_NAME"), (Names{"bobby"}));

  Open(vsiDbSpaces);
  EXPECT_EQ(FieldNames(data_), (Names{"FILE_ID", "DBSPACE_NAME", "FILE_NAME", "DBSPACE_DEFAULT"}));
  ASSERT_TRUE(Find("DBSPACE_NAME", {"PRIMARY"}));
  EXPECT_EQ(data_.FieldByName("DBSPACE_DEFAULT").AsInteger(), 1);
  ASSERT_TRUE(Find("DBSPACE_NAME", {"Archive"}));
  EXPECT_EQ(data_.FieldByName("DBSPACE_DEFAULT").AsInteger(), 0);

  dialect_->LoadDbSpaces(*connection_);
  EXPECT_TRUE(dialect_->DbSpaceExists("archive"));
  ASSERT_TRUE(dialect_->DbSpaceExists("PRIMARY"));
  EXPECT_TRUE(dialect_->DbSpaces.Find("PRIMARY")->IsDefault);
  EXPECT_GE(dialect_->DbSpaces.Find("PRIMARY")->FileId, 1);
  const int count = dialect_->DbSpaces.Count();
  dialect_->LoadDbSpaces(*connection_);
  EXPECT_EQ(dialect_->DbSpaces.Count(), count);

  // A kind outside the 15 leaves the data set closed; criteria must be an array.
  Open(static_cast<TOrvSchemaInfo>(15));
  EXPECT_FALSE(data_.Active());
  EXPECT_THROW(Open(vsiTables, ado::Variant("Customers")), EDbSpecificError);
  // A data set without a connection fails with the data set's own error, for queries and for
  // the rowsets built in memory alike.
  ado::TDataSet loose;
  EXPECT_THROW(dialect_->OpenSchema(vsiTables, {}, {}, loose), ado::EDatabaseError);
  EXPECT_THROW(dialect_->OpenSchema(vsiPrimaryKeys, {}, {}, loose), ado::EDatabaseError);
  EXPECT_THROW(dialect_->OpenSchema(vsiClusterIndexes, {}, {}, loose), ado::EDatabaseError);
}

TEST_F(SqlServerCatalog, ConnectionValuesAndLogins) {
  dialect_->GetDatabaseName(*connection_);
  EXPECT_EQ(dialect_->DatabaseName, "CatalogDb");
  EXPECT_EQ(dialect_->GetDatabaseFromConnection("Initial Catalog=Other"), "CatalogDb");
  dialect_->GetDateFormat(*connection_);
  EXPECT_EQ(dialect_->DateFormat, "mdy");

  EXPECT_TRUE(dialect_->LoginExists(*connection_, "SA"));
  EXPECT_TRUE(dialect_->LoginExists(*connection_, "bob"));
  EXPECT_FALSE(dialect_->LoginExists(*connection_, "carol"));
  ado::TConnection closed;
  EXPECT_FALSE(dialect_->LoginExists(closed, "sa"));
  dialect_->GetDatabaseName(closed);
  EXPECT_EQ(dialect_->DatabaseName, "");
  dialect_->GetDatabaseName(*connection_);

  dialect_->SetDbType(dbtSqlServer);
  dialect_->SetMasterDbType(dbtSqlServer);
  EXPECT_EQ(dialect_->GetCreateUserSql(*connection_, "admin", "sa", "x"),
            "EXEC sp_grantDbAccess 'sa', 'admin'");
  const std::string create = dialect_->GetCreateUserSql(*connection_, "carol", "", "c'pw");
  EXPECT_EQ(create, "EXEC sp_addLogin 'carol', 'c''pw'; EXEC sp_grantDbAccess 'carol', 'carol'");
  connection_->Execute(create);
  EXPECT_TRUE(dialect_->LoginExists(*connection_, "carol"));
  data_.SetConnection(connection_);
  Open(vsiUsers, Criteria({kAny, kAny, "carol"}));
  EXPECT_EQ(data_.RecordCount(), 1);

  // The statements the dialect writes for renames, db spaces and encryption run on the server.
  connection_->Execute(dialect_->GetCreateDbSpaceSql("Fg Two", ""));
  connection_->Execute(dialect_->GetRenameTableSql("dbo", "Counters", "Tallies"));
  connection_->Execute(dialect_->GetRenameColumnSql("dbo", "Tallies", "label", "caption"));
  Open(vsiColumns, Criteria({kAny, "dbo", "Tallies", "caption"}));
  EXPECT_EQ(data_.RecordCount(), 1);
  connection_->Execute(dialect_->GetRenameTableSql("dbo", "Tallies", "Counters"));
  connection_->Execute(dialect_->GetRenameColumnSql("dbo", "Counters", "caption", "label"));
  connection_->Execute(
      dialect_->GetObjectExistsSql("pSecret", "P") + "DROP PROCEDURE pSecret");
  connection_->Execute(dialect_->AddEncryption("CREATE PROCEDURE pSecret AS SELECT 2"));
  Open(vsiProcedures, Criteria({kAny, kAny, "pSecret"}));
  EXPECT_EQ(data_.FieldByName("ENCRYPTED").AsInteger(), 1);
  Open(vsiDbSpaces);
  EXPECT_TRUE(Find("DBSPACE_NAME", {"Fg Two"}));
}

// Schema files are schema rowsets saved as persisted recordsets: every kind read from the
// database loads back with the same fields, in order and of the same types, and the same values.
TEST_F(SqlServerCatalog, SchemaRowsetsSavedAsFilesLoadBackUnchanged) {
  const std::filesystem::path dir =
      std::filesystem::path(std::getenv("SCHEMION_SERVERS")) / "schema-files";
  std::filesystem::create_directories(dir);
  for (int k = vsiCatalogs; k <= vsiDbSpaces; ++k) {
    const auto kind = static_cast<TOrvSchemaInfo>(k);
    SCOPED_TRACE(EnumName(kind));
    Open(kind);
    ASSERT_TRUE(data_.Active());
    const std::string file = (dir / (std::string(EnumName(kind)) + ".xml")).string();
    data_.SaveToFile(file);
    ado::TDataSet back;
    back.LoadFromFile(file);
    ASSERT_EQ(back.FieldCount(), data_.FieldCount());
    for (int f = 0; f < data_.FieldCount(); ++f) {
      EXPECT_EQ(back.Fields(f).FieldName(), data_.Fields(f).FieldName());
      EXPECT_EQ(back.Fields(f).DataType(), data_.Fields(f).DataType()) << data_.Fields(f).FieldName();
    }
    ASSERT_EQ(back.RecordCount(), data_.RecordCount());
    int rows = 0;
    for (data_.First(), back.First(); !data_.Eof(); data_.Next(), back.Next(), ++rows) {
      ASSERT_FALSE(back.Eof());
      for (int f = 0; f < data_.FieldCount(); ++f) {
        const ado::Variant& want = data_.Fields(f).Value();
        const ado::Variant& got = back.Fields(f).Value();
        if (want.IsNullOrEmpty()) {
          EXPECT_TRUE(got.IsNullOrEmpty()) << data_.Fields(f).FieldName() << " row " << rows;
        } else {
          EXPECT_EQ(got, want) << data_.Fields(f).FieldName() << " row " << rows << ": '"
                               << got.AsString() << "' for '" << want.AsString() << "'";
        }
      }
    }
    if (kind == vsiProcedures || kind == vsiTables || kind == vsiColumns) {
      EXPECT_GT(rows, 0);
    }
  }
}

}  // namespace
