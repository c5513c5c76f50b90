// The move on Access, whose work-table statements only make sense together: retried whole after a
// first attempt fails, and not stopped by a work table an earlier update left behind.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RoundTrip.h"

namespace {

using round_trip::Server;

const std::string kCreate =
    "CREATE TABLE Steps (Grp integer NOT NULL, Seq integer NOT NULL, Name varchar(10) NULL, "
    "CONSTRAINT PK_Steps PRIMARY KEY (Grp, Seq))";
const std::string kSelect = "SELECT Grp, Seq, Name FROM Steps ORDER BY Grp, Seq";

// The master's one row, (1, 1, 'm'), and a schema folder of the master alone.
std::string StepsMaster(const std::string& name, const std::string& schemaOnly) {
  const std::string masterDb =
      round_trip::CreateDatabase(Server::Access, name, {kCreate, "INSERT INTO Steps VALUES (1, 1, 'm')"});
  round_trip::Produce(masterDb, schemaOnly);
  return masterDb;
}

void MoveSteps(TOrvDbSchemaProducer& producer) {
  TCopyDataElem& item = producer.CopyData.Add();
  item.TableName = "Steps";
  item.Treatment = cdtMove;
  item.FieldToIncrement = "Seq";
}

// A check of the schema alone, deleting what the master lacks, finds nothing: no work table either.
void NothingLeft(const std::string& clientDb, const std::string& schemaOnly) {
  const round_trip::CheckResult again = round_trip::Check(clientDb, schemaOnly, [](TOrvDbSchemaUpdater& u) {
    u.UpdaterDirectives().DeletePolicy.Enabled = beYes;
  });
  EXPECT_EQ(round_trip::Texts(again.instructions), std::vector<std::string>{});
}

// Regression: a failed move UPDATE on Access was retried alone after its work table was dropped (3078).
TEST(CopyDataRetry, AMoveOnAccessIsRetriedWithItsWorkTable) {
  const std::string schemaOnly = round_trip::NewFolder("MoveRetrySchema");
  const std::string masterDb = StepsMaster("MoveRetryM", schemaOnly);
  // The client's own unique index on Seq refuses the moved row's next number (2) until the
  // indexes phase, after the copy, drops it: the first attempt of the move fails.
  const std::string clientDb = round_trip::CreateDatabase(
      Server::Access, "MoveRetryC",
      {kCreate, "CREATE UNIQUE INDEX UX_Seq ON Steps (Seq)", "INSERT INTO Steps VALUES (1, 1, 'a')",
       "INSERT INTO Steps VALUES (2, 2, 'b')"});
  const std::string folder = round_trip::NewFolder("MoveRetry");
  round_trip::Produce(masterDb, folder, MoveSteps);
  EXPECT_TRUE(round_trip::Check(clientDb, folder).ok);

  TOrvDbSchemaUpdater updater;
  ASSERT_TRUE(round_trip::Connect(updater, clientDb, folder));
  updater.UpdaterDirectives().ErrorManager = demEnqueueInstructionError;
  // Retried successes leave the answer false. Listed are the first attempts of the UPDATE and of
  // the INSERT after it, once each: every retry succeeded.
  updater.dm()->UpdateDb(true);
  std::vector<std::string> failed;
  for (const auto& error : updater.Errors().Items()) failed.push_back(error->SqlText.substr(0, 6));
  EXPECT_EQ(failed, (std::vector<std::string>{"UPDATE", "INSERT"}));
  EXPECT_EQ(round_trip::Rows(clientDb, kSelect), (std::vector<std::string>{"1|1|m", "1|2|a", "2|2|b"}));
  NothingLeft(clientDb, schemaOnly);
}

// Regression: a work table left in an Access client by an earlier update stopped the next move (3010).
TEST(CopyDataRetry, AWorkTableLeftOnAccessIsDroppedFirst) {
  const std::string schemaOnly = round_trip::NewFolder("LeftoverSchema");
  const std::string masterDb = StepsMaster("LeftoverM", schemaOnly);
  // With tables to delete or without, the leftover (holding a stale number) is dropped, and only once.
  for (const TBooleanExtended deleteTables : {beYes, beNo}) {
    const std::string name = std::string("Leftover") + (deleteTables == beYes ? "Deleting" : "Keeping");
    SCOPED_TRACE(name);
    const std::string clientDb = round_trip::CreateDatabase(
        Server::Access, name,
        {kCreate, "INSERT INTO Steps VALUES (1, 1, 'a')", "SELECT 7 AS ORV_NEXT INTO _ORV_MOVE_MAX FROM Steps"});
    const std::string folder = round_trip::NewFolder(name);
    round_trip::Produce(masterDb, folder, [deleteTables](TOrvDbSchemaProducer& producer) {
      MoveSteps(producer);
      producer.UpdaterDirectives().DeletePolicy.Enabled = deleteTables;
    });
    const round_trip::CheckResult check = round_trip::Check(clientDb, folder);
    EXPECT_TRUE(check.ok);
    EXPECT_EQ(check.blocks, std::vector<std::string>{});
    round_trip::Execute(clientDb, folder);
    EXPECT_EQ(round_trip::Rows(clientDb, kSelect), (std::vector<std::string>{"1|1|m", "1|2|a"}));
    NothingLeft(clientDb, schemaOnly);
  }
}

}  // namespace
