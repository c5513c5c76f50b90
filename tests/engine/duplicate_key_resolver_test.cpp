// The duplicate-key resolver on the three embedded servers: before a unique constraint or a
// primary key is created over duplicate rows, one row per group stays unchanged, the rows that
// reference the others point at it and the others go; the round trip then finds nothing to do.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "RoundTrip.h"
#include "UpdateDbSupport.h"

namespace {

using round_trip::Server;
using Texts = std::vector<std::string>;

// What differs between the servers' scripts.
struct Dialect {
  Server server;
  std::string date, text;  // type names
  std::string binary;      // type name, empty where the server's binary values have no literal
  std::string dateQuote;   // around a date literal
  std::string open, close; // around a name with a blank
};

const Dialect kDialects[] = {
    {Server::SqlServer, "datetime", "text", "varbinary(8)", "'", "[", "]"},
    {Server::Asa, "timestamp", "long varchar", "binary(8)", "'", "\"", "\""},
    {Server::Access, "datetime", "memo", "", "#", "[", "]"},
};

// K: a unique key over each kind of value, one group per kind (g names it); C references K. The
// unique constraint's column f allows no NULL, as Adaptive Server Anywhere asks.
Texts UniqueKeyScript(const Dialect& d, bool withKeys) {
  const std::string binary = d.binary.empty() ? "" : ", b " + d.binary + " NULL";
  const std::string theName = d.open + "the name" + d.close;
  Texts script = {"CREATE TABLE K (id integer NOT NULL PRIMARY KEY, " + theName + " varchar(20) NULL, dd " + d.date +
                  " NULL, f float NOT NULL, g varchar(2) NULL" + binary + ")"};
  if (withKeys) {
    script.push_back("CREATE UNIQUE INDEX " + d.open + "UX name" + d.close + " ON K (" + theName + ")");
    script.push_back("CREATE UNIQUE INDEX UX_D ON K (dd)");
    script.push_back("ALTER TABLE K ADD CONSTRAINT UQ_F UNIQUE (f)");
    if (!d.binary.empty()) script.push_back("CREATE UNIQUE INDEX UX_B ON K (b)");
    script.push_back("CREATE TABLE C (cid integer NOT NULL PRIMARY KEY, kid integer NULL REFERENCES K (id))");
    return script;
  }
  // Each row differs from every other in each column but the one its group shares.
  struct Row {
    int id;
    std::string name, day, f, g, b;
  } rows[] = {
      {1, "'O''Brien'", "2020-01-21", "1", "n", "0x01"},  {2, "'O''Brien'", "2020-01-22", "2", "n", "0x02"},
      {3, "'r3'", "2020-01-02 10:11:12", "3", "d", "0x03"}, {4, "'r4'", "2020-01-02 10:11:12", "4", "d", "0x04"},
      {5, "'r5'", "2020-01-02 10:11:12", "5", "d", "0x05"}, {6, "'r6'", "2020-01-26", "0.1", "f", "0x06"},
      {7, "'r7'", "2020-01-27", "0.1", "f", "0x07"},        {8, "'r8'", "2020-01-28", "8", "b", "0x0A0B"},
      {9, "'r9'", "2020-01-29", "9", "b", "0x0A0B"},        {10, "null", "2020-01-30", "10", "z", "0x10"},
      {11, "null", "2020-01-31", "11", "z", "0x11"},
  };
  for (const Row& row : rows) {
    script.push_back("INSERT INTO K VALUES (" + std::to_string(row.id) + ", " + row.name + ", " + d.dateQuote +
                     row.day + d.dateQuote + ", " + row.f + ", '" + row.g + "'" +
                     (d.binary.empty() ? "" : ", " + row.b) + ")");
  }
  script.push_back("CREATE TABLE C (cid integer NOT NULL PRIMARY KEY, kid integer NULL REFERENCES K (id))");
  for (int kid : {2, 4, 5, 7, 9, 11, 1}) {
    script.push_back("INSERT INTO C VALUES (" + std::to_string(kid * 10) + ", " + std::to_string(kid) + ")");
  }
  return script;
}

}  // namespace

TEST(DuplicateKeyResolver, UniqueKeysKeepOneRowPerGroupAndItsChildren) {
  for (const Dialect& d : kDialects) {
    SCOPED_TRACE(round_trip::ServerName(d.server));
    const std::string name = std::string("Resolve") + round_trip::ServerName(d.server);
    const std::string master = round_trip::CreateDatabase(d.server, name + "M", UniqueKeyScript(d, true));
    const std::string client = round_trip::CreateDatabase(d.server, name + "C", UniqueKeyScript(d, false));
    const round_trip::CheckResult first = round_trip::RoundTrip(master, client, round_trip::NewFolder(name));
    // One delete per group (two on Access, whose binary values have no literal to key on).
    const Texts texts = round_trip::Texts(first.instructions);
    EXPECT_EQ(std::count_if(texts.begin(), texts.end(), [](const std::string& t) { return t.rfind("delete", 0) == 0; }),
              d.binary.empty() ? 4 : 5);
    EXPECT_EQ(round_trip::Rows(client, "SELECT g, count(*) FROM K GROUP BY g ORDER BY g"),
              d.binary.empty() ? (Texts{"b|2", "d|1", "f|1", "n|1", "z|1"}) : (Texts{"b|1", "d|1", "f|1", "n|1", "z|1"}));
    // Every child kept, on the row kept of its parent's group.
    EXPECT_EQ(round_trip::Rows(client, "SELECT c.cid, k.g FROM C c INNER JOIN K k ON c.kid = k.id ORDER BY c.cid"),
              (Texts{"10|n", "20|n", "40|d", "50|d", "70|f", "90|b", "110|z"}));
  }
}

TEST(DuplicateKeyResolver, ANewPrimaryKeyKeepsOneRowEvenOfRowsEqualInEveryColumn) {
  for (const Dialect& d : kDialects) {
    SCOPED_TRACE(round_trip::ServerName(d.server));
    const std::string name = std::string("ResolvePk") + round_trip::ServerName(d.server);
    const std::string table = "CREATE TABLE P (id integer NOT NULL, v varchar(10) NULL, t " + d.text + " NULL";
    const std::string master = round_trip::CreateDatabase(d.server, name + "M", {table + ", CONSTRAINT PK_P PRIMARY KEY (id))"});
    // Rows 1 are equal but for the long column; rows 2 differ; row 3 is alone.
    const std::string client = round_trip::CreateDatabase(
        d.server, name + "C",
        {table + ")", "INSERT INTO P VALUES (1, 'a', 'x')", "INSERT INTO P VALUES (1, 'a', 'x')",
         "INSERT INTO P VALUES (1, 'a', 'y')", "INSERT INTO P VALUES (2, 'b', 'p')", "INSERT INTO P VALUES (2, null, 'q')",
         "INSERT INTO P VALUES (3, 'c', 'r')"});
    const Texts before = round_trip::Rows(client, "SELECT id, v, t FROM P");
    round_trip::RoundTrip(master, client, round_trip::NewFolder(name));
    const Texts after = round_trip::Rows(client, "SELECT id, v, t FROM P ORDER BY id");
    ASSERT_EQ(after.size(), 3u);
    for (const std::string& row : after) {
      EXPECT_NE(std::find(before.begin(), before.end(), row), before.end()) << row << " is no row of the client";
    }
    EXPECT_EQ(after[2], "3|c|r");
  }
}

TEST(DuplicateKeyResolver, WithoutTheDirectivesTheServerRefusesTheKeyAndNothingIsLost) {
  for (const Dialect& d : kDialects) {
    SCOPED_TRACE(round_trip::ServerName(d.server));
    const std::string name = std::string("NoResolve") + round_trip::ServerName(d.server);
    const std::string table = "CREATE TABLE P (id integer NOT NULL, v varchar(10) NULL";
    const std::string master = round_trip::CreateDatabase(
        d.server, name + "M", {table + ", CONSTRAINT PK_P PRIMARY KEY (id))", "CREATE UNIQUE INDEX UX_V ON P (v)"});
    const std::string client = round_trip::CreateDatabase(
        d.server, name + "C", {table + ")", "INSERT INTO P VALUES (1, 'a')", "INSERT INTO P VALUES (1, 'a')"});
    const std::string folder = round_trip::NewFolder(name);
    round_trip::Produce(master, folder, [](TOrvDbSchemaProducer& producer) {
      producer.UpdaterDirectives().AutoRecoverPrimaryKeys = beNo;
      producer.UpdaterDirectives().AutoRecoverUniqueIndexes = beNo;
    });
    const Texts texts = round_trip::Texts(round_trip::Check(client, folder).instructions);
    EXPECT_EQ(std::count_if(texts.begin(), texts.end(), [](const std::string& t) { return t.rfind("delete", 0) == 0; }),
              0);
    auto updater = update_test::NewUpdater(client, folder, [](update_test::RecordingUpdater& u) {
      u.UpdaterDirectives().ErrorManager = demStopOnFirstError;
    });
    EXPECT_FALSE(updater->dm()->UpdateDb(true));
    const Texts errors = updater->ErrorTexts();
    ASSERT_FALSE(errors.empty()) << "no error listed";
    EXPECT_TRUE(errors[0].find("duplicate") != std::string::npos || errors[0].find("not unique") != std::string::npos ||
                errors[0].find("not be unique") != std::string::npos)
        << errors[0];
    EXPECT_EQ(round_trip::Rows(client, "SELECT id, v FROM P"), (Texts{"1|a", "1|a"}));
  }
}

TEST(DuplicateKeyResolver, AKeyColumnTheClientLacksQueuesNothingForTheRows) {
  const std::string name = "ResolveMissing";
  const std::string master = round_trip::CreateDatabase(
      Server::SqlServer, name + "M", {"CREATE TABLE P (id integer NOT NULL, k integer NOT NULL, CONSTRAINT PK_P PRIMARY KEY (id, k))"});
  const std::string client = round_trip::CreateDatabase(
      Server::SqlServer, name + "C",
      {"CREATE TABLE P (id integer NOT NULL)", "INSERT INTO P VALUES (1)", "INSERT INTO P VALUES (1)"});
  const std::string folder = round_trip::NewFolder(name);
  round_trip::Produce(master, folder);
  // The tables phase adds the column; the resolver reads the client as it is and leaves it.
  const Texts texts = round_trip::Texts(round_trip::Check(client, folder).instructions);
  ASSERT_FALSE(texts.empty());
  EXPECT_EQ(texts.back(), "ALTER TABLE dbo.P ADD CONSTRAINT PK_P PRIMARY KEY  CLUSTERED  (id, k)");
  EXPECT_EQ(std::count_if(texts.begin(), texts.end(), [](const std::string& t) { return t.rfind("delete", 0) == 0; }),
            0);
}

TEST(DuplicateKeyResolver, RowsAnEarlierKeyDeletesTakeNoPartInALaterKeysGroups) {
  // Regression: each key's groups were read from the rows as they stood at the check, so the
  // second key kept a row the first deleted and deleted the row that should have stayed.
  const std::string table = "CREATE TABLE K (id integer NOT NULL, a integer NULL, b integer NULL, CONSTRAINT PK_K PRIMARY KEY (id)";
  const std::string master = round_trip::CreateDatabase(
      Server::SqlServer, "EarlierM", {table + ")", "CREATE UNIQUE INDEX UX_A ON K (a)", "CREATE UNIQUE INDEX UX_B ON K (b)"});
  const std::string client = round_trip::CreateDatabase(
      Server::SqlServer, "EarlierC",
      {table + ")", "INSERT INTO K VALUES (1, 1, 1)", "INSERT INTO K VALUES (2, 1, 2)", "INSERT INTO K VALUES (3, 3, 2)"});
  round_trip::RoundTrip(master, client, round_trip::NewFolder("Earlier"));
  EXPECT_EQ(round_trip::Rows(client, "SELECT id FROM K ORDER BY id"), (Texts{"1", "3"}));
}

TEST(DuplicateKeyResolver, ARebuiltReferencingTableHasItsRowsRepointed) {
  // Regression: a table rebuilt in the check is on the dropped-tables list, so its rows kept
  // pointing at the rows deleted.
  const std::string parent = "CREATE TABLE T (id int NOT NULL PRIMARY KEY, code varchar(10) NULL";
  const std::string master = round_trip::CreateDatabase(
      Server::SqlServer, "RebuiltM",
      {parent + ", CONSTRAINT UQ_T UNIQUE (code))",
       "CREATE TABLE C (cid int IDENTITY (1, 1) NOT NULL PRIMARY KEY, tid int NULL REFERENCES T (id))"});
  const std::string client = round_trip::CreateDatabase(
      Server::SqlServer, "RebuiltC",
      {parent + ")", "CREATE TABLE C (cid int NOT NULL PRIMARY KEY, tid int NULL REFERENCES T (id))",
       "INSERT INTO T VALUES (1, 'a')", "INSERT INTO T VALUES (2, 'a')", "INSERT INTO C VALUES (10, 2)",
       "INSERT INTO C VALUES (11, 1)"});
  const std::string folder = round_trip::NewFolder("Rebuilt");
  round_trip::Produce(master, folder);
  const Texts texts = round_trip::Texts(round_trip::Check(client, folder).instructions);
  round_trip::Execute(client, folder);
  EXPECT_EQ(round_trip::Rows(client, "SELECT count(*) FROM T"), Texts{"1"}) << ::testing::PrintToString(texts);
  EXPECT_EQ(round_trip::Rows(client, "SELECT c.cid FROM C c INNER JOIN T t ON t.id = c.tid ORDER BY c.cid"),
            (Texts{"10", "11"}));
}
