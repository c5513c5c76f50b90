// A batch goes on after an error that ends only its statement; other errors end the batch.
#include "SqlServerFixture.h"

namespace {

struct FailingStatement {
  const char* sql;
  int number;
  const char* message;
  bool batchGoesOn;
};

const FailingStatement kFailing[] = {
    {"INSERT INTO P (id) VALUES (1)", 2627,
     "Violation of PRIMARY KEY constraint 'PK_P'. Cannot insert duplicate key in object 'P'.", true},
    {"INSERT INTO P (id, code) VALUES (5, 'a')", 2601,
     "Cannot insert duplicate key row in object 'P' with unique index 'IX_P_code'.", true},
    {"INSERT INTO C (id, pid) VALUES (5, 7)", 547, "INSERT statement conflicted with COLUMN FOREIGN KEY constraint 'FK_C_P'.",
     true},
    {"INSERT INTO P (id) VALUES (NULL)", 515,
     "Cannot insert the value NULL into column 'id', table 'db.dbo.P'; column does not allow nulls. INSERT fails.", true},
    {"INSERT INTO P (id, code) VALUES (5, 'toolong')", 8152, "String or binary data would be truncated.", true},
    // Batch-ending errors still end the batch.
    {"INSERT INTO Missing (id) VALUES (5)", 208, "Invalid object name 'Missing'.", false},
};

}  // namespace

TEST_F(SqlServerTest, StatementEndingErrorsLetTheBatchGoOn) {
  Db().Execute("CREATE TABLE P (id int NOT NULL CONSTRAINT PK_P PRIMARY KEY, code varchar (3) NULL)");
  Db().Execute("CREATE UNIQUE INDEX IX_P_code ON P (code)");
  Db().Execute("CREATE TABLE C (id int NOT NULL, pid int NULL CONSTRAINT FK_C_P REFERENCES P (id))");
  Db().Execute("CREATE TABLE L (n int NOT NULL)");
  Db().Execute("INSERT INTO P (id, code) VALUES (1, 'a')");
  for (bool inTransaction : {false, true}) {
    for (const auto& c : kFailing) {
      SCOPED_TRACE(std::string(c.sql) + (inTransaction ? " in a transaction" : ""));
      Db().Execute("DELETE FROM L");
      if (inTransaction) Db().Execute("BEGIN TRANSACTION");
      try {
        // @@ERROR is the number of the statement just run, 0 after one that succeeds.
        Db().Execute(std::string("INSERT INTO L (n) VALUES (1)\n") + c.sql +
                     "\nINSERT INTO L (n) VALUES (@@ERROR) INSERT INTO L (n) VALUES (3 + @@ERROR)");
        ADD_FAILURE() << "no error";
      } catch (const ado::EOleException& e) {
        EXPECT_EQ(e.NativeError(), c.number);
        EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        EXPECT_EQ(e.Line(), 2);
        EXPECT_EQ(e.Messages().size(), c.batchGoesOn ? 1u : 0u);
      }
      EXPECT_EQ(Db().InTransaction(), inTransaction);
      if (inTransaction) Db().Execute("COMMIT TRANSACTION");
      EXPECT_EQ(TextOf("SELECT count(*) FROM L WHERE n = 1"), "1");
      EXPECT_EQ(TextOf("SELECT count(*) FROM L WHERE n = 3"), c.batchGoesOn ? "1" : "0");
      EXPECT_EQ(TextOf("SELECT count(*) FROM L WHERE n = " + std::to_string(c.number)), c.batchGoesOn ? "1" : "0");
      EXPECT_EQ(TextOf("SELECT count(*) FROM P"), "1");
      EXPECT_EQ(TextOf("SELECT count(*) FROM C"), "0");
    }
  }
}

// The idiom of every hand-written script: test @@ERROR after each statement and roll back.
TEST_F(SqlServerTest, ErrorNumberGuardsATransactionAndEachSessionHasItsOwnId) {
  Db().Execute("CREATE TABLE P (id int NOT NULL CONSTRAINT PK_P PRIMARY KEY)");
  Db().Execute("INSERT INTO P (id) VALUES (1)");
  const std::string script =
      "BEGIN TRANSACTION\n"
      "INSERT INTO P (id) VALUES (2)\n"
      "IF @@ERROR <> 0 ROLLBACK TRANSACTION\n"
      "INSERT INTO P (id) VALUES (1)\n"
      "IF @@ERROR <> 0 ROLLBACK TRANSACTION\n";
  try {
    Db().Execute(script);
    ADD_FAILURE() << "no error";
  } catch (const ado::EOleException& e) {
    EXPECT_EQ(e.NativeError(), 2627);
  }
  EXPECT_FALSE(Db().InTransaction());
  EXPECT_EQ(TextOf("SELECT count(*) FROM P"), "1");
  EXPECT_EQ(TextOf("SELECT @@ERROR"), "0");
  auto other = Connect("db");
  const std::string mine = TextOf("SELECT @@SPID"), theirs = TextOf(*other, "SELECT @@SPID");
  EXPECT_NE(mine, theirs);
  EXPECT_GE(std::stoi(mine), 51);
  EXPECT_EQ(TextOf("SELECT @@SPID"), mine);
}
