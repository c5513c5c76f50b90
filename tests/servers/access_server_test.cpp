// The Access stand-in on its own: the provider and its database files, Jet's
// tokens and one statement per command, dates, bits and counters, Jet's
// refusals (each leaving the database as it was), definitions and rows rolled
// back together, and the client's switch that makes a file.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <iterator>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "Snapshot.h"
#include "TwoSessions.h"
#include "platform/data/DataErrors.h"
#include "platform/data/Provider.h"
#include "platform/data/SchemaRowsets.h"
#include "servers/EmbeddedServers.h"
#include "servers/client/SqlClient.h"

namespace fs = std::filesystem;

namespace {

class AccessServer : public ::testing::Test {
protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("schemion_access_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    servers::RegisterEmbeddedServers();
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Path(const std::string &file) const {
    return (dir_ / file).string();
  }
  std::string Conn(const std::string &file) const {
    return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + Path(file);
  }
  std::unique_ptr<ado::IProviderSession> Create(const std::string &file) {
    ado::ProviderRegistry::Instance().CreateDatabase(Conn(file));
    return ado::ProviderRegistry::Instance().Open(Conn(file));
  }
  // The message of the failure of `sql`, or "" when it succeeds.
  static std::string Failure(ado::IProviderSession &s, const std::string &sql) {
    try {
      s.Execute(sql);
    } catch (const ado::EOleException &e) {
      return e.what();
    }
    return "";
  }
  static std::string OpenFailure(const std::string &connection) {
    try {
      ado::ProviderRegistry::Instance().Open(connection);
    } catch (const ado::EOleException &e) {
      return e.what();
    }
    return "";
  }
  // The catalogue as its rowsets give it and every row of the tables named.
  static std::string State(ado::IProviderSession &s,
                           const std::vector<std::string> &tables) {
    std::string out;
    for (ado::TSchemaInfo kind :
         {ado::siTables, ado::siColumns, ado::siIndexes, ado::siForeignKeys,
          ado::siPrimaryKeys, ado::siTableConstraints, ado::siViews,
          ado::siProcedures})
      out += RowSetText(s.OpenSchema(kind, {}));
    for (const auto &t : tables)
      out += RowSetText(s.Execute("SELECT * FROM [" + t + "]").at(0).Rows);
    return out;
  }
  static std::string Values(ado::IProviderSession &s, const std::string &sql) {
    std::string out;
    const auto results = s.Execute(sql);
    for (const auto &row : results.at(0).Rows.Rows) {
      for (const auto &v : row)
        out += (v.IsNull() ? std::string("<null>") : v.AsString()) + "|";
      out += "\n";
    }
    return out;
  }

  fs::path dir_;
};

TEST_F(AccessServer,
       DatabaseFilesAreMadeOnceAndOpenedOnlyWhenTheyAreDatabases) {
  EXPECT_TRUE(
      ado::ProviderRegistry::Instance().Find("Microsoft.Jet.OLEDB.4.0"));
  EXPECT_TRUE(ado::ProviderRegistry::Instance().Find("microsoft.jet"));
  EXPECT_FALSE(ado::ProviderRegistry::Instance().Find("Microsoft.Access"));

  auto s = Create("shop.mdb");
  s->Execute("CREATE TABLE T (a int)");
  s->Execute("INSERT INTO T (a) VALUES (1)");
  // A second creation over the file is refused and leaves it as it was.
  try {
    ado::ProviderRegistry::Instance().CreateDatabase(Conn("shop.mdb"));
    ADD_FAILURE() << "created over an existing file";
  } catch (const ado::EOleException &e) {
    EXPECT_STREQ(e.what(), "Database already exists.");
  }
  EXPECT_EQ(Values(*s, "SELECT a FROM T"), "1|\n");
  // "\" in the path is read as "/".
  std::string backslashed = Conn("shop.mdb");
  backslashed.replace(backslashed.rfind('/'), 1, "\\");
  EXPECT_EQ(Values(*ado::ProviderRegistry::Instance().Open(backslashed),
                   "SELECT a FROM T"),
            "1|\n");

  EXPECT_EQ(OpenFailure(Conn("missing.mdb")),
            "Could not find file '" + Path("missing.mdb") + "'.");
  fs::create_directories(dir_ / "folder.mdb");
  EXPECT_NE(OpenFailure(Conn("folder.mdb"))
                .find("'" + Path("folder.mdb") + "' is not a valid path."),
            std::string::npos);
  {
    std::ofstream text(Path("notes.txt"));
    text << "not a database\n";
  }
  const auto before = fs::file_size(Path("notes.txt"));
  EXPECT_EQ(OpenFailure(Conn("notes.txt")),
            "Unrecognized database format '" + Path("notes.txt") + "'.");
  EXPECT_EQ(fs::file_size(Path("notes.txt")), before);
  EXPECT_FALSE(fs::exists(Path("notes.txt-wal")));
  EXPECT_FALSE(fs::exists(Path("missing.mdb")));
}

// Rows written by statements of one shape keep their own values, and a table another connection
// made anew is written as it is now.
TEST_F(AccessServer, RowStatementsOfOneShapeWriteTheirOwnValuesIntoTheTableAsItIs) {
  auto db = Create("shape.mdb");
  db->Execute("CREATE TABLE S (k INTEGER NOT NULL PRIMARY KEY, v TEXT(10))");
  db->Execute("INSERT INTO S (k, v) VALUES (1, 'a')");
  db->Execute("INSERT INTO S (k, v) VALUES (2, 'it''s')");
  db->Execute("UPDATE S SET v = 'b' WHERE k = 1");
  EXPECT_EQ(Values(*db, "SELECT k, v FROM S ORDER BY k"), "1|b|\n2|it's|\n");
  auto other = ado::ProviderRegistry::Instance().Open(Conn("shape.mdb"));
  other->Execute("DROP TABLE S");
  other->Execute("CREATE TABLE S (w INTEGER, k INTEGER NOT NULL PRIMARY KEY, v TEXT(10))");
  db->Execute("INSERT INTO S (k, v) VALUES (3, 'c')");
  EXPECT_EQ(Values(*db, "SELECT w, k, v FROM S"), "<null>|3|c|\n");
}

// A statement that waited for another connection's transaction reads the catalogue as that
// connection committed it.
TEST_F(AccessServer, AStatementThatWaitedForAnotherConnectionSeesItsCommittedDefinitions) {
  auto db = Create("twosessions.mdb");
  db->Execute("CREATE TABLE t3 (a INTEGER NOT NULL, c TEXT(10))");
  db->Execute("INSERT INTO t3 VALUES (1, 'x')");
  auto other = ado::ProviderRegistry::Instance().Open(Conn("twosessions.mdb"));
  other->BeginTrans();
  other->Execute("ALTER TABLE t3 ALTER COLUMN c TEXT(20)");
  other->Execute("ALTER TABLE t3 ADD COLUMN d INTEGER NOT NULL DEFAULT 7");
  std::string failure;
  RunWhileAnotherCommits(*db, *other, "INSERT INTO t3 VALUES (2, '123456789012345', 7)", failure);
  EXPECT_EQ(failure, "");
  EXPECT_EQ(Values(*db, "SELECT a, c, d FROM t3 ORDER BY a"), "1|x|7|\n2|123456789012345|7|\n");
}

// Two programs making one database at once: one makes it, the other is told it exists, and a
// database made is never replaced by the other's; nothing else is left in the folder.
TEST_F(AccessServer, TwoMakingOneDatabaseAtOnceLeaveOneAndTellTheOtherItExists) {
  for (int round = 0; round < 10; ++round) {
    const std::string file = "race" + std::to_string(round) + ".mdb";
    std::atomic<int> made{0};
    const auto make = [&] {
      try {
        ado::ProviderRegistry::Instance().CreateDatabase(Conn(file));
        ++made;
      } catch (const ado::EOleException& e) {
        EXPECT_EQ(std::string(e.what()), "Database already exists.");
      }
    };
    std::thread first(make), second(make);
    first.join();
    second.join();
    EXPECT_EQ(made.load(), 1) << file;
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 10);
}

TEST_F(AccessServer, BadInputIsRefusedNamingItAndWritesNothing) {
  auto s = Create("bad.mdb");
  s->Execute("CREATE TABLE [Order] ([order id] int NOT NULL, [unit price] "
             "money, CONSTRAINT pk PRIMARY KEY ([order id]))");
  s->Execute("INSERT INTO [Order] ([order id], [unit price]) VALUES (1, 2.5)");
  s->Execute("CREATE INDEX ix ON [Order] ([unit price])");
  EXPECT_EQ(
      Values(*s, "SELECT o.[order id], [unit price] AS price FROM [Order] o"),
      "1|2.5|\n");
  const std::string before = State(*s, {"Order"});
  struct Case {
    const char *sql;
    std::string message;
  };
  const auto invalidName = [](const std::string &name) {
    return "'" + name + "' is not a valid name. Make sure that it does not include invalid characters or "
                        "punctuation and that it is not too long.";
  };
  const Case cases[] = {
      {"INSERT INTO [Order] ([order id]) VALUES ('abc)",
       "Syntax error in string in query expression ''abc)'."},
      {"SELECT * FROM [Order", "Invalid bracketing of name '[Order'."},
      {"SELECT * FROM [Order] WHERE [order id] = #03/05", "Syntax error in date in query expression '#03/05'."},
      {"INSERT INTO Orders ([order id]) VALUES (2)",
       "The Microsoft Jet database engine cannot find the input table or query "
       "'Orders'.  Make sure it exists "
       "and that its name is spelled correctly."},
      {"INSERT INTO [Order] ([order id]) VALUES (2); INSERT INTO [Order] "
       "([order id]) VALUES (3)",
       "Characters found after end of SQL statement."},
      {"", "Invalid SQL statement; expected 'DELETE', 'INSERT', 'PROCEDURE', "
           "'SELECT', or 'UPDATE'."},
      {"  ;", "Invalid SQL statement; expected 'DELETE', 'INSERT', "
              "'PROCEDURE', 'SELECT', or 'UPDATE'."},
      {"ALTER TABLE [Order] ADD CONSTRAINT pk2 UNIQUE CLUSTERED ([unit price])",
       "Syntax error in CONSTRAINT clause."},
      {"CREATE UNIQUE NONCLUSTERED INDEX ix2 ON [Order] ([unit price])",
       "Syntax error in CREATE INDEX statement."},
      {"DROP INDEX [Order].ix", "Syntax error in DROP TABLE or DROP INDEX."},
      {"ALTER TABLE [Order] ALTER COLUMN [unit price] NOT NULL",
       "Syntax error in field definition."},
      {"INSERT INTO [Order] ([order id]) VALUES (1)",
       "The changes you requested to the table were not successful because "
       "they would create duplicate values "
       "in the index, primary key, or relationship.  Change the data in the "
       "field or fields that contain "
       "duplicate data, remove the index, or redefine the index to permit "
       "duplicate entries and try again."},
      {"UPDATE [Order] SET [order id] = NULL",
       "The field 'Order.order id' cannot contain a Null value because the "
       "Required property for this field is "
       "set to True.  Enter a value in this field."},
      {"ALTER TABLE [Order] DROP COLUMN [unit price]",
       "Cannot delete a field that is part of an index or is needed by the "
       "system."},
      {"DROP INDEX nothere ON [Order]",
       "No such index 'nothere' on table 'Order'."},
      {"CREATE TABLE [Order] (a int)", "Table 'Order' already exists."},
      {"CREATE TABLE [a.b] (x int)", invalidName("a.b")},
      {"CREATE TABLE t2 ([x!y] int)", invalidName("x!y")},
      {"ALTER TABLE [Order] ADD COLUMN [c[d] int", invalidName("c[d")},
      {"ALTER TABLE [Order] ADD CONSTRAINT [k.1] UNIQUE ([unit price])", invalidName("k.1")},
      {"CREATE INDEX [i!x] ON [Order] ([unit price])", invalidName("i!x")},
      {"CREATE VIEW [v.1] AS SELECT * FROM [Order]", invalidName("v.1")},
      {"SELECT [order id] AS [a!b] INTO t3 FROM [Order]", invalidName("a!b")},
      // The only identity is the long-integer counter.
      {"CREATE TABLE J (j smallint IDENTITY NOT NULL)", "Syntax error in CREATE TABLE statement."},
      {"ALTER TABLE [Order] ADD j smallint IDENTITY", "Syntax error in field definition."},
      // A text field holds at most 255 characters.
      {"CREATE TABLE t4 (c TEXT(300))", "The size of field 'c' is too long."},
      {"ALTER TABLE [Order] ADD COLUMN c VARCHAR(256)", "The size of field 'c' is too long."},
      {"ALTER TABLE [Order] ALTER COLUMN [unit price] TEXT(1000)", "The size of field 'unit price' is too long."},
  };
  for (const Case &c : cases)
    EXPECT_EQ(Failure(*s, c.sql), c.message) << c.sql;
  EXPECT_EQ(State(*s, {"Order"}), before);
  s->Execute("CREATE TABLE t5 (c TEXT(255))");
}

TEST_F(AccessServer, RelationshipsRefuseOrphansAndGuardTheirTablesAndFields) {
  auto s = Create("related.mdb");
  for (const char *sql : {"CREATE TABLE P (id COUNTER NOT NULL, CONSTRAINT "
                          "pk_P PRIMARY KEY (id))",
                          "CREATE TABLE C (id int NOT NULL, pid int)",
                          "INSERT INTO P (id) VALUES (5)",
                          "INSERT INTO C (id, pid) VALUES (1, 5)",
                          "INSERT INTO C (id, pid) VALUES (2, 6)"})
    s->Execute(sql);
  EXPECT_EQ(Failure(*s, "ALTER TABLE C ADD CONSTRAINT fk FOREIGN KEY (pid) "
                        "REFERENCES P (id)"),
            "Cannot create relationships to enforce referential integrity. "
            "Existing data in table 'C' violates "
            "referential integrity rules in table 'P'.");
  s->Execute("DELETE FROM C WHERE C.pid NOT IN (SELECT P.id FROM P WHERE P.id "
             "= P.id)");
  s->Execute(
      "ALTER TABLE C ADD CONSTRAINT fk FOREIGN KEY (pid) REFERENCES P (id)");
  const std::string before = State(*s, {"P", "C"});
  const std::pair<const char *, const char *> cases[] = {
      {"INSERT INTO C (id, pid) VALUES (3, 7)",
       "You cannot add or change a record because a related record is required "
       "in table 'P'."},
      {"UPDATE C SET pid = 8", "You cannot add or change a record because a "
                               "related record is required in table 'P'."},
      {"DELETE FROM P", "The record cannot be deleted or changed because table "
                        "'C' includes related records."},
      {"DROP TABLE P", "Cannot delete this index or table.  It is either the "
                       "current index or is used in a relationship."},
      {"ALTER TABLE C DROP COLUMN pid",
       "Cannot delete field 'pid'. It is part of one or more relationships."},
      {"ALTER TABLE C ALTER COLUMN pid smallint",
       "Cannot change field 'pid'. It is part of one or more relationships."},
      {"ALTER TABLE P DROP CONSTRAINT pk_P",
       "Cannot delete this index or table.  It is either the current index or "
       "is used in a relationship."},
  };
  for (const auto &[sql, message] : cases)
    EXPECT_EQ(Failure(*s, sql), message) << sql;
  EXPECT_EQ(State(*s, {"P", "C"}), before);
  // Dropped, the relationship no longer guards the rows.
  s->Execute("ALTER TABLE C DROP CONSTRAINT fk");
  s->Execute("DELETE FROM P");
  EXPECT_EQ(Values(*s, "SELECT count(*) FROM P"), "0|\n");
}

TEST_F(AccessServer, DatesBitsCountersAndConstants) {
  auto s = Create("values.mdb");
  s->Execute("CREATE TABLE T (id COUNTER NOT NULL, at datetime, ok bit, note "
             "text (10) DEFAULT 'x')");
  s->Execute("INSERT INTO T (at, ok) VALUES ('2024-03-05 10:30:00', 1)");
  s->Execute("INSERT INTO T (at, ok) VALUES ('03/05/2024', 0)");
  s->Execute(
      "INSERT INTO T (id, at, ok) VALUES (10, #03/05/2024 10:30:00#, 1)");
  s->Execute("INSERT INTO T (at) VALUES (\"2024-03-06\")");
  EXPECT_EQ(Values(*s, "SELECT id, at, ok, note FROM T ORDER BY id"),
            "1|2024-03-05T10:30:00|True|x|\n2|2024-03-05T00:00:00|False|x|\n10|"
            "2024-03-05T10:30:00|True|x|\n"
            "11|2024-03-06T00:00:00|<null>|x|\n");
  EXPECT_EQ(Values(*s, "SELECT count(*) FROM T WHERE at = #03/05/2024#"),
            "1|\n");
  EXPECT_EQ(Failure(*s, "INSERT INTO T (at) VALUES ('no date')"),
            "Data type conversion error.");
  // The nullable-default statement of the engine is Jet's.
  s->Execute("ALTER TABLE T ALTER COLUMN note text (50)  NULL DEFAULT 'y'");
  s->Execute("INSERT INTO T (ok) VALUES (0)");
  EXPECT_EQ(Values(*s, "SELECT id, note FROM T WHERE id > 10"),
            "11|x|\n12|y|\n");
  EXPECT_EQ(Values(*s, "SELECT 1 AS a, 'b' c, \"d\" AS e"), "1|b|d|\n");
  // "&" joins texts, a Null as an empty text.
  struct Joined {
    const char *sql;
    const char *rows;
  } joined[] = {
      {"SELECT 'a' & 'b' & \"c\"", "abc|\n"},
      {"SELECT 6 & 3", "63|\n"},
      {"SELECT note & '-' & id FROM T WHERE id = 12", "y-12|\n"},
      {"SELECT count(*) FROM T WHERE ok & 'x' = 'x'", "1|\n"},
      {"SELECT Null & Null", "<null>|\n"},
  };
  for (const Joined &j : joined) EXPECT_EQ(Values(*s, j.sql), j.rows) << j.sql;
  // Regression: the Yes/No constants were taken for unknown parameters.
  s->Execute("INSERT INTO T (id, ok) VALUES (20, TRUE)");
  s->Execute("INSERT INTO T (id, ok) VALUES (21, no)");
  EXPECT_EQ(Values(*s, "SELECT id FROM T WHERE id >= 20 AND ok = Yes"), "20|\n");
  EXPECT_EQ(Values(*s, "SELECT id FROM T WHERE id >= 20 AND ok = False"), "21|\n");
}

// A key the rebuilt table declares itself goes with its index or constraint.
TEST_F(AccessServer, DroppedKeysStopHoldingAfterARebuild) {
  auto s = Create("keys.mdb");
  s->Execute("CREATE TABLE K (id int NOT NULL, c int, CONSTRAINT pk PRIMARY KEY (id))");
  s->Execute("CREATE UNIQUE INDEX ixc ON K (c)");
  s->Execute("ALTER TABLE K ADD e int NULL");
  s->Execute("INSERT INTO K (id, c) VALUES (1, 1)");
  EXPECT_NE(Failure(*s, "INSERT INTO K (id, c) VALUES (2, 1)"), "");
  s->Execute("DROP INDEX ixc ON K");
  s->Execute("ALTER TABLE K DROP CONSTRAINT pk");
  s->Execute("INSERT INTO K (id, c) VALUES (1, 1)");
  EXPECT_EQ(Values(*s, "SELECT count(*) FROM K"), "2|\n");
}

TEST_F(AccessServer, DefinitionsAndRowsRollBackTogether) {
  auto s = Create("tx.mdb");
  s->Execute("CREATE TABLE T (id COUNTER NOT NULL, a text (10))");
  s->Execute("INSERT INTO T (a) VALUES ('kept')");
  const std::string before = State(*s, {"T"});
  s->BeginTrans();
  s->Execute("CREATE TABLE U (id int NOT NULL)");
  s->Execute("INSERT INTO U (id) VALUES (1)");
  s->Execute("ALTER TABLE T ADD b int  NULL");
  s->Execute("INSERT INTO T (a, b) VALUES ('gone', 2)");
  s->Execute("CREATE VIEW v AS SELECT a FROM T");
  EXPECT_EQ(Failure(*s, "INSERT INTO T (a) VALUES ('far too long a text')"),
            "The field is too small to accept the amount of data you attempted "
            "to add. Try inserting or pasting "
            "less data.");
  s->RollbackTrans();
  EXPECT_EQ(State(*s, {"T"}), before);
  EXPECT_NE(Failure(*s, "SELECT * FROM U"), "");
  s->Execute("INSERT INTO T (a) VALUES ('next')");
  EXPECT_EQ(Values(*s, "SELECT id, a FROM T"), "1|kept|\n2|next|\n");
}

TEST_F(AccessServer, TheClientSwitchMakesANewFileAndRefusesAnExistingOne) {
  auto run = [&](const std::vector<std::string> &args) {
    std::istringstream in;
    std::ostringstream out, err;
    const int status = sqlclient::RunSqlClient(args, in, out, err);
    return std::make_pair(status, out.str() + err.str());
  };
  const std::string conn = Conn("made.mdb");
  EXPECT_EQ(run({"-n", "-c", conn, "-q", "CREATE TABLE T (a int)"}).first, 0);
  EXPECT_EQ(run({"-c", conn, "-q", "INSERT INTO T (a) VALUES (1)"}).first, 0);
  const auto again = run({"-n", "-c", conn, "-q", "SELECT a FROM T"});
  EXPECT_EQ(again.first, 2);
  EXPECT_NE(again.second.find("Database already exists."), std::string::npos);
  EXPECT_EQ(
      Values(*ado::ProviderRegistry::Instance().Open(conn), "SELECT a FROM T"),
      "1|\n");
}

} // namespace

// Jet updates one table through an inner join with another (or itself); the embedded server
// refused the form.
TEST_F(AccessServer, UpdateThroughAnInnerJoinSetsTheFirstTable) {
  auto s = Create("join.mdb");
  s->Execute("CREATE TABLE T (id int NOT NULL, code int, parent int, pcode int)");
  for (const char *row : {"1, 10, NULL, NULL", "2, 20, 1, NULL", "3, 30, 2, NULL"})
    s->Execute(std::string("INSERT INTO T VALUES (") + row + ")");
  s->Execute("UPDATE T AS DTL INNER JOIN T AS MST ON DTL.parent = MST.id SET DTL.pcode = MST.code "
             "WHERE MST.id > 1");
  EXPECT_EQ(Values(*s, "SELECT id, pcode FROM T ORDER BY id"), "1|<null>|\n2|<null>|\n3|20|\n");
  s->Execute("UPDATE T INNER JOIN T AS MST ON T.parent = MST.id SET pcode = MST.code");
  EXPECT_EQ(Values(*s, "SELECT id, pcode FROM T ORDER BY id"), "1|<null>|\n2|10|\n3|20|\n");
  EXPECT_NE(Failure(*s, "UPDATE T AS DTL INNER JOIN T AS MST ON DTL.parent = MST.id SET MST.pcode = 1"), "");
}

// Regression: a date selected into a date column by INSERT ... SELECT was stored as its text.
TEST_F(AccessServer, InsertSelectStoresDatesAsTheValuesFormDoes) {
  auto s = Create("insert_select.mdb");
  s->Execute("CREATE TABLE D (k integer NOT NULL PRIMARY KEY, at datetime NULL)");
  s->Execute("INSERT INTO D (k, at) VALUES (1, '1999/12/31')");
  s->Execute("INSERT INTO D (k, at) SELECT 2, '1999/12/30 10:00:00' FROM (SELECT count(*) AS n FROM D "
             "WHERE k = 2) AS c WHERE c.n = 0");
  s->Execute("INSERT INTO D (k, at) SELECT k + 10, at FROM D");
  EXPECT_EQ(Values(*s, "SELECT k, at FROM D ORDER BY k"),
            "1|1999-12-31T00:00:00|\n2|1999-12-30T10:00:00|\n11|1999-12-31T00:00:00|\n"
            "12|1999-12-30T10:00:00|\n");
  EXPECT_EQ(Failure(*s, "INSERT INTO D (k, at) SELECT 3, 'no date'"), "Data type conversion error.");
}

// Jet refuses an UPDATE whose SET value needs an aggregate, also inside a subquery, and changes
// nothing; an aggregate in the WHERE's subquery is taken.
TEST_F(AccessServer, AnAggregateInAnUpdatesValuesIsRefused) {
  auto s = Create("aggregate.mdb");
  s->Execute("CREATE TABLE T (g int NOT NULL, n int NOT NULL, CONSTRAINT pk PRIMARY KEY (g, n))");
  for (const char *row : {"1, 1", "1, 2", "2, 1"})
    s->Execute(std::string("INSERT INTO T VALUES (") + row + ")");
  const std::string before = State(*s, {"T"});
  for (const char *sql : {"UPDATE T SET n = (SELECT max(n) FROM T WHERE g = 1) + 1 WHERE g = 1 AND n = 1",
                          "UPDATE T SET n = (SELECT n FROM T AS o WHERE o.g = 2 AND o.n = (SELECT Min(n) FROM T)) "
                          "WHERE g = 1 AND n = 1",
                          "UPDATE T, T AS o SET T.n = (SELECT count(*) FROM T) + 5 WHERE T.g = 2"}) {
    try {
      s->Execute(sql);
      ADD_FAILURE() << "ran: " << sql;
    } catch (const ado::EOleException &e) {
      EXPECT_STREQ(e.what(), "Operation must use an updateable query.") << sql;
      EXPECT_EQ(e.NativeError(), 3073) << sql;
    }
  }
  EXPECT_EQ(State(*s, {"T"}), before);
  s->Execute("UPDATE T SET n = 7 WHERE g = 2 AND n IN (SELECT max(n) FROM T WHERE g = 2)");
  EXPECT_EQ(Values(*s, "SELECT g, n FROM T ORDER BY g, n"), "1|1|\n1|2|\n2|7|\n");
}

// SELECT ... INTO makes a table typed from the query's columns (an unnamed expression is
// Expr1000), refused over an existing table; "UPDATE a, b" sets the first table's rows the
// WHERE picks from every row of the second.
TEST_F(AccessServer, SelectIntoMakesATableThatAnUpdateCanJoin) {
  auto s = Create("into.mdb");
  s->Execute("CREATE TABLE T (g int NOT NULL, n int NOT NULL, s text(10), at datetime, "
             "CONSTRAINT pk PRIMARY KEY (g, n))");
  s->Execute("INSERT INTO T VALUES (1, 1, 'a', '1999/12/31')");
  s->Execute("INSERT INTO T VALUES (1, 2, 'b', NULL)");
  EXPECT_EQ(s->Execute("SELECT s, at, n * 2 INTO C FROM T").at(0).RowsAffected, 2);
  EXPECT_EQ(Values(*s, "SELECT s, at, Expr1000 FROM C ORDER BY s"), "a|1999-12-31T00:00:00|2|\nb|<null>|4|\n");
  EXPECT_EQ(Failure(*s, "SELECT s INTO C FROM T"), "Table 'C' already exists.");
  EXPECT_EQ(Failure(*s, "INSERT INTO C (s) VALUES ('12345678901')"),
            "The field is too small to accept the amount of data you attempted to add. Try inserting or "
            "pasting less data.");

  s->Execute("SELECT max(n) + 1 AS nxt INTO W FROM T WHERE g = 1");
  EXPECT_EQ(s->Execute("UPDATE T, W SET T.n = W.nxt WHERE g = 1 AND n = 1").at(0).RowsAffected, 1);
  EXPECT_EQ(s->Execute("UPDATE T, W SET T.n = W.nxt WHERE g = 1 AND n = 1").at(0).RowsAffected, 0);
  s->Execute("DROP TABLE W");
  EXPECT_EQ(Values(*s, "SELECT g, n, s FROM T ORDER BY n"), "1|2|b|\n1|3|a|\n");
}
