// The copy-data phase on the three embedded servers: the master's exported rows reach a client
// with missing, equal, differing and extra rows by each treatment; identity values are copied or
// left to the server; items that cannot be copied soundly are refused at check.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "RoundTrip.h"

namespace {

using round_trip::Server;

// One server's spelling of the copied table "Line Items" (key "Order", "Line No": a reserved word
// and a name with a blank), its rows, and the query that reads them back key first.
struct LineItems {
  Server server;
  std::string create;
  std::vector<std::string> masterRows;
  std::vector<std::string> clientRows;
  std::string select;
};

const std::string kLong(3000, 'L');

LineItems Case(Server which) {
  const std::string common = "Name varchar(40) NULL, Qty float NULL, Price money NULL, ";
  const LineItems cases[] = {
      {Server::SqlServer,
       "CREATE TABLE [Line Items] ([Order] int NOT NULL, [Line No] int NOT NULL, " + common +
           "At datetime NULL, Note text NULL, Bin varbinary(8) NULL, "
           "CONSTRAINT PK_LineItems PRIMARY KEY ([Order], [Line No]))",
       {"INSERT INTO [Line Items] VALUES (1, 1, 'O''Brien', 1.5, 2.25, '2024-01-02 03:04:05.123', '" + kLong +
            "', 0x00410042)",
        "INSERT INTO [Line Items] VALUES (1, 2, NULL, NULL, NULL, NULL, NULL, NULL)",
        "INSERT INTO [Line Items] VALUES (2, 1, '''); DROP TABLE [Line Items]; --', -0.1, 1000000.5, "
        "'1999-12-31', 'x', 0x00)"},
       {"INSERT INTO [Line Items] VALUES (1, 1, 'O''Brien', 1.5, 2.25, '2024-01-02 03:04:05.123', '" + kLong +
            "', 0x00410042)",
        "INSERT INTO [Line Items] VALUES (1, 2, 'old', 9, 9, '2020-01-01', 'old', 0x01)",
        "INSERT INTO [Line Items] VALUES (3, 1, 'extra', 3, 3, '2021-01-01', 'extra', 0x03)"},
       "SELECT [Order], [Line No], Name, Qty, Price, At, Note, Bin FROM [Line Items]"},
      {Server::Asa,
       "CREATE TABLE \"Line Items\" (\"Order\" integer NOT NULL, \"Line No\" integer NOT NULL, " + common +
           "At timestamp NULL, Note long varchar NULL, Bin varbinary(8) NULL, "
           "CONSTRAINT PK_LineItems PRIMARY KEY (\"Order\", \"Line No\"))",
       {"INSERT INTO \"Line Items\" VALUES (1, 1, 'O''Brien', 1.5, 2.25, '2024-01-02 03:04:05.123', '" + kLong +
            "', 0x00410042)",
        "INSERT INTO \"Line Items\" VALUES (1, 2, NULL, NULL, NULL, NULL, NULL, NULL)",
        "INSERT INTO \"Line Items\" VALUES (2, 1, '''); DROP TABLE \"Line Items\"; --', -0.1, 1000000.5, "
        "'1999-12-31', 'x', 0x00)"},
       {"INSERT INTO \"Line Items\" VALUES (1, 1, 'O''Brien', 1.5, 2.25, '2024-01-02 03:04:05.123', '" + kLong +
            "', 0x00410042)",
        "INSERT INTO \"Line Items\" VALUES (1, 2, 'old', 9, 9, '2020-01-01', 'old', 0x01)",
        "INSERT INTO \"Line Items\" VALUES (3, 1, 'extra', 3, 3, '2021-01-01', 'extra', 0x03)"},
       "SELECT \"Order\", \"Line No\", Name, Qty, Price, At, Note, Bin FROM \"Line Items\""},
      {Server::Access,
       "CREATE TABLE [Line Items] ([Order] integer NOT NULL, [Line No] integer NOT NULL, " + common +
           "At datetime NULL, Note memo NULL, CONSTRAINT PK_LineItems PRIMARY KEY ([Order], [Line No]))",
       {"INSERT INTO [Line Items] VALUES (1, 1, 'O''Brien', 1.5, 2.25, '2024-01-02 03:04:05', '" + kLong + "')",
        "INSERT INTO [Line Items] VALUES (1, 2, NULL, NULL, NULL, NULL, NULL)",
        "INSERT INTO [Line Items] VALUES (2, 1, '''); DROP TABLE [Line Items]; --', -0.1, 1000000.5, "
        "'1999-12-31', 'x')"},
       {"INSERT INTO [Line Items] VALUES (1, 1, 'O''Brien', 1.5, 2.25, '2024-01-02 03:04:05', '" + kLong + "')",
        "INSERT INTO [Line Items] VALUES (1, 2, 'old', 9, 9, '2020-01-01', 'old')",
        "INSERT INTO [Line Items] VALUES (3, 1, 'extra', 3, 3, '2021-01-01', 'extra')"},
       "SELECT [Order], [Line No], Name, Qty, Price, At, Note FROM [Line Items]"},
  };
  for (const LineItems& c : cases) {
    if (c.server == which) return c;
  }
  return cases[0];
}

std::vector<std::string> With(std::string first, const std::vector<std::string>& rest) {
  std::vector<std::string> script{std::move(first)};
  script.insert(script.end(), rest.begin(), rest.end());
  return script;
}

// The rows by key ("Order|Line No"), each the text of its other values.
std::map<std::string, std::string> RowsByKey(const std::string& database, const std::string& select) {
  std::map<std::string, std::string> rows;
  for (const std::string& row : round_trip::Rows(database, select)) {
    const size_t second = row.find('|', row.find('|') + 1);
    rows[row.substr(0, second)] = row.substr(second + 1);
  }
  return rows;
}

std::function<void(TOrvDbSchemaProducer&)> CopyItem(const std::string& table, TCopyDataTreatment treatment,
                                                    const std::string& field = {}, bool copyAutoInc = false) {
  return [=](TOrvDbSchemaProducer& producer) {
    TCopyDataElem& item = producer.CopyData.Add();
    item.TableName = table;
    item.Treatment = treatment;
    item.FieldToIncrement = field;
    item.CopyAutoInc = copyAutoInc;
  };
}

struct TreatmentCase {
  TCopyDataTreatment treatment;
  const char* name;
  // Where each key's row comes from afterwards: 'm' master, 'c' the client before, '-' absent;
  // keys 1|1, 1|2, 2|1, 3|1, then (cdtMove) 1|3 and 1|4.
  std::string sources;
};

const TreatmentCase kTreatments[] = {
    {cdtUnchange, "Unchange", "mcmc--"},
    {cdtUpdate, "Update", "mmmc--"},
    {cdtChange, "Change", "mm-c--"},
    {cdtDelete, "Delete", "mmmc--"},
    {cdtMove, "Move", "mmmcmc"},
};

// Each treatment, with CopyAutoInc False and True, into a client with equal, differing, missing
// and extra rows; then again, which changes nothing but moves again.
void CopyEachTreatment(const LineItems& server) {
  const char* keys[] = {"1|1", "1|2", "2|1", "3|1", "1|3", "1|4"};
  const std::string serverName = round_trip::ServerName(server.server);
  const std::string masterDb = round_trip::CreateDatabase(server.server, "CopyM" + serverName,
                                                          With(server.create, server.masterRows));
  const std::map<std::string, std::string> master = RowsByKey(masterDb, server.select);
  const std::string schemaOnly = round_trip::NewFolder("CopySchema" + serverName);
  round_trip::Produce(masterDb, schemaOnly);
  for (const TreatmentCase& treatment : kTreatments) {
    for (const bool copyAutoInc : {false, true}) {
      SCOPED_TRACE(serverName + " " + treatment.name + (copyAutoInc ? " CopyAutoInc" : ""));
      const std::string name = "Copy" + serverName + treatment.name + (copyAutoInc ? "A" : "");
      const std::string clientDb =
          round_trip::CreateDatabase(server.server, name, With(server.create, server.clientRows));
      const std::map<std::string, std::string> before = RowsByKey(clientDb, server.select);
      const std::string folder = round_trip::NewFolder(name);
      round_trip::Produce(masterDb, folder, CopyItem("Line Items", treatment.treatment, "Line No", copyAutoInc));
      const round_trip::CheckResult check = round_trip::Check(clientDb, folder);
      EXPECT_TRUE(check.ok);
      EXPECT_EQ(check.errors, std::vector<std::string>{});
      round_trip::Execute(clientDb, folder);

      std::map<std::string, std::string> expected;
      for (size_t k = 0; k < treatment.sources.size(); ++k) {
        const char source = treatment.sources[k];
        // A moved row keeps the client's values of the key it had before.
        const std::string from = k == 4 ? "1|1" : k == 5 ? "1|2" : keys[k];
        if (source == 'm') expected[keys[k]] = master.at(from);
        if (source == 'c') expected[keys[k]] = before.at(from);
      }
      const std::map<std::string, std::string> after = RowsByKey(clientDb, server.select);
      EXPECT_EQ(after, expected);

      // Copying again changes nothing, except that cdtMove moves again; a move leaves nothing
      // for a check of the schema alone to find.
      if (treatment.treatment == cdtMove) {
        const round_trip::CheckResult again = round_trip::Check(clientDb, schemaOnly, [](TOrvDbSchemaUpdater& u) {
          u.UpdaterDirectives().DeletePolicy.Enabled = beYes;
        });
        EXPECT_EQ(round_trip::Texts(again.instructions), std::vector<std::string>{});
        continue;
      }
      EXPECT_TRUE(round_trip::Check(clientDb, folder).ok);
      round_trip::Execute(clientDb, folder);
      EXPECT_EQ(RowsByKey(clientDb, server.select), expected);
    }
  }
}

}  // namespace

TEST(CopyData, EachTreatmentOnSqlServer) { CopyEachTreatment(Case(Server::SqlServer)); }
TEST(CopyData, EachTreatmentOnAsa) { CopyEachTreatment(Case(Server::Asa)); }
TEST(CopyData, EachTreatmentOnAccess) { CopyEachTreatment(Case(Server::Access)); }

namespace {

// One row (1, 'O''Brien') of table "My T" copied into an empty client: the texts of each
// treatment, in the order unchange, update, change, delete, move (FieldToIncrement id).
struct TextCase {
  Server server;
  std::string create;
  std::vector<std::vector<std::string>> texts;
};

std::string Insert(const std::string& target) {
  return "INSERT INTO " + target + " (id, s) VALUES (1, 'O''Brien')";
}

}  // namespace

TEST(CopyData, ExactTextsPerDialect) {
  const std::string asa = "DBA.\"My T\"";  // the client table's owner
  const std::string jetInsert =
      "INSERT INTO [My T] (id, s) SELECT 1, 'O''Brien' FROM (SELECT count(*) AS ORV_ROWS FROM [My T] WHERE "
      "id = 1) AS ORV_KEY WHERE ORV_ROWS = 0";
  const TextCase cases[] = {
      {Server::SqlServer,
       "CREATE TABLE [My T] (id int NOT NULL PRIMARY KEY, s varchar(20) NULL)",
       {{"IF NOT EXISTS (SELECT * FROM dbo.[My T] WHERE id = 1 ) EXEC ('INSERT INTO dbo.[My T] (id, s) VALUES "
         "(1, ''O''''Brien'')')"},
        {"IF EXISTS (SELECT * FROM dbo.[My T] WHERE id = 1 ) EXEC ('UPDATE dbo.[My T] SET id = 1, s = "
         "''O''''Brien'' WHERE id = 1') ELSE EXEC ('INSERT INTO dbo.[My T] (id, s) VALUES (1, ''O''''Brien'')')"},
        {"IF EXISTS (SELECT * FROM dbo.[My T] WHERE id = 1 ) EXEC ('UPDATE dbo.[My T] SET id = 1, s = "
         "''O''''Brien'' WHERE id = 1')"},
        {"IF EXISTS (SELECT * FROM dbo.[My T] WHERE id = 1 ) EXEC ('DELETE from dbo.[My T] WHERE id = 1')",
         Insert("dbo.[My T]")},
        {"IF EXISTS (SELECT * FROM dbo.[My T] WHERE id = 1 ) EXEC ('UPDATE dbo.[My T] SET id = (SELECT max(id) "
         "FROM dbo.[My T]) + 1 WHERE id = 1')",
         Insert("dbo.[My T]")}}},
      {Server::Asa,
       "CREATE TABLE \"My T\" (id integer NOT NULL PRIMARY KEY, s varchar(20) NULL)",
       {{"IF NOT EXISTS (SELECT * FROM " + asa + " WHERE id = 1)" + Insert(asa)},
        {"IF EXISTS (SELECT * FROM " + asa + " WHERE id = 1)UPDATE " + asa +
         " SET id = 1, s = 'O''Brien' WHERE id = 1 ELSE " + Insert(asa)},
        {"IF EXISTS (SELECT * FROM " + asa + " WHERE id = 1)UPDATE " + asa + " SET id = 1, s = 'O''Brien' WHERE id = 1"},
        {"IF EXISTS (SELECT * FROM " + asa + " WHERE id = 1)DELETE from " + asa + " WHERE id = 1", Insert(asa)},
        {"IF EXISTS (SELECT * FROM " + asa + " WHERE id = 1)UPDATE " + asa + " SET id = (SELECT max(id) FROM " + asa +
             ") + 1 WHERE id = 1",
         Insert(asa)}}},
      // Jet has no IF: the statements decide by themselves when they run. Jet updates no row
      // from an aggregate: the move's next number goes through a one-row work table.
      {Server::Access,
       "CREATE TABLE [My T] (id integer NOT NULL PRIMARY KEY, s varchar(20) NULL)",
       {{jetInsert},
        {"UPDATE [My T] SET id = 1, s = 'O''Brien' WHERE id = 1", jetInsert},
        {"UPDATE [My T] SET id = 1, s = 'O''Brien' WHERE id = 1"},
        {"DELETE from [My T] WHERE id = 1", Insert("[My T]")},
        {"SELECT max(id) + 1 AS ORV_NEXT INTO _ORV_MOVE_MAX FROM [My T]",
         "UPDATE [My T], _ORV_MOVE_MAX SET [My T].id = _ORV_MOVE_MAX.ORV_NEXT WHERE id = 1",
         "DROP TABLE _ORV_MOVE_MAX", Insert("[My T]")}}},
  };
  for (const TextCase& c : cases) {
    const std::string serverName = round_trip::ServerName(c.server);
    const std::string masterDb = round_trip::CreateDatabase(c.server, "TextM" + serverName,
                                                            {c.create, "INSERT INTO [My T] VALUES (1, 'O''Brien')"});
    const std::string clientDb = round_trip::CreateDatabase(c.server, "TextC" + serverName, {c.create});
    for (size_t t = 0; t < std::size(kTreatments); ++t) {
      SCOPED_TRACE(serverName + " " + kTreatments[t].name);
      const std::string folder = round_trip::NewFolder("Text" + serverName + kTreatments[t].name);
      round_trip::Produce(masterDb, folder, CopyItem("My T", kTreatments[t].treatment, "id"));
      EXPECT_EQ(round_trip::Texts(round_trip::Check(clientDb, folder).instructions), c.texts[t]);
    }
  }
}

// Identity values: left to the server without CopyAutoInc; copied inside the identity insert of
// the INSERTs' target with it, the next insert going on after the highest. The row-version
// column is the server's to fill, and no SET list names the identity column (which SQL Server
// refuses to update).
TEST(CopyData, IdentityValuesOnSqlServer) {
  const std::vector<std::string> create = {
      "CREATE TABLE [Order Lines] (Id int IDENTITY (1, 1) NOT NULL PRIMARY KEY, Code varchar(10) NULL, "
      "rv timestamp NULL)"};
  std::vector<std::string> master = create;
  master.insert(master.end(), {"INSERT INTO [Order Lines] (Code) VALUES ('a')",
                               "INSERT INTO [Order Lines] (Code) VALUES ('b')",
                               "SET IDENTITY_INSERT [Order Lines] ON",
                               "INSERT INTO [Order Lines] (Id, Code) VALUES (5, 'e')",
                               "SET IDENTITY_INSERT [Order Lines] OFF"});
  std::vector<std::string> client = create;
  client.push_back("INSERT INTO [Order Lines] (Code) VALUES ('x')");
  const std::string masterDb = round_trip::CreateDatabase(Server::SqlServer, "IdentityM", master);
  const std::string select = "SELECT Id, Code FROM [Order Lines] ORDER BY Id";

  {
    SCOPED_TRACE("CopyAutoInc");
    const std::string clientDb = round_trip::CreateDatabase(Server::SqlServer, "IdentityCopied", client);
    const std::string folder = round_trip::NewFolder("IdentityCopied");
    round_trip::Produce(masterDb, folder, CopyItem("Order Lines", cdtUpdate, "", true));
    const std::vector<std::string> texts = round_trip::Texts(round_trip::Check(clientDb, folder).instructions);
    ASSERT_EQ(texts.size(), 5u);
    EXPECT_EQ(texts.front(), "set IDENTITY_INSERT dbo.[Order Lines] ON");
    EXPECT_EQ(texts[1],
              "IF EXISTS (SELECT * FROM dbo.[Order Lines] WHERE Id = 1 ) EXEC ('UPDATE dbo.[Order Lines] SET Code = "
              "''a'' WHERE Id = 1') ELSE EXEC ('INSERT INTO dbo.[Order Lines] (Id, Code) VALUES (1, ''a'')')");
    EXPECT_EQ(texts.back(), "set IDENTITY_INSERT dbo.[Order Lines] OFF");
    round_trip::Execute(clientDb, folder);
    round_trip::Execute(clientDb, folder);  // the SET lists update without touching Id
    ado::TConnection connection(clientDb);
    connection.Open();
    connection.Execute("INSERT INTO [Order Lines] (Code) VALUES ('n')");
    EXPECT_EQ(round_trip::Rows(clientDb, select), (std::vector<std::string>{"1|a", "2|b", "5|e", "6|n"}));
  }
  {
    SCOPED_TRACE("numbered by the server");
    const std::string clientDb = round_trip::CreateDatabase(Server::SqlServer, "IdentityNumbered", client);
    const std::string folder = round_trip::NewFolder("IdentityNumbered");
    round_trip::Produce(masterDb, folder, CopyItem("Order Lines", cdtUnchange));
    const std::vector<std::string> texts = round_trip::Texts(round_trip::Check(clientDb, folder).instructions);
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[1],
              "IF NOT EXISTS (SELECT * FROM dbo.[Order Lines] WHERE Id = 2 ) EXEC ('INSERT INTO dbo.[Order Lines] "
              "(Code) VALUES (''b'')')");
    round_trip::Execute(clientDb, folder);
    EXPECT_EQ(round_trip::Rows(clientDb, select), (std::vector<std::string>{"1|x", "2|b", "3|e"}));
  }
}

// Regression: CopyAutoInc on a table without identity switched the identity insert on, which the
// server refuses (8106).
TEST(CopyData, NoIdentityInsertForATableWithoutIdentity) {
  const std::vector<std::string> create = {"CREATE TABLE P (id int NOT NULL PRIMARY KEY, s varchar(10) NULL)"};
  std::vector<std::string> master = create;
  master.push_back("INSERT INTO P VALUES (1, 'a')");
  const std::string masterDb = round_trip::CreateDatabase(Server::SqlServer, "PlainM", master);
  const std::string clientDb = round_trip::CreateDatabase(Server::SqlServer, "PlainC", create);
  const std::string folder = round_trip::NewFolder("Plain");
  round_trip::Produce(masterDb, folder, CopyItem("P", cdtDelete, "", true));
  EXPECT_EQ(round_trip::Check(clientDb, folder).instructions.size(), 2u);
  round_trip::Execute(clientDb, folder);
  EXPECT_EQ(round_trip::Rows(clientDb, "SELECT id, s FROM P"), std::vector<std::string>{"1|a"});
}

namespace {

bool AnyContains(const std::vector<std::string>& lines, const std::string& part) {
  for (const std::string& line : lines) {
    if (line.find(part) != std::string::npos) return true;
  }
  return false;
}

}  // namespace

// Regression: a table without primary key got statements with an empty WHERE, and cdtMove with
// no or a non-key FieldToIncrement set a nameless column or grouped by the whole key. Such items
// are refused at check naming table and field; the other items are still queued, and the check
// answers False.
TEST(CopyData, ItemsWithoutASoundKeyAreRefused) {
  const std::vector<std::string> script = {
      "CREATE TABLE NoKey (a int NOT NULL, b varchar(10) NULL)", "INSERT INTO NoKey VALUES (1, 'x')",
      "CREATE TABLE G (g int NOT NULL, s int NOT NULL, v varchar(10) NULL, PRIMARY KEY (g, s))",
      "INSERT INTO G VALUES (1, 1, 'y')"};
  const std::string masterDb = round_trip::CreateDatabase(Server::SqlServer, "RefusedM", script);
  const std::string clientDb = round_trip::CreateDatabase(Server::SqlServer, "RefusedC", script);
  const std::string folder = round_trip::NewFolder("Refused");
  round_trip::Produce(masterDb, folder, [](TOrvDbSchemaProducer& producer) {
    CopyItem("NoKey", cdtUpdate)(producer);
    CopyItem("G", cdtMove, "")(producer);
    CopyItem("G", cdtMove, "v")(producer);
    CopyItem("G", cdtUnchange)(producer);
  });
  const round_trip::CheckResult check = round_trip::Check(clientDb, folder);
  EXPECT_FALSE(check.ok);
  ASSERT_EQ(check.errors.size(), 3u);
  EXPECT_TRUE(AnyContains({check.errors[0]}, "Table NoKey has no primary key")) << check.errors[0];
  EXPECT_TRUE(AnyContains({check.errors[1]}, "Field to increment \"\" of table G")) << check.errors[1];
  EXPECT_TRUE(AnyContains({check.errors[2]}, "Field to increment \"v\" of table G")) << check.errors[2];
  EXPECT_EQ(round_trip::Texts(check.instructions),
            std::vector<std::string>{"IF NOT EXISTS (SELECT * FROM dbo.G WHERE g = 1 and s = 1 ) EXEC ('INSERT INTO "
                                     "dbo.G (g, s, v) VALUES (1, 1, ''y'')')"});
}

// An Access client takes no binary literal: a copy item with a binary column is refused at check
// naming table and column.
TEST(CopyData, BinaryColumnsAreRefusedForAccess) {
  const std::vector<std::string> script = {"CREATE TABLE B (k integer NOT NULL PRIMARY KEY, pic binary(8) NULL)",
                                           "INSERT INTO B (k) VALUES (1)"};
  const std::string masterDb = round_trip::CreateDatabase(Server::Access, "BinaryM", script);
  const std::string clientDb = round_trip::CreateDatabase(Server::Access, "BinaryC", script);
  const std::string folder = round_trip::NewFolder("Binary");
  round_trip::Produce(masterDb, folder, CopyItem("B", cdtUpdate));
  const round_trip::CheckResult check = round_trip::Check(clientDb, folder);
  EXPECT_FALSE(check.ok);
  EXPECT_TRUE(AnyContains(check.errors, "Column pic of table B is binary")) << ::testing::PrintToString(check.errors);
  EXPECT_EQ(round_trip::Texts(check.instructions), std::vector<std::string>{});
}

// Unsafe input: a copy item of the package's directives whose table name leads out of the schema
// folder is refused naming it; no file outside is read.
TEST(CopyData, ATableNameLeavingTheSchemaFolderIsRefused) {
  const std::vector<std::string> script = {"CREATE TABLE G (g int NOT NULL PRIMARY KEY)", "INSERT INTO G VALUES (1)"};
  const std::string masterDb = round_trip::CreateDatabase(Server::SqlServer, "LeavingM", script);
  const std::string clientDb = round_trip::CreateDatabase(Server::SqlServer, "LeavingC", script);
  const std::string folder = round_trip::NewFolder("Leaving");
  round_trip::Produce(masterDb, folder, CopyItem("G", cdtUpdate));
  const std::string directives = folder + "/DirectivesFromProducer.xml";
  std::ifstream in(directives);
  std::string xml((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  in.close();
  const size_t at = xml.find("<TableName>G</TableName>");
  ASSERT_NE(at, std::string::npos);
  xml.replace(at, 24, "<TableName>../Leaving/G</TableName>");
  std::ofstream(directives) << xml;
  const round_trip::CheckResult check = round_trip::Check(clientDb, folder);
  EXPECT_FALSE(check.ok);
  EXPECT_TRUE(AnyContains(check.errors, "field TableName names the table ../Leaving/G"))
      << ::testing::PrintToString(check.errors);
  EXPECT_EQ(round_trip::Texts(check.instructions), std::vector<std::string>{});
}

// A missing data file fails the check naming the file, and no list is saved.
TEST(CopyData, AMissingDataFileFailsTheCheck) {
  const std::vector<std::string> script = {"CREATE TABLE G (g int NOT NULL PRIMARY KEY)", "INSERT INTO G VALUES (1)"};
  const std::string masterDb = round_trip::CreateDatabase(Server::SqlServer, "MissingM", script);
  const std::string clientDb = round_trip::CreateDatabase(Server::SqlServer, "MissingC", script);
  const std::string folder = round_trip::NewFolder("Missing");
  round_trip::Produce(masterDb, folder, CopyItem("G", cdtUpdate));
  std::filesystem::remove(std::filesystem::path(folder) / "CPFP_G.xml");
  try {
    round_trip::Check(clientDb, folder);
    ADD_FAILURE() << "the check went on without the data file";
  } catch (const std::exception& e) {
    EXPECT_NE(std::string(e.what()).find("CPFP_G.xml"), std::string::npos) << e.what();
  }
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(folder) / "instructions.xml"));
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(folder) / "BlockUndoDelete.xml"));
}

namespace {

// An updater that notes the messages and progress steps of the copy-data phase.
class RecordingUpdater : public TOrvDbSchemaUpdater {
 public:
  std::vector<std::string> lines;
  void WriteMessage(const std::string& aText) override {
    if (aText.find("Copy") != std::string::npos && aText.rfind("NEW INSTRUCTION", 0) != 0) lines.push_back(aText);
    TOrvDbSchemaUpdater::WriteMessage(aText);
  }
  void ProgressStepLevel0(const std::string& aText) override { Note("0 ", aText); }
  void ProgressStepLevel1(const std::string& aText) override { Note("1 ", aText); }
  void ProgressStepLevel2(const std::string& aText) override { Note("2 ", aText); }

 private:
  void Note(const std::string& level, const std::string& aText) {
    if (aText.find("Copy") != std::string::npos) lines.push_back(level + aText);
  }
};

std::vector<std::string> CopyLines(const std::string& client, const std::string& folder) {
  RecordingUpdater updater;
  EXPECT_TRUE(round_trip::Connect(updater, client, folder));
  EXPECT_TRUE(updater.dm()->CheckDb(true));
  return updater.lines;
}

}  // namespace

// The phase's messages and progress steps; cdtMove has no level-1 step, and an empty copy list
// gives only the two messages.
TEST(CopyData, MessagesAndProgress) {
  const std::vector<std::string> script = {"CREATE TABLE G (g int NOT NULL, s int NOT NULL, PRIMARY KEY (g, s))"};
  const std::string masterDb = round_trip::CreateDatabase(Server::SqlServer, "MessagesM", script);
  const std::string clientDb = round_trip::CreateDatabase(Server::SqlServer, "MessagesC", script);
  const std::string folder = round_trip::NewFolder("Messages");
  round_trip::Produce(masterDb, folder, [](TOrvDbSchemaProducer& producer) {
    CopyItem("G", cdtUpdate)(producer);
    CopyItem("G", cdtMove, "s")(producer);
  });
  EXPECT_EQ(CopyLines(clientDb, folder),
            (std::vector<std::string>{"Copy data from tables...", "0 Copy Data", "2 Copy Data from G",
                                      "1 Copy data from tables - NAME: G", "2 Copy Data from G",
                                      "Copy data from tables Done"}));
  round_trip::Produce(masterDb, folder);
  EXPECT_EQ(CopyLines(clientDb, folder),
            (std::vector<std::string>{"Copy data from tables...", "0 Copy Data", "Copy data from tables Done"}));
}

// A table of another owner is filled under that owner, its name quoted.
TEST(CopyData, AnotherOwnersTableOnSqlServer) {
  const std::string create =
      "CREATE TABLE sales.[Price List] (code int NOT NULL PRIMARY KEY, price money NULL, at datetime NULL)";
  const std::string masterDb = round_trip::CreateDatabase(
      Server::SqlServer, "OwnerM",
      {"exec sp_addlogin 'sales', 'pw'", "exec sp_grantdbaccess 'sales'", create,
       "INSERT INTO sales.[Price List] VALUES (1, 12.5, '2024-05-06 07:08:09.250')"});
  const std::string clientDb =
      round_trip::CreateDatabase(Server::SqlServer, "OwnerC", {"exec sp_grantdbaccess 'sales'", create});
  const std::string folder = round_trip::NewFolder("Owner");
  round_trip::Produce(masterDb, folder, CopyItem("Price List", cdtUpdate));
  const round_trip::CheckResult check = round_trip::Check(clientDb, folder);
  ASSERT_EQ(check.instructions.size(), 1u);
  EXPECT_EQ(check.instructions[0].sql.find("IF EXISTS (SELECT * FROM sales.[Price List] WHERE code = 1 )"), 0u)
      << check.instructions[0].sql;
  round_trip::Execute(clientDb, folder);
  const std::string select = "SELECT code, price, at FROM sales.[Price List]";
  EXPECT_EQ(round_trip::Rows(clientDb, select), round_trip::Rows(masterDb, select));
}

// The copy follows the tables phase: a table created in this run is filled.
TEST(CopyData, ATableCreatedInThisRunIsFilled) {
  for (const Server server : {Server::SqlServer, Server::Asa, Server::Access}) {
    const std::string serverName = round_trip::ServerName(server);
    SCOPED_TRACE(serverName);
    const std::string masterDb = round_trip::CreateDatabase(
        server, "CreatedM" + serverName,
        {"CREATE TABLE [New T] (id integer NOT NULL PRIMARY KEY, s varchar(10) NULL)",
         "INSERT INTO [New T] VALUES (1, 'n')"});
    const std::string clientDb = round_trip::CreateDatabase(server, "CreatedC" + serverName, {});
    const std::string folder = round_trip::NewFolder("Created" + serverName);
    round_trip::Produce(masterDb, folder, CopyItem("New T", cdtUpdate));
    const round_trip::CheckResult check = round_trip::Check(clientDb, folder);
    EXPECT_TRUE(check.ok);
    EXPECT_EQ(check.errors, std::vector<std::string>{});
    round_trip::Execute(clientDb, folder);
    EXPECT_EQ(round_trip::Rows(clientDb, "SELECT id, s FROM [New T]"), std::vector<std::string>{"1|n"});
  }
}

// Bad input: a copied column the client table lacks (the tables phase switched off). The update,
// stopping on the first error, reports the server's refusal with the instruction and leaves the
// client as it was.
TEST(CopyData, AColumnTheClientLacksStopsTheUpdate) {
  const std::string masterDb = round_trip::CreateDatabase(
      Server::SqlServer, "LacksM",
      {"CREATE TABLE T (id int NOT NULL PRIMARY KEY, s varchar(10) NULL, extra int NULL)",
       "INSERT INTO T VALUES (1, 'a', 5)", "INSERT INTO T VALUES (2, 'b', 6)"});
  const std::string clientDb = round_trip::CreateDatabase(
      Server::SqlServer, "LacksC",
      {"CREATE TABLE T (id int NOT NULL PRIMARY KEY, s varchar(10) NULL)", "INSERT INTO T VALUES (1, 'x')"});
  const std::string folder = round_trip::NewFolder("Lacks");
  round_trip::Produce(masterDb, folder, CopyItem("T", cdtUpdate));

  TOrvDbSchemaUpdater updater;
  round_trip::PrepareStopOnFirst(updater, clientDb, folder);
  updater.dm()->SetPhaseSwitches(false, true, true, true, true, true);
  ASSERT_TRUE(updater.dm()->CheckDb(true));
  EXPECT_FALSE(updater.dm()->UpdateDb(true));
  ASSERT_FALSE(updater.Errors().Items().empty());
  const auto& error = *updater.Errors().Items()[0];
  EXPECT_EQ(error.SqlText.find("IF EXISTS (SELECT * FROM dbo.T WHERE id = 1 )"), 0u) << error.SqlText;
  EXPECT_NE(error.EMessage.find("extra"), std::string::npos) << error.EMessage;
  EXPECT_EQ(round_trip::Rows(clientDb, "SELECT id, s FROM T"), std::vector<std::string>{"1|x"});
}

// Regression: copying rows dropped the table's foreign keys, and a client key the master lacks,
// kept for a protected prefix, was never created again.
TEST(CopyData, AProtectedClientKeyOfACopiedTableIsThereAfterTheUpdate) {
  const std::string masterDb = round_trip::CreateDatabase(
      Server::SqlServer, "KeptKeyM", {"CREATE TABLE C (id int NOT NULL PRIMARY KEY, s varchar (10) NULL)",
                                      "INSERT INTO C VALUES (1, 'one')"});
  const std::string clientDb = round_trip::CreateDatabase(
      Server::SqlServer, "KeptKeyC",
      {"CREATE TABLE ZZ_Ref (id int NOT NULL PRIMARY KEY)", "INSERT INTO ZZ_Ref VALUES (7)",
       "CREATE TABLE C (id int NOT NULL PRIMARY KEY, s varchar (10) NULL, ZZ_ref int NULL,"
       " CONSTRAINT FK_C_ZZ FOREIGN KEY (ZZ_ref) REFERENCES ZZ_Ref (id))",
       "INSERT INTO C VALUES (1, 'old', 7)"});
  const std::string folder = round_trip::NewFolder("KeptKey");
  round_trip::Produce(masterDb, folder, [](TOrvDbSchemaProducer& producer) {
    CopyItem("C", cdtUpdate)(producer);
    producer.UpdaterDirectives().DeletePolicy.PrefixesList = {"ZZ_"};
  });
  const round_trip::CheckResult first = round_trip::Check(clientDb, folder);
  EXPECT_TRUE(first.ok);
  EXPECT_EQ(round_trip::Update(clientDb, folder), std::vector<std::string>{});
  EXPECT_EQ(round_trip::Rows(clientDb, "SELECT id, s, ZZ_ref FROM C"), std::vector<std::string>{"1|one|7"});
  EXPECT_EQ(round_trip::Rows(clientDb, "SELECT name FROM sysobjects WHERE xtype = 'F'"),
            std::vector<std::string>{"FK_C_ZZ"});
}
