// Quoting of names with the current dialect's characters, connection-string values, owners,
// db-space defaults and the folder composition of database creation.
#include <gtest/gtest.h>

#include "DialectTestSupport.h"
#include "common/Paths.h"

namespace {

TEST(QuoteName, ReservedWordsAndBlanksAreQuotedWithTheCurrentDialectsCharacters) {
  TestOwner owner;
  TSqlServerSpecific sqlServer(&owner);
  TSqlServerSpecific asa(&owner);
  UseAsaTypesAndQuotes(asa);

  // No current dialect yet: the object's own characters.
  EXPECT_EQ(sqlServer.QuoteName("order"), "[order]");
  EXPECT_EQ(sqlServer.QuoteName("ORDER"), "[ORDER]");
  EXPECT_EQ(sqlServer.QuoteName("Order Details"), "[Order Details]");
  EXPECT_EQ(sqlServer.QuoteName("Orders"), "Orders");
  EXPECT_EQ(sqlServer.QuoteName("value"), "[value]");
  EXPECT_EQ(sqlServer.QuoteName(""), "");
  // A name that is not a regular identifier of the server, whatever its characters.
  EXPECT_EQ(sqlServer.QuoteName("20"), "[20]");
  EXPECT_EQ(sqlServer.QuoteName("#tmp"), "[#tmp]");
  EXPECT_EQ(sqlServer.QuoteName("a.b"), "[a.b]");
  EXPECT_EQ(sqlServer.QuoteName("a$b#c@1"), "a$b#c@1");
  EXPECT_EQ(sqlServer.QuoteName("_x"), "_x");
  EXPECT_EQ(sqlServer.QuoteName("Ärger"), "Ärger");

  owner.current = &asa;
  EXPECT_EQ(sqlServer.QuoteName("Order"), "\"Order\"");
  EXPECT_EQ(asa.QuoteName("group"), "\"group\"");
  EXPECT_EQ(asa.QuoteName("my table"), "\"my table\"");
  EXPECT_EQ(asa.QuoteName("customers"), "customers");

  owner.current = &sqlServer;
  EXPECT_EQ(asa.QuoteName("index"), "[index]");

  // The reserved words are the dialect's own, whoever quotes.
  TSqlServerSpecific base(&owner);
  base.ReservedWords = {"GROUP", "ORDER", "INSERT", "DELETE", "UPDATE", "CONSTRAINT", "INDEX"};
  EXPECT_EQ(base.QuoteName("Public"), "Public");
  EXPECT_EQ(sqlServer.QuoteName("Public"), "[Public]");
  EXPECT_TRUE(sqlServer.IsReservedWord("database"));
  EXPECT_FALSE(sqlServer.IsReservedWord("databases"));
}

TEST(ConnectionValues, KeysAreFoundIgnoringCaseAndValuesTrimmed) {
  TSqlServerSpecific dialect;
  const std::string cs =
      "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=sa;initial catalog=  Sales  ;"
      "DATA SOURCE= srv01";
  EXPECT_EQ(dialect.GetDatabaseFromConnection(cs), "Sales");
  EXPECT_EQ(dialect.GetServerFromConnection(cs), "srv01");

  // A blank before "=" is another key.
  EXPECT_EQ(dialect.GetDatabaseFromConnection("Provider=SQLOLEDB.1;Initial Catalog =Sales"), "");
  EXPECT_EQ(dialect.GetServerFromConnection("Provider=SQLOLEDB.1"), "");
  EXPECT_EQ(dialect.GetDatabaseFromConnection("Initial Catalog=Sales"), "Sales");
  EXPECT_EQ(dialect.GetDatabaseFromConnection("Initial Catalog=;Data Source=x"), "");

  dialect.DatabaseName = "Connected";
  EXPECT_EQ(dialect.GetDatabaseFromConnection(cs), "Connected");

  TSqlServerSpecific asa;
  asa.ServerKey = "Eng=";
  asa.DatabaseKey = "dbn=";
  EXPECT_EQ(asa.GetDatabaseFromConnection("Provider=ASAProv.90;ENG=demo9;DBN=asademo ;uid=dba"),
            "asademo");
  EXPECT_EQ(asa.GetServerFromConnection("Provider=ASAProv.90;ENG=demo9;DBN=asademo"), "demo9");
}

TEST(Owners, DefaultOwnerDependsOnTheSidesServer) {
  TSqlServerSpecific dialect;
  dialect.SetDbType(dbtAsa);
  dialect.SetMasterDbType(dbtSqlServer);
  EXPECT_TRUE(dialect.IsDefaultOwner("dbo", 1));
  EXPECT_FALSE(dialect.IsDefaultOwner("DBO", 1));
  EXPECT_FALSE(dialect.IsDefaultOwner("dbo", 0));
  EXPECT_TRUE(dialect.IsDefaultOwner("dba", 0));
  EXPECT_EQ(dialect.GetDefaultOwner(1), "dbo");
  EXPECT_EQ(dialect.GetDefaultOwner(2), "dba");

  dialect.SetMasterDbType(dbtAccess);
  EXPECT_TRUE(dialect.IsDefaultOwner("", 1));
  EXPECT_FALSE(dialect.IsDefaultOwner("dbo", 1));
  EXPECT_EQ(dialect.GetDefaultOwner(1), "");
  dialect.SetMasterDbType(dbtNone);
  EXPECT_FALSE(dialect.IsDefaultOwner("", 1));
  EXPECT_EQ(dialect.GetDefaultOwner(1), "");

  EXPECT_FALSE(dialect.CanUpdateProcedures());
  dialect.SetMasterDbType(dbtAsa);
  EXPECT_TRUE(dialect.CanUpdateViews());
  EXPECT_TRUE(dialect.CanUpdateTriggers());
}

TEST(DbSpaces, DefaultDbSpaceByMasterServer) {
  TSqlServerSpecific dialect;
  dialect.SetMasterDbType(dbtSqlServer);
  EXPECT_TRUE(dialect.IsDefaultDbSpace("primary"));
  EXPECT_FALSE(dialect.IsDefaultDbSpace("SYSTEM"));
  dialect.SetMasterDbType(dbtAsa);
  EXPECT_TRUE(dialect.IsDefaultDbSpace("System"));
  EXPECT_FALSE(dialect.IsDefaultDbSpace("PRIMARY"));
  dialect.SetMasterDbType(dbtAccess);
  EXPECT_TRUE(dialect.IsDefaultDbSpace("anything"));
}

// Records what CreateDatabaseInFolder hands to CreateDatabase.
class RecordingSqlServer : public TSqlServerSpecific {
 public:
  std::string dataFile, logFile;
  int CreateDatabase(const std::string&, const std::string& data, const std::string& log,
                     const std::string&, const std::string&, const std::string&) override {
    dataFile = data;
    logFile = log;
    return 2;
  }
};

TEST(CreateDatabaseInFolder, FoldersAreComposedAndDoubledBackslashesFolded) {
  RecordingSqlServer dialect;
  EXPECT_EQ(dialect.CreateDatabaseInFolder("Sales", "C:\\Data\\", "", "sa", "", "srv"), 2);
  EXPECT_EQ(dialect.dataFile, "C:\\Data\\Sales");
  EXPECT_EQ(dialect.logFile, "C:\\Data\\Sales");

  dialect.CreateDatabaseInFolder("Sales", "\\\\server\\share", "D:\\Logs", "", "", "");
  EXPECT_EQ(dialect.dataFile, "\\server\\share\\Sales");
  EXPECT_EQ(dialect.logFile, "D:\\Logs\\Sales");

  dialect.CreateDatabaseInFolder("Sales", "", "", "", "", "");
  EXPECT_EQ(dialect.dataFile, paths::ExecutableFolder() + "\\Sales");
}

}  // namespace
