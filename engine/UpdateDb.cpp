// The update executor: runs the saved instruction list against the client in one transaction,
// with the backup before it, the delete confirmation, the instruction events, retries and the
// user SQL commands of SqlCommands.xml.
#include <algorithm>
#include <charconv>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "common/Paths.h"
#include "common/Text.h"
#include "components/DbSchemaProducer.h"
#include "components/DbSchemaUpdater.h"
#include "engine/EngineError.h"
#include "engine/EngineRun.h"
#include "engine/MoveWorkTable.h"
#include "engine/uDm.h"
#include "platform/data/ConnectionString.h"

namespace {

using engine_run::HolderProducer;
using engine_run::RequireUpdater;

constexpr std::string_view kSqlCommandsFile = "SqlCommands.xml";
const char* const kCrLf = "\r\n";

// A transaction begun only when none is open. Whatever is still open when the scope is left
// without Finish (an exception) is rolled back, so a failure never leaves half an update.
class OwnTransaction {
 public:
  explicit OwnTransaction(ado::TConnection& connection)
      : connection_(connection), own_(!connection.InTransaction()) {
    if (own_) connection_.BeginTrans();
  }
  ~OwnTransaction() {
    if (!own_ || !connection_.Connected() || !connection_.InTransaction()) return;
    try {
      connection_.RollbackTrans();
    } catch (...) {
      // Leaving by an exception already; closing the session rolls back as well.
    }
  }
  OwnTransaction(const OwnTransaction&) = delete;
  OwnTransaction& operator=(const OwnTransaction&) = delete;

  // Commits (aCommit) or rolls back the transaction when it is this scope's and still open.
  void Finish(bool aCommit) {
    if (!own_ || !connection_.InTransaction()) return;
    own_ = false;
    if (aCommit) {
      connection_.CommitTrans();
    } else {
      connection_.RollbackTrans();
    }
  }

 private:
  ado::TConnection& connection_;
  bool own_;
};

// The list data sets are open only while the update runs; the update transaction, when the run
// leaves by an exception, is rolled back.
class UpdateRun {
 public:
  explicit UpdateRun(Tdm& dm) : dm_(dm) {}
  ~UpdateRun() {
    dm_.qInstructions.Close();
    dm_.qBlockUndoDelete.Close();
    if (!dm_.ac.Connected() || !dm_.ac.InTransaction()) return;
    try {
      dm_.ac.RollbackTrans();
    } catch (...) {
      // Leaving by an exception already; closing the session rolls back as well.
    }
  }
  UpdateRun(const UpdateRun&) = delete;
  UpdateRun& operator=(const UpdateRun&) = delete;

 private:
  Tdm& dm_;
};

using InstructionEvent = TDbInstructionEvent TOrvDbSchemaUpdater::*;

struct KindEvents {
  TInstructionKind kind;
  InstructionEvent before;
  InstructionEvent after;
};

constexpr KindEvents kKindEvents[] = {
    {ikCreateDbSpace, &TOrvDbSchemaUpdater::BeforeCreateDbSpace, &TOrvDbSchemaUpdater::AfterCreateDbSpace},
    {ikDropDbSpace, &TOrvDbSchemaUpdater::BeforeDropDbSpace, &TOrvDbSchemaUpdater::AfterDropDbSpace},
    {ikCreateUser, &TOrvDbSchemaUpdater::BeforeCreateUser, &TOrvDbSchemaUpdater::AfterCreateUser},
    {ikDropUser, &TOrvDbSchemaUpdater::BeforeDropUser, &TOrvDbSchemaUpdater::AfterDropUser},
    {ikCreateTable, &TOrvDbSchemaUpdater::BeforeCreateTable, &TOrvDbSchemaUpdater::AfterCreateTable},
    {ikDropTable, &TOrvDbSchemaUpdater::BeforeDropTable, &TOrvDbSchemaUpdater::AfterDropTable},
    {ikAlterTable, &TOrvDbSchemaUpdater::BeforeAlterTable, &TOrvDbSchemaUpdater::AfterAlterTable},
    {ikDropField, &TOrvDbSchemaUpdater::BeforeDropField, &TOrvDbSchemaUpdater::AfterDropField},
    {ikCreateConstraint, &TOrvDbSchemaUpdater::BeforeCreateConstraint,
     &TOrvDbSchemaUpdater::AfterCreateConstraint},
    {ikDropConstraint, &TOrvDbSchemaUpdater::BeforeDropConstraint,
     &TOrvDbSchemaUpdater::AfterDropConstraint},
    {ikCreateIndex, &TOrvDbSchemaUpdater::BeforeCreateIndex, &TOrvDbSchemaUpdater::AfterCreateIndex},
    {ikDropIndex, &TOrvDbSchemaUpdater::BeforeDropIndex, &TOrvDbSchemaUpdater::AfterDropIndex},
    {ikCreateForeignKey, &TOrvDbSchemaUpdater::BeforeCreateForeignKey,
     &TOrvDbSchemaUpdater::AfterCreateForeignKey},
    {ikCreatePrimaryKey, &TOrvDbSchemaUpdater::BeforeCreatePrimaryKey,
     &TOrvDbSchemaUpdater::AfterCreatePrimaryKey},
    {ikCreateDefaultValue, &TOrvDbSchemaUpdater::BeforeCreateDefaultValue,
     &TOrvDbSchemaUpdater::AfterCreateDefaultValue},
};

constexpr KindEvents kUnknownEvents = {ikUnknown, &TOrvDbSchemaUpdater::BeforeUnknownInstruction,
                                       &TOrvDbSchemaUpdater::AfterUnknownInstruction};

const KindEvents& EventsOf(TInstructionKind aKind) {
  for (const KindEvents& events : kKindEvents) {
    if (events.kind == aKind) return events;
  }
  return kUnknownEvents;
}

// The text as an integer; aDefault when it is not one (signs allowed, nothing else around it).
int StrToIntDef(std::string_view aText, int aDefault) {
  if (!aText.empty() && aText.front() == '+') aText.remove_prefix(1);
  int value = 0;
  const auto [end, error] = std::from_chars(aText.data(), aText.data() + aText.size(), value);
  if (aText.empty() || error != std::errc() || end != aText.data() + aText.size()) return aDefault;
  return value;
}

// The last part of a file path written with "\" or "/".
std::string FileNameOf(const std::string& aPath) {
  const size_t slash = aPath.find_last_of("\\/");
  return slash == std::string::npos ? aPath : aPath.substr(slash + 1);
}

std::string ExceptionMessage(std::exception_ptr aError) {
  try {
    std::rethrow_exception(aError);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "Unknown exception";
  }
}

// The ids of one use of the move's work table, on three rows in a row of the instruction list.
struct WorkTableUse {
  int make = 0;
  int join = 0;
  int drop = 0;
};

std::vector<WorkTableUse> WorkTableUses(ado::TDataSet& aInstructions) {
  using move_work_table::Role;
  std::vector<WorkTableUse> uses;
  std::vector<std::pair<int, Role>> last;  // the rows read so far, as (id, role)
  for (aInstructions.First(); !aInstructions.Eof(); aInstructions.Next()) {
    last.emplace_back(static_cast<int>(aInstructions.FieldByName("id").AsInteger()),
                      move_work_table::RoleOf(aInstructions.FieldByName("instruction").AsString()));
    const size_t n = last.size();
    if (n >= 3 && last[n - 3].second == Role::Make && last[n - 2].second == Role::Join &&
        last[n - 1].second == Role::Drop) {
      uses.push_back({last[n - 3].first, last[n - 2].first, last[n - 1].first});
    }
  }
  return uses;
}

const WorkTableUse* UseOf(const std::vector<WorkTableUse>& aUses, int aId) {
  for (const WorkTableUse& use : aUses) {
    if (aId == use.make || aId == use.join || aId == use.drop) return &use;
  }
  return nullptr;
}

// The failed list with every failed instruction of a use whose UPDATE failed replaced by the use's
// make, which stands for the whole use in the retries. Where the UPDATE ran, its row is moved and
// the master's row may hold its key by now: the use is not run again, a failed drop is retried
// alone and a failed make not at all (its table would be left behind). Order is kept, and each
// entry listed once.
std::vector<std::string> GroupWorkTableUses(const std::vector<std::string>& aFailed,
                                            const std::vector<WorkTableUse>& aUses) {
  std::vector<int> ids;
  for (const std::string& id : aFailed) ids.push_back(std::stoi(id));
  std::vector<std::string> grouped;
  for (const int id : ids) {
    const WorkTableUse* use = UseOf(aUses, id);
    std::string entry = std::to_string(id);
    if (use != nullptr && std::find(ids.begin(), ids.end(), use->join) != ids.end()) {
      entry = std::to_string(use->make);
    } else if (use != nullptr && id == use->make) {
      continue;
    }
    if (std::find(grouped.begin(), grouped.end(), entry) == grouped.end()) grouped.push_back(entry);
  }
  return grouped;
}

}  // namespace

bool Tdm::UpdateDb(bool aHolder) {
  TOrvDbSchemaUpdater& updater = RequireUpdater(Updater, "update");
  const TDbLanguageOptions& texts = updater.LanguageOptions();
  HolderProducer holder(*this, aHolder, "update");
  if (aHolder) LoadParameters();
  LoadSqlCommands();
  std::vector<std::string> failed;
  bool ok = true;
  lastBackupFile_.clear();
  if (GetBackupBeforeUpdate()) ok = BackupDatabase(GetDatabaseName(), std::string(), std::string());
  if (ok) {
    const std::string file = InstructionFileName();
    if (!std::filesystem::is_regular_file(paths::ResolveFolder(file))) {
      updater.ReportError(dbcUpdate, DbFormat(texts.MsgNoFile, {file}), std::string(), 0,
                          std::string(), false);
      ok = false;
    } else {
      ok = RunInstructions(failed);
    }
  }
  if (ok) updater.WriteMessage("Update DB " + texts.msgDone);
  return ok;
}

bool Tdm::RunInstructions(std::vector<std::string>& aFailed) {
  TOrvDbSchemaUpdater& updater = RequireUpdater(Updater, "update");
  UpdateRun run(*this);
  LoadInstructionFile();
  qInstructions.SetSort("id");
  LoadBlockUndoDeleteFile();
  updater.ProgressBeginUpdateDb();
  updater.ProgressStepUpdateLevel0("Execute");
  updater.ProgressResetUpdateLevel1(qInstructions.RecordCount());

  bool ok = true;
  if (GetConfirmOnDelete() && !qBlockUndoDelete.IsEmpty()) {
    // Aborted by the user: nothing runs, and that is no failure.
    if (!updater.ConfirmDelete()) return ok;
    LoadBlockUndoDeleteFile();
  }

  qInstructions.First();
  for (int skipped = 1; skipped < startInstruction_ && !qInstructions.Eof(); ++skipped) {
    qInstructions.Next();
  }
  // The prepended instructions (ids 0, -1 ...), each in a transaction of its own; their blocks are
  // not consulted.
  while (ok && !qInstructions.Eof() && qInstructions.FieldByName("id").AsInteger() <= 0) {
    const int id = static_cast<int>(qInstructions.FieldByName("id").AsInteger());
    const std::string sql = qInstructions.FieldByName("instruction").AsString();
    StepInstruction("INSTRUCTION n.: ", "EXECUTE INSTRUCTION n.: ", "EXECUTE INSTR. (", id, sql);
    ok = ExecuteInstruction(id, sql);
    qInstructions.Next();
  }

  OwnTransaction update(ac);
  if (!oneTransaction_) update.Finish(true);
  if (ok) ok = RunUserEvent("beforeupdate");

  const bool stopOnFirst = GetErrorManager() == demStopOnFirstError;
  while ((!stopOnFirst || ok) && !qInstructions.Eof()) {
    const int id = static_cast<int>(qInstructions.FieldByName("id").AsInteger());
    const std::string sql = qInstructions.FieldByName("instruction").AsString();
    StepInstruction("INSTRUCTION n.: ", "EXECUTE INSTRUCTION n.: ", "EXECUTE INSTR. (", id, sql);
    if (!IsUndoDelete(static_cast<int>(qInstructions.FieldByName("IdBlockUndoDelete").AsInteger())) &&
        !ExecuteInstruction(id, sql)) {
      aFailed.push_back(std::to_string(id));
      ok = false;
    }
    qInstructions.Next();
  }

  RetryFailedInstructions(aFailed, ok);
  if (ok) ok = RunUserEvent("afterupdate");
  qInstructions.Close();
  qBlockUndoDelete.Close();
  update.Finish(!stopOnFirst || ok);
  return ok;
}

void Tdm::RetryFailedInstructions(std::vector<std::string>& aFailed, bool& aOk) {
  TOrvDbSchemaUpdater& updater = RequireUpdater(Updater, "update");
  updater.ProgressStepUpdateLevel0("Re-Execute");
  if (updater.Errors().UpdateErrors().empty() || GetErrorManager() != demEnqueueInstructionError) {
    return;
  }
  // A move's UPDATE retried alone would miss its work table, dropped after the first attempt: a
  // failed use of the work table is retried whole, from the statement that makes the table.
  const std::vector<WorkTableUse> uses = WorkTableUses(qInstructions);
  aFailed = GroupWorkTableUses(aFailed, uses);
  // Passes over the failed ones while a pass makes progress: a failure goes to the end of the
  // list again, for the next pass.
  bool progress = true;
  size_t count = aFailed.size();
  while (progress && count > 0) {
    updater.ProgressResetUpdateLevel1(static_cast<int>(updater.Errors().UpdateErrors().size()));
    progress = false;
    for (size_t i = 0; i < count; ++i) {
      const std::string id = aFailed[i];
      const WorkTableUse* use = UseOf(uses, std::stoi(id));
      bool found = true;
      bool done = false;
      if (use != nullptr && use->make == std::stoi(id)) {
        done = RetryInstruction(use->make, found);
        if (done) {
          // The table is dropped even after a failed UPDATE, so that the next pass can make it again.
          const bool joined = RetryInstruction(use->join, found);
          done = RetryInstruction(use->drop, found) && joined;
        }
      } else {
        done = RetryInstruction(std::stoi(id), found);
      }
      if (!found) continue;
      if (done) {
        progress = true;
      } else {
        aFailed.push_back(id);
        aOk = false;
      }
    }
    aFailed.erase(aFailed.begin(), aFailed.begin() + static_cast<std::ptrdiff_t>(count));
    count = aFailed.size();
  }
}

bool Tdm::RetryInstruction(int aId, bool& aFound) {
  TOrvDbSchemaUpdater& updater = RequireUpdater(Updater, "update");
  const std::string id = std::to_string(aId);
  updater.ProgressStepUpdateLevel1("RETRY INSTRUCTION n.: " + id);
  aFound = LocateRecord(qInstructions, "id", ado::Variant(static_cast<long long>(aId)), 0);
  if (!aFound) return false;
  const std::string sql = qInstructions.FieldByName("instruction").AsString();
  updater.WriteMessage("RETRY EXECUTE INSTRUCTION n.: " + id);
  updater.SetProgressInfoText("RETRY EXEC (" + id + ")" + kCrLf + sql);
  return ExecuteInstruction(aId, sql);
}

void Tdm::StepInstruction(const std::string& aLevel1, const std::string& aConsole,
                          const std::string& aInfo, int aId, const std::string& aSql) {
  TOrvDbSchemaUpdater& updater = RequireUpdater(Updater, "update");
  const std::string id = std::to_string(aId);
  updater.ProgressStepUpdateLevel1(aLevel1 + id);
  updater.WriteMessage(aConsole + id);
  updater.SetProgressInfoText(aInfo + id + ")" + kCrLf + aSql);
}

bool Tdm::ExecuteInstruction(int aNumber, const std::string& aSql) {
  TOrvDbSchemaUpdater& updater = RequireUpdater(Updater, "update");
  TInstruction& instruction = *instruction_;
  instruction.SetInstruction(aNumber, aSql);
  bool skip = false;
  OwnTransaction own(ac);
  bool ok = BeforeInstructionEvents(skip);
  if (ok && !skip) {
    cmdExec.CommandText = aSql;
    try {
      cmdExec.Execute();
    } catch (const std::exception& e) {
      bool handled = false;
      bool reExecute = false;
      TInstruction* current = &instruction;
      if (updater.OnError) updater.OnError(this, e, dbcUpdate, current, handled, reExecute);
      ReportInstructionError(e, aNumber, cmdExec.CommandText, handled);
      ok = handled || reExecute;
      if (!handled && reExecute) {
        // Once more, with the text as the handler left it.
        cmdExec.CommandText = current != nullptr ? current->Sql : instruction.Sql;
        try {
          cmdExec.Execute();
        } catch (const std::exception& again) {
          ReportInstructionError(again, aNumber, cmdExec.CommandText, false);
          ok = false;
        }
      }
    }
  }
  if (ok) ok = AfterInstructionEvents();
  own.Finish(ok);
  return ok;
}

void Tdm::ReportInstructionError(const std::exception& e, int aNumber, const std::string& aSql,
                                 bool aHandled) {
  TOrvDbSchemaUpdater& updater = RequireUpdater(Updater, "update");
  updater.ReportError(dbcUpdate,
                      DbFormat(updater.LanguageOptions().ErrExecuteInstruction,
                               {static_cast<long long>(aNumber)}),
                      e.what(), aNumber, aSql, aHandled);
}

bool Tdm::BeforeInstructionEvents(bool& aSkip) {
  TOrvDbSchemaUpdater& updater = RequireUpdater(Updater, "update");
  aSkip = false;
  try {
    if (updater.BeforeExecuteInstruction) updater.BeforeExecuteInstruction(this, *instruction_, aSkip);
    if (aSkip) return true;
    const TDbInstructionEvent& event = updater.*EventsOf(instruction_->Kind).before;
    if (event) event(this, *instruction_, aSkip);
    return true;
  } catch (...) {
    // Reported in the check context, as the message sets place these events.
    ReportError(dbcCheckDb, updater.LanguageOptions().ErrGenericBeforeUpdate,
                ExceptionMessage(std::current_exception()));
    return false;
  }
}

bool Tdm::AfterInstructionEvents() {
  TOrvDbSchemaUpdater& updater = RequireUpdater(Updater, "update");
  bool handled = false;
  try {
    const TDbInstructionEvent& event = updater.*EventsOf(instruction_->Kind).after;
    if (event) event(this, *instruction_, handled);
    if (!handled && updater.AfterExecuteInstruction) {
      updater.AfterExecuteInstruction(this, *instruction_, handled);
    }
    return true;
  } catch (...) {
    ReportError(dbcCheckDb, updater.LanguageOptions().ErrGenericAfterUpdate,
                ExceptionMessage(std::current_exception()));
    return false;
  }
}

bool Tdm::BackupDatabase(const std::string& aDatabaseName, const std::string& aFileName,
                         const std::string& aFolder) {
  TOrvDbSchemaUpdater& updater = RequireUpdater(Updater, "update");
  TDatabaseSpecific* dialect = currentDialect_;
  if (dialect == nullptr) throw EEngineError("No database connected for the backup");
  const TDbLanguageOptions& texts = updater.LanguageOptions();
  std::string fileName = aFileName.empty() ? GetDatabaseName() : aFileName;
  // An Access database has no name in its connection: its backup is a copy named after the
  // database file.
  if (dialect == accessSpecific_.get() || fileName.empty()) {
    fileName = FileNameOf(ado::ConnectionString(ac.ConnectionString()).Get("Data Source"));
  }
  const std::string folder = aFolder.empty() ? updater.DirBackup : aFolder;
  const std::string path = paths::FoldBackslashes(folder + "\\" + fileName);
  const std::string file = paths::ResolveFolder(path);

  std::error_code error;
  if (std::filesystem::exists(file, error)) {
    // A folder (a backup without a name) is never deleted.
    const bool deleted = !fileName.empty() && !std::filesystem::is_directory(file, error) &&
                         std::filesystem::remove(file, error);
    if (!deleted) {
      ReportError(dbcUpdate, DbFormat(texts.ErrDeleteBackupFile, {path}), "Delete error!");
      return false;
    }
  }
  dialect->DatabaseName = aDatabaseName;
  bool ok = dialect->BackupDatabase(ac, fileName, folder);
  if (ok && !std::filesystem::is_regular_file(file, error)) {
    ReportError(dbcUpdate, DbFormat(BackupErrorText(), {path}), "The backup file was not written");
    ok = false;
  }
  if (ok) {
    lastBackupFile_ = path;
    updater.WriteMessage(DbFormat(texts.BackupComplete, {fileName}));
  }
  return ok;
}

void Tdm::LoadSqlCommands() {
  TOrvDbSchemaUpdater& updater = RequireUpdater(Updater, "update");
  // A run without the file runs no command (never the commands an earlier run loaded).
  sqlCommands_->reset();
  const std::string fileName =
      paths::FoldBackslashes(updater.DirSchemas + "\\" + std::string(kSqlCommandsFile));
  const std::string file = paths::ResolveFolder(fileName);
  if (std::filesystem::exists(file)) {
    const pugi::xml_parse_result parsed = sqlCommands_->load_file(file.c_str());
    if (!parsed) {
      sqlCommands_->reset();
      throw EEngineError("The user SQL commands file " + fileName + " is not an XML document: " +
                         parsed.description());
    }
  }
  if (updater.GetReleaseDb && !updater.GetReleaseDb(this, releaseMajor_, releaseMinor_)) {
    releaseMajor_ = -1;
    releaseMinor_ = -1;
  }
}

bool Tdm::RunUserEvent(const std::string& aEventName) {
  // The commands hang under the document element, whatever declaration or comments precede it.
  const pugi::xml_node root = sqlCommands_->document_element();
  if (!root) return true;
  TOrvDbSchemaUpdater& updater = RequireUpdater(Updater, "update");
  bool result = true;
  OwnTransaction own(ac);
  for (const pugi::xml_node command : root.child(aEventName.c_str()).children()) {
    if (command.type() != pugi::node_element) continue;
    int cmdMajor = -1;
    int cmdMinor = -1;
    const std::string sql = command.text().get();
    if (const pugi::xml_attribute release = command.attribute("release")) {
      ParseRelease(text::Trim(release.value()), cmdMajor, cmdMinor);
    }
    if (text::Trim(sql).empty()) continue;
    // Commands up to a release lower than the database's are done already.
    if (releaseMajor_ != -1 && cmdMajor != -1 && releaseMajor_ > cmdMajor) continue;
    if (releaseMajor_ == cmdMajor && releaseMinor_ != -1 && cmdMinor != -1 &&
        releaseMinor_ > cmdMinor) {
      continue;
    }
    try {
      qExec.Close();
      qExec.SetCommandText(sql);
      qExec.ExecSQL();
    } catch (const std::exception& e) {
      updater.ReportError(dbcUpdate, DbFormat(updater.LanguageOptions().ErrExecuteInstruction, {0LL}),
                          e.what(), 0, sql, false);
      result = false;
    }
  }
  own.Finish(result);
  return result;
}

void Tdm::ParseRelease(const std::string& aText, int& aMajor, int& aMinor) {
  aMajor = -1;
  aMinor = -1;
  std::string major = text::Trim(aText);
  if (major.empty()) return;
  const size_t dot = major.find('.');
  if (dot != std::string::npos) {
    aMinor = StrToIntDef(std::string_view(major).substr(dot + 1), -1);
    major.resize(dot);
  }
  aMajor = StrToIntDef(major, -1);
}
