// The batch-file factory: the line the main window writes, run through `sh` and read back, the
// values reaching the program exactly as typed; saving, loading and running a batch file that
// updates a client unattended.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "../components/WindowTestSupport.h"
#include "../engine/RoundTrip.h"
#include "AppTestSupport.h"
#include "app/BatFactory.h"
#include "app/ufrmMain.h"
#include "common/Paths.h"

namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;
using windowtest::ScriptedDialogs;
using app_test::FileLines;
using app_test::RunCommand;

// Runs the batch file with `sh` inside its folder; the exit status.
int RunBatch(const std::string& file) {
  return RunCommand({"sh", "-c", "cd \"$(dirname \"$0\")\" && sh \"$(basename \"$0\")\"", file});
}

}  // namespace

TEST(BatchFactory, TheLineKeepsThePartsFormAndRoundTripsThroughSh) {
  EXPECT_EQ(batfactory::BatchLine("/opt/app/Schemion32", "Provider=X;Data Source=y", "/pk/Shop.upd", false),
            "/opt/app/Schemion32 \"connection=Provider=X;Data Source=y\" \"upd=/pk/Shop.upd\"");
  EXPECT_EQ(batfactory::BatchLine("/opt/app/Schemion32", "Provider=X;Data Source=y", "/pk/Shop.upd", true),
            "./Schemion32 \"connection=Provider=X;Data Source=y\" \"upd=Shop.upd\"");
  // Regression: the program path was not quoted and nothing in the values escaped, so under `sh`
  // a blank split the path and `"`, `$`, backquote or backslash changed a value or ran a command.
  const std::string folder = windowtest::TestFolder("batch sh") + "/with blank $x";
  fs::create_directories(folder);
  const std::string printer = folder + "/print args";
  std::ofstream(printer) << "#!/bin/sh\nfor a; do printf '%s\\n' \"$a\"; done > \"$(dirname \"$0\")/args.txt\"\n";
  fs::permissions(printer, fs::perms::owner_all);
  const std::string values[] = {"Provider=X;Data Source=my server;Password=p\"q$HOME`id`\\z'w", "plain", ""};
  for (const bool relative : {false, true}) {
    for (const std::string& value : values) {
      SCOPED_TRACE(value);
      const std::string package = folder + "/P a$c.upd";
      const std::string line = batfactory::BatchLine(printer, value, package, relative);
      std::ofstream(folder + "/run.bat") << line << "\n";
      fs::remove(folder + "/args.txt");
      ASSERT_EQ(RunBatch(folder + "/run.bat"), 0) << line;
      const std::string upd = "upd=" + (relative ? std::string("P a$c.upd") : package);
      EXPECT_EQ(FileLines(folder + "/args.txt"), (Lines{"connection=" + value, upd}));
      const batfactory::TBatchValues back = batfactory::ParseBatchText(line);
      EXPECT_EQ(back.connection, value);
      EXPECT_EQ(upd, "upd=" + back.package);
    }
  }
}

TEST(BatchFactory, TheWindowWritesSavesRunsAndLoadsABatchFile) {
  ScriptedDialogs dialogs;
  const std::string master = round_trip::CreateDatabase(
      round_trip::Server::SqlServer, "UiBatShop",
      {"CREATE TABLE Customers (CustomerId int NOT NULL PRIMARY KEY, Name varchar (80) NOT NULL, City varchar (40) NULL)"});
  const std::string client = round_trip::CreateDatabase(
      round_trip::Server::SqlServer, "UiBatShopClient",
      {"CREATE TABLE Customers (CustomerId int NOT NULL PRIMARY KEY, Name varchar (50) NOT NULL)",
       "INSERT INTO Customers VALUES (1, 'Rossi')"});
  const std::string app = windowtest::TestFolder("batch-app");
  fs::copy_file(std::string(SCHEMION_BINARY_DIR) + "/app/Schemion32", app + "/Schemion32");
  TdmMain dm(app);
  const std::string package = dm.BuildPackage(master);
  ASSERT_FALSE(package.empty());
  TfrmMain w(dm);
  w.pcMain->setCurrentWidget(w.tsBAT);
  // A line break typed into the editor does not split the one-line command.
  dialogs->AnswerConnectionString(client + "\r\n");
  QTest::mouseDClick(w.param1, Qt::LeftButton);
  dialogs->AnswerOpenFile(package);
  QTest::mouseDClick(w.param3, Qt::LeftButton);
  EXPECT_EQ(w.param1->text().toStdString(), client);
  EXPECT_EQ(w.param3->text().toStdString(), "UiBatShop.upd");
  auto* create = w.findChild<QLabel*>("lblCreateBat");
  QTest::mouseClick(create, Qt::LeftButton);
  EXPECT_EQ(w.txBAT->toPlainText().toStdString(),
            batfactory::BatchLine(TfrmMain::ExecutableFile(), client, package, false));
  EXPECT_EQ(w.pcBAT->currentWidget(), w.tsBATEditor);
  w.chkRelativePath->setChecked(true);
  QTest::mouseClick(create, Qt::LeftButton);
  const std::string exe = fs::path(TfrmMain::ExecutableFile()).filename().string();
  EXPECT_EQ(w.txBAT->toPlainText().toStdString(), "./" + exe + " \"connection=" + client + "\" \"upd=UiBatShop.upd\"");
  // What is typed into the box is what the command carries.
  w.pcBAT->setCurrentWidget(w.tsBATSettings);
  w.param1->clear();
  QTest::keyClicks(w.param1, "Provider=SQLOLEDB.1;Data Source=typed");
  QTest::mouseClick(create, Qt::LeftButton);
  EXPECT_EQ(w.txBAT->toPlainText().toStdString(),
            "./" + exe + " \"connection=Provider=SQLOLEDB.1;Data Source=typed\" \"upd=UiBatShop.upd\"");
  EXPECT_EQ(w.ConnectionString, "Provider=SQLOLEDB.1;Data Source=typed");
  // Saved beside the program (the default name asked first) and run with sh.
  w.txBAT->setPlainText(QString::fromStdString(batfactory::BatchLine(app + "/Schemion32", client, package, true)));
  dialogs->AnswerSaveFile(app + "/update.bat");
  QTest::mouseClick(w.findChild<QLabel*>("lblBATSave"), Qt::LeftButton);
  EXPECT_EQ(dialogs.TakeTexts().back(), paths::ExecutableFolder() + "/NewBAT.bat");
  EXPECT_EQ(w.lblBATFileName->text().toStdString(), "update.bat");
  EXPECT_EQ(RunBatch(app + "/update.bat"), 0);
  EXPECT_EQ(round_trip::Rows(client, "SELECT CustomerId, Name, City FROM Customers"), Lines{"1|Rossi|<null>"});
  // Loading restores the values; without "connection=" param1 stays, the connection empties.
  TfrmMain w2(dm);
  dialogs->AnswerOpenFile(app + "/update.bat");
  QTest::mouseClick(w2.findChild<QLabel*>("lblBATLoad"), Qt::LeftButton);
  EXPECT_EQ(w2.param1->text().toStdString(), client);
  EXPECT_EQ(w2.param3->text().toStdString(), "UiBatShop.upd");
  EXPECT_EQ(w2.ConnectionString, client);
  EXPECT_EQ(w2.PackageFile, "UiBatShop.upd");
  // Saved again after loading, the file is the same: no blank line is added at each cycle.
  dialogs->AnswerSaveFile(app + "/again.bat");
  w2.actBATSave();
  std::ifstream first(app + "/update.bat", std::ios::binary), second(app + "/again.bat", std::ios::binary);
  std::stringstream firstBytes, secondBytes;
  firstBytes << first.rdbuf();
  secondBytes << second.rdbuf();
  EXPECT_EQ(secondBytes.str(), firstBytes.str());
  EXPECT_EQ(firstBytes.str().back(), '\n');
  std::ofstream(app + "/bare.bat") << "./Schemion32 \"upd=Other.upd\"\n";
  dialogs->AnswerOpenFile(app + "/bare.bat");
  QTest::mouseClick(w2.findChild<QLabel*>("lblBATLoad"), Qt::LeftButton);
  EXPECT_EQ(w2.param1->text().toStdString(), client);
  EXPECT_EQ(w2.param3->text().toStdString(), "Other.upd");
  EXPECT_EQ(w2.ConnectionString, "");
  // A binary file and a 10 MB one load without harm.
  {
    std::ofstream binary(app + "/binary.bat", std::ios::binary);
    for (int i = 0; i < 70000; ++i) binary.put(static_cast<char>((i * 7919) % 256));
    std::ofstream big(app + "/big.bat", std::ios::binary);
    const std::string chunk(1024, '"');
    for (int i = 0; i < 10 * 1024; ++i) big << chunk;
  }
  for (const char* name : {"/binary.bat", "/big.bat"}) {
    dialogs->AnswerOpenFile(app + name);
    w2.actBATLoad();
    EXPECT_FALSE(w2.txBAT->toPlainText().isEmpty()) << name;
  }
}

// Regression: the page opened on its settings page showed empty boxes until the inner tabs were
// switched.
TEST(BatchFactory, OpeningThePageOnItsSettingsFillsThem) {
  ScriptedDialogs dialogs;
  TdmMain dm(windowtest::TestFolder("batch-open"));
  TfrmMain w(dm);
  w.ConnectionString = "Provider=SQLOLEDB.1;Data Source=x;Initial Catalog=Shop";
  w.PackageFile = "/pk/Shop.upd";
  ASSERT_EQ(w.pcBAT->currentWidget(), w.tsBATSettings);
  w.pcMain->setCurrentWidget(w.tsBAT);
  EXPECT_EQ(w.param1->text().toStdString(), w.ConnectionString);
  EXPECT_EQ(w.param3->text().toStdString(), "Shop.upd");
}
