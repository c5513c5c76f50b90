// Where SQL Server 2000's answer was still missed: timestamp columns filled from the database's
// counter and never updated by hand, long values made distinct, reserved words as database and
// filegroup names, "The statement has been terminated." after the errors that end a statement,
// and SET NOCOUNT.
#include <sstream>

#include "SqlServerFixture.h"
#include "servers/client/SqlClient.h"

namespace {

class FidelityLeftovers : public SqlServerTest {
 protected:
  int64_t Int(const std::string& sql) { return Value(sql).AsInt(); }
  // The messages that followed the statement's error (none when it succeeds).
  std::vector<std::string> MessagesAfter(const std::string& sql) {
    try {
      Db().Execute(sql);
    } catch (const ado::EOleException& e) {
      return e.Messages();
    }
    ADD_FAILURE() << "accepted: " << sql;
    return {};
  }
  // The row counts the batch returned.
  std::vector<int64_t> Counts(const std::string& sql) {
    std::vector<int64_t> counts;
    for (const auto& r : Db().Execute(sql))
      if (!r.HasRows && r.Message.empty()) counts.push_back(r.RowsAffected);
    return counts;
  }
};

TEST_F(FidelityLeftovers, TimestampColumnsTakeTheDatabaseCounterOnEveryInsertAndUpdate) {
  Db().Execute("CREATE TABLE T (id int IDENTITY (1, 1) NOT NULL, v varchar (10) NULL, ts timestamp NOT NULL)");
  Db().Execute("CREATE TABLE U (v varchar (10) NULL)");
  Db().Execute("INSERT INTO U (v) VALUES ('x') INSERT INTO U (v) VALUES ('y')");
  EXPECT_EQ(Int("SELECT datalength(@@DBTS)"), 8);
  Db().Execute("INSERT INTO T (v) VALUES ('a') INSERT INTO T (v, ts) VALUES ('b', NULL)");
  EXPECT_EQ(Int("SELECT count(*) FROM T WHERE ts IS NULL OR datalength(ts) <> 8"), 0);
  EXPECT_EQ(Int("SELECT count(*) FROM T WHERE id = 2 AND ts = @@DBTS"), 1);
  EXPECT_EQ(Int("SELECT count(*) FROM T a, T b WHERE a.id = 1 AND b.id = 2 AND a.ts < b.ts"), 1);
  // An update gives the changed row the next value (the identity's numbering took none).
  Db().Execute("SELECT ts INTO Before FROM T WHERE id = 1");
  Db().Execute("UPDATE T SET v = 'c' WHERE id = 1");
  EXPECT_EQ(Int("SELECT count(*) FROM T WHERE id = 1 AND ts = @@DBTS"), 1);
  EXPECT_EQ(Int("SELECT count(*) FROM T, Before WHERE T.id = 1 AND T.ts > Before.ts"), 1);
  EXPECT_EQ(Int("SELECT count(DISTINCT ts) FROM T"), 2);
  // A column added to a table with rows gives each row its own value.
  Db().Execute("ALTER TABLE U ADD ts timestamp NULL");
  EXPECT_EQ(Int("SELECT count(DISTINCT ts) FROM U"), 2);
  EXPECT_EQ(Int("SELECT count(*) FROM U WHERE ts = @@DBTS"), 1);
  // The counter is the database's: a new connection goes on from it.
  session_ = Connect("db");
  Db().Execute("INSERT INTO T (v) VALUES ('d')");
  EXPECT_EQ(Int("SELECT count(*) FROM T, U WHERE T.id = 3 AND T.ts > U.ts"), 2);

  std::string message;
  EXPECT_EQ(ErrorOf("UPDATE T SET ts = NULL WHERE id = 1", &message), 272);
  EXPECT_EQ(message, "Cannot update a timestamp column.");
}

TEST_F(FidelityLeftovers, LongValuesAreNotMadeDistinct) {
  Db().Execute("CREATE TABLE L (id int NOT NULL, tx text NULL, nt ntext NULL, im image NULL, v varchar (10) NULL)");
  Db().Execute("CREATE TABLE S (id int NOT NULL, v varchar (10) NULL)");
  Db().Execute("INSERT INTO L (id, tx, v) VALUES (1, 'a', 'a') INSERT INTO S (id, v) VALUES (1, 'a')");
  const std::string text = "The text, ntext, or image data type cannot be selected as DISTINCT.";
  for (const char* sql : {"SELECT DISTINCT tx FROM L", "SELECT DISTINCT id, L.nt FROM L",
                          "SELECT DISTINCT * FROM L", "SELECT DISTINCT S.v, b.* FROM S, L b",
                          "SELECT v FROM S UNION SELECT tx FROM L", "SELECT im FROM L UNION ALL SELECT im FROM L UNION SELECT NULL"}) {
    std::string message;
    EXPECT_EQ(ErrorOf(sql, &message), 8163) << sql;
    EXPECT_EQ(message, text) << sql;
  }
  for (const char* sql : {"SELECT DISTINCT v FROM L", "SELECT DISTINCT S.* FROM S, L", "SELECT tx FROM L UNION ALL SELECT tx FROM L",
                          "SELECT DISTINCT id FROM L WHERE id IN (SELECT id FROM L WHERE tx LIKE 'a%')"})
    EXPECT_EQ(ErrorOf(sql), 0) << sql;
}

TEST_F(FidelityLeftovers, DatabaseAndFilegroupNamesSpelledAsReservedWordsNeedBrackets) {
  Db();
  auto master = Connect();
  struct Case {
    std::string sql, word;
  };
  for (const Case& c : std::vector<Case>{{"CREATE DATABASE Percent", "Percent"},
                                         {"USE Key", "Key"},
                                         {"ALTER DATABASE Plan SET RECOVERY FULL", "Plan"},
                                         {"DROP DATABASE Top", "Top"},
                                         {"ALTER DATABASE db ADD FILEGROUP User", "User"},
                                         {"CREATE TABLE X (a int NULL) ON Primary", "Primary"},
                                         {"CREATE TABLE X (a int NULL, t text NULL) TEXTIMAGE_ON Desc", "Desc"},
                                         {"CREATE INDEX IX_T ON Y (a) ON Plan", "Plan"}}) {
    std::string message;
    EXPECT_EQ(ErrorOf(c.sql, &message), 156) << c.sql;
    EXPECT_NE(message.find("Incorrect syntax near the keyword '" + c.word + "'."), std::string::npos) << message;
  }
  master->Execute("CREATE DATABASE [Percent]");
  master->Execute("USE [Percent]");
  EXPECT_EQ(master->CurrentDatabase(), "Percent");
  Db().Execute("ALTER DATABASE db ADD FILEGROUP [Plan]");
  Db().Execute("ALTER DATABASE db ADD FILE (NAME = N'db_plan', FILENAME = N'db_plan.ndf') TO FILEGROUP [Plan]");
  Db().Execute("CREATE TABLE X (a int NULL, t text NULL) ON [Plan] TEXTIMAGE_ON [Plan]");
  Db().Execute("CREATE INDEX IX_X ON X (a) ON [Plan]");
  EXPECT_EQ(TextOf("SELECT filegroup_name(groupid) FROM sysindexes WHERE name = 'IX_X'"), "Plan");
}

TEST_F(FidelityLeftovers, ErrorsThatEndOnlyTheStatementAreFollowedByItsTermination) {
  Db().Execute("CREATE TABLE P (id int NOT NULL CONSTRAINT PK_P PRIMARY KEY, code char (2) NULL)");
  Db().Execute("CREATE UNIQUE INDEX IX_P_code ON P (code)");
  Db().Execute("CREATE TABLE C (id int NOT NULL, pid int NULL CONSTRAINT FK_C_P REFERENCES P (id))");
  Db().Execute("INSERT INTO P (id, code) VALUES (1, 'a') INSERT INTO C (id, pid) VALUES (1, 1)");
  Db().Execute("CREATE TABLE O (id int NOT NULL, pid int NULL) INSERT INTO O (id, pid) VALUES (1, 9)");
  const std::vector<std::string> terminated{"The statement has been terminated."};
  for (const char* sql : {"INSERT INTO P (id) VALUES (1)", "INSERT INTO P (id, code) VALUES (2, 'a')",
                          "INSERT INTO C (id, pid) VALUES (2, 7)", "DELETE FROM P",
                          "UPDATE C SET id = NULL"})
    EXPECT_EQ(MessagesAfter(sql), terminated) << sql;
  for (const char* sql : {"ALTER TABLE O ADD CONSTRAINT FK_O_P FOREIGN KEY (pid) REFERENCES P (id)",
                          "SELECT * FROM Missing"})
    EXPECT_TRUE(MessagesAfter(sql).empty()) << sql;

  // The client prints it after the error, as the server's tools do.
  std::istringstream in;
  std::ostringstream out, err;
  const std::string connection =
      "Provider=SQLOLEDB.1;Integrated Security=SSPI;Initial Catalog=db;Data Source=TESTSRV";
  EXPECT_EQ(sqlclient::RunSqlClient({"-c", connection, "-q", "INSERT INTO P (id) VALUES (1)"}, in, out, err), 1);
  EXPECT_EQ(err.str(),
            "Msg 2627, Level 14, State 1, Line 1\nViolation of PRIMARY KEY constraint 'PK_P'. Cannot insert "
            "duplicate key in object 'P'.\nThe statement has been terminated.\n");
}

TEST_F(FidelityLeftovers, NocountStopsTheRowCounts) {
  Db().Execute("CREATE TABLE N (id int NOT NULL, v varchar (10) NULL)");
  EXPECT_EQ(Counts("INSERT INTO N (id) VALUES (1) SET NOCOUNT ON INSERT INTO N (id) VALUES (2) "
                   "UPDATE N SET v = 'a' DELETE FROM N WHERE id = 2 SELECT v INTO M FROM N"),
            std::vector<int64_t>{1});
  EXPECT_EQ(Int("SELECT count(*) FROM N WHERE v = 'a'"), 1);  // and the rows still come
  EXPECT_TRUE(Counts("INSERT INTO N (id) VALUES (3)").empty());  // for the session, until OFF
  EXPECT_EQ(Counts("SET NOCOUNT OFF UPDATE N SET v = 'b'"), std::vector<int64_t>{2});

  std::istringstream in;
  std::ostringstream out, err;
  const std::string connection =
      "Provider=SQLOLEDB.1;Integrated Security=SSPI;Initial Catalog=db;Data Source=TESTSRV";
  EXPECT_EQ(sqlclient::RunSqlClient({"-c", connection, "-q", "SET NOCOUNT ON UPDATE N SET v = 'c' SELECT count(*) AS n FROM N"},
                                    in, out, err),
            0);
  EXPECT_EQ(out.str(), "n\n-\n2\n\n");
}

}  // namespace
