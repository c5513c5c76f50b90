// Views, procedures, functions and triggers carried from the master to the client by their text,
// end to end on the embedded servers: check, run, check again, and the texts read back.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "RoundTrip.h"

namespace {

using round_trip::Server;

bool Has(const std::vector<std::string>& texts, const std::string& text) {
  for (const std::string& t : texts) {
    if (t == text) return true;
  }
  return false;
}

bool Mentions(const std::vector<std::string>& texts, const std::string& part) {
  for (const std::string& t : texts) {
    if (t.find(part) != std::string::npos) return true;
  }
  return false;
}

// Delete policy open, with the protected prefix "keep_" (written in another case than the names).
void OpenPolicy(TOrvDbSchemaUpdater& updater) {
  updater.UpdaterDirectives().DeletePolicy.Enabled = beYes;
  updater.UpdaterDirectives().DeletePolicy.PrefixesList = {"keep_"};
}

const std::string kLongName(128, 'L');

std::string LongBody() { return "/*" + std::string(9000, 'x') + "*/"; }

}  // namespace

TEST(Programmables, SqlServerRoundTripCarriesViewsProceduresFunctionsAndTriggers) {
  const std::vector<std::string> common = {"CREATE TABLE T (id int NOT NULL PRIMARY KEY, s varchar (20) NULL)",
                                           "CREATE TABLE KEEP_T (id int NULL)"};
  std::vector<std::string> master = common;
  for (const char* sql : {
           "CREATE VIEW V_New AS SELECT id FROM T",
           "CREATE VIEW V_Changed AS SELECT id, s FROM T",
           "CREATE VIEW V_Same AS SELECT s FROM T",
           "CREATE PROCEDURE P_New AS SELECT 'say \"hi\"', \"plain\"",
           "CREATE PROCEDURE P_Changed AS SELECT 2",
           "SET QUOTED_IDENTIFIER OFF",
           "CREATE PROCEDURE P_Quotes AS SELECT 'a'",
           "SET QUOTED_IDENTIFIER ON",
           "CREATE PROCEDURE P_CrLf AS SELECT 1\r\n\r\n",
           "CREATE PROCEDURE P_Enc WITH ENCRYPTION AS SELECT 1",
           "CREATE PROCEDURE P_EncMaster WITH ENCRYPTION AS SELECT 4",
           "CREATE PROCEDURE P_EncClient AS SELECT 3",
           "CREATE FUNCTION F_New (@a int) RETURNS int AS BEGIN RETURN @a END",
           "CREATE FUNCTION F_Inline () RETURNS TABLE AS RETURN (SELECT id FROM T)",
           "CREATE TRIGGER TR_New ON T FOR INSERT AS SELECT 1",
       }) {
    master.push_back(sql);
  }
  master.push_back("CREATE PROCEDURE P_Long AS SELECT 1 " + LongBody());
  std::vector<std::string> client = common;
  for (const char* sql : {
           "CREATE VIEW V_Changed AS SELECT id FROM T",
           "CREATE VIEW V_Same AS SELECT s FROM T",
           "CREATE VIEW V_Surplus AS SELECT id FROM T",
           "CREATE PROCEDURE P_Changed AS SELECT 1",
           "SET QUOTED_IDENTIFIER OFF",
           "CREATE PROCEDURE P_Quotes AS SELECT \"a\"",
           "SET QUOTED_IDENTIFIER ON",
           "CREATE PROCEDURE P_CrLf AS SELECT 1",
           "CREATE PROCEDURE P_EncClient WITH ENCRYPTION AS SELECT 3",
           "CREATE PROCEDURE P_EncMaster AS SELECT 4",
           "CREATE PROCEDURE P_Surplus AS SELECT 1",
           "CREATE PROCEDURE [P Blank] AS SELECT 1",
           "CREATE PROCEDURE [P]]q'] AS SELECT 1",
           "CREATE PROCEDURE Keep_P AS SELECT 1",
           "CREATE FUNCTION F_Surplus () RETURNS @t TABLE (x int) AS BEGIN RETURN END",
           "CREATE TRIGGER TR_Surplus ON T FOR UPDATE AS SELECT 1",
           "CREATE TRIGGER TR_Kept ON KEEP_T FOR UPDATE AS SELECT 1",
       }) {
    client.push_back(sql);
  }
  client.push_back("CREATE PROCEDURE " + kLongName + " AS SELECT 1");
  const std::string masterDb = round_trip::CreateDatabase(Server::SqlServer, "ProgM", master);
  const std::string clientDb = round_trip::CreateDatabase(Server::SqlServer, "ProgC", client);
  const round_trip::CheckResult first =
      round_trip::RoundTrip(masterDb, clientDb, round_trip::NewFolder("Prog"), {}, OpenPolicy);
  const std::vector<std::string> texts = round_trip::Texts(first.instructions);

  EXPECT_TRUE(Has(texts, "drop view dbo.V_Changed"));
  EXPECT_TRUE(Has(texts, "CREATE VIEW V_New AS SELECT id FROM T"));
  EXPECT_TRUE(Has(texts, "drop view dbo.V_Surplus"));
  EXPECT_FALSE(Mentions(texts, "V_Same"));
  EXPECT_TRUE(Has(texts, "DROP  PROCEDURE dbo.P_Changed"));
  EXPECT_FALSE(Mentions(texts, "P_Quotes")) << "double versus single quotes only, both created with them as strings";
  EXPECT_FALSE(Mentions(texts, "P_CrLf")) << "trailing line breaks only";
  EXPECT_FALSE(Mentions(texts, "P_Enc ")) << "an encrypted master object has no text to create";
  EXPECT_FALSE(Mentions(texts, "P_EncMaster")) << "nor is the client's dropped";
  EXPECT_TRUE(Has(texts, "DROP  PROCEDURE dbo.P_EncClient"));
  EXPECT_TRUE(Has(texts, "IF EXISTS (SELECT name FROM SysObjects WHERE name = 'P_Surplus' and type = 'P') "
                         "DROP  PROCEDURE dbo.P_Surplus"));
  EXPECT_TRUE(Has(texts, "IF EXISTS (SELECT name FROM SysObjects WHERE name = 'P Blank' and type = 'P') "
                         "DROP  PROCEDURE dbo.[P Blank]"));
  EXPECT_TRUE(Has(texts, "IF EXISTS (SELECT name FROM SysObjects WHERE name = 'P]q''' and type = 'P') "
                         "DROP  PROCEDURE dbo.[P]]q']"));
  EXPECT_TRUE(Mentions(texts, "DROP  PROCEDURE dbo." + kLongName));
  EXPECT_FALSE(Mentions(texts, "Keep_P")) << "protected prefix, other case";
  EXPECT_TRUE(Has(texts, "IF EXISTS (SELECT name FROM SysObjects WHERE name = 'F_Surplus' and type = 'TF') "
                         "DROP  FUNCTION dbo.F_Surplus"));
  EXPECT_TRUE(Has(texts, "CREATE FUNCTION F_Inline () RETURNS TABLE AS RETURN (SELECT id FROM T)"));
  EXPECT_TRUE(Mentions(texts, "DROP  TRIGGER dbo.TR_Surplus"));
  EXPECT_FALSE(Mentions(texts, "TR_Kept")) << "its table's name is protected and tables may go";
  ASSERT_EQ(first.errors.size(), 2U);
  EXPECT_NE(first.errors[0].find("P_Enc"), std::string::npos) << first.errors[0];
  EXPECT_NE(first.errors[1].find("P_EncMaster"), std::string::npos) << first.errors[1];
  EXPECT_EQ(first.blocks, (std::vector<std::string>{"V_Surplus|ikDropView", "P_Surplus|ikDropProcedure",
                                                     "P Blank|ikDropProcedure", "P]q'|ikDropProcedure", kLongName + "|ikDropProcedure",
                                                     "F_Surplus|ikDropProcedure", "TR_Surplus|ikDropProcedure"}));

  // The texts read back: the master's as written.
  const std::string text = "SELECT c.text FROM sysobjects o INNER JOIN syscomments c ON c.id = o.id WHERE o.name = ";
  EXPECT_EQ(round_trip::Rows(clientDb, text + "'P_New'"),
            std::vector<std::string>{"CREATE PROCEDURE P_New AS SELECT 'say \"hi\"', \"plain\""});
  std::string longText;
  const std::vector<std::string> parts = round_trip::Rows(clientDb, text + "'P_Long' ORDER BY c.colid");
  for (const std::string& part : parts) longText += part;
  EXPECT_GT(parts.size(), 1U);
  EXPECT_EQ(longText, "CREATE PROCEDURE P_Long AS SELECT 1 " + LongBody());
  EXPECT_EQ(round_trip::Rows(clientDb, "SELECT name FROM sysobjects WHERE xtype IN ('P', 'FN', 'IF', 'TF', 'TR', 'V') "
                                       "ORDER BY name"),
            (std::vector<std::string>{"F_Inline", "F_New", "Keep_P", "P_Changed", "P_CrLf", "P_EncClient",
                                      "P_EncMaster", "P_Long", "P_New", "P_Quotes", "TR_Kept", "TR_New", "V_Changed", "V_New",
                                      "V_Same"}));
}

// Regression: double quotes were made single before a text ran, so views naming tables in double
// quotes were refused and procedures stored with their names turned into strings.
TEST(Programmables, SqlServerTextsRunUnderTheQuotedIdentifierSettingTheyWereCreatedWith) {
  const std::string table = "CREATE TABLE \"Order Details\" (OrderID int NOT NULL, Quantity smallint NOT NULL)";
  const std::string subtotals = "create view \"Order Subtotals\" AS SELECT OrderID, SUM(Quantity) AS Subtotal "
                                "FROM \"Order Details\" GROUP BY OrderID";
  const std::string quantities = "create procedure OrderQuantities AS SELECT \"OrderID\", \"Quantity\" FROM [Order Details]";
  const std::vector<std::string> master = {
      table, subtotals,
      "create view \"Large Orders\" AS SELECT \"Order Subtotals\".OrderID FROM \"Order Subtotals\" "
      "WHERE \"Order Subtotals\".Subtotal > 10",
      "create procedure \"Order Totals\" @id int AS SELECT s.Subtotal FROM \"Order Subtotals\" s "
      "INNER JOIN \"Order Details\" d ON d.OrderID = s.OrderID WHERE s.OrderID = @id",
      quantities, "SET QUOTED_IDENTIFIER OFF", "create procedure Greeting AS SELECT \"it's here\" AS greeting",
      "SET QUOTED_IDENTIFIER ON"};
  const std::string masterDb = round_trip::CreateDatabase(Server::SqlServer, "QuotedM", master);
  const std::string texts = "SELECT o.name, c.text, OBJECTPROPERTY(o.id, 'ExecIsQuotedIdentOn') FROM sysobjects o "
                            "INNER JOIN syscomments c ON c.id = o.id WHERE o.xtype IN ('V', 'P') ORDER BY o.name";
  const std::vector<std::string> masterTexts = round_trip::Rows(masterDb, texts);
  ASSERT_EQ(masterTexts.size(), 5U);

  // An empty client, and one holding older versions: a view, a procedure stored with its names
  // turned into strings, and the string-quoting procedure created with double quotes as names.
  const std::vector<std::pair<const char*, std::vector<std::string>>> clients = {
      {"QuotedEmpty", {}},
      {"QuotedOld",
       {table, "create view \"Order Subtotals\" AS SELECT OrderID, COUNT(*) AS Subtotal FROM \"Order Details\" GROUP BY OrderID",
        "create procedure OrderQuantities AS SELECT 'OrderID', 'Quantity' FROM [Order Details]",
        "create procedure Greeting AS SELECT 'it''s here' AS greeting"}}};
  for (const auto& [name, script] : clients) {
    SCOPED_TRACE(name);
    const std::string clientDb = round_trip::CreateDatabase(Server::SqlServer, name, script);
    const round_trip::CheckResult first = round_trip::RoundTrip(masterDb, clientDb, round_trip::NewFolder(name));
    EXPECT_EQ(round_trip::Rows(clientDb, texts), masterTexts) << ::testing::PrintToString(round_trip::Texts(first.instructions));
  }

  // Clients of other servers take the table and none of the texts.
  for (const Server server : {Server::Asa, Server::Access}) {
    const std::string name = std::string("QuotedTo") + round_trip::ServerName(server);
    const std::string clientDb = round_trip::CreateDatabase(server, name, {});
    const round_trip::CheckResult first = round_trip::RoundTrip(masterDb, clientDb, round_trip::NewFolder(name));
    EXPECT_FALSE(Mentions(round_trip::Texts(first.instructions), "Order Subtotals")) << name;
    EXPECT_EQ(round_trip::Rows(clientDb, "SELECT count(*) FROM [Order Details]"), std::vector<std::string>{"0"});
  }
}

TEST(Programmables, AsaRoundTripCreatesFromTheMasterTextUnchanged) {
  const std::vector<std::string> common = {
      "CREATE TABLE T (id integer NOT NULL PRIMARY KEY, \"Order Id\" integer NULL)"};
  std::vector<std::string> master = common;
  for (const char* sql : {
           "CREATE VIEW V_New AS SELECT id, \"Order Id\" FROM T",
           "CREATE PROCEDURE P_New() BEGIN SELECT 'say \"hi\"', \"Order Id\" FROM T END",
           "CREATE PROCEDURE P_Changed() BEGIN SELECT 2 END",
           "CREATE FUNCTION F_New(a integer) RETURNS integer BEGIN RETURN a END",
           "CREATE TRIGGER TR_New AFTER INSERT ON T FOR EACH ROW BEGIN DECLARE x integer; END",
       }) {
    master.push_back(sql);
  }
  std::vector<std::string> client = common;
  for (const char* sql : {
           "CREATE VIEW V_Surplus AS SELECT id FROM T",
           "CREATE PROCEDURE P_Changed() BEGIN SELECT 1 END",
           "CREATE PROCEDURE P_Surplus() BEGIN SELECT 1 END",
           "CREATE FUNCTION F_Surplus() RETURNS integer BEGIN RETURN 1 END",
           "CREATE TRIGGER TR_Surplus AFTER UPDATE ON T FOR EACH ROW BEGIN DECLARE x integer; END",
       }) {
    client.push_back(sql);
  }
  const std::string masterDb = round_trip::CreateDatabase(Server::Asa, "ProgAsaM", master);
  const std::string clientDb = round_trip::CreateDatabase(Server::Asa, "ProgAsaC", client);
  const round_trip::CheckResult first =
      round_trip::RoundTrip(masterDb, clientDb, round_trip::NewFolder("ProgAsa"), {}, OpenPolicy);
  const std::vector<std::string> texts = round_trip::Texts(first.instructions);
  EXPECT_TRUE(Has(texts, "CREATE PROCEDURE P_New() BEGIN SELECT 'say \"hi\"', \"Order Id\" FROM T END"));
  EXPECT_TRUE(Has(texts, "DROP  PROCEDURE DBA.P_Changed"));
  EXPECT_TRUE(Mentions(texts, "DROP  PROCEDURE DBA.P_Surplus"));
  EXPECT_TRUE(Mentions(texts, "DROP  FUNCTION DBA.F_Surplus"));
  EXPECT_TRUE(Mentions(texts, "DROP  TRIGGER DBA.TR_Surplus"));
  EXPECT_EQ(first.errors, std::vector<std::string>{});
  EXPECT_EQ(round_trip::Rows(clientDb, "SELECT proc_defn FROM SYS.SYSPROCEDURE WHERE proc_name = 'P_New'"),
            std::vector<std::string>{"CREATE PROCEDURE P_New() BEGIN SELECT 'say \"hi\"', \"Order Id\" FROM T END"});
  EXPECT_EQ(round_trip::Rows(clientDb, "SELECT proc_name FROM SYS.SYSPROCEDURE ORDER BY proc_name"),
            (std::vector<std::string>{"F_New", "P_Changed", "P_New"}));
}

TEST(Programmables, NothingRunsForAMasterOfAnotherKindNorForAccessProcedures) {
  // A master of another server kind: no phase of these runs.
  const std::string sqlMaster =
      round_trip::CreateDatabase(Server::SqlServer, "ProgKindM", {"CREATE PROCEDURE P_New AS SELECT 1"});
  const std::string asaClient = round_trip::CreateDatabase(
      Server::Asa, "ProgKindC", {"CREATE PROCEDURE P_Surplus() BEGIN SELECT 1 END"});
  const std::string folder = round_trip::NewFolder("ProgKind");
  round_trip::Produce(sqlMaster, folder);
  const round_trip::CheckResult other = round_trip::Check(asaClient, folder, OpenPolicy);
  EXPECT_FALSE(Mentions(round_trip::Texts(other.instructions), "P_"));

  // Access: procedure rows carry a numeric type, and no view is marked updatable.
  const std::string accessMaster = round_trip::CreateDatabase(
      Server::Access, "ProgAccM", {"CREATE TABLE T (id integer NULL)", "CREATE PROCEDURE Q_New AS SELECT id FROM T"});
  const std::string accessClient = round_trip::CreateDatabase(
      Server::Access, "ProgAccC",
      {"CREATE TABLE T (id integer NULL)", "CREATE PROCEDURE Q_Surplus AS SELECT id FROM T",
       "CREATE VIEW V_Surplus AS SELECT id FROM T"});
  const round_trip::CheckResult access =
      round_trip::RoundTrip(accessMaster, accessClient, round_trip::NewFolder("ProgAcc"), {}, OpenPolicy);
  EXPECT_EQ(round_trip::Texts(access.instructions), std::vector<std::string>{});
  EXPECT_EQ(access.errors, std::vector<std::string>{});
}

TEST(Programmables, ATriggerThatWentWithItsDroppedTableIsCreatedWithoutADrop) {
  const std::string master = round_trip::CreateDatabase(
      Server::SqlServer, "TrigM", {"CREATE TABLE T (id int NULL)", "CREATE TRIGGER TR_A ON T FOR INSERT AS SELECT 1"});
  const std::string client = round_trip::CreateDatabase(
      Server::SqlServer, "TrigC",
      {"CREATE TABLE T (id int NULL)", "CREATE TABLE X (id int NULL)", "CREATE TRIGGER TR_A ON X FOR INSERT AS SELECT 2"});
  const round_trip::CheckResult first =
      round_trip::RoundTrip(master, client, round_trip::NewFolder("Trig"), {}, OpenPolicy);
  EXPECT_EQ(round_trip::Texts(first.instructions),
            (std::vector<std::string>{"DROP TABLE dbo.X", "SET QUOTED_IDENTIFIER ON",
                                      "CREATE TRIGGER TR_A ON T FOR INSERT AS SELECT 1"}));
}

namespace {

// An updater that notes its console lines ("msg ...") and progress texts ("0 ...", "1 ...", "2 ...").
struct RecordingUpdater : TOrvDbSchemaUpdater {
  std::vector<std::string> lines;
  void WriteMessage(const std::string& aText) override {
    lines.push_back("msg " + aText);
    TOrvDbSchemaUpdater::WriteMessage(aText);
  }
  void ProgressStepLevel0(const std::string& aText) override {
    lines.push_back("0 " + aText);
    TOrvDbSchemaUpdater::ProgressStepLevel0(aText);
  }
  void ProgressStepLevel1(const std::string& aText) override {
    lines.push_back("1 " + aText);
    TOrvDbSchemaUpdater::ProgressStepLevel1(aText);
  }
  void ProgressStepLevel2(const std::string& aText) override {
    lines.push_back("2 " + aText);
    TOrvDbSchemaUpdater::ProgressStepLevel2(aText);
  }
};

}  // namespace

TEST(Programmables, PhasesShowTheirConsoleAndProgressTexts) {
  const std::string master = round_trip::CreateDatabase(
      Server::SqlServer, "TextsM",
      {"CREATE TABLE T (id int NULL)", "CREATE VIEW V AS SELECT id FROM T", "CREATE PROCEDURE P AS SELECT 1"});
  const std::string client =
      round_trip::CreateDatabase(Server::SqlServer, "TextsC", {"CREATE TABLE T (id int NULL)", "CREATE TABLE X (id int NULL)"});
  const std::string folder = round_trip::NewFolder("Texts");
  round_trip::Produce(master, folder);
  RecordingUpdater updater;
  ASSERT_TRUE(round_trip::Connect(updater, client, folder));
  ASSERT_TRUE(updater.dm()->CheckDb(true));
  const TDbLanguageOptions& texts = updater.LanguageOptions();
  std::vector<std::string> expected = {"1 Delete Tables", "2 Check for deletion table: T",
                                       "2 Check for deletion table: X", "msg " + texts.msgUpdateViews, "0 VIEWS",
                                       "1 " + texts.msgUpdating, "2 View name: V", "1 " + texts.msgDeleting,
                                       "msg " + texts.msgUpdateViews + " " + texts.msgDone};
  for (const auto& [message, caption] : {std::pair{texts.msgUpdateStoreProcedures, "Store procedures"},
                                         std::pair{texts.msgUpdateStoreFunctions, "Store functions"},
                                         std::pair{texts.msgUpdateTriggers, "Triggers"}}) {
    expected.push_back("msg " + message);
    expected.push_back(std::string("0 ") + caption);
    expected.push_back("1 " + texts.msgUpdating);
    if (std::string(caption) == "Store procedures") expected.push_back("2 Store proc name: P");
    expected.push_back("1 " + texts.msgDeleting);
    expected.push_back("msg " + message + " " + texts.msgDone);
  }
  // The delete phase's texts, then everything from the views phase on (instruction echoes aside).
  std::vector<std::string> seen;
  bool views = false;
  for (const std::string& line : updater.lines) {
    views = views || line == "msg " + texts.msgUpdateViews;
    const bool deletePhase = line == "1 Delete Tables" || line.rfind("2 Check for deletion table: ", 0) == 0;
    const bool echo = line.rfind("msg NEW INSTRUCTION", 0) == 0 || line.rfind("msg CheckDb", 0) == 0;
    if (deletePhase || (views && !echo)) seen.push_back(line);
  }
  EXPECT_EQ(seen, expected);
}

TEST(Programmables, AMasterTextTheClientRefusesStopsTheUpdateNamingIt) {
  // The client holds a table under the name of the master's view: the server refuses the view.
  const std::string master = round_trip::CreateDatabase(
      Server::SqlServer, "RefuseM", {"CREATE TABLE T (id int NULL)", "CREATE VIEW V AS SELECT id FROM T"});
  const std::string client = round_trip::CreateDatabase(
      Server::SqlServer, "RefuseC",
      {"CREATE TABLE T (id int NULL)", "CREATE TABLE V (id int NULL)", "INSERT INTO V (id) VALUES (1)"});
  const std::string folder = round_trip::NewFolder("Refuse");
  round_trip::Produce(master, folder);
  const round_trip::CheckResult check = round_trip::Check(client, folder);
  ASSERT_EQ(round_trip::Texts(check.instructions),
            (std::vector<std::string>{"SET QUOTED_IDENTIFIER ON", "CREATE VIEW V AS SELECT id FROM T"}));
  TOrvDbSchemaUpdater updater;
  round_trip::PrepareStopOnFirst(updater, client, folder);
  EXPECT_FALSE(updater.dm()->UpdateDb(true));
  ASSERT_GE(updater.Errors().Count(), 1);
  EXPECT_EQ(updater.Errors().Items()[0]->SqlText, "CREATE VIEW V AS SELECT id FROM T");
  EXPECT_NE(updater.Errors().Items()[0]->EMessage.find("V"), std::string::npos) << updater.Errors().Items()[0]->EMessage;
  EXPECT_EQ(round_trip::Rows(client, "SELECT id FROM V"), std::vector<std::string>{"1"});
}
