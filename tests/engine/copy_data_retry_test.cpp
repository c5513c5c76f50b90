// The copy-data phase under the retry of failed instructions: a move on Access, whose work-table
// statements only make sense together, fails at first and is retried after a later phase has
// removed the cause.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RoundTrip.h"

namespace {

using round_trip::Server;

// Regression: a failed move UPDATE on Access was retried alone after its work table was dropped (3078).
TEST(CopyDataRetry, AMoveOnAccessIsRetriedWithItsWorkTable) {
  const std::string create = "CREATE TABLE Steps (Grp integer NOT NULL, Seq integer NOT NULL, Name varchar(10) NULL, "
                             "CONSTRAINT PK_Steps PRIMARY KEY (Grp, Seq))";
  const std::string masterDb =
      round_trip::CreateDatabase(Server::Access, "MoveRetryM", {create, "INSERT INTO Steps VALUES (1, 1, 'm')"});
  // The client's own unique index on Seq refuses the moved row's next number (2) until the
  // indexes phase, after the copy, drops it: the first attempt of the move fails.
  const std::string clientDb = round_trip::CreateDatabase(
      Server::Access, "MoveRetryC",
      {create, "CREATE UNIQUE INDEX UX_Seq ON Steps (Seq)", "INSERT INTO Steps VALUES (1, 1, 'a')",
       "INSERT INTO Steps VALUES (2, 2, 'b')"});
  const std::string schemaOnly = round_trip::NewFolder("MoveRetrySchema");
  round_trip::Produce(masterDb, schemaOnly);
  const std::string folder = round_trip::NewFolder("MoveRetry");
  round_trip::Produce(masterDb, folder, [](TOrvDbSchemaProducer& producer) {
    TCopyDataElem& item = producer.CopyData.Add();
    item.TableName = "Steps";
    item.Treatment = cdtMove;
    item.FieldToIncrement = "Seq";
  });
  EXPECT_TRUE(round_trip::Check(clientDb, folder).ok);

  TOrvDbSchemaUpdater updater;
  ASSERT_TRUE(round_trip::Connect(updater, clientDb, folder));
  updater.UpdaterDirectives().ErrorManager = demEnqueueInstructionError;
  // Retried successes leave the answer false; what counts is that no failure is left over.
  updater.dm()->UpdateDb(true);
  ASSERT_FALSE(updater.Errors().Items().empty()) << "the first attempt of the move did not fail";
  for (const auto& error : updater.Errors().Items()) {
    EXPECT_EQ(error->EMessage.find("_ORV_MOVE_MAX"), std::string::npos) << error->EMessage;
  }
  EXPECT_EQ(round_trip::Rows(clientDb, "SELECT Grp, Seq, Name FROM Steps ORDER BY Grp, Seq"),
            (std::vector<std::string>{"1|1|m", "1|2|a", "2|2|b"}));
  // Nothing is left for a check of the schema alone, no work table either.
  const round_trip::CheckResult again = round_trip::Check(clientDb, schemaOnly, [](TOrvDbSchemaUpdater& u) {
    u.UpdaterDirectives().DeletePolicy.Enabled = beYes;
  });
  EXPECT_EQ(round_trip::Texts(again.instructions), std::vector<std::string>{});
}

// Regression: a work table left in an Access client by an earlier update stopped the next move (3010).
TEST(CopyDataRetry, AWorkTableLeftOnAccessIsDroppedFirst) {
  const std::string create = "CREATE TABLE Steps (Grp integer NOT NULL, Seq integer NOT NULL, Name varchar(10) NULL, "
                             "CONSTRAINT PK_Steps PRIMARY KEY (Grp, Seq))";
  const std::string masterDb =
      round_trip::CreateDatabase(Server::Access, "LeftoverM", {create, "INSERT INTO Steps VALUES (1, 1, 'm')"});
  const std::string schemaOnly = round_trip::NewFolder("LeftoverSchema");
  round_trip::Produce(masterDb, schemaOnly);
  // With tables to delete or without, the leftover (holding a stale number) is dropped, and only once.
  for (const TBooleanExtended deleteTables : {beYes, beNo}) {
    const std::string name = std::string("Leftover") + (deleteTables == beYes ? "Deleting" : "Keeping");
    SCOPED_TRACE(name);
    const std::string clientDb = round_trip::CreateDatabase(
        Server::Access, name,
        {create, "INSERT INTO Steps VALUES (1, 1, 'a')", "SELECT 7 AS ORV_NEXT INTO _ORV_MOVE_MAX FROM Steps"});
    const std::string folder = round_trip::NewFolder(name);
    round_trip::Produce(masterDb, folder, [deleteTables](TOrvDbSchemaProducer& producer) {
      TCopyDataElem& item = producer.CopyData.Add();
      item.TableName = "Steps";
      item.Treatment = cdtMove;
      item.FieldToIncrement = "Seq";
      producer.UpdaterDirectives().DeletePolicy.Enabled = deleteTables;
    });
    const round_trip::CheckResult check = round_trip::Check(clientDb, folder);
    EXPECT_TRUE(check.ok);
    EXPECT_EQ(check.blocks, std::vector<std::string>{});
    round_trip::Execute(clientDb, folder);
    EXPECT_EQ(round_trip::Rows(clientDb, "SELECT Grp, Seq, Name FROM Steps ORDER BY Grp, Seq"),
              (std::vector<std::string>{"1|1|m", "1|2|a"}));
    const round_trip::CheckResult again = round_trip::Check(clientDb, schemaOnly, [](TOrvDbSchemaUpdater& u) {
      u.UpdaterDirectives().DeletePolicy.Enabled = beYes;
    });
    EXPECT_EQ(round_trip::Texts(again.instructions), std::vector<std::string>{});
  }
}

}  // namespace
