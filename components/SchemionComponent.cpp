// The component base TOrvSchemion: construction, the lifecycle of its windows and engine, the
// connection properties, the windows' visibility and the error and message echo of a run.
#include <utility>

#include "components/ComponentError.h"
#include "components/Schemion.h"
#include "components/uConsole.h"
#include "components/ufrmBuildConnectionString.h"
#include "components/uProgressInfo.h"
#include "components/DbSchemaProducer.h"
#include "engine/uDm.h"

TOrvSchemion::TOrvSchemion()
    : consoleOptions_(std::make_unique<TConsoleOptions>()),
      progressInfoOptions_(std::make_unique<TProgressInfoOptions>()),
      languageOptions_(std::make_unique<TDbLanguageOptions>()),
      updaterDirectives_(std::make_unique<TUpdaterDirectives>()),
      errors_(std::make_unique<TDbErrors>()),
      version_("2.0.0") {}

TOrvSchemion::~TOrvSchemion() { TOrvSchemion::Finalize(); }

void TOrvSchemion::SetConnectionString(const std::string& aValue) {
  if (connected_) SetConnected(false);
  if (dm_) dm_->SetConnectionString(aValue, false);
  connectionString_ = aValue;
}

void TOrvSchemion::SetConnected(bool aValue) {
  // A failing connection raises before the flag is stored, so the flag never claims a
  // connection the engine does not have.
  if (dm_) dm_->SetConnected(aValue);
  connected_ = aValue;
}

bool TOrvSchemion::Initialize() {
  if (initialized_) Finalize();
  consoleFrm_ = std::make_unique<TConsoleFrm>();
  consoleFrm_->ApplyOptions(consoleOptions_.get());
  progressInfoFrm_ = std::make_unique<TProgressInfoFrm>();
  progressInfoFrm_->ApplyOptions(progressInfoOptions_.get());
  dm_ = std::make_unique<Tdm>();
  dm_->SetConnectionString(connectionString_, false);
  initialized_ = true;
  return true;
}

void TOrvSchemion::Finalize() {
  if (!initialized_) return;
  consoleFrm_.reset();
  progressInfoFrm_.reset();
  dm_.reset();
  // The engine took its connection with it.
  connected_ = false;
  initialized_ = false;
}

void TOrvSchemion::ShowWindows(TProgressInfoKind aKind) {
  switch (aKind) {
    case pikSilent:
      HideConsole();
      HideProgressInfo();
      break;
    case pikWinMsg:
      HideConsole();
      ShowProgressInfo();
      break;
    case pikConsole:
      ShowConsole();
      HideProgressInfo();
      break;
    case pikBoth:
      ShowConsole();
      ShowProgressInfo();
      break;
    case pikUpdaterSetting:
      break;
  }
}

void TOrvSchemion::ShowConsole() {
  if (!consoleFrm_) throw EComponentError("Console windows not created!");
  consoleFrm_->show();
}

void TOrvSchemion::ClearConsole() {
  if (consoleFrm_) consoleFrm_->Clear();
}

void TOrvSchemion::ShowProgressInfo() {
  if (!progressInfoFrm_) throw EComponentError("Progress Info Windows does not exists!");
  progressInfoFrm_->show();
}

void TOrvSchemion::HideConsole() {
  if (consoleFrm_) consoleFrm_->hide();
}

void TOrvSchemion::HideProgressInfo() {
  if (progressInfoFrm_) progressInfoFrm_->hide();
}

void TOrvSchemion::CloseWindows() {
  const bool withErrors = errors_->Count() > 0;
  const bool keepConsole = withErrors ? consoleOptions_->leaveOpenedOnErrors
                                      : consoleOptions_->LeaveOpenedOnFinish;
  const bool keepProgress = withErrors ? progressInfoOptions_->leaveOpenedOnErrors
                                       : progressInfoOptions_->LeaveOpenedOnFinish;
  if (!keepConsole) HideConsole();
  if (!keepProgress) HideProgressInfo();
}

std::string ErrorConsoleBlock(const TDbLanguageOptions& aTexts, const std::string& aDescription,
                              const std::string& aEMessage, int aInstrNumber,
                              const std::string& aSqlText) {
  std::string block = aTexts.ConsoleError;
  if (!aDescription.empty()) block += "\r\n" + DbFormat(aTexts.ConsoleDescription, {aDescription});
  if (!aEMessage.empty()) block += "\r\n" + DbFormat(aTexts.ConsoleErrMsg, {aEMessage});
  if (aInstrNumber != 0) {
    block += "\r\n" + DbFormat(aTexts.ConsoleInstrNumber, {static_cast<long long>(aInstrNumber)});
  }
  if (!aSqlText.empty()) block += "\r\n" + DbFormat(aTexts.ConsoleCommandText, {aSqlText});
  return block;
}

void TOrvSchemion::ReportError(TDbContext aContext, const std::string& aDescription,
                               const std::string& aEMessage, int aInstrNumber,
                               const std::string& aSqlText, bool aHandled) {
  errors_->Add(aContext, aDescription, aEMessage, aInstrNumber, aSqlText, aHandled);
  WriteMessage(ErrorConsoleBlock(*languageOptions_, aDescription, aEMessage, aInstrNumber, aSqlText));
}

void TOrvSchemion::WriteMessage(const std::string& aText) {
  if (consoleFrm_) consoleFrm_->AddLine(aText);
  SetProgressInfoText(aText);
}

void TOrvSchemion::SetProgressInfoText(const std::string& aText) {
  if (progressInfoFrm_) progressInfoFrm_->SetInfoText(aText);
}

void TOrvSchemion::ProgressBeginExtractSchemas(int aMax) {
  if (progressInfoFrm_) progressInfoFrm_->BeginExtractSchemas(aMax);
}

void TOrvSchemion::ProgressStepExtractTable(const std::string& aText) {
  if (progressInfoFrm_) progressInfoFrm_->StepExtractTable(aText);
}

void TOrvSchemion::ProgressSetLevel1Max(int aMax) {
  if (progressInfoFrm_) progressInfoFrm_->SetLevel1Max(aMax);
}

void TOrvSchemion::ProgressStepExtractDetail(const std::string& aText) {
  if (progressInfoFrm_) progressInfoFrm_->StepExtractDetail(aText);
}

void TOrvSchemion::ProgressBeginCheckDb(int aMax) {
  if (progressInfoFrm_) progressInfoFrm_->BeginCheckDb(aMax);
}

void TOrvSchemion::ProgressStepLevel0(const std::string& aText) {
  if (progressInfoFrm_) progressInfoFrm_->StepLevel0(aText);
}

void TOrvSchemion::ProgressStepLevel1(const std::string& aText) {
  if (progressInfoFrm_) progressInfoFrm_->StepLevel1(aText);
}

void TOrvSchemion::ProgressStepLevel2(const std::string& aText) {
  if (progressInfoFrm_) progressInfoFrm_->StepLevel2(aText);
}

void TOrvSchemion::ProgressResetLevel1(int aMax) {
  if (progressInfoFrm_) progressInfoFrm_->ResetLevel1(aMax);
}

void TOrvSchemion::ProgressResetLevel2(int aMax) {
  if (progressInfoFrm_) progressInfoFrm_->ResetLevel2(aMax);
}

void TOrvSchemion::ProgressBeginUpdateDb() {
  if (progressInfoFrm_) progressInfoFrm_->BeginUpdateDb();
}

void TOrvSchemion::ProgressStepUpdateLevel0(const std::string& aText) {
  if (progressInfoFrm_) progressInfoFrm_->StepUpdateLevel0(aText);
}

void TOrvSchemion::ProgressStepUpdateLevel1(const std::string& aText) {
  if (progressInfoFrm_) progressInfoFrm_->StepUpdateLevel1(aText);
}

void TOrvSchemion::ProgressResetUpdateLevel1(int aMax) {
  if (progressInfoFrm_) progressInfoFrm_->ResetUpdateLevel1(aMax);
}

bool TOrvSchemion::EditConnectionString(std::string& aConnectionString, int aMode) {
  return TfrmBuildConnectionString::Execute(aConnectionString, static_cast<uint8_t>(aMode));
}

std::unique_ptr<TOrvDbSchemaProducer> TOrvSchemion::NewHolderProducer() const {
  return std::make_unique<TOrvDbSchemaProducer>();
}
