// The updater component: construction, registration in the engine, the runs (existence test,
// creation, connection, check and update phases with their events), the delete confirmation,
// the error manager and the updater's settings file.
#include "components/DbSchemaUpdater.h"

#include <QApplication>
#include <exception>
#include <filesystem>
#include <utility>
#include <vector>
#include <pugixml.hpp>

#include "common/Paths.h"
#include "components/ComponentError.h"
#include "components/SettingsFile.h"
#include "components/XmlNodes.h"
#include "components/uDeleteObjects.h"
#include "components/uErrorManager.h"
#include "engine/uDm.h"
#include "platform/data/ConnectionString.h"
#include "platform/ui/Application.h"
#include "platform/ui/DialogService.h"

// What the error-manager window sees of its updater.
class TErrorManagerLink : public IErrorManagerUpdater {
 public:
  explicit TErrorManagerLink(TOrvDbSchemaUpdater& aUpdater) : updater_(aUpdater) {}
  TDbErrors& Errors() override { return updater_.Errors(); }
  TConsoleFrm* ConsoleWindow() override { return updater_.ConsoleFrm(); }
  std::string DirSql() const override { return updater_.DirSql; }
  void ErrorManagerOpened(TErrorManagerFrm& aWindow) override {
    updater_.errorManagers_.push_back(&aWindow);
  }
  void ErrorManagerClosed(TErrorManagerFrm& aWindow) override {
    std::erase(updater_.errorManagers_, &aWindow);
  }

 private:
  TOrvDbSchemaUpdater& updater_;
};

TOrvDbSchemaUpdater::TOrvDbSchemaUpdater() : errorManagerLink_(std::make_unique<TErrorManagerLink>(*this)) {
  UpdaterDirectives().SetUpdaterDefaults();
  UpdaterDirectives().DeletePolicy.SetUpdaterDefaults();
}

TOrvDbSchemaUpdater::~TOrvDbSchemaUpdater() {
  TOrvDbSchemaUpdater::Finalize();
  // The windows outlive nothing they were handed: they let go of the list and close.
  CloseErrorManagers();
}

void TOrvDbSchemaUpdater::CloseErrorManagers() {
  const std::vector<TErrorManagerFrm*> windows = std::exchange(errorManagers_, {});
  for (TErrorManagerFrm* window : windows) window->UpdaterFinalized();
}

bool TOrvDbSchemaUpdater::Initialize() {
  const bool result = TOrvSchemion::Initialize();
  if (result) dm()->Updater = this;
  if (!FileSetting.empty()) {
    const std::string fileName = ExpandAppPath(FileSetting);
    std::error_code ec;
    if (!std::filesystem::exists(paths::ToNativePath(fileName), ec)) {
      SaveSettings(fileName, false);
    } else {
      LoadSettings(fileName);
    }
  }
  return result;
}

void TOrvDbSchemaUpdater::Finalize() {
  // The windows show the console, which goes with the base's Finalize.
  if (Initialized()) CloseErrorManagers();
  TOrvSchemion::Finalize();
}

bool TOrvDbSchemaUpdater::CheckDb(const std::string& aConnectionString) {
  return Run(aConnectionString, kModeCheck);
}

bool TOrvDbSchemaUpdater::CheckAndUpdate(const std::string& aConnectionString) {
  return Run(aConnectionString, kModeCheckAndUpdate);
}

bool TOrvDbSchemaUpdater::Run(const std::string& aConnectionString, int aMode) {
  if (dm() == nullptr) throw EComponentError("Updater not initialized!");
  Tdm& engine = *dm();
  bool result = true;
  // The database counts as created only in the run that created it.
  DatabaseCreated = false;
  deleteConfirmationAborted_ = false;
  engine.SetConnectionString(aConnectionString, false);
  engine.SelectDbSpecific();
  Errors().ClearCheckDbErrors();
  ClearConsole();

  // Without a dialect (an unknown provider) there is no existence test: the connection names
  // the provider in its error.
  if (TDatabaseSpecific* dialect = engine.CurrentDialect()) {
    // The name kept from an earlier connection would win over this run's connection string.
    dialect->DatabaseName.clear();
    const std::string dbName = engine.GetDatabaseName();
    const std::string server = engine.GetServerName();
    std::string user, password;
    engine.GetUserAndPassword(user, password);
    if (!dialect->DatabaseExists(dbName, user, password, server)) {
      bool canContinue = AutoCreateDatabase;
      if (AutoCreateDatabase) {
        std::string dataPath = ".", logPath = ".";
        if (BeforeCreateDatabase) {
          BeforeCreateDatabase(this, dbName, dataPath, logPath, user, password, canContinue);
        }
        if (canContinue && CreateDatabase(dbName, dataPath, logPath, user, password, server) == 0) {
          result = false;
          Errors().Add(dbcCheckDb, "Unable to Create Database!", "", 0, "", false);
        }
      }
      if (!canContinue) {
        result = false;
        Errors().Add(dbcCheckDb, "Database does not exists", "", 0, "", false);
      }
    }
  }

  if (result && !engine.ac.Connected()) {
    try {
      SetConnected(true);
    } catch (const std::exception& e) {
      // The connection string travels in the error, never its password.
      Errors().Add(dbcCheckDb, LanguageOptions().ErrConnectDb, e.what(), 0,
                   ado::ConnectionString(aConnectionString).MaskPasswords(aConnectionString), false);
      result = false;
      // The flag must not claim the connection of an earlier run.
      SetConnected(false);
    }
  }
  if (result) result = RunPhases(aMode);
  return result;
}

bool TOrvDbSchemaUpdater::RunPhases(int aMode) {
  if (dm() == nullptr) throw EComponentError("Updater not initialized!");
  const bool check = aMode == kModeCheck || aMode == kModeCheckAndUpdate;
  const bool update = aMode == kModeUpdate || aMode == kModeCheckAndUpdate;
  if (check) Errors().ClearCheckDbErrors();
  if (update) Errors().ClearUpdateErrors();
  ShowWindows(dm()->GetProgressInfoKind());
  bool result = Connected();
  if (result && check) result = RunCheckPhase();
  if (result && update) result = RunUpdatePhase();
  CloseWindows();
  return result;
}

bool TOrvDbSchemaUpdater::RunStep(TDbContext aContext, const std::string& aDescription,
                                  const std::function<bool()>& aStep) {
  try {
    return aStep();
  } catch (const std::exception& e) {
    Errors().Add(aContext, aDescription, e.what(), 0, "", false);
    return false;
  }
}

bool TOrvDbSchemaUpdater::RunCheckPhase() {
  const TDbLanguageOptions& texts = LanguageOptions();
  auto fire = [this](const TNotifyEvent& event) {
    return [this, &event] {
      if (event) event(this);
      return true;
    };
  };
  bool result = RunStep(dbcCheckDb, texts.ErrBeforeCheckDb, fire(BeforeCheckDb));
  if (result) result = RunStep(dbcCheckDb, texts.ErrCheckDb, [this] { return dm()->CheckDb(true); });
  if (result) result = RunStep(dbcCheckDb, texts.ErrAfterCheckDb, fire(AfterCheckDb));
  return result;
}

bool TOrvDbSchemaUpdater::RunUpdatePhase() {
  const TDbLanguageOptions& texts = LanguageOptions();
  Tdm& engine = *dm();
  // The user commands first: the "BeforeUpdate" ones run before the update.
  bool result = RunStep(dbcUpdate, texts.ErrUDFBeforeUpdate, [&engine] {
    engine.LoadSqlCommands();
    return true;
  });
  if (result) {
    result = RunStep(dbcUpdate, texts.ErrBeforeUpdate, [this] {
      if (BeforeUpdate) BeforeUpdate(this);
      return true;
    });
  }
  if (result) {
    result = RunStep(dbcUpdate, texts.ErrUDFBeforeUpdate,
                     [&engine] { return engine.RunUserEvent("BeforeUpdate"); });
  }
  if (result) {
    // A failure that leaves the update by an exception (a lock time-out, a file that cannot be
    // read) names the instruction that was running: 0 before the first one.
    engine.Instruction().SetInstruction(0, std::string());
    try {
      result = engine.UpdateDb(true);
    } catch (const std::exception& e) {
      const long long number = engine.Instruction().Number;
      Errors().Add(dbcUpdate, DbFormat(texts.ErrExecuteInstruction, {number}), e.what(), 0, "", false);
      result = false;
    }
  }
  // A failed update still ends with AfterUpdate unless the errors stop at the first one; the
  // "AfterUpdate" commands run only after a successful update.
  if (result || engine.GetErrorManager() != demStopOnFirstError) {
    const bool afterUpdate = RunStep(dbcUpdate, texts.ErrAfterUpdate, [this] {
      if (AfterUpdate) AfterUpdate(this);
      return true;
    });
    if (!afterUpdate) {
      result = false;
    } else if (result) {
      result = RunStep(dbcUpdate, texts.ErrUDFAfterUpdate,
                       [&engine] { return engine.RunUserEvent("AfterUpdate"); });
    }
  }
  return result;
}

bool TOrvDbSchemaUpdater::ConfirmDelete() {
  const std::string fileName = paths::FoldBackslashes(DirSql + "\\BlockUndoDelete.xml");
  const std::string nativeName = paths::ResolveFolder(fileName);
  std::error_code ec;
  if (!std::filesystem::is_regular_file(nativeName, ec)) {
    throw EComponentError(DbFormat(LanguageOptions().MsgNoFile, {fileName}));
  }
  // Nobody can answer on a screen no one sees, and no answer is scripted: the deletions are not
  // confirmed, so the update is aborted rather than run unconfirmed.
  if (!ui::HasVisibleScreen() && dynamic_cast<ui::QtDialogService*>(&ui::Dialogs()) != nullptr) {
    deleteConfirmationAborted_ = true;
    return false;
  }
  deleteConfirmationAborted_ = !TDeleteObjectsFrm::ConfirmDelete(nativeName);
  return !deleteConfirmationAborted_;
}

void TOrvDbSchemaUpdater::ShowErrorManager() {
  // The window frees itself when closed, and tells this updater so. The window the user works in
  // owns it: it opens over that window, and a modal owner does not block it.
  QWidget* owner = QApplication::activeModalWidget();
  if (owner == nullptr) owner = QApplication::activeWindow();
  auto* window = new TErrorManagerFrm(*errorManagerLink_, owner);
  if (owner != nullptr) window->move(owner->geometry().center() - window->rect().center());
  window->show();
}

int TOrvDbSchemaUpdater::CreateDatabase(const std::string& aDbName, const std::string& aDataPath,
                                        const std::string& aLogPath, const std::string& aUser,
                                        const std::string& aPassword, const std::string& aServer) {
  TDatabaseSpecific* dialect = dm() != nullptr ? dm()->CurrentDialect() : nullptr;
  if (dialect == nullptr) throw EComponentError("Updater not initialized!");
  const int result = dialect->CreateDatabaseInFolder(aDbName, aDataPath, aLogPath, aUser, aPassword, aServer);
  DatabaseCreated = result == 2;
  return result;
}

std::string TOrvDbSchemaUpdater::ExpandAppPath(const std::string& aPath) {
  if (aPath.size() <= 2) return aPath;
  if (!aPath.starts_with("..") && !aPath.starts_with(".\\") && !aPath.starts_with("./")) return aPath;
  return paths::ExecutableFolder() + "/" + aPath;
}

void TOrvDbSchemaUpdater::SaveSettings(const std::string& aFileName, bool aOverwrite) {
  if (aFileName.empty()) throw EComponentError("Empty file name!");
  const std::string fileName = ExpandAppPath(aFileName);
  pugi::xml_document doc;
  pugi::xml_node root = doc.append_child("Root");
  xmlnodes::SetChildText(root, "DirSchema", DirSchemas);
  xmlnodes::SetChildText(root, "ConnectionString", ConnectionString());
  xmlnodes::SetChildText(root, "SqlCommand", SqlCommand);
  xmlnodes::SetChildText(root, "DirSql", DirSql);
  xmlnodes::SetChildText(root, "DirBackup", DirBackup);
  UpdaterDirectives().SaveToXml(root);
  settingsfile::Save(doc, fileName, aOverwrite);
}

void TOrvDbSchemaUpdater::LoadSettings(const std::string& aFileName) {
  if (aFileName.empty()) throw EComponentError("File name not specified!");
  const std::string fileName = ExpandAppPath(aFileName);
  pugi::xml_document doc;
  const pugi::xml_node root = settingsfile::Load(doc, fileName);
  DirSchemas = xmlnodes::ChildText(root, "DirSchema");
  SetConnectionString(xmlnodes::ChildText(root, "ConnectionString"));
  SqlCommand = xmlnodes::ChildText(root, "SqlCommand");
  DirSql = xmlnodes::ChildText(root, "DirSql");
  DirBackup = xmlnodes::ChildText(root, "DirBackup");
  UpdaterDirectives().LoadFromXml(root);
}
