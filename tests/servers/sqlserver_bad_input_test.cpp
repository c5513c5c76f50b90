// Hostile and broken input: statements made of random tokens and random bytes give the server's
// errors, never a crash, and leave the database unchanged and the session usable.
#include <fstream>
#include <iterator>
#include <random>

#include "SampleDatabase.h"
#include "Snapshot.h"
#include "SqlServerFixture.h"

TEST_F(SqlServerTest, RandomStatementsFailCleanly) {
  sample_db::Build(Db());
  Db().Execute("CREATE TABLE Scratch (a int NULL)");
  std::string before = Snapshot(Db());
  static const char* const kWords[] = {
      "SELECT", "FROM", "WHERE", "(", ")", ",", "[", "]", "'", "N'x'", "Customers", "Orders", "CustId",
      "Name", "=", "+", "*", "INSERT", "INTO", "VALUES", "UPDATE", "SET", "DELETE", "CREATE", "TABLE",
      "ALTER", "DROP", "COLUMN", "CONSTRAINT", "PRIMARY", "KEY", "FOREIGN", "REFERENCES", "INDEX", "ON",
      "IF", "EXISTS", "EXEC", "ELSE", "BEGIN", "END", "CASE", "WHEN", "THEN", "NULL", "NOT", "AND", "OR",
      "1", "0x", "2.5e", "@x", "@@", ";", ".", "..", "--", "/*", "GROUP", "BY", "ORDER", "UNION", "TOP",
      "sp_rename", "IDENTITY", "(1,", "DEFAULT", "FOR", "JOIN", "LEFT", "OUTER", "convert(", "int",
      "nvarchar", "USE", "BACKUP", "RESTORE", "DATABASE", "DISK", "WITH", "MOVE", "TO", "\"", "\n"};
  std::mt19937 rng(7);
  int errors = 0;
  for (int i = 0; i < 1500; ++i) {
    std::string sql;
    size_t n = 1 + rng() % 12;
    for (size_t k = 0; k < n; ++k) {
      if (rng() % 17 == 0) {
        sql += static_cast<char>(rng() % 256);
      } else {
        sql += kWords[rng() % (sizeof(kWords) / sizeof(kWords[0]))];
        sql += ' ';
      }
    }
    // Keep random text away from the sample's rows: only reads and errors are expected.
    if (sql.find("INSERT") != std::string::npos || sql.find("UPDATE") != std::string::npos ||
        sql.find("DELETE") != std::string::npos || sql.find("DROP") != std::string::npos ||
        sql.find("ALTER") != std::string::npos || sql.find("CREATE") != std::string::npos ||
        sql.find("sp_") != std::string::npos || sql.find("EXEC") != std::string::npos ||
        sql.find("USE") != std::string::npos || sql.find("RESTORE") != std::string::npos ||
        sql.find("BACKUP") != std::string::npos)
      sql = "SELECT " + sql;
    try {
      Db().Execute(sql);
    } catch (const ado::EOleException& e) {
      ++errors;
      EXPECT_FALSE(std::string(e.what()).empty());
    }
  }
  EXPECT_GT(errors, 1000);
  EXPECT_EQ(Snapshot(Db()), before);
  EXPECT_EQ(Count("Customers"), 2);
  // Unrestricted: whatever runs, only the server's errors come back and the session goes on.
  for (int i = 0; i < 1500; ++i) {
    std::string sql;
    size_t n = 1 + rng() % 10;
    for (size_t k = 0; k < n; ++k) {
      sql += kWords[rng() % (sizeof(kWords) / sizeof(kWords[0]))];
      sql += ' ';
    }
    try {
      Db().Execute(sql);
    } catch (const ado::EOleException&) {
    }
  }
  EXPECT_NO_THROW(Snapshot(Db()));
}

TEST_F(SqlServerTest, HostileNamesAndLiteralsStayData) {
  Db().Execute("CREATE TABLE [we\"ird ]] name] ([col \"x\"] nvarchar(40) NULL)");
  Db().Execute("INSERT INTO [we\"ird ]] name] VALUES ('x''); DROP TABLE sysobjects; --')");
  EXPECT_EQ(Value("SELECT [col \"x\"] FROM [we\"ird ]] name]").AsString(), "x'); DROP TABLE sysobjects; --");
  EXPECT_EQ(Value("SELECT count(*) FROM sysobjects WHERE name = 'we\"ird ] name'").AsInt(), 1);
  EXPECT_EQ(ErrorOf("SELECT * FROM [unclosed"), 105);
  EXPECT_EQ(ErrorOf("SELECT @undeclared"), 137);
  EXPECT_EQ(ErrorOf("SELECT nosuchfunction(1)"), 195);
  EXPECT_EQ(ErrorOf("SELECT 'a' + 1"), 245);
  std::string message;
  EXPECT_EQ(ErrorOf("SELECT 1 + 'b'", &message), 245);
  EXPECT_EQ(message, "Syntax error converting the varchar value 'b' to a column of data type int.");
  EXPECT_EQ(Value("SELECT ' 2 ' + 3").AsInt(), 5);
  EXPECT_EQ(ErrorOf("INSERT INTO [we\"ird ]] name] VALUES (1, 2)"), 213);
  EXPECT_EQ(ErrorOf("CREATE TABLE Huge (a nvarchar(5000) NULL)"), 131);
  EXPECT_EQ(ErrorOf("CREATE TABLE T2 (a nosuchtype NULL)"), 2715);
  EXPECT_EQ(ErrorOf("SELECT * FROM otherdb.dbo.sysobjects"), 208);
  EXPECT_EQ(ErrorOf("/* never closed"), 113);
  EXPECT_EQ(ErrorOf(std::string("SELECT 'a\0b'", 13)), 170);
  // Two names that fold to one file: the second database is refused, the first keeps its rows.
  auto master = Connect();
  master->Execute("CREATE DATABASE [a/b]");
  Connect("a/b")->Execute("CREATE TABLE Kept (x int NULL) INSERT INTO Kept VALUES (1)");
  EXPECT_THROW(master->Execute("CREATE DATABASE [a_b]"), ado::EOleException);
  EXPECT_EQ(Rows(*Connect("a/b"), "SELECT count(*) FROM Kept").Rows[0][0].AsInt(), 1);
  // Nesting deep enough to exhaust a stack is refused.
  EXPECT_EQ(ErrorOf("SELECT " + std::string(100000, '(') + "1" + std::string(100000, ')')), 191);
  EXPECT_EQ(ErrorOf("SELECT " + std::string(100000, '~') + "1"), 191);
  std::string ifs;
  for (int i = 0; i < 5000; ++i) ifs += "IF 1 = 1 ";
  EXPECT_EQ(ErrorOf(ifs + "SELECT 1"), 191);
  EXPECT_EQ(ErrorOf("SELECT 1 WHERE 1 IN (" + std::string(50000, '(') + "SELECT 1" + std::string(50000, ')') + ")"), 191);
  std::string nots = "SELECT 1 WHERE ";
  for (int i = 0; i < 100000; ++i) nots += "NOT ";
  EXPECT_EQ(ErrorOf(nots + "1 = 1"), 191);
  EXPECT_EQ(ErrorOf("SELECT * FROM " + std::string(100000, '(') + "sysobjects" + std::string(100000, ')')), 191);
  std::string sum = "SELECT 1";
  for (int i = 0; i < 100000; ++i) sum += "+1";
  EXPECT_EQ(ErrorOf(sum), 191);
  // Long generated conditions are fine: they are balanced, not nested.
  std::string ors = "SELECT count(*) FROM [we\"ird ]] name] WHERE ([col \"x\"] = 'none')";
  for (int i = 0; i < 20000; ++i) ors += " or ([col \"x\"] = '" + std::to_string(i) + "')";
  EXPECT_EQ(Value(ors).AsInt(), 0);
  EXPECT_EQ(Value("SELECT count(*) FROM [we\"ird ]] name]").AsInt(), 1);
}

// A backup device naming a file that is not one of the server's backups is refused and the file
// stays as it was; an earlier backup on the same device is replaced.
TEST_F(SqlServerTest, BackupLeavesForeignFilesAlone) {
  Db().Execute("CREATE TABLE Kept (a int NULL) INSERT INTO Kept VALUES (1)");
  const std::string foreign = root_ + "/notes.txt";
  {
    std::ofstream f(foreign, std::ios::binary);
    f << "someone else's file\n";
  }
  std::string message;
  EXPECT_EQ(ErrorOf("BACKUP DATABASE db TO DISK = '" + foreign + "'", &message), 3241);
  EXPECT_NE(message.find("incorrectly formed"), std::string::npos) << message;
  std::ifstream in(foreign, std::ios::binary);
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(content, "someone else's file\n");

  const std::string device = root_ + "/db.bak";
  EXPECT_EQ(ErrorOf("BACKUP DATABASE db TO DISK = '" + device + "'"), 0);
  Db().Execute("INSERT INTO Kept VALUES (2)");
  EXPECT_EQ(ErrorOf("BACKUP DATABASE db TO DISK = '" + device + "'"), 0);
  auto master = Connect();
  master->Execute("RESTORE DATABASE copy FROM DISK = '" + device + "'");
  EXPECT_EQ(Rows(*Connect("copy"), "SELECT count(*) FROM Kept").Rows[0][0].AsInt(), 2);
}

// Whole-number sums past bigint's range are the server's overflow error, not a wrapped value.
TEST_F(SqlServerTest, SumsPastBigintOverflow) {
  std::string message;
  EXPECT_EQ(ErrorOf("SELECT 9223372036854775807 + 1", &message), 8115);
  EXPECT_NE(message.find("Arithmetic overflow"), std::string::npos) << message;
  EXPECT_EQ(ErrorOf("SELECT -9223372036854775807 + -2"), 8115);
  EXPECT_EQ(Value("SELECT 9223372036854775806 + 1").AsString(), "9223372036854775807");
  EXPECT_EQ(Value("SELECT '40' + 2").AsInt(), 42);
  EXPECT_EQ(Value("SELECT '1e30' + 1").AsFloat(), 1e30);
}

// Division by zero is the server's error; functions given absurd counts answer at once.
TEST_F(SqlServerTest, DivisionByZeroFailsAndHugeCountsDoNotHang) {
  Db().Execute("CREATE TABLE Ratios (a int NULL, b int NULL) INSERT INTO Ratios VALUES (7, 2) "
               "INSERT INTO Ratios VALUES (1, NULL)");
  std::string message;
  EXPECT_EQ(ErrorOf("SELECT 1 / 0", &message), 8134);
  EXPECT_NE(message.find("Divide by zero error encountered."), std::string::npos) << message;
  EXPECT_EQ(ErrorOf("SELECT 5 % 0"), 8134);
  EXPECT_EQ(ErrorOf("SELECT 1.5 / 0.0"), 8134);
  EXPECT_EQ(ErrorOf("SELECT 10 / '0'"), 8134);
  EXPECT_EQ(ErrorOf("UPDATE Ratios SET a = a / (b - b)"), 8134);
  EXPECT_EQ(Value("SELECT sum(a) FROM Ratios").AsInt(), 8);
  EXPECT_EQ(Value("SELECT a / b FROM Ratios WHERE a = 7").AsInt(), 3);
  EXPECT_EQ(Value("SELECT a % b FROM Ratios WHERE a = 7").AsInt(), 1);
  EXPECT_TRUE(Value("SELECT a / b FROM Ratios WHERE a = 1").IsNullOrEmpty());
  EXPECT_EQ(Value("SELECT 7.0 / 2").AsFloat(), 3.5);
  EXPECT_EQ(Value("SELECT len(replicate('', 9000000000000000000))").AsInt(), 0);
  EXPECT_EQ(Value("SELECT len(replicate('ab', 9000000000000000000)) / 1000").AsInt(), 8);
}

// Explicit conversions to numbers fail as the server's do instead of giving 0.
TEST_F(SqlServerTest, ConversionsOfTextToNumbersFailOnNonNumbers) {
  std::string message;
  EXPECT_EQ(ErrorOf("SELECT CAST('abc' AS int)", &message), 245);
  EXPECT_NE(message.find("'abc'"), std::string::npos) << message;
  EXPECT_EQ(ErrorOf("SELECT CONVERT(int, 'x')"), 245);
  EXPECT_EQ(ErrorOf("SELECT CONVERT(float, 'x')"), 245);
  EXPECT_EQ(ErrorOf("SELECT CAST(300 AS tinyint)"), 8115);
  EXPECT_EQ(ErrorOf("SELECT CAST(1e19 AS bigint)"), 8115);
  EXPECT_EQ(ErrorOf("SELECT CAST(9223372036854775808.0 AS bigint)"), 8115);
  EXPECT_EQ(Value("SELECT CAST(' 42 ' AS int)").AsInt(), 42);
  EXPECT_EQ(Value("SELECT CAST(3.7 AS int)").AsInt(), 3);
  EXPECT_EQ(Value("SELECT CAST(-3.7 AS int)").AsInt(), -3);
  EXPECT_EQ(Value("SELECT CONVERT(float, '2.5')").AsFloat(), 2.5);
  EXPECT_EQ(Value("SELECT CAST(9223372036854775807 AS bigint)").AsString(), "9223372036854775807");
  EXPECT_TRUE(Value("SELECT CAST(NULL AS int)").IsNullOrEmpty());
}

// Names are at most 128 characters long: longer ones are refused before anything changes, so no
// name ever reaches the catalogue or a file name that the system cannot hold.
TEST_F(SqlServerTest, NamesLongerThan128CharactersAreRefused) {
  const std::string before = Snapshot(Db());
  std::string message;
  EXPECT_EQ(ErrorOf("CREATE TABLE [" + std::string(200000, 'a') + "] (a int NULL)", &message), 103);
  EXPECT_NE(message.find("The identifier that starts with '" + std::string(128, 'a') + "' is too long. "
                         "Maximum length is 128."), std::string::npos) << message.substr(0, 300);
  EXPECT_EQ(ErrorOf("CREATE TABLE T (" + std::string(129, 'c') + " int NULL)"), 103);
  EXPECT_EQ(ErrorOf("CREATE TABLE T (\"" + std::string(129, 'c') + "\" int NULL)"), 103);
  EXPECT_EQ(ErrorOf("DECLARE @" + std::string(200, 'v') + " int"), 103);
  EXPECT_EQ(Snapshot(Db()), before);
  auto master = Connect();
  EXPECT_THROW(master->Execute("CREATE DATABASE [" + std::string(300, 'd') + "]"), ado::EOleException);
  // 128 characters, some of them beyond ASCII, are still a name.
  std::string longest;
  for (int i = 0; i < 64; ++i) longest += "\xC3\xA9";  // é
  longest += std::string(64, 'e');
  Db().Execute("CREATE TABLE [" + longest + "] ([" + std::string(128, 'c') + "] int NULL)");
  EXPECT_EQ(Value("SELECT count(*) FROM sysobjects WHERE name = '" + longest + "'").AsInt(), 1);
  master->Execute("CREATE DATABASE [" + std::string(128, 'd') + "]");
}

// Numbers convert to datetime as days since 1900-01-01 within the type's range, and overflow past it.
TEST_F(SqlServerTest, NumbersPastTheDatetimeRangeOverflow) {
  EXPECT_EQ(Value("SELECT CONVERT(varchar(30), CONVERT(datetime, 1), 121)").AsString().substr(0, 10), "1900-01-02");
  EXPECT_EQ(Value("SELECT CONVERT(varchar(30), CONVERT(datetime, -53690), 121)").AsString().substr(0, 10), "1753-01-01");
  EXPECT_EQ(Value("SELECT CONVERT(varchar(30), CONVERT(datetime, 2958463.5), 121)").AsString().substr(0, 10), "9999-12-31");
  for (const char* n : {"2958464", "-53691", "9999999999", "1e300", "-1e300"}) {
    std::string message;
    EXPECT_EQ(ErrorOf(std::string("SELECT CONVERT(datetime, ") + n + ")", &message), 8115) << n;
    EXPECT_NE(message.find("data type datetime"), std::string::npos) << message;
  }
}

// money keeps to its range: values past it overflow instead of landing in the column.
TEST_F(SqlServerTest, MoneyPastItsRangeOverflows) {
  Db().Execute("CREATE TABLE Prices (m money NULL, s smallmoney NULL)");
  EXPECT_EQ(ErrorOf("INSERT INTO Prices (m) VALUES (1e300)"), 8115);
  EXPECT_EQ(ErrorOf("INSERT INTO Prices (m) VALUES (9223372036854775807)"), 8115);
  EXPECT_EQ(ErrorOf("INSERT INTO Prices (s) VALUES (214749)"), 8115);
  EXPECT_EQ(ErrorOf("SELECT CAST(1e300 AS money)"), 8115);
  EXPECT_EQ(Value("SELECT count(*) FROM Prices").AsInt(), 0);
  Db().Execute("INSERT INTO Prices (m, s) VALUES (922337203685477, -214748.3647)");
  EXPECT_EQ(Value("SELECT m FROM Prices").AsString(), "922337203685477");
  EXPECT_EQ(Value("SELECT s FROM Prices").AsString(), "-214748.3647");
  EXPECT_EQ(ErrorOf("CREATE DATABASE Huge ON PRIMARY (NAME = Huge, FILENAME = 'Huge.mdf', SIZE = 1e300GB)"), 0);
}
