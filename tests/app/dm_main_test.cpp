// The application's data module and the program Schemion32: the folders and configuration made at
// start, the command line of an unattended run with its exit status and log, settings operations,
// and packages built, tested and run on the embedded servers as a user runs them.
#include <gtest/gtest.h>
#include <sys/file.h>
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "AppTestSupport.h"
#include "app/dmMain.h"
#include "engine/uDm.h"
#include "platform/ui/DialogService.h"

namespace {

namespace fs = std::filesystem;
using round_trip::Server;
using Lines = std::vector<std::string>;
using app_test::FileLines;

std::string AppFolder(const std::string& name) { return app_test::AppFolder("app-" + name); }

// The log lines without their date and time: what follows the first " -----".
Lines Undated(Lines lines) {
  for (std::string& line : lines) {
    const size_t dashes = line.find(" -----");
    if (dashes != std::string::npos) line = line.substr(dashes + 1);
  }
  return lines;
}

// Runs a copy of Schemion32 placed in `folder` with the parameters; its exit status.
int RunProgram(const std::string& folder, const Lines& params) {
  Lines args{app_test::PlaceProgram(folder)};
  args.insert(args.end(), params.begin(), params.end());
  return app_test::RunCommand(args);
}


}  // namespace

TEST(AppDataModule, StartMakesTheFoldersAndHoldsTheStoredConfiguration) {
  const std::string app = AppFolder("start") + "/deep/er";  // parents missing
  fs::create_directories(app + "/SchmSQL");
  std::ofstream(app + "/SchmSQL/kept.txt") << "x";
  TdmMain dm(app);
  for (const std::string& folder : {dm.SchemaFolder(), dm.PackagesFolder(), dm.SettingsFolder(), dm.BackupFolder(),
                                    dm.SqlFolder()}) {
    EXPECT_TRUE(fs::is_directory(folder)) << folder;
  }
  EXPECT_TRUE(fs::exists(app + "/SchmSQL/kept.txt"));
  EXPECT_EQ(dm.LogFileName(), app + "/SchemionAppLog.txt");
  EXPECT_EQ(dm.Producer.ProgressInfoKind, pikBoth);
  EXPECT_EQ(dm.Producer.DirSchemas, dm.SchemaFolder());
  EXPECT_EQ(dm.Updater.DirSql, dm.SqlFolder());
  EXPECT_EQ(dm.Updater.DirBackup, dm.BackupFolder());
  const TDeletePolicy& producer = dm.Producer.UpdaterDirectives().DeletePolicy;
  const TDeletePolicy& updater = dm.Updater.UpdaterDirectives().DeletePolicy;
  EXPECT_EQ(producer.Enabled, beYes);
  EXPECT_EQ(producer.DeleteProcedures, beNo);
  EXPECT_EQ(updater.Enabled, beUndefined);
  EXPECT_EQ(updater.DeleteViews, beYes);
  EXPECT_EQ(dm.Updater.UpdaterDirectives().ErrorManager, demEnqueueInstructionError);
  EXPECT_EQ(dm.Updater.UpdaterDirectives().BackupBeforeUpdate, beYes);
  EXPECT_EQ(dm.Updater.ConsoleOptions().width, 600);
  EXPECT_EQ(dm.Updater.ProgressInfoOptions().width(), 470);
  // The error handler logs the message alone.
  TInstruction* none = nullptr;
  bool handled = false, reExecute = false;
  dm.Updater.OnError(nullptr, std::runtime_error("boom"), dbcUpdate, none, handled, reExecute);
  EXPECT_EQ(dm.LogLines().back(), "boom");
  EXPECT_FALSE(handled);
}

TEST(AppDataModule, CommandLinesThatCannotRunSayWhyWithStatusTwo) {
  const std::string app = AppFolder("params");
  struct Case {
    Lines params;
    std::string last;  // the last log line
  } cases[] = {
      {{"upd=x.upd"}, "Unable to continue, Updater need Connection String."},
      {{"CONNECTION=Provider=SQLOLEDB.1;Data|Source=x;Password=secret", "UPD=none.upd"},
       "Unable to continue, Package File not found: \r\n" + app + "/SchmPackages/none.upd"},
      {{"connection=a=b=c", "upd=/nowhere/abs.upd"}, "Unable to continue, Package File not found: \r\n/nowhere/abs.upd"},
      {{"noequals", std::string(1 << 20, 'x'), "\xff\xfe=\x80"}, "Unable to continue, Updater need Connection String."},
      // Regression: a quoted password holding ";" or doubled quotes, and parameters named like a
      // password, were logged in part or whole.
      {{"pwd=secret", "connection=Provider=SQLOLEDB.1;Password=\"a;secret\"\"c\";Data|Source=x", "upd=none.upd",
        "Password=secret"},
       "Unable to continue, Package File not found: \r\n" + app + "/SchmPackages/none.upd"},
  };
  for (const Case& c : cases) {
    TdmMain dm(app);
    EXPECT_EQ(dm.StartUp(c.params), rsNotStarted);
    ASSERT_GE(dm.LogLines().size(), 4u);
    EXPECT_EQ(dm.LogLines()[1], "Mode: Consolle");
    EXPECT_EQ(dm.LogLines().back(), c.last);
    for (const std::string& line : dm.LogLines()) EXPECT_EQ(line.find("secret"), std::string::npos) << line;
  }
  TdmMain dm(app);
  dm.StartUp({"connection=Provider=SQLOLEDB.1;Data|Source=my srv;Password=secret", "upd=a.upd"});
  EXPECT_EQ(dm.LogLines()[2],
            "Parameters: \"connection=Provider=SQLOLEDB.1;Data|Source=my srv;Password=*****\",upd=a.upd");
  // Regression: a one-character password was replaced wherever its letter stood in the line.
  TdmMain shortPassword(app);
  shortPassword.StartUp({"connection=Provider=SQLOLEDB.1;Data|Source=x;Password=o", "pwd=n", "upd=a.upd"});
  EXPECT_EQ(shortPassword.LogLines()[2],
            "Parameters: connection=Provider=SQLOLEDB.1;Data|Source=x;Password=*****,pwd=*****,upd=a.upd");
}

TEST(AppDataModule, TheLogFileHoldsTheLastRunAndSettingsSayWhatTheyDid) {
  const std::string app = AppFolder("log");
  {
    TdmMain dm(app);
    dm.StartUp({"upd=first.upd"});
  }
  {
    TdmMain dm(app);
    dm.StartUp({"upd=second.upd"});
    EXPECT_EQ(dm.LoadSettings(app + "/missing.xml"), "");
    const std::string settings = dm.SettingsFolder() + "Shop.xml";
    EXPECT_EQ(dm.SaveSettings(settings), settings);
    EXPECT_EQ(dm.NewSettings(), dm.SettingsFolder() + "NewProject.xml");
    EXPECT_FALSE(fs::exists(dm.SettingsFolder() + "NewProject.xml"));
    EXPECT_EQ(dm.LoadSettings(settings), settings);
    EXPECT_EQ(dm.Producer.DirSchemas, dm.SchemaFolder());
  }
  const Lines log = FileLines(app + "/SchemionAppLog.txt");
  ASSERT_EQ(log.size(), 12u);
  EXPECT_EQ(Undated(log)[0], "----- START ------ ");
  EXPECT_EQ(log[2], "Parameters: upd=second.upd");
  const std::string settings = app + "/SchmSettings/Shop.xml";
  EXPECT_EQ(Lines(log.begin() + 4, log.end()),
            (Lines{"Unable to load \"" + app + "/missing.xml\"", "Unable to load \"" + app + "/missing.xml\"",
                   "Loaded Settings: \"\"", "Saved Settings: \"" + settings + "\"",
                   "New Settings: \"" + app + "/SchmSettings/NewProject.xml\"", "Load settings: \"" + settings + "\"",
                   "Load settings: \"" + settings + "\"", "Loaded Settings: \"" + settings + "\""}));
}

TEST(AppDataModule, UnattendedRunsUpdateTheClientAndTellTheirStatus) {
  struct Pair {
    Server master, client;
    Lines masterScript, clientScript;
    std::string clientTable;  // the query that reads the client's customers back
  };
  const Pair pairs[] = {{Server::SqlServer, Server::SqlServer, app_test::kShopMaster, app_test::kShopClient, ""},
                        {Server::SqlServer, Server::Asa, app_test::kShopMaster, app_test::kShopAsaClient, ""}};
  int n = 0;
  for (const Pair& pair : pairs) {
    SCOPED_TRACE(std::string(round_trip::ServerName(pair.master)) + " to " + round_trip::ServerName(pair.client));
    const std::string name = "Shop" + std::to_string(++n);
    const std::string master = round_trip::CreateDatabase(pair.master, name, pair.masterScript);
    const std::string client = round_trip::CreateDatabase(pair.client, name + "Client", pair.clientScript);
    const std::string app = AppFolder(name);
    std::string package;
    {
      TdmMain dm(app);
      package = dm.BuildPackage(master);
      EXPECT_EQ(package, app + "/SchmPackages/" + name + ".upd");
      EXPECT_EQ(dm.LogLines().back(), "Built \"" + package + "\"");
    }
    ASSERT_TRUE(fs::is_regular_file(package));
    const Lines params = {"connection=" + client, "upd=" + name + ".upd"};
    // Run as a scheduler runs it with a stale DISPLAY: no display is needed.
    Lines args = app_test::WithDeadDisplay({app_test::PlaceProgram(app)});
    args.insert(args.end(), params.begin(), params.end());
    EXPECT_EQ(app_test::RunCommand(args), rsSucceeded);
    const Lines log = Undated(FileLines(app + "/SchemionAppLog.txt"));
    ASSERT_EQ(log.size(), 7u);
    EXPECT_EQ(log[1], "Mode: Consolle");
    EXPECT_EQ(log[3], "----- Start Updating Package ------");
    EXPECT_EQ(log[4], "BackUp of database in \"" + app + "/SchmBackUp/\"");
    EXPECT_EQ(log[5], "----- Finish Updating Package ------");
    EXPECT_EQ(log[6], "Runned \"" + package + "\"");
    EXPECT_EQ(round_trip::Rows(client, "SELECT CustomerId, Name, City FROM Customers ORDER BY CustomerId"),
              (Lines{"1|Rossi|<null>", "2|O'Brien|<null>"}));
    EXPECT_EQ(round_trip::Rows(client, "SELECT count(*) FROM Orders"), Lines{"0"});
    EXPECT_FALSE(fs::is_empty(app + "/SchmBackUp"));
    // A second run finds nothing to do.
    EXPECT_EQ(RunProgram(app, params), rsSucceeded);
    EXPECT_EQ(round_trip::LoadInstructions(app + "/SchmSQL").size(), 0u);
  }
}

TEST(AppDataModule, TestingAPackageSaysWhatItFoundAndLeavesOnlyItsFiles) {
  const Lines script = {"CREATE TABLE T (id int NOT NULL PRIMARY KEY)"};
  const std::string master = round_trip::CreateDatabase(Server::SqlServer, "Tried", script);
  const std::string client = round_trip::CreateDatabase(Server::SqlServer, "TriedClient", script);
  const std::string app = AppFolder("tried");
  TdmMain dm(app);
  const std::string package = dm.BuildPackage(master);
  ASSERT_FALSE(package.empty());
  std::ofstream(dm.SchemaFolder() + "stale.xml") << "<x/>";
  struct Case {
    std::string connection, package, last;
  } cases[] = {
      {client, app + "/none.upd", "Error: Package file not found: \r\n" + app + "/none.upd"},
      {"", package, "Error: Empty connection string."},
      {client, package, "Tested \"" + package + "\""},
  };
  for (const Case& c : cases) {
    dm.TestPackage(c.connection, c.package);
    EXPECT_EQ(dm.LogLines().back(), c.last);
  }
  const Lines log = Undated(dm.LogLines());
  EXPECT_EQ(Lines(log.end() - 3, log.end() - 1),
            (Lines{"----- Start Testing Package ------", "----- Finish Testing Package ------"}));
  // An earlier package's files are gone: only the tested package's are in the schema folder.
  EXPECT_FALSE(fs::exists(dm.SchemaFolder() + "stale.xml"));
  EXPECT_TRUE(fs::exists(dm.SchemaFolder() + "vsiTables.xml"));
}

TEST(AppDataModule, AFailedUpdateOrFoldersInUseEndWithTheirStatusAndLeaveTheClient) {
  const std::string master = round_trip::CreateDatabase(
      Server::SqlServer, "Refused", {"CREATE TABLE T (id int NOT NULL PRIMARY KEY, s varchar (5) NOT NULL)"});
  // The client's row does not fit the master's column: the server refuses the only instruction.
  const std::string client = round_trip::CreateDatabase(
      Server::SqlServer, "RefusedClient",
      {"CREATE TABLE T (id int NOT NULL PRIMARY KEY, s varchar (20) NOT NULL)", "INSERT INTO T VALUES (1, 'too long')"});
  const std::string app = AppFolder("refused");
  {
    TdmMain dm(app);
    ASSERT_FALSE(dm.BuildPackage(master).empty());
  }
  EXPECT_EQ(RunProgram(app, {"connection=" + client, "upd=Refused.upd"}), rsFailed);
  const Lines log = Undated(FileLines(app + "/SchemionAppLog.txt"));
  // The error handler logged the server's refusal, at the run and at its retry; no BackUp line.
  EXPECT_EQ(Lines(log.begin() + 3, log.end()),
            (Lines{"----- Start Updating Package ------", "String or binary data would be truncated.",
                   "String or binary data would be truncated.",
                   "Error: Error Updating Package, please check Error Manager."}));
  EXPECT_EQ(round_trip::Rows(client, "SELECT id, s FROM T"), Lines{"1|too long"});
  // A refused login keeps its message whole, whatever the password (here one letter of it).
  {
    TdmMain dm(app);
    const std::string wrongLogin = std::string("Provider=SQLOLEDB.1;Initial Catalog=RefusedClient;Data Source=") +
                                   dialect_test::kServer + ";User ID=sa;Password=a";
    EXPECT_EQ(dm.RunPackage(wrongLogin, "Refused.upd", false), rsFailed);
    bool found = false;
    for (const std::string& line : dm.LogLines()) {
      found = found || line.find("Login failed for user 'sa'.") != std::string::npos;
      EXPECT_EQ(line.find("*****i"), std::string::npos) << line;
    }
    EXPECT_TRUE(found);
  }

  // Another run holds the working folders: this one fails at once, says why on the error stream
  // and leaves the other run's log file alone.
  const int fd = ::open((app + "/SchmWorking.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
  const Lines before = FileLines(app + "/SchemionAppLog.txt");
  const std::string refused = "Error: Working folders in use by another run: " + app + "/SchmSchemas/";
  testing::internal::CaptureStderr();
  {
    TdmMain dm(app);
    EXPECT_EQ(dm.RunPackage(client, "Refused.upd", false), rsNotStarted);
    EXPECT_EQ(dm.LogLines().back(), refused);
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(), refused + "\n");
  EXPECT_EQ(FileLines(app + "/SchemionAppLog.txt"), before);
  ::close(fd);
  // Working folders that cannot be written: said so, not taken for another run's.
  fs::remove(app + "/SchmWorking.lock");
  fs::create_directory(app + "/SchmWorking.lock");
  fs::remove_all(app + "/SchmBackUp");
  std::ofstream(app + "/SchmBackUp") << "a file where the folder belongs";
  TdmMain dm(app);
  EXPECT_EQ(dm.RunPackage(client, "Refused.upd", false), rsNotStarted);
  EXPECT_EQ(dm.LogLines().back(), "Error: Cannot write " + app + "/SchmWorking.lock");
  fs::remove(app + "/SchmWorking.lock");
  EXPECT_EQ(dm.RunPackage(client, "Refused.upd", false), rsNotStarted);
  EXPECT_EQ(dm.LogLines().back(), "Error: Cannot write " + app + "/SchmBackUp/");
}

TEST(AppDataModule, AnUnansweredDeleteConfirmationAbortsTheUpdate) {
  const std::string app = AppFolder("confirm");
  TdmMain dm(app);
  std::ofstream(dm.SqlFolder() + "BlockUndoDelete.xml") << "<xml/>";
  // Nobody sees the screen and no answer is scripted.
  EXPECT_FALSE(dm.Updater.ConfirmDelete());
  EXPECT_TRUE(dm.Updater.DeleteConfirmationAborted());
}
