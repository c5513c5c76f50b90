#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "servers/EmbeddedServers.h"
#include "servers/client/SqlClient.h"

namespace fs = std::filesystem;

namespace {

struct ClientRun {
  int status;
  std::string out;
  std::string err;
};

ClientRun RunClient(const std::vector<std::string>& args, const std::string& input = {}) {
  std::istringstream in(input);
  std::ostringstream out, err;
  const int status = sqlclient::RunSqlClient(args, in, out, err);
  return {status, out.str(), err.str()};
}

class SqlClientOnServer : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("schemion_sqlclient_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    ::setenv("SCHEMION_SERVERS", dir_.c_str(), 1);
    servers::RegisterEmbeddedServers();
    // The server is made by the client's own step, and only once.
    ASSERT_EQ(RunClient({"-s", "-c", Conn("master")}).status, 0);
    const ClientRun again = RunClient({"-s", "-c", Conn("master")});
    ASSERT_EQ(again.status, 2);
    EXPECT_EQ(again.err, "schemion-sql: cannot make the server: The server 'CLIENTTEST' exists already.\n");
  }
  void TearDown() override { fs::remove_all(dir_); }

  static std::string Conn(const std::string& db) {
    return "Provider=SQLOLEDB.1;Data Source=CLIENTTEST;User ID=sa;Password=;Initial Catalog=" + db;
  }

  fs::path dir_;
};

const char* const kScript =
    "CREATE DATABASE Shop\n"
    "GO\n"
    "USE Shop\n"
    "CREATE TABLE Items (Id int NOT NULL PRIMARY KEY, Name varchar(20) NULL)\n"
    "GO\n"
    "INSERT INTO Items (Id, Name) VALUES (1, 'pen')\n"
    "INSERT INTO Items (Id, Name) VALUES (2, NULL)\n"
    "GO\n"
    "INSERT INTO Items (Id, Name) VALUES (1, 'duplicate')\n"
    "GO\n"
    "INSERT INTO Items (Id, Name) VALUES (3, 'ink')\n"
    "GO\n";

}  // namespace

TEST_F(SqlClientOnServer, ScriptWithAFailingBatchInTheMiddle) {
  ClientRun r = RunClient({"-c", Conn("master")}, kScript);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Msg 2627, Level 14, State 1, Line 1\nViolation of PRIMARY KEY constraint"),
            std::string::npos)
      << "the server's own number, severity and message: " << r.err;

  r = RunClient({"-c", Conn("Shop"), "-q", "SELECT Id, Name FROM Items ORDER BY Id"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("NULL"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("ink"), std::string::npos) << "batches after the failure ran";
  EXPECT_NE(r.out.find("(3 rows affected)"), std::string::npos) << r.out;
}

TEST_F(SqlClientOnServer, StopOnErrorLeavesLaterBatchesUnrun) {
  ClientRun r = RunClient({"-b", "-c", Conn("master")}, kScript);
  EXPECT_EQ(r.status, 1);
  r = RunClient({"-c", Conn("Shop"), "-q", "SELECT COUNT(*) AS N FROM Items WHERE Id = 3"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("0"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("ink"), std::string::npos);

  r = RunClient({"-c", Conn("NoSuchDatabase"), "-q", "SELECT 1"});
  EXPECT_EQ(r.status, 2) << "a database that does not exist cannot be opened";
}

TEST_F(SqlClientOnServer, RowsAffectedAndResultSetsAsTheServerAnswers) {
  ClientRun r = RunClient({"-c", Conn("master")}, kScript);
  ASSERT_EQ(r.status, 1);
  // Two single-row inserts in batch 3, one in batch 5; the failed insert counts nothing.
  size_t ones = 0;
  for (size_t at = r.out.find("(1 row affected)"); at != std::string::npos;
       at = r.out.find("(1 row affected)", at + 1))
    ++ones;
  EXPECT_EQ(ones, 3u) << r.out;

  r = RunClient({"-c", Conn("Shop")},
                "UPDATE Items SET Name = 'x' WHERE Id > 1\nDELETE FROM Items WHERE Id = 99\n"
                "SELECT Id, Name FROM Items WHERE Id >= 2 ORDER BY Id\n");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "(2 rows affected)\n"
            "(0 rows affected)\n"
            "Id Name\n"
            "-- ----\n"
            " 2 x   \n"
            " 3 x   \n"
            "(2 rows affected)\n\n")
      << r.out;
  r = RunClient({"-c", Conn("Shop"), "-q", "SELECT Name FROM Items WHERE Id = 1 UNION ALL SELECT NULL"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("pen \nNULL\n(2 rows affected)"), std::string::npos) << r.out;
}

TEST_F(SqlClientOnServer, ErrorsAndMessagesAreShownAsTheServersToolsShowThem) {
  ClientRun r = RunClient({"-c", Conn("master")},
                          "PRINT 'checking'\n"
                          "RAISERROR ('%d rows to go', 10, 1, 3)\n"
                          "GO\n"
                          "SELECT 1 AS one\n"
                          "\n"
                          "SELECT * FROM Nowhere\n"
                          "GO\n"
                          "SELECT 1\n"
                          "SELECT FROM\n"
                          "GO\n"
                          "RAISERROR ('Stopped by %s.', 16, 5, 'the script')\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "checking\n3 rows to go\n") << "messages print bare, as they come";
  EXPECT_EQ(r.err,
            "Msg 208, Level 16, State 1, Line 3\n"
            "Invalid object name 'Nowhere'.\n"
            "Msg 156, Level 15, State 1, Line 2\n"
            "Incorrect syntax near the keyword 'FROM'.\n"
            "Msg 50000, Level 16, State 5, Line 1\n"
            "Stopped by the script.\n");
}

// A sample-database installation script in the manner of the era's own: user types, tables with
// CHECK constraints using LIKE patterns and foreign keys, rows with money literals and images as
// long binary literals, views,
// procedures, a function and a trigger, RAISERROR, CHECKPOINT, UPDATE STATISTICS, SERVERPROPERTY.
TEST_F(SqlClientOnServer, SampleDatabaseInstallScriptRunsWithoutOneError) {
  const std::string script = std::string(SCHEMION_TEST_DATA_DIR) + "/sqlserver/books_install.sql";
  for (int run = 0; run < 2; ++run) {  // the second run drops the database and starts again
    ClientRun r = RunClient({"-b", "-c", Conn("master"), "-i", script});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out.rfind("Installing the books database, started ", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("The books database is installed, finished "), std::string::npos) << r.out;
  }
  ClientRun r = RunClient({"-c", Conn("books")},
                          "SELECT count(*) AS n FROM systypes WHERE xusertype > 256\n"
                          "SELECT count(*) AS n FROM INFORMATION_SCHEMA.TABLE_CONSTRAINTS WHERE CONSTRAINT_TYPE = 'CHECK'\n"
                          "SELECT count(*) AS n FROM writer_titles\n"
                          "SELECT price FROM books WHERE book_id = 'GA1001'\n"
                          "SELECT count(*) AS n FROM sysobjects WHERE xtype IN ('P', 'FN', 'TR')\n"
                          "SELECT sum(datalength(logo)) AS n FROM house_info\n");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "n\n-\n3\n(1 row affected)\n\n"
            "n\n-\n6\n(1 row affected)\n\n"
            "n\n-\n8\n(1 row affected)\n\n"
            "price\n-----\n19.99\n(1 row affected)\n\n"
            "n\n-\n5\n(1 row affected)\n\n"
            "n   \n----\n1066\n(1 row affected)\n\n");
}
