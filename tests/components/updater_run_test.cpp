// The updater's runs on the embedded servers: a missing database (reported, or created through
// BeforeCreateDatabase), a failed connection, the phase events in order and their failures, the
// run modes and the error list they clear, the windows of a run, and the delete confirmation.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <pugixml.hpp>
#include <stdexcept>
#include <string>
#include <vector>

#include "../engine/RoundTrip.h"
#include "WindowTestSupport.h"
#include "common/Paths.h"
#include "components/ComponentError.h"
#include "components/DbSchemaUpdater.h"
#include "components/uConsole.h"
#include "components/uDeleteObjects.h"
#include "components/uErrorManager.h"
#include "components/uProgressInfo.h"
#include "engine/uDm.h"

namespace fs = std::filesystem;
using round_trip::Server;

namespace {

const std::vector<std::string> kMaster = {
    "CREATE TABLE A (id int NOT NULL PRIMARY KEY, s varchar (20) NULL)",
    "CREATE TABLE B (id int NOT NULL, n int NULL)"};

// The schema folder of a SQL Server master of two tables, extracted once per program.
const std::string& SchemaFolder() {
  static std::string folder;
  if (folder.empty()) {
    folder = round_trip::NewFolder("updater-run");
    round_trip::Produce(round_trip::CreateDatabase(Server::SqlServer, "UpdRunMaster", kMaster), folder);
  }
  return folder;
}

// An initialised updater on the schema folder, its instructions in a folder of its own.
std::unique_ptr<TOrvDbSchemaUpdater> NewUpdater(const std::string& name) {
  auto updater = std::make_unique<TOrvDbSchemaUpdater>();
  updater->DirSchemas = SchemaFolder();
  updater->DirSql = round_trip::NewFolder(name);
  updater->DirBackup = updater->DirSql;
  EXPECT_TRUE(updater->Initialize());
  return updater;
}

std::vector<std::string> Errors(const TOrvDbSchemaUpdater& updater) {
  std::vector<std::string> errors;
  for (const auto& e : updater.Errors().Items()) {
    errors.push_back(EnumName(e->Context) + " | " + e->Description + " | " + e->EMessage);
  }
  return errors;
}

std::vector<std::string> TableNames(const std::string& database) {
  return round_trip::Rows(database, "SELECT name FROM sysobjects WHERE xtype = 'U' ORDER BY name");
}

}  // namespace

TEST(UpdaterRun, AMissingDatabaseIsReportedUnlessCreated) {
  const std::string missing = dialect_test::ConnectionStringFor("UpdRunMissing");
  auto updater = NewUpdater("missing");
  bool checked = false;
  updater->BeforeCheckDb = [&](void*) { checked = true; };
  EXPECT_FALSE(updater->CheckDb(missing));
  EXPECT_EQ(Errors(*updater), std::vector<std::string>{"dbcCheckDb | Database does not exists | "});
  EXPECT_FALSE(checked);

  // The handler gets the name, "." and ".", user and password; stopping it gives the same error.
  updater->AutoCreateDatabase = true;
  std::vector<std::string> asked;
  updater->BeforeCreateDatabase = [&](void*, const std::string& aName, std::string& aData, std::string& aLog,
                                      std::string& aUser, std::string& aPassword, bool& aCanContinue) {
    asked = {aName, aData, aLog, aUser, aPassword};
    aCanContinue = false;
  };
  {
    ado::TConnection master(dialect_test::ConnectionStringFor("master"));
    master.Open();
    master.Execute("EXEC sp_addlogin 'updrun', 'pw'");
  }
  EXPECT_FALSE(updater->CheckDb(missing + ";User ID=updrun;Password=pw"));
  EXPECT_EQ(asked, (std::vector<std::string>{"UpdRunMissing", ".", ".", "updrun", "pw"}));
  EXPECT_EQ(Errors(*updater), std::vector<std::string>{"dbcCheckDb | Database does not exists | "});
  EXPECT_FALSE(checked);

  // A creation that fails (the handler names a login the server refuses).
  updater->BeforeCreateDatabase = [&](void*, const std::string&, std::string&, std::string&, std::string& aUser,
                                      std::string& aPassword, bool&) {
    aUser = "nobody";
    aPassword = "x";
  };
  EXPECT_FALSE(updater->CheckDb(missing));
  EXPECT_EQ(Errors(*updater), std::vector<std::string>{"dbcCheckDb | Unable to Create Database! | "});
  EXPECT_FALSE(updater->DatabaseCreated);
}

// Regression: DatabaseCreated stayed True after the run that created the database, so every later
// run created every master table again and compared and deleted nothing.
TEST(UpdaterRun, ACreatedDatabaseGetsEveryTableAndLaterRunsCompare) {
  const std::string created = dialect_test::ConnectionStringFor("UpdRunCreated");
  const std::string dataFolder = round_trip::NewFolder("created-data");
  auto updater = NewUpdater("created");
  updater->AutoCreateDatabase = true;
  updater->BeforeCreateDatabase = [&](void*, const std::string&, std::string& aData, std::string& aLog,
                                      std::string&, std::string&, bool&) {
    aData = dataFolder;
    aLog = dataFolder;
  };
  ASSERT_TRUE(updater->CheckDb(created)) << testing::PrintToString(Errors(*updater));
  EXPECT_TRUE(updater->DatabaseCreated);
  // The files go where the handler said.
  EXPECT_EQ(round_trip::Rows(created, "SELECT filename FROM sysfiles ORDER BY fileid"),
            (std::vector<std::string>{dataFolder + "\\UpdRunCreated_DATA.MDF",
                                      dataFolder + "\\UpdRunCreated_Log.LDF"}));
  EXPECT_EQ(TableNames(created), std::vector<std::string>{});  // a check changes nothing
  // Every master table is created; nothing is compared or dropped.
  const std::vector<std::string> first = round_trip::Texts(round_trip::LoadInstructions(updater->DirSql));
  EXPECT_EQ(std::count_if(first.begin(), first.end(), [](const std::string& s) { return s.starts_with("CREATE TABLE"); }),
            2) << testing::PrintToString(first);
  for (const std::string& sql : first) EXPECT_EQ(sql.find("DROP"), std::string::npos) << sql;

  // A second run on the database: it exists now, and it is compared as any other.
  round_trip::Execute(created, updater->DirSql);
  ASSERT_TRUE(updater->CheckDb(created));
  EXPECT_FALSE(updater->DatabaseCreated);
  EXPECT_EQ(TableNames(created), (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(round_trip::Texts(round_trip::LoadInstructions(updater->DirSql)), std::vector<std::string>{});
}

TEST(UpdaterRun, AccessAndAsaDatabasesAreNeverCreatedOver) {
  // Access: its existence test is always true, so a missing file is a failed connection, and the
  // connection string in the error keeps its password masked.
  const std::string mdb = round_trip::WorkFolder() + "/NoSuch.mdb";
  const std::string access = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + mdb + ";Password=secret";
  auto updater = NewUpdater("never-created");
  updater->AutoCreateDatabase = true;
  EXPECT_FALSE(updater->CheckDb(access));
  EXPECT_FALSE(fs::exists(mdb));
  ASSERT_EQ(updater->Errors().Count(), 1);
  const TDbErrorElem& error = *updater->Errors().Items()[0];
  EXPECT_EQ(error.Description, updater->LanguageOptions().ErrConnectDb);
  EXPECT_NE(error.EMessage.find("Could not find file"), std::string::npos) << error.EMessage;
  // Regression: the connection string went into the error with its password.
  EXPECT_EQ(error.SqlText.find("secret"), std::string::npos);
  EXPECT_NE(error.SqlText.find("Data Source=" + mdb), std::string::npos) << error.SqlText;

  // Adaptive Server Anywhere. Regression: a database that refused the login read as missing and
  // its creation was tried; the refusal is reported with the server's text, nothing created.
  const std::string asa = round_trip::CreateDatabase(Server::Asa, "UpdRunAsa",
                                                     {"CREATE TABLE K (id integer NOT NULL)", "INSERT INTO K VALUES (7)"});
  bool creationAsked = false;
  updater->BeforeCreateDatabase = [&](void*, const std::string&, std::string&, std::string&, std::string&,
                                      std::string&, bool& aCanContinue) {
    creationAsked = true;
    aCanContinue = false;
  };
  EXPECT_FALSE(updater->CheckDb(asa + ";User ID=DBA;Password=wrong"));
  EXPECT_FALSE(creationAsked);
  EXPECT_EQ(Errors(*updater), std::vector<std::string>{"dbcCheckDb | " + updater->LanguageOptions().ErrConnectDb +
                                                       " | Invalid user ID or password"});
  EXPECT_EQ(round_trip::Rows(asa, "SELECT id FROM K"), std::vector<std::string>{"7"});
  // A database the server does not have still reads as missing.
  EXPECT_FALSE(updater->CheckDb(std::string("Provider=ASAProv.90;Eng=") + round_trip::kAsaEngine + ";dbn=UpdRunNoSuch"));
  EXPECT_TRUE(creationAsked);
  EXPECT_EQ(Errors(*updater), std::vector<std::string>{"dbcCheckDb | Database does not exists | "});
}

TEST(UpdaterRun, PhaseEventsInOrderAndTheirFailures) {
  const std::string client = round_trip::CreateDatabase(Server::SqlServer, "UpdRunEvents", {});
  std::vector<std::string> log;
  std::string failing;
  auto updater = NewUpdater("events");
  auto event = [&](const std::string& name) {
    return [&, name](void*) {
      log.push_back(name);
      if (name == failing) throw std::runtime_error(name + " failed");
    };
  };
  updater->BeforeCheckDb = event("BeforeCheckDb");
  updater->AfterCheckDb = event("AfterCheckDb");
  updater->BeforeUpdate = event("BeforeUpdate");
  updater->AfterUpdate = event("AfterUpdate");
  const TDbLanguageOptions& texts = updater->LanguageOptions();
  struct Case {
    std::string failing;
    std::vector<std::string> fired;
    std::string context;
    std::string description;
  };
  const Case cases[] = {
      {"BeforeCheckDb", {"BeforeCheckDb"}, "dbcCheckDb", texts.ErrBeforeCheckDb},
      {"AfterCheckDb", {"BeforeCheckDb", "AfterCheckDb"}, "dbcCheckDb", texts.ErrAfterCheckDb},
      // The update does not run, but the errors are enqueued, so AfterUpdate still fires.
      {"BeforeUpdate", {"BeforeCheckDb", "AfterCheckDb", "BeforeUpdate", "AfterUpdate"}, "dbcUpdate",
       texts.ErrBeforeUpdate},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.failing);
    failing = c.failing;
    log.clear();
    fs::remove(updater->DirSql + "/instructions.xml");
    EXPECT_FALSE(updater->CheckAndUpdate(client));
    EXPECT_EQ(log, c.fired);
    EXPECT_EQ(Errors(*updater), std::vector<std::string>{c.context + " | " + c.description + " | " + c.failing + " failed"});
    // The engine's check ran only when BeforeCheckDb let it.
    EXPECT_EQ(fs::exists(updater->DirSql + "/instructions.xml"), c.failing != "BeforeCheckDb");
  }
  // A check alone fires the check events only.
  failing.clear();
  log.clear();
  EXPECT_TRUE(updater->CheckDb(client)) << testing::PrintToString(Errors(*updater));
  EXPECT_EQ(log, (std::vector<std::string>{"BeforeCheckDb", "AfterCheckDb"}));
}

TEST(UpdaterRun, AFailedUpdateEndsWithAfterUpdateUnlessStoppingAtTheFirstError) {
  const std::string client = round_trip::CreateDatabase(Server::SqlServer, "UpdRunStop", {});
  auto updater = NewUpdater("stop");
  std::vector<std::string> log;
  updater->AfterUpdate = [&](void*) { log.push_back("AfterUpdate"); };
  // Mode 1 with no instruction list: the update fails.
  for (TDbErrorManager manager : {demEnqueueInstructionError, demStopOnFirstError}) {
    SCOPED_TRACE(EnumName(manager));
    updater->UpdaterDirectives().ErrorManager = manager;
    log.clear();
    EXPECT_FALSE(updater->Run(client, TOrvDbSchemaUpdater::kModeUpdate));
    EXPECT_EQ(log, manager == demStopOnFirstError ? std::vector<std::string>{}
                                                  : std::vector<std::string>{"AfterUpdate"});
  }
  // An exception in AfterUpdate is its own error.
  updater->UpdaterDirectives().ErrorManager = demEnqueueInstructionError;
  updater->AfterUpdate = [](void*) { throw std::runtime_error("late"); };
  EXPECT_FALSE(updater->Run(client, TOrvDbSchemaUpdater::kModeUpdate));
  const auto errors = Errors(*updater);
  ASSERT_FALSE(errors.empty());
  EXPECT_EQ(errors.back(), "dbcUpdate | " + updater->LanguageOptions().ErrAfterUpdate + " | late");
}

TEST(UpdaterRun, ModesClearTheirErrorsAndWindowsFollowTheRun) {
  const std::string client = round_trip::CreateDatabase(Server::SqlServer, "UpdRunModes", {});
  auto updater = NewUpdater("modes");
  TDbErrors& errors = updater->Errors();
  auto seed = [&] {
    errors.Clear();
    errors.Add(dbcExtractSchema, "extract", "", 0, "", false);
    errors.Add(dbcCheckDb, "check", "", 0, "", false);
    errors.Add(dbcUpdate, "update", "", 0, "", false);
  };
  // Run clears the check errors in every mode; RunPhases clears those of the phases it runs.
  seed();
  EXPECT_TRUE(updater->CheckDb(client));
  EXPECT_EQ(Errors(*updater), (std::vector<std::string>{"dbcExtractSchema | extract | ", "dbcUpdate | update | "}));
  seed();
  updater->RunPhases(TOrvDbSchemaUpdater::kModeUpdate);
  EXPECT_EQ(Errors(*updater)[0], "dbcExtractSchema | extract | ");
  EXPECT_EQ(Errors(*updater)[1], "dbcCheckDb | check | ");
  EXPECT_EQ(updater->Errors().UpdateErrors().size(), updater->Errors().Count() - 2u);

  // The effective progress kind shows the windows during the run; CloseWindows follows the error
  // state at the end (the console stays open on errors, by its default options).
  updater->UpdaterDirectives().ProgressInfoKind = pikBoth;
  bool consoleShown = false, progressShown = false;
  updater->BeforeCheckDb = [&](void*) {
    consoleShown = updater->ConsoleFrm()->isVisible();
    progressShown = updater->ProgressInfoFrm()->isVisible();
  };
  errors.Clear();
  EXPECT_TRUE(updater->CheckDb(client));
  EXPECT_TRUE(consoleShown && progressShown);
  EXPECT_FALSE(updater->ConsoleFrm()->isVisible() || updater->ProgressInfoFrm()->isVisible());
  updater->AfterCheckDb = [](void*) { throw std::runtime_error("x"); };
  EXPECT_FALSE(updater->CheckDb(client));
  EXPECT_TRUE(updater->ConsoleFrm()->isVisible());
  EXPECT_FALSE(updater->ProgressInfoFrm()->isVisible());
  updater->UpdaterDirectives().ProgressInfoKind = pikSilent;
  consoleShown = true;
  updater->AfterCheckDb = nullptr;
  EXPECT_TRUE(updater->CheckDb(client));
  EXPECT_FALSE(consoleShown);

  // Not connected: RunPhases answers False without running a phase.
  updater->SetConnected(false);
  bool ran = false;
  updater->BeforeCheckDb = [&](void*) { ran = true; };
  EXPECT_FALSE(updater->RunPhases(TOrvDbSchemaUpdater::kModeCheck));
  EXPECT_FALSE(ran);
  // A component that was never initialised refuses to run.
  TOrvDbSchemaUpdater idle;
  EXPECT_THROW(idle.CheckDb(client), EComponentError);
}

TEST(UpdaterRun, ConfirmDelete) {
  windowtest::ScriptedDialogs dialogs;
  auto updater = NewUpdater("confirm");
  const std::string file = updater->DirSql + "/BlockUndoDelete.xml";
  try {
    updater->ConfirmDelete();
    ADD_FAILURE() << "no error for a missing file";
  } catch (const EComponentError& e) {
    EXPECT_EQ(std::string(e.what()), "File " + updater->DirSql + "\\BlockUndoDelete.xml does not exists");
  }
  Tdm& dm = *updater->dm();
  dm.RestartInstructionList();
  dm.AddBlockUndoDelete("orders", ikDropTable);
  dm.SaveBlockUndoDeleteFile();
  ASSERT_TRUE(fs::exists(file));
  // OK, Cancel and the close box let the update go on; Abort stops it.
  dialogs->AnswerModal(ui::mrOk);
  EXPECT_TRUE(updater->ConfirmDelete());
  dialogs->AnswerModal(ui::mrCancel);
  EXPECT_TRUE(updater->ConfirmDelete());
  dialogs->AnswerModal([](QDialog& d) {
    d.reject();
    return d.result();
  });
  EXPECT_TRUE(updater->ConfirmDelete());
  dialogs->AnswerModal(ui::mrAbort);
  EXPECT_FALSE(updater->ConfirmDelete());
}

TEST(UpdaterRun, ErrorManagerShowsTheErrorsUntilTheUpdaterGoes) {
  auto visibleWindows = [] {
    std::vector<TErrorManagerFrm*> windows;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (auto* w = dynamic_cast<TErrorManagerFrm*>(widget); w != nullptr && w->isVisible()) windows.push_back(w);
    }
    return windows;
  };
  auto updater = NewUpdater("error-manager");
  updater->Errors().Add(dbcCheckDb, "Database does not exists", "", 0, "", false);
  updater->ShowErrorManager();
  ASSERT_EQ(visibleWindows().size(), 1u);
  EXPECT_EQ(visibleWindows()[0]->qErrors.RecordCount(), 1);
  // Finalizing the updater closes the window, which then frees itself.
  updater->Finalize();
  windowtest::ProcessDeletes();
  EXPECT_EQ(visibleWindows().size(), 0u);
}

TEST(UpdaterRun, UserCommandsAroundTheUpdate) {
  // The "BeforeUpdate" commands run before the update; the "AfterUpdate" commands only after a
  // successful one, although the AfterUpdate event fires after a failed one too.
  const std::string client =
      round_trip::CreateDatabase(Server::SqlServer, "UpdRunCommands", {"CREATE TABLE Log (event varchar (20) NULL)"});
  auto updater = NewUpdater("commands");
  updater->DirSchemas = round_trip::NewFolder("commands-schemas");
  fs::copy(SchemaFolder(), updater->DirSchemas, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  {
    pugi::xml_document doc;
    pugi::xml_node root = doc.append_child("Root");
    root.append_child("BeforeUpdate").append_child("Command").text().set("INSERT INTO Log VALUES ('before')");
    root.append_child("AfterUpdate").append_child("Command").text().set("INSERT INTO Log VALUES ('after')");
    ASSERT_TRUE(doc.save_file((updater->DirSchemas + "/SqlCommands.xml").c_str()));
  }
  bool afterUpdate = false;
  updater->AfterUpdate = [&](void*) { afterUpdate = true; };
  // No instruction list: the update fails.
  EXPECT_FALSE(updater->Run(client, TOrvDbSchemaUpdater::kModeUpdate));
  EXPECT_TRUE(afterUpdate);
  EXPECT_EQ(round_trip::Rows(client, "SELECT event FROM Log"), std::vector<std::string>{"before"});

  {
    ado::TConnection connection(client);
    connection.Open();
    connection.Execute("DELETE FROM Log");
  }
  updater->UpdaterDirectives().DeletePolicy.DeleteTables = beNo;  // Log is the client's own
  EXPECT_TRUE(updater->CheckAndUpdate(client)) << testing::PrintToString(Errors(*updater));
  EXPECT_EQ(round_trip::Rows(client, "SELECT event FROM Log"), (std::vector<std::string>{"before", "after"}));
}

// Regression: an update ended by an exception was reported as "... of the n. %d instruction".
TEST(UpdaterRun, AnUpdateEndedByAnExceptionNamesTheInstructionNumber) {
  const std::string client = round_trip::CreateDatabase(Server::SqlServer, "UpdRunNumber", {});
  auto updater = NewUpdater("number");
  ASSERT_TRUE(updater->CheckDb(client));  // the check's lists, with instructions of our own
  windowtest::WriteInstructions(updater->DirSql + "/instructions.xml",
                                {{1, "CREATE TABLE X (id int NULL)"}, {2, "SELECT * FROM Nowhere"}});
  updater->OnError = [](void*, const std::exception&, TDbContext, TInstruction*&, bool&, bool&) {
    throw std::runtime_error("handler failed");
  };
  EXPECT_FALSE(updater->Run(client, TOrvDbSchemaUpdater::kModeUpdate));
  const auto errors = Errors(*updater);
  ASSERT_FALSE(errors.empty());
  EXPECT_EQ(errors.back(), "dbcUpdate | Error occourred during execution of the n. 2 instruction | handler failed");
}
