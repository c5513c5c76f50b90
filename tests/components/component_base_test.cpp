// The component base and the start of the updater: construction defaults, the lifecycle of the
// windows and the engine, the connection properties on the embedded SQL Server, the windows'
// visibility, the console block of an error, and the dialects' error reports reaching the
// running component through the engine.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <pugixml.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "../dialects/SqlServerTestDatabase.h"
#include "components/ComponentError.h"
#include "components/DbSchemaProducer.h"
#include "components/DbSchemaUpdater.h"
#include "components/uConsole.h"
#include "components/uProgressInfo.h"
#include "components/ufrmBuildConnectionString.h"
#include "platform/ui/DialogService.h"
#include "engine/uDm.h"

namespace {

// The database "components" on the embedded SQL Server, built once per program.
std::string ConnectionString() {
  static bool built = false;
  if (!built) {
    built = true;
    TSqlServerSpecific dialect;
    dialect_test::CreateAndConnect(dialect, "components");
  }
  return dialect_test::ConnectionStringFor("components");
}

std::string DirectivesXml(const TUpdaterDirectives& directives) {
  pugi::xml_document doc;
  directives.SaveToXml(doc.append_child("Root"));
  std::ostringstream text;
  doc.save(text);
  return text.str();
}

std::string ConsoleText(const TOrvSchemion& c) {
  c.ConsoleFrm()->FlushLines();
  return c.ConsoleFrm()->txtConsole->toPlainText().toStdString();
}

}  // namespace

TEST(ComponentBase, ConstructionDefaults) {
  TOrvDbSchemaUpdater updater;
  TOrvDbSchemaProducer producer;
  for (TOrvSchemion* c : {static_cast<TOrvSchemion*>(&updater), static_cast<TOrvSchemion*>(&producer)}) {
    EXPECT_EQ(c->DirSchemas, ".\\schemas");
    EXPECT_EQ(c->version(), "2.0.0");
    EXPECT_EQ(c->ConnectionString(), "");
    EXPECT_FALSE(c->Connected());
    EXPECT_FALSE(c->Initialized());
    EXPECT_EQ(c->Errors().Count(), 0);
    EXPECT_EQ(c->dm(), nullptr);
    EXPECT_EQ(c->ConsoleFrm(), nullptr);
    EXPECT_EQ(c->ProgressInfoFrm(), nullptr);
    EXPECT_EQ(c->LanguageOptions().Language(), dlkEnglish);
    EXPECT_EQ(c->LanguageOptions().ConsoleError, " --- ERROR --- ");
    EXPECT_TRUE(c->ConsoleOptions().leaveOpenedOnErrors);
    EXPECT_FALSE(c->ConsoleOptions().LeaveOpenedOnFinish);
    EXPECT_EQ(c->ConsoleOptions().prompt, "Console:>");
    EXPECT_EQ(c->ProgressInfoOptions().width(), 0);
    EXPECT_FALSE(c->ProgressInfoOptions().leaveOpenedOnErrors);
    EXPECT_EQ(c->SqlCommand, "");
  }
  // The producer keeps the directives' own defaults; the updater applies its default sets.
  EXPECT_EQ(DirectivesXml(producer.UpdaterDirectives()), DirectivesXml(TUpdaterDirectives()));
  TUpdaterDirectives updaterDefaults;
  updaterDefaults.SetUpdaterDefaults();
  updaterDefaults.DeletePolicy.SetUpdaterDefaults();
  EXPECT_EQ(DirectivesXml(updater.UpdaterDirectives()), DirectivesXml(updaterDefaults));
  EXPECT_EQ(updater.DirSql, ".\\schemas");
  EXPECT_EQ(updater.DirBackup, ".\\schemas");
  EXPECT_EQ(updater.FileSetting, "");
  EXPECT_FALSE(updater.AutoCreateDatabase);
  EXPECT_FALSE(updater.DatabaseCreated);
}

TEST(ComponentBase, LifecycleFreesEverythingOnce) {
  {  // Destroy without Initialize.
    TOrvDbSchemaUpdater updater;
  }
  TOrvDbSchemaUpdater updater;
  updater.Finalize();  // before any Initialize: nothing to free
  ASSERT_TRUE(updater.Initialize());
  EXPECT_TRUE(updater.Initialized());
  ASSERT_NE(updater.dm(), nullptr);
  EXPECT_EQ(updater.dm()->Updater, &updater);
  EXPECT_EQ(updater.dm()->Producer, nullptr);
  EXPECT_NE(updater.ConsoleFrm(), nullptr);
  EXPECT_NE(updater.ProgressInfoFrm(), nullptr);
  // Initialize twice: the first windows and engine are freed, the new engine is registered.
  ASSERT_TRUE(updater.Initialize());
  EXPECT_EQ(updater.dm()->Updater, &updater);
  updater.Finalize();
  EXPECT_FALSE(updater.Initialized());
  EXPECT_EQ(updater.dm(), nullptr);
  EXPECT_EQ(updater.ConsoleFrm(), nullptr);
  updater.Finalize();
  ASSERT_TRUE(updater.Initialize());
  EXPECT_NE(updater.dm(), nullptr);

  TOrvDbSchemaProducer producer;
  ASSERT_TRUE(producer.Initialize());
  EXPECT_EQ(producer.dm()->Producer, &producer);
  EXPECT_EQ(producer.dm()->Updater, nullptr);

  // Destroy while initialised and connected (the sanitizer run checks nothing leaks).
  auto connected = std::make_unique<TOrvDbSchemaUpdater>();
  connected->SetConnectionString(ConnectionString());
  ASSERT_TRUE(connected->Initialize());
  connected->SetConnected(true);
  EXPECT_TRUE(connected->dm()->ac.Connected());
  connected.reset();
}

TEST(ComponentBase, ConnectionStringAndConnected) {
  const std::string cs = ConnectionString();
  TOrvDbSchemaUpdater updater;
  // Set before Initialize: stored, and handed to the engine at Initialize.
  updater.SetConnectionString(cs);
  EXPECT_EQ(updater.ConnectionString(), cs);
  ASSERT_TRUE(updater.Initialize());
  EXPECT_EQ(updater.dm()->ac.ConnectionString(), cs);
  EXPECT_FALSE(updater.dm()->ac.Connected());

  updater.SetConnected(true);
  EXPECT_TRUE(updater.Connected());
  EXPECT_TRUE(updater.dm()->ac.Connected());
  ASSERT_NE(updater.dm()->CurrentDialect(), nullptr);
  EXPECT_EQ(updater.dm()->CurrentDialect()->DatabaseName, "components");

  // Set while connected: disconnects first, then the engine gets the new text, not opened.
  const std::string other = dialect_test::ConnectionStringFor("nosuchdb");
  updater.SetConnectionString(other);
  EXPECT_FALSE(updater.Connected());
  EXPECT_FALSE(updater.dm()->ac.Connected());
  EXPECT_EQ(updater.dm()->ac.ConnectionString(), other);

  // Regression: a failing connection used to leave Connected True though nothing was connected.
  EXPECT_ANY_THROW(updater.SetConnected(true));
  EXPECT_FALSE(updater.Connected());
  EXPECT_FALSE(updater.dm()->ac.Connected());

  // Finalize frees the engine and its connection: the flag follows.
  updater.SetConnectionString(cs);
  updater.SetConnected(true);
  updater.Finalize();
  EXPECT_FALSE(updater.Connected());

  // Without an engine only the flag is stored.
  TOrvDbSchemaProducer producer;
  producer.SetConnected(true);
  EXPECT_TRUE(producer.Connected());
}

TEST(ComponentBase, ShowAndCloseWindows) {
  TOrvDbSchemaUpdater updater;
  try {
    updater.ShowConsole();
    ADD_FAILURE() << "no exception";
  } catch (const EComponentError& e) {
    EXPECT_STREQ(e.what(), "Console windows not created!");
  }
  try {
    updater.ShowProgressInfo();
    ADD_FAILURE() << "no exception";
  } catch (const EComponentError& e) {
    EXPECT_STREQ(e.what(), "Progress Info Windows does not exists!");
  }
  updater.HideConsole();  // without windows: nothing
  updater.HideProgressInfo();

  ASSERT_TRUE(updater.Initialize());
  const TConsoleFrm& console = *updater.ConsoleFrm();
  const TProgressInfoFrm& progress = *updater.ProgressInfoFrm();
  struct ShowCase {
    TProgressInfoKind kind;
    bool console, progress;
  };
  for (const ShowCase& c : std::vector<ShowCase>{{pikBoth, true, true},
                                                 {pikConsole, true, false},
                                                 {pikWinMsg, false, true},
                                                 {pikSilent, false, false}}) {
    SCOPED_TRACE(EnumName(c.kind));
    updater.ShowWindows(c.kind);
    EXPECT_EQ(console.isVisible(), c.console);
    EXPECT_EQ(progress.isVisible(), c.progress);
    // pikUpdaterSetting leaves both as they are.
    updater.ShowWindows(pikUpdaterSetting);
    EXPECT_EQ(console.isVisible(), c.console);
    EXPECT_EQ(progress.isVisible(), c.progress);
  }

  // CloseWindows: with errors the leaveOpenedOnErrors flags decide, without the
  // LeaveOpenedOnFinish flags.
  struct CloseCase {
    bool errors, consoleOnErrors, consoleOnFinish, progressOnErrors, progressOnFinish;
    bool consoleOpen, progressOpen;
  };
  for (const CloseCase& c : std::vector<CloseCase>{
           {true, true, false, false, false, true, false},  // the streamed defaults
           {true, false, true, true, false, false, true},
           {false, true, false, false, false, false, false},
           {false, false, true, true, false, true, false},
           {false, true, false, false, true, false, true}}) {
    SCOPED_TRACE(std::to_string(c.errors) + std::to_string(c.consoleOnErrors) +
                 std::to_string(c.consoleOnFinish) + std::to_string(c.progressOnErrors) +
                 std::to_string(c.progressOnFinish));
    updater.Errors().Clear();
    if (c.errors) updater.Errors().Add(dbcCheckDb, "x", "", 0, "", false);
    updater.ConsoleOptions().leaveOpenedOnErrors = c.consoleOnErrors;
    updater.ConsoleOptions().LeaveOpenedOnFinish = c.consoleOnFinish;
    updater.ProgressInfoOptions().leaveOpenedOnErrors = c.progressOnErrors;
    updater.ProgressInfoOptions().LeaveOpenedOnFinish = c.progressOnFinish;
    updater.ShowWindows(pikBoth);
    updater.CloseWindows();
    EXPECT_EQ(console.isVisible(), c.consoleOpen);
    EXPECT_EQ(progress.isVisible(), c.progressOpen);
  }
}

TEST(ComponentBase, ErrorConsoleBlockInEnglishAndItalian) {
  TDbLanguageOptions english;
  TDbLanguageOptions italian;
  italian.SetLanguage(dlkItalian);
  struct Case {
    const TDbLanguageOptions* texts;
    std::string description, message;
    int number;
    std::string sql, block;
  };
  const std::vector<Case> cases = {
      {&english, "Create failed", "", 0, "", " --- ERROR --- \r\n    DESCRIPTION: Create failed"},
      {&english, "", "bad", 0, "", " --- ERROR --- \r\n    E.MESSAGE: bad"},
      {&english, "", "", 0, "", " --- ERROR --- "},
      {&english, "d", "m", 12, "DROP TABLE T",
       " --- ERROR --- \r\n    DESCRIPTION: d\r\n    E.MESSAGE: m\r\n"
       "    INSTRUCTION NUMBER: 12\r\n    SQL TEXT: DROP TABLE T"},
      {&english, "d", "", -3, "s",
       " --- ERROR --- \r\n    DESCRIPTION: d\r\n    INSTRUCTION NUMBER: -3\r\n    SQL TEXT: s"},
      {&italian, "d", "", 0, "", " --- ERRORE --- \r\n    DESCRIZIONE: d"},
      {&italian, "d", "m", 7, "s",
       " --- ERRORE --- \r\n    DESCRIZIONE: d\r\n    E.MESSAGE: m\r\n"
       "    NUMERO ISTRUZIONE: 7\r\n    TESTO SQL: s"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ErrorConsoleBlock(*c.texts, c.description, c.message, c.number, c.sql), c.block);
  }

  // ReportError: the list entry holds all six values; the block is one console line (one
  // prompt) and the progress window's info text.
  TOrvDbSchemaUpdater updater;
  updater.LanguageOptions().SetLanguage(dlkItalian);
  ASSERT_TRUE(updater.Initialize());
  updater.ReportError(dbcUpdate, "d", "m", 7, "s", true);
  ASSERT_EQ(updater.Errors().Count(), 1);
  const TDbErrorElem& e = *updater.Errors().Items()[0];
  EXPECT_EQ(e.Context, dbcUpdate);
  EXPECT_EQ(e.Description, "d");
  EXPECT_EQ(e.EMessage, "m");
  EXPECT_EQ(e.InstrNumber, 7);
  EXPECT_EQ(e.SqlText, "s");
  EXPECT_TRUE(e.Handled);
  const std::string shown =
      " --- ERRORE --- \n    DESCRIZIONE: d\n    E.MESSAGE: m\n    NUMERO ISTRUZIONE: 7\n"
      "    TESTO SQL: s";
  EXPECT_EQ(updater.ConsoleFrm()->LineCount(), 1);
  EXPECT_EQ(ConsoleText(updater), "Console:>" + shown);
  EXPECT_EQ(updater.ProgressInfoFrm()->InfoText(), shown);
}

TEST(ComponentBase, BackupErrorReachesTheComponentThroughTheEngine) {
  const std::string cs = ConnectionString();
  const std::string folder = "/no/such/folder";
  const std::string path = folder + "\\components.bak";

  TOrvDbSchemaUpdater updater;
  updater.SetConnectionString(cs);
  ASSERT_TRUE(updater.Initialize());
  updater.SetConnected(true);
  Tdm& dm = *updater.dm();
  // A producer registered beside the updater gets nothing: the updater comes first.
  TOrvDbSchemaProducer bystander;
  dm.Producer = &bystander;
  EXPECT_FALSE(dm.CurrentDialect()->BackupDatabase(dm.ac, "components.bak", folder));
  ASSERT_EQ(updater.Errors().Count(), 1);
  const TDbErrorElem& e = *updater.Errors().Items()[0];
  EXPECT_EQ(e.Context, dbcUpdate);
  EXPECT_EQ(e.Description, " *** BACKUP ERROR *** on file " + path);
  EXPECT_NE(e.EMessage.find("Cannot open backup device"), std::string::npos) << e.EMessage;
  EXPECT_EQ(e.InstrNumber, 0);
  EXPECT_EQ(e.SqlText, "");
  EXPECT_EQ(bystander.Errors().Count(), 0);
  EXPECT_NE(ConsoleText(updater).find("DESCRIPTION:  *** BACKUP ERROR *** on file " + path),
            std::string::npos);
  dm.Producer = nullptr;

  // Without an updater the producer gets it, in its own language.
  TOrvDbSchemaProducer producer;
  producer.LanguageOptions().SetLanguage(dlkItalian);
  producer.SetConnectionString(cs);
  ASSERT_TRUE(producer.Initialize());
  producer.SetConnected(true);
  EXPECT_FALSE(producer.dm()->CurrentDialect()->BackupDatabase(producer.dm()->ac,
                                                               "components.bak", folder));
  ASSERT_EQ(producer.Errors().Count(), 1);
  EXPECT_EQ(producer.Errors().Items()[0]->Description,
            " *** ERRORE DI BACKUP *** su file " + path);
  EXPECT_EQ(producer.Errors().UpdateErrors().size(), 1u);

  // Access backs up by copying the database file: a missing folder fails the same way.
  TOrvDbSchemaUpdater access;
  access.SetConnectionString("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/tmp/shop.mdb");
  ASSERT_TRUE(access.Initialize());
  access.dm()->SelectDbSpecific();
  ASSERT_EQ(access.dm()->CurrentDialect(), access.dm()->DbSpecific(dbtAccess));
  EXPECT_FALSE(access.dm()->CurrentDialect()->BackupDatabase(access.dm()->ac, "", folder));
  ASSERT_EQ(access.Errors().Count(), 1);
  EXPECT_EQ(access.Errors().Items()[0]->Context, dbcUpdate);
  EXPECT_EQ(access.Errors().Items()[0]->Description,
            " *** BACKUP ERROR *** on file " + folder + "\\shop.mdb");
  EXPECT_FALSE(access.Errors().Items()[0]->EMessage.empty());
}

TEST(ComponentBase, DatabaseCreatedReachesTheEngine) {
  TOrvDbSchemaUpdater updater;
  ASSERT_TRUE(updater.Initialize());
  EXPECT_FALSE(updater.dm()->GetDatabaseCreated());
  updater.DatabaseCreated = true;
  EXPECT_TRUE(updater.dm()->GetDatabaseCreated());
  Tdm alone;
  EXPECT_FALSE(alone.GetDatabaseCreated());
}

TEST(ComponentBase, EditConnectionStringOpensTheBuilder) {
  auto scripted = std::make_unique<ui::ScriptedDialogService>();
  ui::ScriptedDialogService* dialogs = scripted.get();
  ui::ScopedDialogService scope(std::move(scripted));
  TOrvDbSchemaUpdater updater;
  // Cancelled: false, the text kept.
  dialogs->AnswerModal([](QDialog& d) {
    auto& w = dynamic_cast<TfrmBuildConnectionString&>(d);
    w.btnCancel->click();
    return w.result();
  });
  std::string text = "Provider=SQLOLEDB.1;Data Source=a";
  EXPECT_FALSE(updater.EditConnectionString(text, 2));
  EXPECT_EQ(text, "Provider=SQLOLEDB.1;Data Source=a");
  // Accepted: the text the builder composed.
  dialogs->AnswerModal([](QDialog& d) {
    auto& w = dynamic_cast<TfrmBuildConnectionString&>(d);
    w.edtLogin->setText("u3");
    w.btnOk->click();
    return w.result();
  });
  EXPECT_TRUE(updater.EditConnectionString(text, 2));
  EXPECT_NE(text.find("Persist Security Info=False"), std::string::npos) << text;
  EXPECT_NE(text.find("Data Source=a"), std::string::npos) << text;
}
