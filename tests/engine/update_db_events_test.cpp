// The update executor's instruction events, its error event, and the backup before an update.
#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "UpdateDbSupport.h"

namespace {

using namespace update_test;
namespace fs = std::filesystem;

struct NamedEvent {
  const char* name;
  TDbInstructionEvent TOrvDbSchemaUpdater::*event;
};

#define SCHEMION_EVENT(name) {#name, &TOrvDbSchemaUpdater::name}
const NamedEvent kEvents[] = {
    SCHEMION_EVENT(BeforeCreateDbSpace),      SCHEMION_EVENT(AfterCreateDbSpace),
    SCHEMION_EVENT(BeforeDropDbSpace),        SCHEMION_EVENT(AfterDropDbSpace),
    SCHEMION_EVENT(BeforeCreateUser),         SCHEMION_EVENT(AfterCreateUser),
    SCHEMION_EVENT(BeforeDropUser),           SCHEMION_EVENT(AfterDropUser),
    SCHEMION_EVENT(BeforeCreateTable),        SCHEMION_EVENT(AfterCreateTable),
    SCHEMION_EVENT(BeforeDropTable),          SCHEMION_EVENT(AfterDropTable),
    SCHEMION_EVENT(BeforeAlterTable),         SCHEMION_EVENT(AfterAlterTable),
    SCHEMION_EVENT(BeforeCreateConstraint),   SCHEMION_EVENT(AfterCreateConstraint),
    SCHEMION_EVENT(BeforeDropConstraint),     SCHEMION_EVENT(AfterDropConstraint),
    SCHEMION_EVENT(BeforeCreateIndex),        SCHEMION_EVENT(AfterCreateIndex),
    SCHEMION_EVENT(BeforeDropIndex),          SCHEMION_EVENT(AfterDropIndex),
    SCHEMION_EVENT(BeforeCreateForeignKey),   SCHEMION_EVENT(AfterCreateForeignKey),
    SCHEMION_EVENT(BeforeCreatePrimaryKey),   SCHEMION_EVENT(AfterCreatePrimaryKey),
    SCHEMION_EVENT(BeforeCreateDefaultValue), SCHEMION_EVENT(AfterCreateDefaultValue),
    SCHEMION_EVENT(BeforeUnknownInstruction), SCHEMION_EVENT(AfterUnknownInstruction),
    SCHEMION_EVENT(BeforeExecuteInstruction), SCHEMION_EVENT(AfterExecuteInstruction),
    SCHEMION_EVENT(BeforeDropField),          SCHEMION_EVENT(AfterDropField),
};
#undef SCHEMION_EVENT

// Every event records "name number kind object" and checks its Sender; `act` may then change the
// flag or raise for one event.
void RecordEvents(RecordingUpdater& u, std::vector<std::string>& fired,
                  const std::function<void(const std::string&, TInstruction&, bool&)>& act = {}) {
  for (const NamedEvent& e : kEvents) {
    const std::string name = e.name;
    u.*e.event = [&u, &fired, act, name](void* sender, TInstruction& instr, bool& flag) {
      EXPECT_EQ(sender, static_cast<void*>(u.dm()));
      fired.push_back(name + " " + std::to_string(instr.Number) + " " + EnumName(instr.Kind) + " " + instr.ObjectName);
      if (act) act(name, instr, flag);
    };
  }
}

std::string NewClient(const char* name) {
  return round_trip::CreateDatabase(Server::SqlServer, name,
                                    {"CREATE TABLE T (a int NOT NULL, b int NULL)", "CREATE TABLE C (a int NOT NULL)"});
}

std::vector<std::string> TableRows(const std::string& client, const std::string& table) {
  return round_trip::Rows(client, "SELECT * FROM " + table);
}

}  // namespace

// Each kind of the table fires its own pair, every other kind the Unknown pair, between
// BeforeExecuteInstruction and AfterExecuteInstruction, with the classified instruction.
TEST(UpdateDbEvents, EachKindFiresItsPair) {
  struct Case {
    const char* sql;
    const char* pair;
    const char* kind;
    const char* object;
  };
  const Case cases[] = {
      {"ALTER DATABASE ADD FILEGROUP ds2", "CreateDbSpace", "ikCreateDbSpace", ""},
      {"ALTER DATABASE DROP FILEGROUP ds2", "DropDbSpace", "ikDropDbSpace", ""},
      {"sp_grantDbAccess 'lg', 'us'", "CreateUser", "ikCreateUser", ""},
      {"sp_revokeDbAccess 'us'", "DropUser", "ikDropUser", ""},
      {"CREATE TABLE N (a int NULL)", "CreateTable", "ikCreateTable", "N"},
      {"ALTER TABLE T ADD c int NULL", "AlterTable", "ikAlterTable", "T"},
      {"ALTER TABLE T DROP COLUMN c", "DropField", "ikDropField", "T"},
      {"ALTER TABLE T ADD CONSTRAINT UQ_T UNIQUE NONCLUSTERED (a)", "CreateConstraint", "ikCreateConstraint", "T"},
      {"ALTER TABLE T DROP CONSTRAINT UQ_T", "DropConstraint", "ikDropConstraint", "T"},
      {"CREATE INDEX IX_T ON T (b)", "CreateIndex", "ikCreateIndex", "T"},
      {"DROP INDEX T.IX_T", "DropIndex", "ikDropIndex", "IX_T"},
      {"ALTER TABLE T ADD CONSTRAINT PK_T PRIMARY KEY (a)", "CreatePrimaryKey", "ikCreatePrimaryKey", "T"},
      {"ALTER TABLE C ADD CONSTRAINT FK_C_T FOREIGN KEY (a) REFERENCES T (a)", "CreateForeignKey",
       "ikCreateForeignKey", "C"},
      {"ALTER TABLE T ADD CONSTRAINT DF_T_b DEFAULT (0) FOR b", "CreateDefaultValue", "ikCreateDefaultValue", "T"},
      {"DROP TABLE N", "DropTable", "ikDropTable", "N"},
      {"UPDATE T SET b = 1", "UnknownInstruction", "ikUpdateTable", "T"},
      {"INSERT INTO T (a) VALUES (1)", "UnknownInstruction", "ikUnknown", ""},
  };
  const std::string client = NewClient("Kinds");
  const std::string folder = round_trip::NewFolder("Kinds");
  std::vector<std::string> list;
  for (const Case& c : cases) list.push_back(c.sql);
  WriteList(folder, list);
  std::vector<std::string> fired;
  auto updater = NewUpdater(client, folder, [&](RecordingUpdater& u) {
    RecordEvents(u, fired);
    // What the stand-in server does not know (file groups, users) counts as done.
    u.OnError = [](void*, const std::exception&, TDbContext, TInstruction*&, bool& handled, bool&) { handled = true; };
  });
  EXPECT_TRUE(updater->dm()->UpdateDb(false));
  std::vector<std::string> expected;
  int number = 0;
  for (const Case& c : cases) {
    const std::string tail = " " + std::to_string(++number) + " " + c.kind + " " + c.object;
    for (const std::string& name : {std::string("BeforeExecuteInstruction"), std::string("Before") + c.pair,
                                    std::string("After") + c.pair, std::string("AfterExecuteInstruction")}) {
      expected.push_back(name + tail);
    }
  }
  EXPECT_EQ(fired, expected);
}

// The flags: BeforeExecuteInstruction's skip runs neither the kind's Before event nor the
// statement, the After events still fire and the instruction succeeds; a kind's After event
// setting its flag suppresses AfterExecuteInstruction; an event that raises fails its
// instruction with the generic texts, in the check context.
TEST(UpdateDbEvents, FlagsAndRaisingEvents) {
  const std::string client = NewClient("Flags");
  const std::string folder = round_trip::NewFolder("Flags");
  WriteList(folder, {"CREATE TABLE Skipped (a int NULL)", "CREATE TABLE Flagged (a int NULL)",
                     "CREATE TABLE Raised (a int NULL)", "ALTER TABLE T ADD late int NULL", "INSERT INTO T (a) VALUES (5)"});
  std::vector<std::string> fired;
  auto updater = NewUpdater(client, folder, [&](RecordingUpdater& u) {
    u.UpdaterDirectives().ErrorManager = demSkipInstructionError;
    RecordEvents(u, fired, [](const std::string& name, TInstruction& instr, bool& flag) {
      if (name == "BeforeExecuteInstruction" && instr.Number == 1) flag = true;
      if (name == "AfterCreateTable" && instr.Number == 2) flag = true;
      if (name == "BeforeCreateTable" && instr.Number == 3) throw std::runtime_error("before refused");
      if (name == "AfterAlterTable") throw std::runtime_error("after refused");
    });
  });
  EXPECT_FALSE(updater->dm()->UpdateDb(false));
  EXPECT_EQ(fired, (std::vector<std::string>{
                       "BeforeExecuteInstruction 1 ikCreateTable Skipped", "AfterCreateTable 1 ikCreateTable Skipped",
                       "AfterExecuteInstruction 1 ikCreateTable Skipped",
                       "BeforeExecuteInstruction 2 ikCreateTable Flagged", "BeforeCreateTable 2 ikCreateTable Flagged",
                       "AfterCreateTable 2 ikCreateTable Flagged",
                       "BeforeExecuteInstruction 3 ikCreateTable Raised", "BeforeCreateTable 3 ikCreateTable Raised",
                       "BeforeExecuteInstruction 4 ikAlterTable T", "BeforeAlterTable 4 ikAlterTable T",
                       "AfterAlterTable 4 ikAlterTable T",
                       "BeforeExecuteInstruction 5 ikUnknown ", "BeforeUnknownInstruction 5 ikUnknown ",
                       "AfterUnknownInstruction 5 ikUnknown ", "AfterExecuteInstruction 5 ikUnknown "}));
  const TDbLanguageOptions& texts = updater->LanguageOptions();
  EXPECT_EQ(updater->ErrorTexts(), (std::vector<std::string>{texts.ErrGenericBeforeUpdate + " | before refused",
                                                             texts.ErrGenericAfterUpdate + " | after refused"}));
  EXPECT_EQ(updater->Errors().CheckDbErrors().size(), 2u);
  EXPECT_EQ(round_trip::Rows(client, "SELECT a FROM T"), std::vector<std::string>{"5"});
  const std::vector<std::string> tables = Snapshot(client);
  EXPECT_EQ(std::count(tables.begin(), tables.end(), "table Skipped"), 0);
  EXPECT_EQ(std::count(tables.begin(), tables.end(), "table Flagged"), 1);
  EXPECT_EQ(std::count(tables.begin(), tables.end(), "table Raised"), 0);
}

// OnError: handled counts as success and is logged so; reExecute runs the SQL as the handler
// changed it, once; a second failure is reported unhandled.
TEST(UpdateDbEvents, TheErrorEvent) {
  const std::string client = NewClient("OnError");
  const std::string folder = round_trip::NewFolder("OnError");
  WriteList(folder, {"INSERT INTO Missing (a) VALUES (1)", "INSERT INTO Nowhere (a) VALUES (2)",
                     "INSERT INTO Gone (a) VALUES (3)"});
  std::vector<std::string> calls;
  auto updater = NewUpdater(client, folder, [&](RecordingUpdater& u) {
    u.UpdaterDirectives().ErrorManager = demSkipInstructionError;
    u.OnError = [&](void* sender, const std::exception&, TDbContext context, TInstruction*& instr, bool& handled,
                    bool& reExecute) {
      EXPECT_EQ(sender, static_cast<void*>(u.dm()));
      EXPECT_EQ(context, dbcUpdate);
      calls.push_back(std::to_string(instr->Number));
      if (instr->Number == 1) handled = true;
      if (instr->Number == 2) instr->Sql = "INSERT INTO T (a) VALUES (2)";
      reExecute = instr->Number > 1;
    };
  });
  EXPECT_FALSE(updater->dm()->UpdateDb(false));
  EXPECT_EQ(calls, (std::vector<std::string>{"1", "2", "3"}));
  EXPECT_EQ(round_trip::Rows(client, "SELECT a FROM T"), std::vector<std::string>{"2"});
  std::vector<std::string> handled;
  for (const auto& e : updater->Errors().Items()) handled.push_back(std::to_string(e->InstrNumber) + (e->Handled ? " yes" : " no"));
  EXPECT_EQ(handled, (std::vector<std::string>{"1 yes", "2 no", "3 no", "3 no"}));
  std::vector<std::string> log;
  updater->Errors().WriteLog(log);
  EXPECT_NE(std::find(log.begin(), log.end(), "HANDLED:     YES"), log.end());
}

// The backup before the update exists before the first instruction runs and holds the client as
// it was: restored as a new database (SQL Server, Adaptive Server Anywhere) or opened as the copy
// named after the database file (Access), in a backup folder whose other files stay.
TEST(UpdateDbBackup, TheBackupHoldsThePreUpdateClient) {
  for (const ServerSql& s : kServers) {
    SCOPED_TRACE(round_trip::ServerName(s.server));
    const std::string name = std::string("Backed") + round_trip::ServerName(s.server);
    const std::string client = round_trip::CreateDatabase(
        s.server, name, {text::ReplaceAll("CREATE TABLE T (id INT NOT NULL PRIMARY KEY, s varchar(20) NULL)", "INT", s.integer),
                         "INSERT INTO T (id, s) VALUES (1, 'one')"});
    const std::vector<std::string> before = Snapshot(client);
    const std::string folder = round_trip::NewFolder(name);
    const std::string backups = round_trip::NewFolder(name + "Backups");
    WriteText(backups + "/keep.txt", "kept");
    WriteList(folder, {"INSERT INTO T (id, s) VALUES (2, 'two')",
                       text::ReplaceAll("CREATE TABLE N (a INT NULL)", "INT", s.integer)});
    const std::string file = s.server == Server::Access ? name + ".mdb" : name;
    // A backup of an earlier run is replaced.
    WriteText(backups + "/" + file, "old backup");
    bool existed = false;
    auto updater = NewUpdater(client, folder, [&](RecordingUpdater& u) {
      u.UpdaterDirectives().BackupBeforeUpdate = beYes;
      u.DirBackup = backups;
      u.BeforeExecuteInstruction = [&](void*, TInstruction&, bool&) {
        existed = existed || fs::file_size(backups + "/" + file) > 100;
      };
    });
    EXPECT_TRUE(updater->dm()->UpdateDb(false)) << testing::PrintToString(updater->ErrorTexts());
    EXPECT_TRUE(existed);
    EXPECT_EQ(updater->Lines("C:Backup"),
              std::vector<std::string>{" database " + file + " completed"});
    EXPECT_TRUE(fs::exists(backups + "/keep.txt"));
    EXPECT_NE(Snapshot(client), before);
    std::string copy;
    switch (s.server) {
      case Server::Access:
        copy = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + backups + "/" + file;
        break;
      default: {
        TDatabaseSpecific& dialect = *updater->dm()->CurrentDialect();
        std::string message;
        const std::string server = updater->dm()->GetServerName();
        ASSERT_TRUE(dialect.RestoreAsNewDatabase(name + "Copy", backups + "\\" + file, backups, backups, "", "", server,
                                                 message))
            << message << testing::PrintToString(updater->ErrorTexts());
        copy = s.server == Server::SqlServer ? text::ReplaceAll(client, name, name + "Copy")
                                             : std::string("Provider=ASAProv.90;Eng=") + round_trip::kAsaEngine +
                                                   ";dbn=" + name + "Copy";
      }
    }
    updater.reset();
    EXPECT_EQ(Snapshot(copy), before);
  }
}

// An old backup that cannot be deleted (here a folder in its place) and a failing backup: the
// error is reported, nothing runs, the update answers False.
TEST(UpdateDbBackup, AFailingBackupRunsNothing) {
  const std::string client = NewClient("NoBackup");
  const std::string folder = round_trip::NewFolder("NoBackup");
  WriteList(folder, {"INSERT INTO T (a) VALUES (1)"});
  const std::string blocked = round_trip::NewFolder("NoBackupBlocked");
  fs::create_directories(blocked + "/NoBackup");
  WriteText(blocked + "/NoBackup/inside.txt", "kept");
  struct Case {
    std::string dirBackup;
    std::string description;
    std::string message;
  };
  const TDbLanguageOptions texts;
  const Case cases[] = {
      {blocked, DbFormat(texts.ErrDeleteBackupFile, {blocked + "\\NoBackup"}), "Delete error!"},
      {blocked + "/missing", DbFormat(texts.ErrBackup, {blocked + "/missing\\NoBackup"}), ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dirBackup);
    auto updater = NewUpdater(client, folder, [&](RecordingUpdater& u) {
      u.UpdaterDirectives().BackupBeforeUpdate = beYes;
      u.DirBackup = c.dirBackup;
    });
    EXPECT_FALSE(updater->dm()->UpdateDb(false));
    ASSERT_EQ(updater->Errors().Count(), 1);
    EXPECT_EQ(updater->Errors().Items()[0]->Description, c.description);
    if (!c.message.empty()) {
      EXPECT_EQ(updater->Errors().Items()[0]->EMessage, c.message);
    }
    EXPECT_EQ(updater->Lines("C:EXECUTE"), std::vector<std::string>{});
    EXPECT_EQ(TableRows(client, "T"), std::vector<std::string>{});
  }
  EXPECT_TRUE(fs::exists(blocked + "/NoBackup/inside.txt"));
}
