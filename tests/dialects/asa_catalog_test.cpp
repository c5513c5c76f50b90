// An Adaptive Server Anywhere database built by a script on the embedded server, read back
// through the dialect in the 15 schema kinds.
#include <gtest/gtest.h>

#include <algorithm>

#include "DialectTestSupport.h"
#include "SqlServerTestDatabase.h"
#include "platform/data/DataErrors.h"

namespace {

using dialect_test::Column;
using dialect_test::FieldNames;
using Names = std::vector<std::string>;

ado::Variant Criteria(std::initializer_list<ado::Variant> elements) {
  return ado::Variant(ado::VariantArray(elements));
}
const ado::Variant kAny = ado::Variant::Null();
const char* const kEngine = "AsaTests";

class AsaCatalog : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dialect_test::UseFreshServers();
    server_test::MakeAsaServer(kEngine);
    owner_ = new TestOwner();
    dialect_ = new TAsaSpecific(owner_);
    owner_->current = dialect_;
    EXPECT_EQ(dialect_->CreateDatabase("cat", "C:\\data\\cat.db", "", "", "", kEngine), 2);
    connection_ = new ado::TConnection(std::string("Provider=ASAProv.90;Eng=") + kEngine + ";dbn=cat");
    connection_->Open();
    dialect_test::RunScript(*connection_, {
        "CREATE DBSPACE ds2 AS ds2.DB",
        "CREATE TABLE dba.Customers (id integer IDENTITY  NOT NULL, name varchar (50) NOT NULL,"
        " note long varchar DEFAULT 'x', PRIMARY KEY  CLUSTERED  (id))",
        "CREATE TABLE Orders (orderId integer NOT NULL, lineNo smallint NOT NULL, customerId integer NULL,"
        " price numeric (10, 2) DEFAULT 0, paid money NULL, CONSTRAINT pk PRIMARY KEY (orderId, lineNo),"
        " CONSTRAINT FK_Cust FOREIGN KEY (customerId) REFERENCES Customers (id)) IN ds2",
        "CREATE GLOBAL TEMPORARY TABLE Scratch (k integer NOT NULL)",
        "CREATE TABLE dbo.SysLike (k integer)",
        "CREATE  UNIQUE  CLUSTERED  INDEX ixName ON dba.Orders (customerId, lineNo DESC)",
        "CREATE INDEX ix_id ON Customers (name DESC) IN ds2",
        "ALTER TABLE Customers ADD CONSTRAINT uqName UNIQUE (name)",
        "CREATE VIEW vCustomers AS SELECT id, name FROM Customers",
        "CREATE PROCEDURE pList() BEGIN SELECT 1; END",
        "create function fTwice(x integer) returns integer BEGIN RETURN x * 2; END",
        "CREATE TRIGGER trOrders AFTER INSERT ON Orders FOR EACH ROW BEGIN END",
        "GRANT CONNECT TO bob IDENTIFIED BY 'pw'",
        "CREATE TABLE AllTypes (c0 text, c1 tinyint, c2 smallint, c3 integer, c4 smalldatetime, c5 double, c6 money, c7 datetime, c8 float, c9 bit, c10 decimal, c11 numeric, c12 smallmoney, c13 bigint, c14 varbinary, c15 varchar, c16 binary, c17 char, c18 timestamp, c19 date, c20 long binary, c21 long varchar, c22 time, c23 unsigned bigint, c24 unsigned int, c25 unsigned smallint, c26 image, c27 uniqueidentifier, c28 uniqueidentifierstr, c29 xml, c30 oldbit, c31 sysname)",
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
  Names Sorted(const std::string& field) {
    Names names = Column(data_, field);
    std::sort(names.begin(), names.end());
    return names;
  }

  static TestOwner* owner_;
  static TAsaSpecific* dialect_;
  static ado::TConnection* connection_;
  ado::TDataSet data_;
};

TestOwner* AsaCatalog::owner_ = nullptr;
TAsaSpecific* AsaCatalog::dialect_ = nullptr;
ado::TConnection* AsaCatalog::connection_ = nullptr;

TEST_F(AsaCatalog, TablesWithTypeRestrictions) {
  Open(vsiTables);
  ASSERT_TRUE(Find("TABLE_NAME", {"Orders"}));
  EXPECT_EQ(Field("TABLE_TYPE"), "TABLE");
  EXPECT_EQ(Field("TABLE_SCHEMA"), "DBA");
  EXPECT_EQ(Field("TABLE_DBSPACE"), "ds2");
  ASSERT_TRUE(Find("TABLE_NAME", {"SYSTABLE"}));
  EXPECT_EQ(Field("TABLE_TYPE"), "SYSTEM TABLE");
  ASSERT_TRUE(Find("TABLE_NAME", {"SysLike"}));
  EXPECT_EQ(Field("TABLE_TYPE"), "SYSTEM TABLE");
  ASSERT_TRUE(Find("TABLE_NAME", {"Scratch"}));
  EXPECT_EQ(Field("TABLE_TYPE"), "GBL TEMP");
  ASSERT_TRUE(Find("TABLE_NAME", {"SYSCATALOG"}));
  EXPECT_EQ(Field("TABLE_TYPE"), "SYSTEM VIEW");

  Open(vsiTables, Criteria({kAny, kAny, kAny, "TABLE"}));
  EXPECT_EQ(Sorted("TABLE_NAME"), (Names{"AllTypes", "Customers", "Orders"}));
  Open(vsiTables, Criteria({kAny, kAny, kAny, "GBL TEMP"}));
  EXPECT_EQ(Sorted("TABLE_NAME"), (Names{"Scratch"}));
  Open(vsiTables, Criteria({kAny, kAny, kAny, "VIEW"}));
  EXPECT_EQ(Sorted("TABLE_NAME"), (Names{"vCustomers"}));
  Open(vsiTables, Criteria({"ds2", "DBA", "orders"}));
  EXPECT_EQ(Column(data_, "TABLE_NAME"), (Names{"Orders"}));
  Open(vsiTables, Criteria({"SYSTEM", "DBA", "Orders"}));
  EXPECT_EQ(data_.RecordCount(), 0);
}

TEST_F(AsaCatalog, ColumnsAndDefaults) {
  Open(vsiColumns, Criteria({kAny, "DBA", "Customers"}));
  EXPECT_EQ(Column(data_, "COLUMN_NAME"), (Names{"id", "name", "note"}));
  ASSERT_TRUE(Find("COLUMN_NAME", {"id"}));
  EXPECT_EQ(Field("IS_IDENTITY"), "1");
  EXPECT_EQ(Field("IS_NULLABLE"), "0");
  EXPECT_EQ(Field("COLUMN_TYPE"), "2");
  EXPECT_EQ(Field("COLUMN_TYPE_NAME"), "integer");
  ASSERT_TRUE(Find("COLUMN_NAME", {"name"}));
  EXPECT_EQ(Field("SIZE"), "50");
  EXPECT_EQ(Field("COLUMN_TYPE_NAME"), "varchar");
  Open(vsiColumns, Criteria({kAny, kAny, "Orders", "paid"}));
  EXPECT_EQ(Field("COLUMN_TYPE"), "101");
  EXPECT_EQ(Field("COLUMN_TYPE_NAME"), "money");

  Open(vsiDefaultValues, Criteria({kAny, "DBA", "Customers"}));
  EXPECT_EQ(Column(data_, "COLUMN_NAME"), (Names{"id", "note"}));
  ASSERT_TRUE(Find("COLUMN_NAME", {"note"}));
  EXPECT_EQ(Field("TEXT"), "'x'");
  EXPECT_EQ(Field("CONSTRAINT_NAME"), "");
  Open(vsiDefaultValues, Criteria({"named", kAny, "Customers"}));
  EXPECT_EQ(data_.RecordCount(), 0);
}

TEST_F(AsaCatalog, IndexesKeysAndConstraints) {
  Open(vsiIndexes);
  ASSERT_TRUE(Find("TABLE_NAME;INDEX_NAME", {"Customers", "Customers"}));
  EXPECT_TRUE(data_.FieldByName("PRIMARY_KEY").AsBoolean());
  EXPECT_TRUE(data_.FieldByName("CLUSTERED").AsBoolean());
  ASSERT_TRUE(Find("TABLE_NAME;INDEX_NAME;COLUMN_NAME", {"Orders", "ixName", "lineNo"}));
  EXPECT_EQ(Field("COLLATION"), "2");
  EXPECT_TRUE(data_.FieldByName("CLUSTERED").AsBoolean());
  EXPECT_TRUE(data_.FieldByName("UNIQUE").AsBoolean());
  ASSERT_TRUE(Find("TABLE_NAME;INDEX_NAME;COLUMN_NAME", {"Orders", "ixName", "customerId"}));
  EXPECT_EQ(Field("COLLATION"), "1");
  ASSERT_TRUE(Find("TABLE_NAME;INDEX_NAME", {"Orders", "Orders"}));
  EXPECT_FALSE(data_.FieldByName("CLUSTERED").AsBoolean());
  ASSERT_TRUE(Find("INDEX_NAME", {"ix_id"}));
  EXPECT_EQ(Field("COLLATION"), "2");
  EXPECT_FALSE(data_.FieldByName("UNIQUE").AsBoolean());

  Open(vsiPrimaryKeys);
  ASSERT_TRUE(Find("TABLE_NAME;COLUMN_NAME", {"Orders", "lineNo"}));
  Open(vsiForeignKeys);
  ASSERT_TRUE(Find("FK_TABLE_NAME", {"Orders"}));
  EXPECT_EQ(Field("FK_COLUMN_NAME"), "customerId");
  EXPECT_EQ(Field("PK_TABLE_NAME"), "Customers");

  Open(vsiTableConstraints);
  ASSERT_TRUE(Find("CONSTRAINT_NAME", {"FK_Cust"}));
  EXPECT_EQ(Field("CONSTRAINT_TYPE"), "FOREIGN KEY");
  ASSERT_TRUE(Find("CONSTRAINT_NAME;CONSTRAINT_TYPE", {"Orders", "PRIMARY KEY"}));
  // A unique constraint is listed; a unique index is not (it was listed in its place).
  ASSERT_TRUE(Find("CONSTRAINT_NAME", {"uqName"}));
  EXPECT_EQ(Field("CONSTRAINT_TYPE"), "UNIQUE");
  EXPECT_FALSE(Find("CONSTRAINT_NAME", {"ixName"}));

  Open(vsiClusterIndexes);
  EXPECT_EQ(Sorted("INDEX_NAME"), (Names{"Customers", "ixName"}));
}

// Each native type of the dialect's type table reads back its code and its name.
TEST_F(AsaCatalog, NativeTypesReadBackTheirCodesAndNames) {
  const struct {
    const char* name;
    int code;
  } types[] = {
      {"text", 105},
      {"tinyint", 19},
      {"smallint", 1},
      {"integer", 2},
      {"smalldatetime", 104},
      {"double", 5},
      {"money", 101},
      {"datetime", 103},
      {"float", 4},
      {"bit", 24},
      {"decimal", 27},
      {"numeric", 3},
      {"smallmoney", 102},
      {"bigint", 20},
      {"varbinary", 28},
      {"varchar", 9},
      {"binary", 11},
      {"char", 7},
      {"timestamp", 13},
      {"date", 6},
      {"long binary", 12},
      {"long varchar", 10},
      {"time", 14},
      {"unsigned bigint", 23},
      {"unsigned int", 21},
      {"unsigned smallint", 22},
      {"image", 106},
      {"uniqueidentifier", 109},
      {"uniqueidentifierstr", 110},
      {"xml", 111},
      {"oldbit", 107},
      {"sysname", 108}};
  Open(vsiColumns, Criteria({kAny, kAny, "AllTypes"}));
  ASSERT_EQ(data_.RecordCount(), static_cast<int>(std::size(types)));
  int i = 0;
  for (const auto& t : types) {
    ASSERT_TRUE(Find("COLUMN_NAME", {"c" + std::to_string(i++)})) << t.name;
    EXPECT_EQ(Field("COLUMN_TYPE"), std::to_string(t.code)) << t.name;
    EXPECT_EQ(Field("COLUMN_TYPE_NAME"), t.name);
  }
}

TEST_F(AsaCatalog, ModulesUsersSpacesAndTheRest) {
  Open(vsiProcedures);
  ASSERT_TRUE(Find("PROCEDURE_NAME", {"pList"}));
  EXPECT_EQ(Field("PROCEDURE_TYPE"), "P");
  ASSERT_TRUE(Find("PROCEDURE_NAME", {"fTwice"}));
  EXPECT_EQ(Field("PROCEDURE_TYPE"), "FN");
  ASSERT_TRUE(Find("PROCEDURE_NAME", {"trOrders"}));
  EXPECT_EQ(Field("PROCEDURE_TYPE"), "TR");
  Open(vsiProcedures, Criteria({kAny, kAny, kAny, "TR"}));
  EXPECT_EQ(Column(data_, "PROCEDURE_NAME"), (Names{"trOrders"}));
  Open(vsiProcedures, Criteria({kAny, kAny, kAny, "FN"}));
  EXPECT_EQ(Column(data_, "PROCEDURE_NAME"), (Names{"fTwice"}));

  Open(vsiViews);
  ASSERT_TRUE(Find("TABLE_NAME", {"vCustomers"}));
  EXPECT_EQ(Field("VIEW_DEFINITION"), "CREATE VIEW vCustomers AS SELECT id, name FROM Customers");

  Open(vsiUsers);
  ASSERT_TRUE(Find("USER_NAME", {"bob"}));
  EXPECT_EQ(Field("GROUP_NAME"), "PUBLIC");

  Open(vsiDbSpaces);
  ASSERT_TRUE(Find("DBSPACE_NAME", {"ds2"}));
  EXPECT_EQ(Field("FILE_NAME"), "ds2.DB");
  EXPECT_EQ(Field("DBSPACE_DEFAULT"), "0");
  ASSERT_TRUE(Find("DBSPACE_NAME", {"SYSTEM"}));
  EXPECT_EQ(Field("DBSPACE_DEFAULT"), "1");

  Open(vsiDbSpaceIndexes);
  ASSERT_TRUE(Find("INDEX_NAME", {"ix_id"}));
  EXPECT_EQ(Field("INDEX_DBSPACE"), "ds2");
  Open(vsiDbSpaceText);
  EXPECT_EQ(data_.RecordCount(), 1);
  Open(vsiCatalogs);
  EXPECT_EQ(data_.RecordCount(), 1);

  dialect_->GetDatabaseName(*connection_);
  EXPECT_EQ(dialect_->DatabaseName, "cat");
  dialect_->GetDateFormat(*connection_);
  EXPECT_EQ(dialect_->DateFormat, "YYYY-MM-DD");
  connection_->Execute("SET OPTION PUBLIC.date_format = 'DD/MM/YYYY'");
  dialect_->GetDateFormat(*connection_);
  EXPECT_EQ(dialect_->DateFormat, "DD/MM/YYYY");
  connection_->Execute("SET OPTION PUBLIC.date_format = 'YYYY-MM-DD'");
}

}  // namespace

namespace {

// The dialect's database operations on the server: a database created and started, backed up,
// restored as a new database with its log renamed, and told apart from a missing one.
TEST(AsaDatabases, CreateBackupAndRestoreAsNewOnTheServer) {
  dialect_test::UseFreshServers();
  const std::string root = std::getenv("SCHEMION_SERVERS");
  for (const char* folder : {"/orig", "/backup", "/data", "/logs"}) std::filesystem::create_directories(root + folder);
  TestOwner owner;
  TAsaSpecific dialect(&owner);
  owner.current = &dialect;
  server_test::MakeAsaServer("DbOps");
  ASSERT_EQ(dialect.CreateDatabase("src", root + "/orig/src.db", "", "", "", "DbOps"), 2);
  EXPECT_TRUE(std::filesystem::exists(root + "/orig/src.log"));
  EXPECT_TRUE(dialect.DatabaseExists("src", "", "", "DbOps"));
  EXPECT_FALSE(dialect.DatabaseExists("nowhere", "", "", "DbOps"));
  {
    ado::TConnection connection("Provider=ASAProv.90;Eng=DbOps;dbn=src");
    connection.Open();
    connection.Execute("CREATE TABLE dba.T (id integer NOT NULL, PRIMARY KEY (id))");
    connection.Execute("INSERT INTO T VALUES (42)");
    ASSERT_TRUE(dialect.BackupDatabase(connection, "src.bak", root + "/backup"));
  }
  std::string message;
  ASSERT_TRUE(dialect.RestoreAsNewDatabase("copy", root + "/backup\\src.bak", root + "/data", root + "/logs", "", "",
                                           "DbOps", message))
      << message << (owner.errors.empty() ? "" : " / " + owner.errors.back().message);
  EXPECT_TRUE(std::filesystem::exists(root + "/logs/copy.log"));
  ado::TConnection copy("Provider=ASAProv.90;Eng=DbOps;dbn=copy");
  copy.Open();
  ado::TDataSet data;
  data.SetConnection(&copy);
  copy.Query("SELECT id FROM dba.T", data);
  EXPECT_EQ(data.FieldByName("id").AsString(), "42");
  EXPECT_FALSE(dialect.RestoreAsNewDatabase("copy", root + "/backup\\src.bak", root + "/data", root + "/logs", "", "",
                                            "DbOps", message));
  EXPECT_EQ(message, "Database already exists!");
}

}  // namespace
