// Transactions roll definitions and rows back together; a process killed in the middle of a
// transaction leaves the database as it was.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>

#include "SampleDatabase.h"
#include "Snapshot.h"
#include "SqlServerFixture.h"

namespace {

// Statements of one transaction: create, alter and drop tables, change rows.
const std::vector<std::string>& WorkSteps() {
  static const std::vector<std::string> steps = {
      "CREATE TABLE Tmp (a int NOT NULL PRIMARY KEY, b nvarchar(20) NULL)",
      "INSERT INTO Tmp (a, b) VALUES (1, 'one')",
      "ALTER TABLE Customers ADD Extra int NULL",
      "UPDATE Customers SET Extra = 5, Name = Name + '!'",
      "ALTER TABLE Customers ALTER COLUMN Extra bigint NOT NULL",
      "DELETE FROM Orders WHERE OrderId = 1",
      "ALTER TABLE Orders DROP CONSTRAINT FK_Orders_Customers",
      "DROP TABLE Orders",
      "EXECUTE sp_rename N'dbo.[Customers]', N'Clients', 'OBJECT'",
      "CREATE INDEX IX_Clients_Name ON Clients (Name)",
      "ALTER TABLE Clients DROP COLUMN Extra",
      "INSERT INTO Clients (Name) VALUES ('new')",
      "CREATE VIEW vTmp AS SELECT a FROM Tmp",
      "EXEC sp_addextendedproperty 'MS_Description', 'tmp', 'user', dbo, 'table', 'Tmp'",
  };
  return steps;
}

}  // namespace

TEST_F(SqlServerTest, RollbackRestoresSchemaAndRowsExactly) {
  sample_db::Build(Db());
  std::string before = Snapshot(Db());
  Db().BeginTrans();
  EXPECT_TRUE(Db().InTransaction());
  for (const auto& s : WorkSteps()) ASSERT_NO_THROW(Db().Execute(s)) << s;
  // A failing statement inside the transaction undoes itself only.
  EXPECT_THROW(Db().Execute("INSERT INTO Tmp (a, b) VALUES (1, 'again')"), ado::EOleException);
  EXPECT_EQ(Count("Tmp"), 1);
  EXPECT_NE(Snapshot(Db()), before);
  Db().RollbackTrans();
  EXPECT_FALSE(Db().InTransaction());
  EXPECT_EQ(Snapshot(Db()), before);
  // Triggers and indexes behind the tables came back too.
  EXPECT_THROW(Db().Execute("INSERT INTO Orders (OrderId, CustId) VALUES (9, 12345)"), ado::EOleException);
  Db().Execute("DELETE FROM Customers WHERE CustId = 10");
  EXPECT_EQ(Count("Orders"), 1);  // cascade
}

TEST_F(SqlServerTest, CommitKeepsAndTransactionStatementsInBatches) {
  sample_db::Build(Db());
  Db().BeginTrans();
  Db().Execute("CREATE TABLE Kept (a int NULL)");
  Db().CommitTrans();
  auto other = Connect("db");
  EXPECT_EQ(Rows(*other, "select count(*) from sysobjects where name = 'Kept'").Rows[0][0].AsInt(), 1);
  Db().Execute("BEGIN TRANSACTION INSERT INTO Kept (a) VALUES (1) ROLLBACK TRANSACTION");
  EXPECT_EQ(Count("Kept"), 0);
  EXPECT_THROW(Db().CommitTrans(), ado::EOleException);
}

TEST_F(SqlServerTest, OtherSessionsSeeOnlyCommittedWork) {
  sample_db::Build(Db());
  auto other = Connect("db");
  Db().BeginTrans();
  Db().Execute("CREATE TABLE Pending (a int NULL) INSERT INTO Customers (Name, Code) VALUES ('tx', 'TX')");
  EXPECT_EQ(Rows(*other, "select count(*) from Customers").Rows[0][0].AsInt(), 2);
  EXPECT_EQ(Rows(*other, "select count(*) from sysobjects where name = 'Pending'").Rows[0][0].AsInt(), 0);
  Db().CommitTrans();
  EXPECT_EQ(Rows(*other, "select count(*) from Customers").Rows[0][0].AsInt(), 3);
  other->Execute("INSERT INTO Pending (a) VALUES (1)");
  EXPECT_EQ(Count("Pending"), 1);
}

TEST_F(SqlServerTest, KilledProcessMidTransactionLeavesDatabaseAsBefore) {
  sample_db::Build(Db());
  std::string before = Snapshot(Db());
  session_.reset();
  std::mt19937 rng(20261207);
  for (int round = 0; round < 10; ++round) {
    size_t stopAt = round % 2 == 0 ? rng() % WorkSteps().size() : WorkSteps().size() - 1;
    int pipeFd[2];
    ASSERT_EQ(pipe(pipeFd), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      close(pipeFd[0]);
      try {
        auto s = Connect("db");
        s->BeginTrans();
        for (size_t i = 0; i <= stopAt; ++i) s->Execute(WorkSteps()[i]);
      } catch (...) {
      }
      char ready = 1;
      (void)!write(pipeFd[1], &ready, 1);
      pause();  // killed here, the transaction still open
      _exit(0);
    }
    close(pipeFd[1]);
    if (round % 2 == 0) {
      char ready = 0;
      ASSERT_EQ(read(pipeFd[0], &ready, 1), 1);
    } else {
      // Killed at a random moment, most often inside a statement.
      usleep(1000 + rng() % 40000);
    }
    close(pipeFd[0]);
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    auto s = Connect("db");
    EXPECT_EQ(Snapshot(*s), before) << "killed after step " << stopAt;
  }
}
