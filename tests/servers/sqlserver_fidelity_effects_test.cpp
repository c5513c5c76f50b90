// Statements whose effect the embedded SQL Server once got silently wrong, each run as the real
// server runs it: the answer it gives, and what the catalogue then holds, read back through
// the SQL Server dialect's schema kinds.
#include <gtest/gtest.h>

#include <filesystem>

#include "../dialects/DialectTestSupport.h"
#include "../dialects/SqlServerTestDatabase.h"
#include "platform/data/DataErrors.h"
#include "servers/sqlserver/Sqlite.h"

namespace {

using Names = std::vector<std::string>;

ado::Variant Criteria(std::initializer_list<ado::Variant> elements) {
  return ado::Variant(ado::VariantArray(elements));
}
const ado::Variant kAny = ado::Variant::Null();

class SqlServerEffects : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    owner_ = new TestOwner();
    dialect_ = new TSqlServerSpecific(owner_);
    owner_->current = dialect_;
    connection_ = dialect_test::CreateAndConnect(*dialect_, "EffectsDb").release();
  }
  static void TearDownTestSuite() {
    delete connection_;
    delete dialect_;
    delete owner_;
  }
  void SetUp() override { data_.SetConnection(connection_); }

  void Run(const std::vector<std::string>& script) { dialect_test::RunScript(*connection_, script); }
  // The SQLite file behind the test database, opened past the server.
  static servers::SqliteDbPtr OpenFile() {
    return servers::OpenSqlite((std::filesystem::path(std::getenv("SCHEMION_SERVERS")) / "dialecttests" /
                                "effectsdb.sqlite").string(),
                               false);
  }
  // The first value of the statement's first row, as text ("<null>" for NULL).
  std::string Value(const std::string& sql) {
    ado::TDataSet q;
    q.SetConnection(connection_);
    q.SetCommandText(sql);
    q.Open();
    if (q.Eof()) return "<no row>";
    return q.Fields(0).IsNull() ? "<null>" : q.Fields(0).AsString();
  }
  // The server's error number for the statement, 0 when it succeeds; `message` gets its text.
  int ErrorOf(const std::string& sql, std::string* message = nullptr) {
    try {
      connection_->Execute(sql);
    } catch (const ado::EOleException& e) {
      if (message) *message = e.what();
      return e.NativeError();
    }
    return 0;
  }
  void Open(TOrvSchemaInfo kind, const ado::Variant& criteria) {
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

TestOwner* SqlServerEffects::owner_ = nullptr;
TSqlServerSpecific* SqlServerEffects::dialect_ = nullptr;
ado::TConnection* SqlServerEffects::connection_ = nullptr;

// Regression: DESC in an index or primary key was dropped.
TEST_F(SqlServerEffects, DescendingKeysAreKept) {
  Run({"CREATE TABLE Lines (Line int NOT NULL, a int NULL, b int NULL,"
       " CONSTRAINT PK_Lines PRIMARY KEY (Line DESC))",
       "CREATE INDEX IX_Lines_ab ON Lines (a DESC, b)"});
  EXPECT_EQ(Value("SELECT INDEXKEY_PROPERTY(object_id('Lines'), 1, 1, 'IsDescending')"), "1");
  EXPECT_EQ(Value("SELECT INDEXKEY_PROPERTY(object_id('Lines'), 2, 1, 'IsDescending')"), "1");
  EXPECT_EQ(Value("SELECT INDEXKEY_PROPERTY(object_id('Lines'), 2, 2, 'IsDescending')"), "0");
  EXPECT_EQ(Value("SELECT INDEXKEY_PROPERTY(object_id('Lines'), 2, 2, 'ColumnId')"), "3");
  EXPECT_EQ(Value("SELECT count(*) FROM sysindexkeys k JOIN sysindexes i ON i.id = k.id AND i.indid = k.indid"
                  " WHERE i.id = object_id('Lines') AND INDEXKEY_PROPERTY(i.id, i.indid, k.keyno, 'IsDescending') = 1"),
            "2");

  Open(vsiIndexes, Criteria({kAny, kAny, kAny, kAny, "Lines"}));
  ASSERT_TRUE(Find("INDEX_NAME;COLUMN_NAME", {"PK_Lines", "Line"}));
  EXPECT_EQ(data_.FieldByName("COLLATION").AsInteger(), 2);
  ASSERT_TRUE(Find("INDEX_NAME;COLUMN_NAME", {"IX_Lines_ab", "a"}));
  EXPECT_EQ(data_.FieldByName("COLLATION").AsInteger(), 2);
  ASSERT_TRUE(Find("INDEX_NAME;COLUMN_NAME", {"IX_Lines_ab", "b"}));
  EXPECT_EQ(data_.FieldByName("COLLATION").AsInteger(), 1);

  // The SQLite index behind it is descending too.
  auto db = OpenFile();
  servers::Stmt q(db.get(), "SELECT x.name || (CASE x.desc WHEN 1 THEN ' DESC' ELSE '' END) FROM pragma_index_list('Lines') l, "
                            "pragma_index_xinfo(l.name) x WHERE x.key ORDER BY l.origin = 'u', l.name, x.seqno");
  Names keys;
  while (q.Step()) keys.push_back(q.Text(0));
  EXPECT_EQ(keys, Names({"a DESC", "b", "Line DESC"}));
}

// A key the rebuilt SQLite table declares itself goes with its constraint or index: a dropped key
// let no duplicate in before, and must let them in now.
TEST_F(SqlServerEffects, DroppedKeysStopHoldingAfterARebuild) {
  Run({"CREATE TABLE Keyed (Id int NOT NULL CONSTRAINT PK_Keyed PRIMARY KEY, Code int NOT NULL, Other int NOT NULL,"
       " CONSTRAINT UQ_Keyed UNIQUE (Other))",
       "CREATE UNIQUE INDEX IX_Keyed_Code ON Keyed (Code)", "ALTER TABLE Keyed ADD Extra int NULL",
       "INSERT INTO Keyed (Id, Code, Other) VALUES (1, 1, 1)"});
  EXPECT_EQ(ErrorOf("INSERT INTO Keyed (Id, Code, Other) VALUES (1, 2, 2)"), 2627);
  EXPECT_EQ(ErrorOf("INSERT INTO Keyed (Id, Code, Other) VALUES (2, 1, 2)"), 2601);
  EXPECT_EQ(ErrorOf("INSERT INTO Keyed (Id, Code, Other) VALUES (2, 2, 1)"), 2627);
  Run({"ALTER TABLE Keyed DROP CONSTRAINT PK_Keyed", "DROP INDEX Keyed.IX_Keyed_Code",
       "ALTER TABLE Keyed DROP CONSTRAINT UQ_Keyed", "INSERT INTO Keyed (Id, Code, Other) VALUES (1, 1, 1)"});
  EXPECT_EQ(Value("SELECT count(*) FROM Keyed WHERE Id = 1 AND Code = 1 AND Other = 1"), "2");
}

// ALTER COLUMN remakes the SQLite table only when the table itself changes: a collation that
// compares the same is the catalogue's alone; a wider column is read back with its new size.
TEST_F(SqlServerEffects, AlterColumnRemakesTheTableOnlyWhenItChanges) {
  Run({"CREATE TABLE Altered (Id int NOT NULL, Name varchar (10) COLLATE Latin1_General_CI_AS NULL)",
       "CREATE TABLE AlteredLater (Id int NULL)", "INSERT INTO Altered (Id, Name) VALUES (1, 'ab')"});
  auto table = [] {
    auto db = OpenFile();
    servers::Stmt q(db.get(), "SELECT rowid || ' ' || sql FROM sqlite_master WHERE name = 'Altered'");
    return q.Step() ? q.Text(0) : std::string();
  };
  const std::string before = table();
  Run({"ALTER TABLE Altered ALTER COLUMN Name varchar (10) COLLATE SQL_Latin1_General_CP1_CI_AS NULL"});
  EXPECT_EQ(table(), before);
  EXPECT_EQ(Value("SELECT collation FROM syscolumns WHERE id = object_id('Altered') AND name = 'Name'"),
            "SQL_Latin1_General_CP1_CI_AS");
  Run({"ALTER TABLE Altered ALTER COLUMN Name varchar (20) NULL"});
  EXPECT_NE(table().find("varchar(20)"), std::string::npos);
  ado::TDataSet q;
  q.SetConnection(connection_);
  q.SetCommandText("SELECT Name FROM Altered WHERE Name = 'AB'");
  q.Open();
  ASSERT_FALSE(q.Eof());
  EXPECT_EQ(q.Fields(0).AsString(), "ab");
  EXPECT_EQ(q.Fields(0).Size(), 20);
}

// Regression: 'N' stored in char(2) was not found by WHERE Region = 'N', and 'ab' <> 'ab '.
TEST_F(SqlServerEffects, TrailingBlanksDoNotCountInCharacterComparisons) {
  Run({"CREATE TABLE Regions (Code nvarchar(10) NOT NULL PRIMARY KEY, Region char(2) NULL DEFAULT ('W'),"
       " Name varchar(20) NULL UNIQUE)",
       "CREATE TABLE Sales (Code varchar(10) NULL, Amount int NULL)",
       "INSERT INTO Regions VALUES ('n1', 'N', 'north')",
       "INSERT INTO Regions VALUES ('s1 ', 'S', 'south')",
       "INSERT INTO Sales VALUES ('n1  ', 1)", "INSERT INTO Sales VALUES ('N1', 2)",
       "INSERT INTO Sales VALUES ('s1', 4)"});
  EXPECT_EQ(Value("SELECT Code FROM Regions WHERE Region = 'N'"), "n1");
  EXPECT_EQ(Value("SELECT datalength(Region) FROM Regions WHERE Code = 'n1'"), "2");
  Run({"INSERT INTO Regions (Code, Name) VALUES ('w1', 'west')",
       "INSERT INTO Regions (Code, Region, Name) VALUES ('w2', DEFAULT, 'far west')"});
  EXPECT_EQ(Value("SELECT sum(datalength(Region)) FROM Regions WHERE Region = 'W'"), "4");
  EXPECT_EQ(Value("SELECT CASE WHEN 'ab' = 'ab ' THEN 1 ELSE 0 END"), "1");
  EXPECT_EQ(Value("SELECT count(*) FROM Regions WHERE Code = 's1'"), "1");
  EXPECT_EQ(Value("SELECT sum(s.Amount) FROM Sales s JOIN Regions r ON r.Code = s.Code WHERE r.Region = 'N'"), "3");
  EXPECT_EQ(Value("SELECT count(*) FROM (SELECT Code FROM Sales GROUP BY Code) g"), "2");
  EXPECT_EQ(Value("SELECT count(DISTINCT Code) FROM Sales"), "2");

  std::string message;
  EXPECT_EQ(ErrorOf("INSERT INTO Regions VALUES ('N1  ', 'X', 'other')", &message), 2627);
  EXPECT_NE(message.find("Violation of PRIMARY KEY constraint"), std::string::npos) << message;
  EXPECT_EQ(ErrorOf("INSERT INTO Regions VALUES ('e1', 'E', 'north ')", &message), 2627);
  EXPECT_NE(message.find("Violation of UNIQUE KEY constraint"), std::string::npos) << message;
}

// Regression: 0x0102 was stored as the integer 258, and 0x failed.
TEST_F(SqlServerEffects, BinaryLiteralsAreBinary) {
  Run({"CREATE TABLE Blobs (id int NOT NULL, b varbinary(8) NULL CONSTRAINT DF_Blobs_b DEFAULT (0x),"
       " f binary(4) NULL)",
       "INSERT INTO Blobs (id, b, f) VALUES (1, 0x0102, 0x0102)", "INSERT INTO Blobs (id) VALUES (2)",
       "INSERT INTO Blobs (id, b) VALUES (3, 0x)", "UPDATE Blobs SET b = 0x0A0B0C WHERE id = 3"});
  EXPECT_EQ(Value("SELECT datalength(b) FROM Blobs WHERE id = 1"), "2");
  EXPECT_EQ(Value("SELECT datalength(b) FROM Blobs WHERE id = 2"), "0");
  EXPECT_EQ(Value("SELECT datalength(b) FROM Blobs WHERE id = 3"), "3");
  EXPECT_EQ(Value("SELECT id FROM Blobs WHERE b = 0x0102"), "1");
  EXPECT_EQ(Value("SELECT count(*) FROM Blobs WHERE b = 258"), "0");
  EXPECT_EQ(Value("SELECT datalength(0x)"), "0");
  EXPECT_EQ(Value("SELECT datalength(f) FROM Blobs WHERE id = 1"), "4");  // binary(n) is padded
  EXPECT_EQ(Value("SELECT count(*) FROM Blobs WHERE f = 0x01020000"), "1");
  EXPECT_EQ(Value("SELECT count(*) FROM Blobs WHERE id = 0x03"), "1");
  // Where a number is wanted, a binary literal is that number.
  EXPECT_EQ(Value("SELECT CASE WHEN (130 & 0x80) = 0x80 THEN 1 ELSE 0 END"), "1");

  Open(vsiDefaultValues, Criteria({kAny, kAny, "Blobs"}));
  ASSERT_TRUE(Find("CONSTRAINT_NAME", {"DF_Blobs_b"}));
  EXPECT_EQ(Field("TEXT"), "(0x)");
}

// Regression: view columns were sql_variant of size 0, nullable; some views had none.
TEST_F(SqlServerEffects, ViewsAreQueryableWithTypedColumns) {
  Run({"CREATE TABLE People (id int NOT NULL PRIMARY KEY, name nvarchar(40) NOT NULL, town varchar(30) NULL)",
       "INSERT INTO People VALUES (1, N'Ann', 'Oslo')", "INSERT INTO People VALUES (2, N'Bob', NULL)",
       "CREATE VIEW vPeople (pid, pname) AS SELECT id, name FROM People WHERE id > 0 WITH CHECK OPTION",
       "CREATE VIEW vNames AS SELECT pname, 'x' AS tag, count(*) AS n FROM vPeople GROUP BY pname",
       "CREATE VIEW vTags AS SELECT v.tag FROM vNames v",
       "CREATE FUNCTION fTown (@town varchar(30)) RETURNS TABLE AS RETURN (SELECT id, town FROM People WHERE town = @town)",
       "CREATE VIEW vOslo AS SELECT * FROM dbo.fTown('Oslo')",
       "CREATE FUNCTION fTwice (@n int) RETURNS decimal(12, 2) AS BEGIN RETURN @n * 2 END",
       "CREATE VIEW vTwice AS SELECT p.*, dbo.fTwice(id) AS twice FROM People p"});
  EXPECT_EQ(Value("SELECT pname FROM vPeople WHERE pid = 2"), "Bob");
  EXPECT_EQ(Value("SELECT count(*) FROM vNames"), "2");
  EXPECT_EQ(Value("SELECT id FROM vOslo"), "1");

  std::string message;
  EXPECT_EQ(ErrorOf("CREATE VIEW vMissing AS SELECT * FROM Missing", &message), 208);
  EXPECT_NE(message.find("Invalid object name 'Missing'."), std::string::npos) << message;
  EXPECT_EQ(Value("SELECT count(*) FROM sysobjects WHERE name = 'vMissing'"), "0");
  EXPECT_EQ(ErrorOf("CREATE VIEW vNoColumn AS SELECT nosuch FROM People", &message), 207);
  EXPECT_NE(message.find("Invalid column name 'nosuch'."), std::string::npos) << message;

  struct Expected {
    const char* view;
    const char* column;
    const char* type;
    int size;
    int nullable;
    const char* collation;
  };
  const Expected expected[] = {
      {"vPeople", "pid", "int", 10, 0, ""},
      {"vPeople", "pname", "nvarchar", 40, 0, "SQL_Latin1_General_CP1_CI_AS"},
      {"vNames", "pname", "nvarchar", 40, 0, "SQL_Latin1_General_CP1_CI_AS"},
      {"vNames", "tag", "varchar", 1, 0, "SQL_Latin1_General_CP1_CI_AS"},
      {"vNames", "n", "int", 10, 0, ""},
      {"vTags", "tag", "varchar", 1, 0, "SQL_Latin1_General_CP1_CI_AS"},
      {"vOslo", "id", "int", 10, 0, ""},
      {"vOslo", "town", "varchar", 30, 1, "SQL_Latin1_General_CP1_CI_AS"},
      {"vTwice", "name", "nvarchar", 40, 0, "SQL_Latin1_General_CP1_CI_AS"},
      {"vTwice", "twice", "decimal", 12, 1, ""},
  };
  for (const auto& e : expected) {
    SCOPED_TRACE(std::string(e.view) + "." + e.column);
    Open(vsiColumns, Criteria({kAny, kAny, e.view}));
    ASSERT_TRUE(Find("COLUMN_NAME", {e.column}));
    EXPECT_EQ(Field("COLUMN_TYPE_NAME"), e.type);
    EXPECT_EQ(data_.FieldByName("SIZE").AsInteger(), e.size);
    EXPECT_EQ(data_.FieldByName("IS_NULLABLE").AsInteger(), e.nullable);
    EXPECT_EQ(Field("COLLATION_NAME"), e.collation);
  }
  Open(vsiViews, Criteria({kAny, kAny, "vPeople"}));
  ASSERT_EQ(data_.RecordCount(), 1);
  EXPECT_NE(Field("VIEW_DEFINITION").find("WITH CHECK OPTION"), std::string::npos);
  ado::TDataSet views;
  views.SetConnection(connection_);
  connection_->OpenSchema(ado::siViews, ado::Variant(), views);
  ASSERT_TRUE(views.Locate("TABLE_NAME", ado::Variant("vPeople"), ado::loCaseInsensitive));
  EXPECT_TRUE(views.FieldByName("CHECK_OPTION").AsBoolean());
  ASSERT_TRUE(views.Locate("TABLE_NAME", ado::Variant("vNames"), ado::loCaseInsensitive));
  EXPECT_FALSE(views.FieldByName("CHECK_OPTION").AsBoolean());
}

// Regression: sp_addrolemember did nothing, so the user stayed in public.
TEST_F(SqlServerEffects, RoleMembershipIsRecorded) {
  Run({"EXEC sp_addlogin 'carol', 'pw'", "EXEC sp_grantdbaccess 'carol', 'caro'",
       "EXEC sp_addrolemember 'db_datareader', 'caro'"});
  Open(vsiUsers, Criteria({kAny, kAny, "caro"}));
  EXPECT_EQ(dialect_test::Column(data_, "GROUP_NAME"), (Names{"db_datareader"}));

  std::string message;
  EXPECT_EQ(ErrorOf("EXEC sp_addrolemember 'no_role', 'caro'", &message), 15014);
  EXPECT_NE(message.find("The role 'no_role' does not exist in the current database."), std::string::npos);
  EXPECT_EQ(ErrorOf("EXEC sp_addrolemember 'db_datareader', 'nobody'", &message), 15410);
  EXPECT_NE(message.find("User or role 'nobody' does not exist in this database."), std::string::npos);
  EXPECT_EQ(ErrorOf("EXEC sp_addrolemember 'caro', 'dbo'"), 15409);

  Run({"EXEC sp_droprolemember 'db_datareader', 'caro'"});
  Open(vsiUsers, Criteria({kAny, kAny, "caro"}));
  EXPECT_EQ(dialect_test::Column(data_, "GROUP_NAME"), (Names{"public"}));
}

// Regression: inline table-valued functions were type TF, and comments before CREATE were lost.
TEST_F(SqlServerEffects, InlineFunctionsAreTypeIfAndKeepLeadingComments) {
  const std::string text = "-- the towns\n/* kept */\nCREATE FUNCTION fAll () RETURNS TABLE AS RETURN SELECT 1 AS one";
  Run({text, "CREATE FUNCTION fMulti () RETURNS @t TABLE (a int) AS BEGIN RETURN END"});
  Open(vsiProcedures, Criteria({kAny, kAny, "fAll"}));
  ASSERT_EQ(data_.RecordCount(), 1);
  EXPECT_EQ(Field("PROCEDURE_TYPE"), "IF");
  EXPECT_EQ(Field("PROCEDURE_DEFINITION"), text);
  Open(vsiProcedures, Criteria({kAny, kAny, "fMulti"}));
  ASSERT_EQ(data_.RecordCount(), 1);
  EXPECT_EQ(Field("PROCEDURE_TYPE"), "TF");
}

// Regression: a column's own FOREIGN KEY REFERENCES was refused.
TEST_F(SqlServerEffects, ColumnLevelForeignKeysAreCreated) {
  Run({"CREATE TABLE Parents (id int NOT NULL PRIMARY KEY)", "INSERT INTO Parents VALUES (1)",
       "CREATE TABLE Children (a int NULL CONSTRAINT FK_Children_a FOREIGN KEY REFERENCES Parents(id),"
       " b int NULL FOREIGN KEY REFERENCES Parents(id), c int NULL REFERENCES Parents (id))"});
  Open(vsiForeignKeys, Criteria({kAny, kAny, kAny, kAny, kAny, "Children"}));
  EXPECT_EQ(data_.RecordCount(), 3);
  ASSERT_TRUE(Find("FK_NAME", {"FK_Children_a"}));
  EXPECT_EQ(Field("FK_COLUMN_NAME"), "a");
  EXPECT_EQ(Field("PK_TABLE_NAME"), "Parents");
  std::string message;
  EXPECT_EQ(ErrorOf("INSERT INTO Children (b) VALUES (7)", &message), 547);
  EXPECT_EQ(ErrorOf("INSERT INTO Children (a, b, c) VALUES (1, 1, 1)"), 0);
}

// Regression: @@LANGUAGE was always us_english, so a dmy login's dates were read as mdy.
TEST_F(SqlServerEffects, LanguageIsTheLoginsLanguage) {
  Run({"EXEC sp_addlogin 'dora', 'pw', 'EffectsDb', 'British'", "EXEC sp_grantdbaccess 'dora'"});
  ado::TConnection dora(dialect_test::ConnectionStringFor("EffectsDb") + ";User ID=dora;Password=pw");
  dora.Open();
  TestOwner owner;
  TSqlServerSpecific dialect(&owner);
  owner.current = &dialect;
  dialect.GetDateFormat(dora);
  EXPECT_EQ(dialect.DateFormat, "dmy");
  ado::TDataSet q;
  q.SetConnection(&dora);
  q.SetCommandText("SELECT @@LANGUAGE");
  q.Open();
  EXPECT_EQ(q.Fields(0).AsString(), "British");
  dialect_->GetDateFormat(*connection_);
  EXPECT_EQ(dialect_->DateFormat, "mdy");
}

}  // namespace
