// Statements that installation scripts and users' own SQL commands bring to the SQL Server
// stand-in: user data types, bracket LIKE patterns, money literals, RAISERROR and PRINT,
// savepoints, DBCC CHECKIDENT, SELECT ... INTO, permissions and INFORMATION_SCHEMA.
#include <strings.h>

#include "SqlServerFixture.h"

namespace {

// The messages (PRINT, RAISERROR of severity 10 or less, DBCC) a batch returns, in order.
std::vector<std::string> Messages(ado::IProviderSession& s, const std::string& sql) {
  std::vector<std::string> out;
  for (const auto& r : s.Execute(sql))
    if (!r.Message.empty()) out.push_back(r.Message);
  return out;
}

std::vector<std::string> FieldNames(const ado::RowSet& rs) {
  std::vector<std::string> names;
  for (const auto& f : rs.Fields) names.push_back(f.Name);
  return names;
}

}  // namespace

class UserStatementsTest : public SqlServerTest {};

TEST_F(UserStatementsTest, UserDataTypesLiveInSystypesAndServeAsColumnTypes) {
  Db().Execute("sp_addtype id, 'varchar(11)', 'NOT NULL'");
  Db().Execute("EXEC sp_addtype price_t, 'decimal (10, 2)'");
  auto t = Rows("SELECT xtype, length, prec, scale, allownulls FROM systypes WHERE name = 'id'");
  ASSERT_EQ(t.Rows.size(), 1u);
  EXPECT_EQ(t.Rows[0][0].AsInt(), 167);
  EXPECT_EQ(t.Rows[0][1].AsInt(), 11);
  EXPECT_EQ(t.Rows[0][4].AsInt(), 0);
  EXPECT_EQ(Value("SELECT count(*) FROM systypes WHERE xusertype > 256").AsInt(), 2);

  Db().Execute("CREATE TABLE Authors (au_id id PRIMARY KEY, fee price_t, city varchar(20) NULL)");
  auto c = Rows("SELECT c.name, c.xtype, c.xusertype, c.length, c.isnullable FROM syscolumns c "
                "JOIN systypes t ON t.xusertype = c.xusertype WHERE t.name = 'id'");
  ASSERT_EQ(c.Rows.size(), 1u);
  EXPECT_EQ(c.Rows[0][1].AsInt(), 167) << "stored as its base type";
  EXPECT_GT(c.Rows[0][2].AsInt(), 256);
  EXPECT_EQ(c.Rows[0][3].AsInt(), 11);
  EXPECT_EQ(c.Rows[0][4].AsInt(), 0) << "the type's NOT NULL is the column's default";
  EXPECT_EQ(TextOf("SELECT isnullable FROM syscolumns WHERE name = 'fee'"), "1");
  // The OLE DB COLUMNS rowset gives the base type's data type and size.
  auto rowset = Db().OpenSchema(ado::siColumns, {ado::Variant::Null(), ado::Variant::Null(), ado::Variant("Authors")});
  bool found = false;
  for (const auto& row : rowset.Rows)
    if (row[static_cast<size_t>(Field(rowset, "COLUMN_NAME"))].AsString() == "au_id") {
      found = true;
      EXPECT_EQ(row[static_cast<size_t>(Field(rowset, "DATA_TYPE"))].AsInt(), 200);
      EXPECT_EQ(row[static_cast<size_t>(Field(rowset, "CHARACTER_MAXIMUM_LENGTH"))].AsInt(), 11);
    }
  EXPECT_TRUE(found);
  // Values are fitted and converted as for the base type.
  EXPECT_EQ(ErrorOf("INSERT INTO Authors (au_id, fee) VALUES ('172-32-11760', 1)"), 8152);
  Db().Execute("INSERT INTO Authors (au_id, fee) VALUES ('0736', '12.5')");
  EXPECT_EQ(TextOf("SELECT au_id FROM Authors"), "0736") << "text, not a number";
  EXPECT_EQ(TextOf("DECLARE @a id\nSET @a = 12\nSELECT @a + 'x'"), "12x") << "a variable of a user type; a whole number set into it becomes its text";

  // Regression: a foreign key from a column of the base type to one of the user type was refused (1778).
  EXPECT_EQ(ErrorOf("CREATE TABLE Refs (au_id varchar(11) NULL REFERENCES Authors (au_id))"), 0);
  Db().Execute("DROP TABLE Refs");
  EXPECT_EQ(ErrorOf("sp_addtype id, 'char(3)'"), 15029);
  EXPECT_EQ(ErrorOf("sp_addtype odd_t, 'nosuchtype'"), 15036);
  EXPECT_EQ(ErrorOf("sp_droptype id"), 15180) << "a column still uses it";
  EXPECT_EQ(ErrorOf("sp_droptype nosuch_t"), 15010);
  Db().Execute("DROP TABLE Authors");
  Db().Execute("sp_droptype id");
  EXPECT_EQ(Value("SELECT count(*) FROM systypes WHERE name = 'id'").AsInt(), 0);
}

TEST_F(UserStatementsTest, LikeBracketPatternsAndMoneyLiteralsInWhereAndCheck) {
  Db().Execute(
      "CREATE TABLE Pubs (pub_id char(4) NOT NULL CHECK (pub_id IN ('1389', '0736') OR pub_id LIKE '99[0-9][0-9]'),"
      " name varchar(40) NULL, price money NULL DEFAULT ($19.99))");
  Db().Execute("INSERT INTO Pubs (pub_id, name) VALUES ('9901', 'Algodata')");
  Db().Execute("INSERT INTO Pubs (pub_id, name, price) VALUES ('1389', 'binnet', $2.5)");
  Db().Execute("INSERT INTO Pubs (pub_id, name) VALUES ('0736', 'New Moon')");
  EXPECT_EQ(ErrorOf("INSERT INTO Pubs (pub_id) VALUES ('99A1')"), 547) << "the CHECK's bracket set refuses it";
  EXPECT_EQ(TextOf("SELECT price FROM Pubs WHERE pub_id = '9901'"), "19.99");
  EXPECT_EQ(TextOf("SELECT price FROM Pubs WHERE pub_id = '1389'"), "2.5");
  struct Case {
    const char* where;
    int64_t count;
  };
  const Case cases[] = {
      {"pub_id LIKE '99[0-9][0-9]'", 1},
      {"name LIKE '[^a]%'", 2},            // case ignored: 'Algodata' starts with a
      {"name LIKE '[a-c]%'", 2},
      {"name NOT LIKE '[ab]%'", 1},
      {"name LIKE '%[ ]%'", 1},
      {"name LIKE 'New_Moon'", 1},
      {"pub_id LIKE '[01][37]%'", 2},
      {"name LIKE '%!%%' ESCAPE '!'", 0},
      {"name LIKE '[' + 'b' + ']%'", 1},   // a pattern known only at run time
  };
  for (const auto& c : cases)
    EXPECT_EQ(Value(std::string("SELECT count(*) FROM Pubs WHERE ") + c.where).AsInt(), c.count) << c.where;
}

TEST_F(UserStatementsTest, MessagesRaiserrorAndTheScriptsServerStatements) {
  Db().Execute("CREATE TABLE T (a int NULL)");
  // Severity 10 and below is a message, formatted with its arguments; higher fails the batch.
  EXPECT_EQ(Messages(Db(), "DECLARE @v varchar(20)\nSET @v = 'pubs'\n"
                           "RAISERROR('Now %s has %d rows, 100%%', 1, 1, @v, 3) WITH NOWAIT\nPRINT 'done'"),
            (std::vector<std::string>{"Now pubs has 3 rows, 100%", "done"}));
  try {
    Db().Execute("PRINT 'first'\n\nRAISERROR ('Table %s is missing', 16, 2, 'T2')\nPRINT 'never'");
    ADD_FAILURE() << "RAISERROR of severity 16 must fail";
  } catch (const ado::EOleException& e) {
    EXPECT_EQ(e.NativeError(), 50000);
    EXPECT_EQ(e.Severity(), 16);
    EXPECT_EQ(e.State(), 2);
    EXPECT_EQ(e.Line(), 3) << "the line of the batch where the statement starts";
    EXPECT_STREQ(e.what(), "Table T2 is missing");
  }
  EXPECT_EQ(ErrorOf("RAISERROR (60000, 16, 1)"), 2758);
  // Other errors carry the message table's severity.
  try {
    Db().Execute("SELECT 1\nSELECT * FROM Missing");
  } catch (const ado::EOleException& e) {
    EXPECT_EQ(e.NativeError(), 208);
    EXPECT_EQ(e.Severity(), 16);
    EXPECT_EQ(e.Line(), 2);
  }
  try {
    Db().Execute("SELECT 1\n\nSELECT FROM");
  } catch (const ado::EOleException& e) {
    EXPECT_EQ(e.Severity(), 15);
    EXPECT_EQ(e.Line(), 3);
  }

  Db().Execute("CHECKPOINT\nUPDATE STATISTICS T\nUPDATE STATISTICS dbo.T WITH FULLSCAN");
  EXPECT_EQ(ErrorOf("UPDATE STATISTICS Missing"), 208);
  EXPECT_EQ(TextOf("SELECT SERVERPROPERTY('ProductVersion')"), "8.00.2039");
  EXPECT_EQ(TextOf("DECLARE @v varchar(30)\nSELECT @v = convert(varchar, convert(datetime, '2004-02-29 13:05:09.250'), 113)\n"
                   "SELECT @v"),
            "29 Feb 2004 13:05:09:250");
  EXPECT_EQ(TextOf("SELECT convert(varchar, convert(datetime, '20040229'), 112)"), "20040229");
  EXPECT_EQ(TextOf("SELECT convert(varchar, convert(datetime, '20040229'), 101)"), "02/29/2004");
}

TEST_F(UserStatementsTest, SavepointsRollBackToTheirPlaceAndTheTransactionGoesOn) {
  Db().Execute("CREATE TABLE T (a int NOT NULL)");
  Db().Execute("BEGIN TRAN outer_t\nINSERT T VALUES (1)\nSAVE TRAN s1\nINSERT T VALUES (2)\n"
               "SAVE TRANSACTION s2\nINSERT T VALUES (3)\nROLLBACK TRAN s1\nINSERT T VALUES (4)");
  EXPECT_EQ(Value("SELECT @@TRANCOUNT").AsInt(), 1) << "rolling back to a savepoint keeps the transaction";
  EXPECT_EQ(ErrorOf("ROLLBACK TRAN s2"), 6401) << "s2 went with s1";
  Db().Execute("COMMIT TRAN");
  EXPECT_EQ(TextOf("SELECT sum(a) FROM T"), "5");

  // As users write them: the rollback under a condition, the commit in a block.
  Db().Execute("BEGIN TRAN\nSAVE TRAN s1\nINSERT T VALUES (6)\nIF @@ROWCOUNT = 1 ROLLBACK TRAN s1\n"
               "IF 1 = 1 BEGIN INSERT T VALUES (7) COMMIT TRAN END");
  EXPECT_EQ(Value("SELECT @@TRANCOUNT").AsInt(), 0);
  EXPECT_EQ(TextOf("SELECT sum(a) FROM T"), "12");
  EXPECT_EQ(ErrorOf("SAVE TRAN s3"), 628);
  Db().Execute("BEGIN TRAN named\nINSERT T VALUES (10)\nROLLBACK TRAN named");
  EXPECT_EQ(Value("SELECT @@TRANCOUNT").AsInt(), 0);
  EXPECT_EQ(Count("T"), 3);

  // Rolling back to a savepoint took the foreign-key checks made after it: the key still checks.
  Db().Execute("CREATE TABLE P (id int NOT NULL PRIMARY KEY)");
  Db().Execute("CREATE TABLE C (pid int NULL REFERENCES P (id))");
  Db().Execute("INSERT P VALUES (1)");
  Db().Execute("BEGIN TRAN\nSAVE TRAN s\nINSERT C VALUES (1)\nROLLBACK TRAN s\nCOMMIT TRAN");
  EXPECT_EQ(ErrorOf("INSERT C VALUES (2)"), 547);
}

TEST_F(UserStatementsTest, CheckIdentReportsAndReseeds) {
  Db().Execute("CREATE TABLE J (id int IDENTITY(1, 1) NOT NULL, d char(1) NULL)");
  Db().Execute("INSERT J (d) VALUES ('a')\nINSERT J (d) VALUES ('b')");
  EXPECT_EQ(Messages(Db(), "DBCC CHECKIDENT (J)"),
            (std::vector<std::string>{
                "Checking identity information: current identity value '2', current column value '2'.",
                "DBCC execution completed. If DBCC printed error messages, contact your system administrator."}));
  Db().Execute("DBCC CHECKIDENT ('J', RESEED, 100)\nINSERT J (d) VALUES ('c')");
  EXPECT_EQ(TextOf("SELECT id FROM J WHERE d = 'c'"), "101");
  Db().Execute("TRUNCATE TABLE J\nDBCC CHECKIDENT ('dbo.J', RESEED, 50)\nINSERT J (d) VALUES ('d')");
  EXPECT_EQ(TextOf("SELECT id FROM J"), "50") << "no row since the reseed: the seed itself";
  Db().Execute("CREATE TABLE N (a int NULL)");
  EXPECT_EQ(ErrorOf("DBCC CHECKIDENT (N)"), 7997);
  EXPECT_EQ(ErrorOf("DBCC CHECKIDENT (Missing)"), 2501);
  EXPECT_EQ(ErrorOf("DBCC SHRINKDATABASE (db)"), 2526);
}

TEST_F(UserStatementsTest, SelectIntoMakesANewTableOfTheQuery) {
  Db().Execute("CREATE TABLE Src (id int IDENTITY(5, 2) NOT NULL, name varchar(30) NOT NULL, price money NULL)");
  Db().Execute("INSERT Src (name, price) VALUES ('pen', 1.5)\nINSERT Src (name, price) VALUES ('ink', NULL)");
  auto results = Db().Execute("SELECT id, name, price, name + '!' AS shout, 7 AS seven INTO Copy FROM Src WHERE id > 0");
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].RowsAffected, 2);
  auto cols = Rows("SELECT c.name, t.name, c.length, c.isnullable, c.status & 128 FROM syscolumns c "
                   "JOIN systypes t ON t.xusertype = c.xusertype WHERE c.id = object_id('Copy') ORDER BY c.colid");
  ASSERT_EQ(cols.Rows.size(), 5u);
  const char* const types[] = {"int", "varchar", "money", "varchar", "int"};
  for (size_t i = 0; i < 5; ++i) EXPECT_EQ(cols.Rows[i][1].AsString(), types[i]) << i;
  EXPECT_EQ(cols.Rows[1][2].AsInt(), 30) << "a column keeps its size";
  EXPECT_EQ(cols.Rows[1][3].AsInt(), 0) << "and its NOT NULL";
  EXPECT_EQ(cols.Rows[0][4].AsInt(), 128) << "and the identity property";
  EXPECT_EQ(TextOf("SELECT IDENT_INCR('Copy')"), "2");
  EXPECT_EQ(TextOf("SELECT shout FROM Copy WHERE id = 5"), "pen!");
  Db().Execute("INSERT Copy (name, shout, seven) VALUES ('cap', 'x', 7)");
  EXPECT_EQ(TextOf("SELECT id FROM Copy WHERE name = 'cap'"), "9");
  // A column of the table an outer join may leave out takes NULL, though its table's does not.
  Db().Execute("CREATE TABLE Tag (id int NOT NULL, tag varchar(10) NOT NULL) INSERT Tag (id, tag) VALUES (5, 'blue')");
  EXPECT_EQ(ErrorOf("SELECT s.name, t.tag INTO Tagged FROM Src s LEFT OUTER JOIN Tag t ON t.id = s.id"), 0);
  EXPECT_EQ(TextOf("SELECT count(*) FROM Tagged WHERE tag IS NULL"), "1");
  EXPECT_EQ(TextOf("SELECT sum(isnullable * colid) FROM syscolumns WHERE id = object_id('Tagged')"), "2");

  EXPECT_EQ(ErrorOf("SELECT name, 1 INTO Copy2 FROM Src"), 8155);
  EXPECT_EQ(ErrorOf("SELECT name INTO Copy FROM Src"), 2714);
}

TEST_F(UserStatementsTest, GrantRevokeAndDenyAreKeptInSysprotects) {
  Db().Execute("CREATE TABLE T (a int NULL, b int NULL)");
  Db().Execute("CREATE PROCEDURE p AS SELECT 1");
  Db().Execute("GRANT SELECT, INSERT ON T TO public\nGRANT EXECUTE ON p TO public WITH GRANT OPTION\n"
               "DENY DELETE ON dbo.T TO public\nGRANT UPDATE (b) ON T TO public\nGRANT CREATE TABLE TO public");
  auto rows = Rows("SELECT object_name(id), action, protecttype FROM sysprotects WHERE uid = 0 ORDER BY action");
  std::vector<std::string> seen;
  for (const auto& r : rows.Rows)
    seen.push_back((r[0].IsNull() ? std::string("-") : r[0].AsString()) + " " + r[1].AsString() + " " + r[2].AsString());
  EXPECT_EQ(seen, (std::vector<std::string>{"T 193 205", "T 195 205", "T 196 206", "T 197 205", "- 198 205",
                                            "p 224 204"}));
  Db().Execute("REVOKE INSERT ON T FROM public\nGRANT DELETE ON T TO public");
  EXPECT_EQ(Value("SELECT count(*) FROM sysprotects WHERE action = 195").AsInt(), 0);
  EXPECT_EQ(Value("SELECT protecttype FROM sysprotects WHERE action = 196").AsInt(), 205) << "a grant replaces the deny";
  EXPECT_EQ(ErrorOf("GRANT SELECT ON Missing TO public"), 208);
  EXPECT_EQ(ErrorOf("GRANT SELECT ON T TO nobody"), 4604);
}

TEST_F(UserStatementsTest, InformationSchemaViewsAnswerAsTheServerDoes) {
  Db().Execute("sp_addtype id, 'varchar(11)', 'NOT NULL'");
  Db().Execute("CREATE TABLE P (pid id CONSTRAINT PK_P PRIMARY KEY, n nvarchar(10) NULL DEFAULT (N'x'), price money NULL)");
  Db().Execute("CREATE TABLE C (cid int NOT NULL, pid id CONSTRAINT FK_C_P REFERENCES P (pid) ON DELETE CASCADE,"
               " CONSTRAINT UQ_C UNIQUE (cid, pid), CONSTRAINT CK_C CHECK (cid > 0))");
  Db().Execute("CREATE VIEW V AS SELECT pid FROM P");
  Db().Execute("CREATE PROCEDURE Proc1 AS SELECT 1");
  struct Case {
    const char* view;
    std::vector<std::string> fields;
    const char* where;
    std::vector<std::string> values;  // of the first row, fields in order, "<null>" for NULL
  };
  const Case cases[] = {
      {"TABLES", {"TABLE_CATALOG", "TABLE_SCHEMA", "TABLE_NAME", "TABLE_TYPE"}, "TABLE_NAME = 'V'",
       {"db", "dbo", "V", "VIEW"}},
      {"COLUMNS",
       {"TABLE_CATALOG", "TABLE_SCHEMA", "TABLE_NAME", "COLUMN_NAME", "ORDINAL_POSITION", "COLUMN_DEFAULT",
        "IS_NULLABLE", "DATA_TYPE", "CHARACTER_MAXIMUM_LENGTH", "CHARACTER_OCTET_LENGTH", "NUMERIC_PRECISION",
        "NUMERIC_PRECISION_RADIX", "NUMERIC_SCALE", "DATETIME_PRECISION", "CHARACTER_SET_CATALOG",
        "CHARACTER_SET_SCHEMA", "CHARACTER_SET_NAME", "COLLATION_CATALOG", "COLLATION_SCHEMA", "COLLATION_NAME",
        "DOMAIN_CATALOG", "DOMAIN_SCHEMA", "DOMAIN_NAME"},
       "TABLE_NAME = 'P' AND COLUMN_NAME = 'n'",
       {"db", "dbo", "P", "n", "2", "(N'x')", "YES", "nvarchar", "10", "20", "<null>", "<null>", "<null>", "<null>",
        "master", "dbo", "UNICODE", "master", "dbo", "SQL_Latin1_General_CP1_CI_AS", "<null>", "<null>", "<null>"}},
      {"COLUMNS", {"DATA_TYPE", "IS_NULLABLE", "CHARACTER_MAXIMUM_LENGTH", "DOMAIN_NAME"},
       "TABLE_NAME = 'P' AND COLUMN_NAME = 'pid'", {"varchar", "NO", "11", "id"}},
      {"COLUMNS", {"DATA_TYPE", "NUMERIC_PRECISION", "NUMERIC_PRECISION_RADIX", "NUMERIC_SCALE"},
       "COLUMN_NAME = 'price'", {"money", "19", "10", "4"}},
      {"VIEWS", {"TABLE_CATALOG", "TABLE_SCHEMA", "TABLE_NAME", "VIEW_DEFINITION", "CHECK_OPTION", "IS_UPDATABLE"},
       "TABLE_NAME = 'V'", {"db", "dbo", "V", "CREATE VIEW V AS SELECT pid FROM P", "NONE", "NO"}},
      {"ROUTINES", {"SPECIFIC_CATALOG", "SPECIFIC_SCHEMA", "SPECIFIC_NAME", "ROUTINE_CATALOG", "ROUTINE_SCHEMA",
                    "ROUTINE_NAME", "ROUTINE_TYPE"},
       "ROUTINE_NAME = 'Proc1'", {"db", "dbo", "Proc1", "db", "dbo", "Proc1", "PROCEDURE"}},
      {"TABLE_CONSTRAINTS", {"CONSTRAINT_CATALOG", "CONSTRAINT_SCHEMA", "CONSTRAINT_NAME", "TABLE_CATALOG",
                             "TABLE_SCHEMA", "TABLE_NAME", "CONSTRAINT_TYPE", "IS_DEFERRABLE", "INITIALLY_DEFERRED"},
       "CONSTRAINT_NAME = 'CK_C'", {"db", "dbo", "CK_C", "db", "dbo", "C", "CHECK", "NO", "NO"}},
      {"TABLE_CONSTRAINTS", {"CONSTRAINT_TYPE"}, "CONSTRAINT_NAME = 'FK_C_P'", {"FOREIGN KEY"}},
      {"KEY_COLUMN_USAGE", {"CONSTRAINT_CATALOG", "CONSTRAINT_SCHEMA", "CONSTRAINT_NAME", "TABLE_CATALOG",
                            "TABLE_SCHEMA", "TABLE_NAME", "COLUMN_NAME", "ORDINAL_POSITION"},
       "CONSTRAINT_NAME = 'UQ_C' AND COLUMN_NAME = 'pid'", {"db", "dbo", "UQ_C", "db", "dbo", "C", "pid", "2"}},
      {"KEY_COLUMN_USAGE", {"TABLE_NAME", "COLUMN_NAME"}, "CONSTRAINT_NAME = 'FK_C_P'", {"C", "pid"}},
      {"REFERENTIAL_CONSTRAINTS",
       {"CONSTRAINT_CATALOG", "CONSTRAINT_SCHEMA", "CONSTRAINT_NAME", "UNIQUE_CONSTRAINT_CATALOG",
        "UNIQUE_CONSTRAINT_SCHEMA", "UNIQUE_CONSTRAINT_NAME", "MATCH_OPTION", "UPDATE_RULE", "DELETE_RULE"},
       "CONSTRAINT_NAME = 'FK_C_P'", {"db", "dbo", "FK_C_P", "db", "dbo", "PK_P", "SIMPLE", "NO ACTION", "CASCADE"}},
  };
  for (const auto& c : cases) {
    std::string list;
    for (const auto& f : c.fields) list += (list.empty() ? "" : ", ") + f;
    auto rs = Rows("SELECT " + list + " FROM INFORMATION_SCHEMA." + c.view + " WHERE " + c.where);
    ASSERT_EQ(rs.Rows.size(), 1u) << c.view << " " << c.where;
    for (size_t i = 0; i < c.values.size(); ++i)
      EXPECT_EQ(rs.Rows[0][i].IsNull() ? "<null>" : rs.Rows[0][i].AsString(), c.values[i]) << c.view << "." << c.fields[i];
  }
  // SELECT * gives each view's whole column list, in the server's order.
  EXPECT_EQ(FieldNames(Rows("SELECT * FROM INFORMATION_SCHEMA.COLUMNS")), cases[1].fields);
  EXPECT_EQ(Rows("SELECT * FROM db.INFORMATION_SCHEMA.ROUTINES").Fields.size(), 51u);
  EXPECT_EQ(ErrorOf("SELECT * FROM INFORMATION_SCHEMA.NOSUCH"), 208);
}

TEST_F(UserStatementsTest, ProcedureAndTriggerBodiesAreStoredNotRun) {
  Db().Execute("CREATE TABLE T (a int NULL)\nCREATE TABLE Log (n int NULL)");
  Db().Execute("CREATE PROCEDURE p AS\nINSERT Log VALUES (1)\nRAISERROR ('inside', 16, 1)");
  Db().Execute("CREATE TRIGGER tr ON T FOR INSERT AS\nSAVE TRAN x\nINSERT Log VALUES (2)\nROLLBACK TRAN x");
  Db().Execute("EXEC p\nINSERT T VALUES (1)");
  EXPECT_EQ(Count("Log"), 0);
  EXPECT_NE(TextOf("SELECT text FROM syscomments WHERE id = object_id('p')").find("RAISERROR ('inside', 16, 1)"),
            std::string::npos);
}
