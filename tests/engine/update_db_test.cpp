// The update executor on the three embedded servers: order and transactions of the list, the
// error-manager modes, statement atomicity, undo-delete blocks and the delete confirmation, the
// backup, bad list files, and a list from a real check.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "UpdateDbSupport.h"

namespace {

using namespace update_test;
namespace fs = std::filesystem;

std::string Name(const char* test, Server server) { return std::string(test) + round_trip::ServerName(server); }

std::string Sql(const std::string& text, const ServerSql& s) {
  return text::ReplaceAll(text, "INT", s.integer);
}

// The user tables of the database.
std::vector<std::string> Tables(const std::string& database) {
  std::vector<std::string> tables;
  for (const std::string& line : Snapshot(database)) {
    if (line.rfind("table ", 0) == 0) tables.push_back(line.substr(6));
  }
  return tables;
}

void Exec(const std::string& database, const std::string& sql) {
  ado::TConnection connection(database);
  connection.Open();
  connection.Execute(sql);
}

std::string ErrorOf(const TDbLanguageOptions& texts, int number) {
  return DbFormat(texts.ErrExecuteInstruction, {static_cast<long long>(number)});
}

}  // namespace

// Prepended ids run first, lowest first, each committed on its own; the "beforeupdate" commands
// follow them, inside the transaction of the rest; the progress and console lines name each id.
TEST(UpdateDb, RunsPrependedFirstThenTheRestAfterTheBeforeUpdateCommands) {
  for (const ServerSql& s : kServers) {
    SCOPED_TRACE(round_trip::ServerName(s.server));
    const std::string client = round_trip::CreateDatabase(s.server, Name("Order", s.server), {});
    const std::string folder = round_trip::NewFolder(Name("Order", s.server));
    WriteInstructions(folder, {{2, "INSERT INTO T (a) VALUES (2)"},
                               {0, Sql("CREATE TABLE P (a INT NULL)", s)},
                               {1, Sql("CREATE TABLE T (a INT NULL)", s)},
                               {-1, Sql("CREATE TABLE Q (a INT NULL)", s), 1},
                               {3, Sql("CREATE TABLE Cancelled (a INT NULL)", s), 1}});
    // A cancelled block skips the instructions of the main list, never a prepended one.
    WriteBlocks(folder, {{1, "Q", "ikDropTable", true}});
    WriteText(folder + "/SqlCommands.xml",
              "<Commands><beforeupdate><c>INSERT INTO P (a) SELECT COUNT(*) FROM Q</c></beforeupdate></Commands>");
    auto updater = NewUpdater(client, folder);
    EXPECT_TRUE(updater->dm()->UpdateDb(false)) << testing::PrintToString(updater->ErrorTexts());
    EXPECT_EQ(updater->Lines("L0:"), (std::vector<std::string>{"Execute", "Re-Execute"}));
    EXPECT_EQ(updater->Lines("L1:"), (std::vector<std::string>{"INSTRUCTION n.: -1", "INSTRUCTION n.: 0",
                                                              "INSTRUCTION n.: 1", "INSTRUCTION n.: 2",
                                                              "INSTRUCTION n.: 3"}));
    const std::vector<std::string> console = updater->Lines("C:");
    EXPECT_EQ(console, (std::vector<std::string>{"EXECUTE INSTRUCTION n.: -1", "EXECUTE INSTRUCTION n.: 0",
                                                 "EXECUTE INSTRUCTION n.: 1", "EXECUTE INSTRUCTION n.: 2",
                                                 "EXECUTE INSTRUCTION n.: 3",
                                                 "Update DB " + updater->LanguageOptions().msgDone}));
    EXPECT_EQ(Tables(client), (std::vector<std::string>{"P", "Q", "T"}));
    const std::vector<std::string> info = updater->Lines("I:");
    EXPECT_NE(std::find(info.begin(), info.end(), "EXECUTE INSTR. (2)\r\nINSERT INTO T (a) VALUES (2)"), info.end());
    EXPECT_EQ(round_trip::Rows(client, "SELECT a FROM P"), std::vector<std::string>{"0"});
    EXPECT_EQ(round_trip::Rows(client, "SELECT a FROM T"), std::vector<std::string>{"2"});
    EXPECT_FALSE(updater->dm()->ac.InTransaction());
  }
}

// The three error-manager modes: stop rolls the transaction back, skip and enqueue commit, only
// enqueue retries, and the chain (1 needs 2, 2 needs a later 3) succeeds in the retry passes.
TEST(UpdateDb, ErrorManagerModes) {
  for (const ServerSql& s : kServers) {
    SCOPED_TRACE(round_trip::ServerName(s.server));
    for (TDbErrorManager mode : {demStopOnFirstError, demSkipInstructionError, demEnqueueInstructionError}) {
      SCOPED_TRACE(EnumName(mode));
      const std::string name = Name("Mode", s.server) + std::to_string(mode);
      const std::string client = round_trip::CreateDatabase(s.server, name, {});
      const std::string folder = round_trip::NewFolder(name);
      WriteInstructions(folder, {{-1, Sql("CREATE TABLE Q (x INT NULL)", s)},
                                 {1, "INSERT INTO A (id) VALUES (1)"},
                                 {2, Sql("ALTER TABLE A ADD id INT NULL", s)},
                                 {3, Sql("CREATE TABLE A (x INT NULL)", s)},
                                 {4, Sql("CREATE TABLE C (x INT NULL)", s)}});
      WriteBlocks(folder, {});
      WriteText(folder + "/SqlCommands.xml",
                "<Commands><beforeupdate><c>INSERT INTO Q (x) VALUES (7)</c></beforeupdate></Commands>");
      auto updater = NewUpdater(client, folder, [&](RecordingUpdater& u) { u.UpdaterDirectives().ErrorManager = mode; });
      EXPECT_FALSE(updater->dm()->UpdateDb(false));
      EXPECT_FALSE(updater->dm()->ac.InTransaction());
      const TDbLanguageOptions& texts = updater->LanguageOptions();
      const std::vector<std::string> retried = updater->Lines("L1:RETRY ");
      switch (mode) {
        case demStopOnFirstError:
          // The prepended table stays (committed first); the rest, the command included, is undone.
          EXPECT_EQ(Tables(client), std::vector<std::string>{"Q"});
          EXPECT_EQ(round_trip::Rows(client, "SELECT x FROM Q"), std::vector<std::string>{});
          EXPECT_EQ(updater->Lines("C:EXECUTE INSTRUCTION n.: 2"), std::vector<std::string>{});
          EXPECT_EQ(retried, std::vector<std::string>{});
          EXPECT_EQ(updater->ErrorTexts().size(), 1u);
          break;
        case demSkipInstructionError:
          EXPECT_EQ(Tables(client), (std::vector<std::string>{"A", "C", "Q"}));
          EXPECT_EQ(round_trip::Rows(client, "SELECT * FROM A"), std::vector<std::string>{});
          EXPECT_EQ(retried, std::vector<std::string>{});
          EXPECT_EQ(updater->ErrorTexts().size(), 2u);
          break;
        default:
          EXPECT_EQ(Tables(client), (std::vector<std::string>{"A", "C", "Q"}));
          EXPECT_EQ(round_trip::Rows(client, "SELECT id FROM A"), std::vector<std::string>{"1"});
          EXPECT_EQ(round_trip::Rows(client, "SELECT x FROM Q"), std::vector<std::string>{"7"});
          EXPECT_EQ(retried, (std::vector<std::string>{"INSTRUCTION n.: 1", "INSTRUCTION n.: 2",
                                                       "INSTRUCTION n.: 1"}));
          EXPECT_EQ(updater->Lines("C:RETRY EXECUTE INSTRUCTION n.: "),
                    (std::vector<std::string>{"1", "2", "1"}));
          const std::vector<std::string> info = updater->Lines("I:RETRY EXEC (2)\r\n");
          EXPECT_EQ(info, std::vector<std::string>{Sql("ALTER TABLE A ADD id INT NULL", s)});
          EXPECT_EQ(updater->ErrorTexts().size(), 3u);  // 1 and 2, then 1 in the first pass
          break;
      }
      const TDbErrorElem& first = *updater->Errors().UpdateErrors().front();
      EXPECT_EQ(first.Description, ErrorOf(texts, 1));
      EXPECT_EQ(first.InstrNumber, 1);
      EXPECT_EQ(first.SqlText, "INSERT INTO A (id) VALUES (1)");
    }
  }
}

// A statement that fails part way (an INSERT ... SELECT meeting a duplicate at row 500) leaves
// nothing of itself in a committing mode.
TEST(UpdateDb, AFailedStatementLeavesNothingOfItself) {
  for (const ServerSql& s : kServers) {
    SCOPED_TRACE(round_trip::ServerName(s.server));
    std::vector<std::string> script = {Sql("CREATE TABLE S (id INT NOT NULL)", s), "INSERT INTO S (id) VALUES (1)"};
    for (int n = 1; n < 1024; n *= 2) script.push_back("INSERT INTO S (id) SELECT id + " + std::to_string(n) + " FROM S");
    script.push_back(Sql("CREATE TABLE D (id INT NOT NULL PRIMARY KEY)", s));
    script.push_back("INSERT INTO D (id) VALUES (500)");
    const std::string client = round_trip::CreateDatabase(s.server, Name("Atomic", s.server), script);
    const std::string folder = round_trip::NewFolder(Name("Atomic", s.server));
    WriteList(folder, {"INSERT INTO D (id) SELECT id FROM S", "INSERT INTO D (id) VALUES (2000)"});
    auto updater = NewUpdater(client, folder,
                              [](RecordingUpdater& u) { u.UpdaterDirectives().ErrorManager = demSkipInstructionError; });
    EXPECT_FALSE(updater->dm()->UpdateDb(false));
    EXPECT_EQ(round_trip::Rows(client, "SELECT COUNT(*) FROM S"), std::vector<std::string>{"1024"});
    EXPECT_EQ(round_trip::Rows(client, "SELECT id FROM D ORDER BY id"), (std::vector<std::string>{"500", "2000"}));
  }
}

// Stop on the first error: a failure at the last of 200 instructions that create, alter and fill
// tables leaves schema, rows and identity counters as they were (on ASA, as its last definition
// left them).
TEST(UpdateDb, AFailureAtTheLastOf200InstructionsLeavesTheClientAsItWas) {
  for (const ServerSql& s : kServers) {
    SCOPED_TRACE(round_trip::ServerName(s.server));
    const std::string client = round_trip::CreateDatabase(
        s.server, Name("Last", s.server),
        {std::string("CREATE TABLE I (") + s.identity + ", s varchar(20) NULL)", "INSERT INTO I (s) VALUES ('a')"});
    const std::vector<std::string> probe = {"INSERT INTO I (s) VALUES ('probe')", "SELECT MAX(id) FROM I"};
    const std::vector<std::string> before = Snapshot(client);
    std::vector<std::string> list;
    for (int t = 0; list.size() < 199; ++t) {
      const std::string table = "N" + std::to_string(t);
      list.push_back(Sql("CREATE TABLE " + table + " (a INT NULL)", s));
      list.push_back(Sql("ALTER TABLE " + table + " ADD b INT NULL", s));
      for (int r = 0; r < 6 && list.size() < 199; ++r) {
        list.push_back("INSERT INTO " + table + " (a, b) VALUES (" + std::to_string(r) + ", 1)");
        list.push_back("INSERT INTO I (s) VALUES ('" + table + "')");
      }
    }
    list.push_back("INSERT INTO Missing (a) VALUES (1)");
    const std::string folder = round_trip::NewFolder(Name("Last", s.server));
    WriteList(folder, list);
    auto updater = NewUpdater(client, folder,
                              [](RecordingUpdater& u) { u.UpdaterDirectives().ErrorManager = demStopOnFirstError; });
    EXPECT_FALSE(updater->dm()->UpdateDb(false));
    EXPECT_EQ(updater->Lines("C:EXECUTE INSTRUCTION n.: 200"), std::vector<std::string>{""});
    updater.reset();
    if (s.server == Server::Asa) {
      // Each definition commits what ran before it: the tables stay, the rows after the last go.
      const std::vector<std::string> tables = Tables(client);
      EXPECT_EQ(std::count(tables.begin(), tables.end(), "N14"), 1);
      EXPECT_EQ(round_trip::Rows(client, "SELECT count(*) FROM N13"), std::vector<std::string>{"6"});
      EXPECT_EQ(round_trip::Rows(client, "SELECT count(*) FROM N14"), std::vector<std::string>{"0"});
      continue;
    }
    EXPECT_EQ(Snapshot(client), before);
    const std::string fresh = round_trip::CreateDatabase(
        s.server, Name("LastRef", s.server),
        {std::string("CREATE TABLE I (") + s.identity + ", s varchar(20) NULL)", "INSERT INTO I (s) VALUES ('a')"});
    EXPECT_EQ(Snapshot(client, probe), Snapshot(fresh, probe));
  }
}

// A list from a real check of each server runs through the executor (with the holder producer of
// the schema folder), and a second check finds nothing left to do.
TEST(UpdateDb, RunsTheListOfARealCheck) {
  for (const ServerSql& s : kServers) {
    SCOPED_TRACE(round_trip::ServerName(s.server));
    const std::vector<std::string> script = {Sql("CREATE TABLE T (id INT NOT NULL PRIMARY KEY, s varchar(20) NULL)", s),
                                             "INSERT INTO T (id, s) VALUES (1, 'a')"};
    std::vector<std::string> masterScript = script;
    masterScript.push_back(Sql("CREATE TABLE T2 (id INT NOT NULL PRIMARY KEY)", s));
    const std::string master = round_trip::CreateDatabase(s.server, Name("RealM", s.server), masterScript);
    const std::string client = round_trip::CreateDatabase(s.server, Name("RealC", s.server), script);
    const std::string folder = round_trip::NewFolder(Name("Real", s.server));
    round_trip::Produce(master, folder);
    const round_trip::CheckResult first = round_trip::Check(client, folder);
    EXPECT_TRUE(first.ok);
    EXPECT_NE(round_trip::Texts(first.instructions), std::vector<std::string>{});
    const std::vector<std::string> errors = round_trip::Update(client, folder);
    EXPECT_EQ(errors, std::vector<std::string>{});
    const round_trip::CheckResult second = round_trip::Check(client, folder);
    EXPECT_TRUE(second.ok);
    EXPECT_EQ(round_trip::Texts(second.instructions), std::vector<std::string>{});
    EXPECT_EQ(round_trip::Rows(client, "SELECT id, s FROM T"), std::vector<std::string>{"1|a"});
  }
}

// A cancelled block is skipped; with ConfirmOnDelete the confirmation is asked: True reloads the
// block file with the marks the window saved, False runs nothing and is no failure.
TEST(UpdateDb, UndoDeleteBlocksAndTheDeleteConfirmation) {
  struct Case {
    const char* name;
    TBooleanExtended confirmOnDelete;
    int answer;  // -1 not asked, 0 False, 1 True after cancelling block 2 in the file
    std::vector<std::string> tables;
  };
  const Case cases[] = {
      {"NoConfirm", beNo, -1, {"A", "C"}},
      {"Confirmed", beYes, 1, {"A", "B", "C"}},
      {"Aborted", beYes, 0, {"A", "B"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string name = std::string("Undo") + c.name;
    const std::string client = round_trip::CreateDatabase(
        Server::SqlServer, name, {"CREATE TABLE A (x int NULL)", "CREATE TABLE B (x int NULL)"});
    const std::string folder = round_trip::NewFolder(name);
    WriteInstructions(folder, {{1, "DROP TABLE A", 1}, {2, "DROP TABLE B", 2}, {3, "CREATE TABLE C (x int NULL)", 0}});
    WriteBlocks(folder, {{1, "A", "ikDropTable", true}, {2, "B", "ikDropTable", false}});
    auto updater = NewUpdater(client, folder, [&](RecordingUpdater& u) {
      u.UpdaterDirectives().DeletePolicy.ConfirmOnDelete = c.confirmOnDelete;
      u.confirm = [&] {
        if (c.answer == 0) return false;
        WriteBlocks(folder, {{1, "A", "ikDropTable", true}, {2, "B", "ikDropTable", true}});
        return true;
      };
    });
    EXPECT_TRUE(updater->dm()->UpdateDb(false));
    EXPECT_EQ(updater->confirmCalls, c.answer < 0 ? 0 : 1);
    EXPECT_EQ(Tables(client), c.tables);
  }
}

// The four event names are four events (case counted), found under the document element past a
// declaration and a comment; a run without the file runs no command, not an earlier run's.
TEST(UpdateDb, UserCommandEventsAndAMissingCommandFile) {
  const std::string client = round_trip::CreateDatabase(Server::SqlServer, "Events", {"CREATE TABLE L (s varchar(20) NULL)"});
  const std::string folder = round_trip::NewFolder("Events");
  WriteList(folder, {"INSERT INTO L (s) VALUES ('list')"});
  std::string commands = "<?xml version=\"1.0\"?>\n<!-- user commands -->\n<Commands>";
  for (const char* event : {"BeforeUpdate", "beforeupdate", "afterupdate", "AfterUpdate"}) {
    commands += std::string("<") + event + "><c>INSERT INTO L (s) VALUES ('" + event + "')</c></" + event + ">";
  }
  WriteText(folder + "/SqlCommands.xml", commands + "</Commands>");
  auto updater = NewUpdater(client, folder);
  ASSERT_TRUE(updater->dm()->UpdateDb(false));
  EXPECT_TRUE(updater->dm()->RunUserEvent("AfterUpdate"));
  EXPECT_EQ(round_trip::Rows(client, "SELECT s FROM L"),
            (std::vector<std::string>{"beforeupdate", "list", "afterupdate", "AfterUpdate"}));

  // Regression: a run without SqlCommands.xml ran the commands an earlier run had loaded.
  fs::remove(folder + "/SqlCommands.xml");
  ASSERT_TRUE(updater->dm()->UpdateDb(false));
  EXPECT_TRUE(updater->dm()->RunUserEvent("AfterUpdate"));
  EXPECT_EQ(round_trip::Rows(client, "SELECT COUNT(*) FROM L"), std::vector<std::string>{"5"});
}

// Releases: a command up to a release lower than the database's is skipped; without the
// database's release (no handler, or one answering False) every command runs.
TEST(UpdateDb, UserCommandReleases) {
  struct ReleaseCase {
    const char* text;
    int major, minor;
  };
  for (const ReleaseCase& r : std::vector<ReleaseCase>{{"3.2", 3, 2}, {"3", 3, -1}, {"", -1, -1}, {" 4 ", 4, -1},
                                                       {"x.2", -1, 2}, {"3.x", 3, -1}, {"3.2.1", 3, -1}}) {
    int major = 0, minor = 0;
    Tdm::ParseRelease(r.text, major, minor);
    EXPECT_EQ(std::make_pair(major, minor), std::make_pair(r.major, r.minor)) << r.text;
  }
  struct Case {
    const char* name;
    bool handler;
    bool answer;
    int major, minor;
    std::vector<std::string> run;
  };
  const Case cases[] = {
      {"NoHandler", false, true, 0, 0, {"r2", "none", "r2.4", "r3.1"}},
      {"Release3.0", true, true, 3, 0, {"none", "r3.1"}},
      {"Release2.5", true, true, 2, 5, {"r2", "none", "r3.1"}},
      {"Unknown", true, false, 9, 9, {"r2", "none", "r2.4", "r3.1"}},
  };
  const std::string client = round_trip::CreateDatabase(Server::SqlServer, "Releases", {"CREATE TABLE L (s varchar(20) NULL)"});
  const std::string folder = round_trip::NewFolder("Releases");
  WriteText(folder + "/SqlCommands.xml",
            "<Commands><BeforeUpdate>"
            "<c release='2'>INSERT INTO L (s) VALUES ('r2')</c><c>INSERT INTO L (s) VALUES ('none')</c>"
            "<c release=' 2.4 '>INSERT INTO L (s) VALUES ('r2.4')</c><c release='3.1'>INSERT INTO L (s) VALUES ('r3.1')</c>"
            "<c release='1'>   </c></BeforeUpdate></Commands>");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto updater = NewUpdater(client, folder, [&](RecordingUpdater& u) {
      if (c.handler) {
        u.GetReleaseDb = [&](void*, int& major, int& minor) {
          major = c.major;
          minor = c.minor;
          return c.answer;
        };
      }
    });
    updater->dm()->LoadSqlCommands();
    EXPECT_TRUE(updater->dm()->RunUserEvent("BeforeUpdate"));
    EXPECT_EQ(round_trip::Rows(client, "SELECT s FROM L"), c.run);
    Exec(client, "DELETE FROM L");
  }
}

// A failing command is reported with number 0 and its SQL; the next one still runs, and the
// "afterupdate" commands do not.
TEST(UpdateDb, AFailingUserCommand) {
  const std::string client = round_trip::CreateDatabase(Server::SqlServer, "BadCommand", {"CREATE TABLE L (s varchar(20) NULL)"});
  const std::string folder = round_trip::NewFolder("BadCommand");
  WriteList(folder, {"INSERT INTO L (s) VALUES ('list')"});
  WriteText(folder + "/SqlCommands.xml",
            "<Commands><beforeupdate><c>INSERT INTO Missing (s) VALUES ('x')</c><c>INSERT INTO L (s) VALUES ('next')</c>"
            "</beforeupdate><afterupdate><c>INSERT INTO L (s) VALUES ('after')</c></afterupdate></Commands>");
  auto updater = NewUpdater(client, folder);
  EXPECT_FALSE(updater->dm()->UpdateDb(false));
  ASSERT_EQ(updater->Errors().UpdateErrors().size(), 1u);
  const TDbErrorElem& error = *updater->Errors().UpdateErrors().front();
  EXPECT_EQ(error.Description, ErrorOf(updater->LanguageOptions(), 0));
  EXPECT_EQ(error.SqlText, "INSERT INTO Missing (s) VALUES ('x')");
  EXPECT_EQ(round_trip::Rows(client, "SELECT s FROM L"), (std::vector<std::string>{"next", "list"}));
}

// Missing or unreadable list files: the missing instruction file is reported; a file that is not a
// list raises an error naming it, with nothing run and no transaction left open.
TEST(UpdateDb, BadListFiles) {
  const std::string client = round_trip::CreateDatabase(Server::SqlServer, "BadFiles", {});
  const std::string folder = round_trip::NewFolder("BadFiles");
  {
    auto updater = NewUpdater(client, folder);
    EXPECT_FALSE(updater->dm()->UpdateDb(false));
    const std::string file = folder + "\\instructions.xml";
    EXPECT_EQ(updater->ErrorTexts(),
              std::vector<std::string>{DbFormat(updater->LanguageOptions().MsgNoFile, {file}) + " | "});
    EXPECT_EQ(updater->Errors().UpdateErrors().size(), 1u);
  }
  for (const char* bad : {"instructions.xml", "BlockUndoDelete.xml", "SqlCommands.xml"}) {
    SCOPED_TRACE(bad);
    WriteList(folder, {"CREATE TABLE Made (x int NULL)"});
    WriteText(folder + "/" + bad, "<xml><unclosed>");
    auto updater = NewUpdater(client, folder);
    try {
      updater->dm()->UpdateDb(false);
      ADD_FAILURE() << "no error";
    } catch (const std::exception& e) {
      EXPECT_NE(std::string(e.what()).find(bad), std::string::npos) << e.what();
    }
    EXPECT_FALSE(updater->dm()->ac.InTransaction());
    EXPECT_FALSE(updater->dm()->qInstructions.Active());
    EXPECT_EQ(Tables(client), std::vector<std::string>{});
    fs::remove(folder + "/SqlCommands.xml");
  }
}
