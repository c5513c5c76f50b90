// The engine data module without a server: its state after creation, the dialect chosen from a
// connection string, the user and password of the string, LocateRecord, and a leak-free life.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/uDm.h"

// Reads the module's private state.
class TdmStateProbe {
 public:
  static std::vector<int> Numbers(const Tdm& dm) {
    return {dm.nextInstructionId_, dm.nextPrependedId_, dm.lastBlockUndoDeleteId_,
            dm.releaseMajor_, dm.releaseMinor_, dm.currentBlockUndoDeleteId_, dm.startInstruction_};
  }
  static std::vector<bool> Switches(const Tdm& dm) {
    return {dm.updateTables_, dm.updateViews_, dm.updateProcedures_, dm.updateIndexes_,
            dm.updateConstraints_, dm.updateTriggers_, dm.oneTransaction_};
  }
  static bool OwnsHelpers(const Tdm& dm) {
    return dm.sostCanc_ != nullptr && &dm.sostCanc_->Owner == &dm && dm.instruction_ != nullptr &&
           dm.instruction_->Owner == &dm && dm.sqlCommands_ != nullptr;
  }
};

TEST(EngineDataModule, StateAfterCreation) {
  Tdm dm;
  EXPECT_EQ(TdmStateProbe::Numbers(dm), (std::vector<int>{1, 0, 0, -1, -1, 0, 1}));
  EXPECT_EQ(TdmStateProbe::Switches(dm), std::vector<bool>(7, true));
  EXPECT_TRUE(TdmStateProbe::OwnsHelpers(dm));
  EXPECT_EQ(dm.ac.ConnectionString(), "Provider=SQLOLEDB.1");
  EXPECT_FALSE(dm.ac.Connected());
  EXPECT_EQ(dm.CurrentDialect(), nullptr);
  EXPECT_EQ(dm.Updater, nullptr);
  EXPECT_EQ(dm.Producer, nullptr);
  EXPECT_EQ(dm.cmdExec.Connection, &dm.ac);
  EXPECT_FALSE(dm.cmdExec.ParamCheck);
  EXPECT_EQ(dm.cmdExec.ExecuteOptions, ado::eoExecuteNoRecords);
  for (ado::TDataSet* onConnection : {&dm.aq, &dm.aq2, &dm.qDestTables, &dm.qDestClusterIdx, &dm.qExec}) {
    EXPECT_EQ(onConnection->Connection(), &dm.ac);
  }
  EXPECT_EQ(dm.qTables.Connection(), nullptr);
  EXPECT_EQ(dm.qInstructions.FieldDefs().size(), 3u);
  EXPECT_EQ(dm.qBlockUndoDelete.FieldDefs().at(1).Size, 40);
  for (TDbType kind : {dbtSqlServer, dbtAccess, dbtAsa}) {
    TDatabaseSpecific* dialect = dm.DbSpecific(kind);
    ASSERT_NE(dialect, nullptr) << EnumName(kind);
    EXPECT_EQ(dialect->Owner, &dm);
  }
  EXPECT_NE(dm.BackupErrorText().find("BACKUP ERROR"), std::string::npos);
}

TEST(EngineDataModule, DialectFromConnectionString) {
  struct Row {
    std::string connectionString;
    TDbType kind;
    std::string database, server;
  };
  const std::vector<Row> rows = {
      {"Provider=SQLOLEDB.1;Initial Catalog=shop;Data Source=srv", dbtSqlServer, "shop", "srv"},
      {"provider=asaprov.90;Eng=asa1;dbn=stock", dbtAsa, "stock", "asa1"},
      {"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=shop.mdb", dbtAccess, "", "shop.mdb"},
      // The whole string is searched and SQL Server is tested first.
      {"Provider=ASAProv.90;Eng=SQLOLEDB_srv;dbn=x", dbtSqlServer, "", ""},
      {"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=c:\\sqloledb\\a.mdb", dbtSqlServer, "", "c:\\sqloledb\\a.mdb"},
      {"Provider=ASAProv.90;Initial Catalog=SqlOleDbCopy", dbtSqlServer, "SqlOleDbCopy", ""},
      {"Provider=MSDASQL;Data Source=srv;Initial Catalog=db", dbtNone, "", ""},
      {"", dbtNone, "", ""},
  };
  Tdm dm;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.connectionString);
    ASSERT_TRUE(dm.SetConnectionString(row.connectionString, false));
    EXPECT_EQ(dm.GetDbType(), row.kind);
    dm.SelectDbSpecific();
    EXPECT_EQ(dm.CurrentDialect(), dm.DbSpecific(row.kind));
    if (dm.CurrentDialect() != nullptr) {
      EXPECT_EQ(dm.CurrentDialect()->DbType, row.kind);
    }
    EXPECT_EQ(dm.GetDatabaseName(), row.database);
    EXPECT_EQ(dm.GetServerName(), row.server);
    // The classifier quotes with the current dialect.
    const TDatabaseSpecific* current = dm.CurrentDialect();
    EXPECT_EQ(dm.Instruction().QuoteName("a", true),
              current == nullptr ? "a" : current->QuoteOpen + "a" + current->QuoteClose);
  }
}

TEST(EngineDataModule, UserAndPassword) {
  struct Row {
    std::string connectionString, user, password;
  };
  const std::vector<Row> rows = {
      {"Provider=SQLOLEDB.1;User ID=  Mario Rossi   ;Password= Se;cret", "Mario Rossi", "Se"},
      {"provider=sqloledb;user id=sa;password=", "sa", ""},
      {"Provider=SQLOLEDB.1;USER ID=Anna;Data Source=x", "Anna", ""},
      {"Provider=SQLOLEDB.1;Data Source=x;PassWord=  AbC  ", "", "AbC"},
      {"Provider=SQLOLEDB.1;Integrated Security=SSPI", "", ""},
      {"Provider=SQLOLEDB.1;User ID=", "", ""},
  };
  Tdm dm;
  for (const Row& row : rows) {
    dm.SetConnectionString(row.connectionString, false);
    std::string user = "x", password = "x";
    dm.GetUserAndPassword(user, password);
    EXPECT_EQ(user, row.user) << row.connectionString;
    EXPECT_EQ(password, row.password) << row.connectionString;
  }
}

TEST(EngineDataModule, LocateRecord) {
  ado::TDataSet set;
  EXPECT_FALSE(Tdm::LocateRecord(set, "table_name", ado::Variant("T"), ado::loCaseInsensitive));  // closed
  set.FieldDefs() = {{"table_name", ado::FieldType::ftString, 40}, {"index_name", ado::FieldType::ftString, 40}};
  set.CreateDataSet();
  EXPECT_FALSE(Tdm::LocateRecord(set, "table_name", ado::Variant("T"), ado::loCaseInsensitive));  // empty
  for (const auto& [table, index] : std::vector<std::pair<std::string, std::string>>{
           {"Orders", "IX_a"}, {"Orders", "IX_b"}, {"Lines", "IX_b"}}) {
    set.Append();
    set.FieldByName("table_name").SetAsString(table);
    set.FieldByName("index_name").SetAsString(index);
    set.Post();
  }
  EXPECT_TRUE(Tdm::LocateRecord(set, "table_name;index_name",
                                ado::Variant(ado::VariantArray{ado::Variant("ORDERS"), ado::Variant("ix_B")}),
                                ado::loCaseInsensitive));
  EXPECT_EQ(set.RecNo(), 2);
  EXPECT_FALSE(Tdm::LocateRecord(set, "table_name;index_name",
                                 ado::Variant(ado::VariantArray{ado::Variant("Lines"), ado::Variant("IX_a")}),
                                 ado::loCaseInsensitive));
  // The Access dialect leaves the data sets of its default values and clustered indexes closed.
  for (TOrvSchemaInfo kind : {vsiDefaultValues, vsiClusterIndexes}) {
    TAccessSpecific access;
    access.OpenSchema(kind, ado::Variant(), ado::Variant(), set);
    EXPECT_FALSE(Tdm::LocateRecord(set, "table_name", ado::Variant("Orders"), ado::loCaseInsensitive));
    set.CreateDataSet();
    set.Append();
    set.FieldByName("table_name").SetAsString("Orders");
    set.Post();
  }
}

TEST(EngineDataModule, CreatedAndDestroyedInALoop) {
  for (int i = 0; i < 50; ++i) {
    auto dm = std::make_unique<Tdm>();
    dm->SetConnectionString("Provider=ASAProv.90;Eng=x;dbn=y", false);
    dm->SelectDbSpecific();
    dm->Instruction().SetInstruction(i, "DROP INDEX dba.T.ix");
  }
}
