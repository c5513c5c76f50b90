// A backup of an Adaptive Server Anywhere database into a missing folder, reported through the
// engine to the running updater with the server's own message.
#include <gtest/gtest.h>

#include <string>

#include "../dialects/SqlServerTestDatabase.h"
#include "components/ComponentError.h"
#include "components/DbSchemaUpdater.h"
#include "engine/uDm.h"

namespace {

TEST(AsaBackupError, AMissingFolderReachesTheUpdaterAsOneBackupError) {
  dialect_test::UseFreshServers();
  {
    TAsaSpecific dialect;
    ASSERT_EQ(dialect.CreateDatabase("backed", "C:\\data\\backed", "", "", "", dialect_test::kAsaServer), 2);
  }
  const std::string folder = "/no/such/folder";
  TOrvDbSchemaUpdater updater;
  updater.SetConnectionString(std::string("Provider=ASAProv.90;Eng=") + dialect_test::kAsaServer + ";dbn=backed");
  ASSERT_TRUE(updater.Initialize());
  updater.SetConnected(true);
  Tdm& dm = *updater.dm();
  ASSERT_EQ(dm.CurrentDialect(), dm.DbSpecific(dbtAsa));
  EXPECT_FALSE(dm.CurrentDialect()->BackupDatabase(dm.ac, "backed.bak", folder));
  ASSERT_EQ(updater.Errors().Count(), 1);
  const TDbErrorElem& e = *updater.Errors().Items()[0];
  EXPECT_EQ(e.Context, dbcUpdate);
  EXPECT_EQ(e.Description, " *** BACKUP ERROR *** on file " + folder + "\\backed.bak");
  EXPECT_NE(e.EMessage.find("Error during backup/restore"), std::string::npos) << e.EMessage;
}

}  // namespace
