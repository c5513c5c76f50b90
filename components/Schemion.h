// The unit shared by the producer and the updater: the instruction classifier TInstruction, which
// describes one SQL instruction of the instruction list (its number, text, kind and the names of
// the objects it touches) for the instruction events and error reports of a running update, and
// the component base TOrvSchemion, which holds what both components share and is the engine's way
// back to its component (errors, console lines, progress texts).
#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "common/SchemionTypes.h"
#include "components/ConsoleOptions.h"
#include "components/DbErrors.h"
#include "components/ProgressInfoOptions.h"
#include "components/UpdaterDirectives.h"
#include "components/uDbLanguage.h"
#include "dialects/DialectOwner.h"

class TDatabaseSpecific;
class Tdm;
class TConsoleFrm;
class TProgressInfoFrm;
class TOrvDbSchemaProducer;

class TInstruction {
 public:
  // `owner` (the engine data module) gives the current dialect: its statement recognisers and
  // quote characters. Not owned; may be null, then no dialect statement is recognised and no
  // quotes are known.
  explicit TInstruction(IDialectOwner* owner = nullptr) : Owner(owner) {}

  IDialectOwner* Owner = nullptr;
  std::string Sql;
  std::string DatabaseName;
  std::string OwnerName;
  std::string ObjectName;  // the table worked on; for a DROP INDEX the last part of its name
  std::string SecondName;  // constraint, index or column, or the dialect's second name
  std::string Detail;      // index options ("UNIQUE;CLUSTERED") or column + "=" + default value
  TInstructionKind Kind = ikUnknown;
  int Number = 0;

  // Number := aNumber, Sql := aSql, then Classify.
  void SetInstruction(int aNumber, const std::string& aSql);
  // Fills Kind and the name fields from Sql. Every name field and Detail that the matching rule
  // does not fill is left empty.
  void Classify();
  // Splits a dotted name into up to three parts (database, owner, object), each unquoted; a third
  // part keeps any further dots.
  void SplitName(const std::string& aName, std::string& aDatabase, std::string& aOwner,
                 std::string& aObject) const;
  // aAdd true: the name wrapped in the current dialect's quotes. aAdd false: the name trimmed,
  // with one opening quote removed from its start and one closing quote from its end when present.
  std::string QuoteName(const std::string& aName, bool aAdd) const;
  // The leading name of a text: dotted parts, each plain (up to a blank, dot, parenthesis, comma
  // or semicolon) or enclosed in the dialect's quotes; empty for an empty text.
  std::string FirstName(std::string_view aText) const;

 private:
  const TDatabaseSpecific* Dialect() const;
  void ClearNames();
  bool ClassifyDialectStatement();
  // Fills the three name fields from the first name of `text`; false when that name is empty.
  bool SetTableName(std::string_view text);
  void ClassifyAlterTable();
  void ClassifyIndex();
  void ClassifyDropIndex(std::string_view rest);
};

// The error event: Sender (the engine data module, or the component), the exception, the context,
// the instruction concerned by reference (nullptr when none), and the handled and re-execute
// answers of the handler.
using TDbErrorEvent = std::function<void(void* Sender, const std::exception& e, TDbContext aContext,
                                         TInstruction*& aInstr, bool& handled, bool& reExecute)>;
// Asks the host for the release of the database: major and minor number; False when the host
// does not know it.
using TGetReleaseDbEvent = std::function<bool(void* Sender, int& aMajor, int& aMinor)>;

// The component base of the producer and the updater. Between Initialize and Finalize it owns the
// console window, the progress window and one engine data module. The engine library sits below
// this one, so the engine calls the component only through the virtual operations below and
// inline accessors; the windows are reached through the component, never by the engine itself.
class TOrvSchemion {
 public:
  TOrvSchemion();
  // Finalizes with this class's Finalize: a descendant that overrides Finalize calls its own in
  // its destructor, since a base destructor does not reach the override.
  virtual ~TOrvSchemion();
  TOrvSchemion(const TOrvSchemion&) = delete;
  TOrvSchemion& operator=(const TOrvSchemion&) = delete;

  // ---- Published properties ----
  std::string DirSchemas = ".\\schemas";
  const std::string& ConnectionString() const { return connectionString_; }
  // While connected, disconnects first; with an engine, hands the text to it (not opened).
  void SetConnectionString(const std::string& aValue);
  bool Connected() const { return connected_; }
  // With an engine, the value goes to Tdm::SetConnected first: a failure raises to the caller
  // and leaves the flag as it was. Without an engine only the flag is stored.
  void SetConnected(bool aValue);
  TConsoleOptions& ConsoleOptions() { return *consoleOptions_; }
  const TConsoleOptions& ConsoleOptions() const { return *consoleOptions_; }
  TProgressInfoOptions& ProgressInfoOptions() { return *progressInfoOptions_; }
  const TProgressInfoOptions& ProgressInfoOptions() const { return *progressInfoOptions_; }
  TDbLanguageOptions& LanguageOptions() { return *languageOptions_; }
  const TDbLanguageOptions& LanguageOptions() const { return *languageOptions_; }
  TUpdaterDirectives& UpdaterDirectives() { return *updaterDirectives_; }
  const TUpdaterDirectives& UpdaterDirectives() const { return *updaterDirectives_; }
  // Assigning an option object copies its values: the component keeps its own object.
  void SetConsoleOptions(const TConsoleOptions& aValue) { *consoleOptions_ = aValue; }
  void SetProgressInfoOptions(const TProgressInfoOptions& aValue) { *progressInfoOptions_ = aValue; }
  void SetLanguageOptions(const TDbLanguageOptions& aValue) { *languageOptions_ = aValue; }
  void SetUpdaterDirectives(const TUpdaterDirectives& aValue) { *updaterDirectives_ = aValue; }
  std::string SqlCommand;
  TGetReleaseDbEvent GetReleaseDb;
  const std::string& version() const { return version_; }
  TDbErrorEvent OnError;

  // ---- Run-time state ----
  bool Initialized() const { return initialized_; }
  // The engine between Initialize and Finalize; nullptr otherwise.
  Tdm* dm() const { return dm_.get(); }
  TDbErrors& Errors() { return *errors_; }
  const TDbErrors& Errors() const { return *errors_; }
  // The windows between Initialize and Finalize; nullptr otherwise.
  TConsoleFrm* ConsoleFrm() const { return consoleFrm_.get(); }
  TProgressInfoFrm* ProgressInfoFrm() const { return progressInfoFrm_.get(); }

  // ---- Operations ----
  // Creates the two windows (options applied) and the engine, which gets ConnectionString
  // without opening it. On an initialised component it finalises first, so nothing leaks.
  virtual bool Initialize();
  // Frees the windows and the engine; a second call does nothing.
  virtual void Finalize();

  void ShowWindows(TProgressInfoKind aKind);
  // Raise EComponentError "Console windows not created!" / "Progress Info Windows does not
  // exists!" when the window does not exist.
  void ShowConsole();
  void ShowProgressInfo();
  void HideConsole();
  void HideProgressInfo();
  // Empties the console: each run shows only its own lines.
  void ClearConsole();
  // The end of every run: with errors listed each window stays open only when its
  // leaveOpenedOnErrors is set; without, only when its LeaveOpenedOnFinish is set.
  void CloseWindows();

  // Adds the error to the list and writes its console block (also the progress info text).
  virtual void ReportError(TDbContext aContext, const std::string& aDescription,
                           const std::string& aEMessage, int aInstrNumber,
                           const std::string& aSqlText, bool aHandled);
  // The text as a console line and as the progress window's info text; a window that does not
  // exist is left out.
  virtual void WriteMessage(const std::string& aText);
  // The progress window's info text alone; nothing without the window.
  virtual void SetProgressInfoText(const std::string& aText);
  // The progress window's steps of a schema extraction; nothing without the window.
  virtual void ProgressBeginExtractSchemas(int aMax);
  virtual void ProgressStepExtractTable(const std::string& aText);
  virtual void ProgressSetLevel1Max(int aMax);
  virtual void ProgressStepExtractDetail(const std::string& aText);
  // The progress window's steps of a check and of an update; nothing without the window.
  virtual void ProgressBeginCheckDb(int aMax);
  virtual void ProgressStepLevel0(const std::string& aText);
  virtual void ProgressStepLevel1(const std::string& aText);
  virtual void ProgressStepLevel2(const std::string& aText);
  virtual void ProgressResetLevel1(int aMax);
  virtual void ProgressResetLevel2(int aMax);
  virtual void ProgressBeginUpdateDb();
  virtual void ProgressStepUpdateLevel0(const std::string& aText);
  virtual void ProgressStepUpdateLevel1(const std::string& aText);
  virtual void ProgressResetUpdateLevel1(int aMax);

  // A producer of no owner, for one engine run of an updater that has no producer of its own: it
  // holds the producer's directives and lists read from the schema folder.
  virtual std::unique_ptr<TOrvDbSchemaProducer> NewHolderProducer() const;

  // Opens the connection-string builder window on the text (mode as the builder takes it); true,
  // with the text replaced, when the user accepted it.
  bool EditConnectionString(std::string& aConnectionString, int aMode);

 private:
  std::unique_ptr<TConsoleOptions> consoleOptions_;
  std::unique_ptr<TProgressInfoOptions> progressInfoOptions_;
  std::unique_ptr<TDbLanguageOptions> languageOptions_;
  std::unique_ptr<TUpdaterDirectives> updaterDirectives_;
  std::unique_ptr<TDbErrors> errors_;
  std::unique_ptr<TConsoleFrm> consoleFrm_;
  std::unique_ptr<TProgressInfoFrm> progressInfoFrm_;
  std::unique_ptr<Tdm> dm_;
  std::string connectionString_;
  std::string version_;
  bool connected_ = false;
  bool initialized_ = false;
};

// The console block of an error in the message set: the error title, then on lines of their own
// (CR LF before each) the description, exception message, instruction number and SQL text, each
// only when present (number: when not 0).
std::string ErrorConsoleBlock(const TDbLanguageOptions& aTexts, const std::string& aDescription,
                              const std::string& aEMessage, int aInstrNumber,
                              const std::string& aSqlText);
