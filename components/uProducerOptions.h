// The producer options window: a producer's folders, connection string, progress kind, and the
// updater directives and delete policy it hands to the updater with the schema files, edited in
// one modal window.
#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "common/SchemionTypes.h"
#include "components/UpdaterDirectives.h"
#include "platform/ui/Application.h"

class QButtonGroup;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;

// The producer's properties the window edits. The producer copies its own into it before the
// window runs and takes them back after OK.
struct TProducerOptions {
  std::string DirSchemas;
  std::string ConnectionString;
  TProgressInfoKind ProgressInfoKind = pikWinMsg;
  std::string SqlCommand;
  TUpdaterDirectives UpdaterDirectives;
};

class TProducerOptionsFrm : private ui::ApplicationGuard, public QDialog {
 public:
  explicit TProducerOptionsFrm(TProducerOptions& aProducer, QWidget* aParent = nullptr);

  // Shows the window on aProducer modally through the dialog service; True only on OK, and
  // only then is aProducer changed.
  static bool ShowOptions(TProducerOptions& aProducer);

  // Copies every property into its control and shows the "General" page.
  void LoadControls();
  // Writes every control back; a choice list showing no item leaves its value unchanged.
  void SaveControls();
  // Sets the controls (not the producer) to the defaults; the connection string is kept.
  void SetDefaultControls();

  QTabWidget* pages = nullptr;  // "General", "Updater Directives", "Delete Directives"
  QLineEdit* edtDirSchemas = nullptr;
  QPushButton* btnDirSchemas = nullptr;
  QPlainTextEdit* reConnectionString = nullptr;
  QPushButton* btnConnectionString = nullptr;
  QButtonGroup* rgProgressInfoKind = nullptr;
  QLineEdit* edtSqlHandler = nullptr;
  QComboBox* cbFProgressInfoKind = nullptr;
  QComboBox* cbFErrorManager = nullptr;
  QComboBox* cbFFkPendingData = nullptr;
  QComboBox* cbFPkChangedTreatment = nullptr;
  QComboBox* cbFAutoRecoverPrimaryKeys = nullptr;
  QComboBox* cbFAutoRecoverUnqueIndexes = nullptr;
  QComboBox* cbFDefaultValueFromDataType = nullptr;
  QComboBox* cbFUpdateComments = nullptr;
  QComboBox* cbFBackupBeforeUpdate = nullptr;
  QComboBox* cbFUseDefaultOwner = nullptr;
  QComboBox* cbFUseDefaultDbSpace = nullptr;
  QPlainTextEdit* reUsers = nullptr;
  QPlainTextEdit* rePrimaryKeys = nullptr;
  QComboBox* cbFConfirmOnDelete = nullptr;
  QComboBox* cbFEnableDeletion = nullptr;
  QComboBox* cbFDeleteTables = nullptr;
  QComboBox* cbFDeleteFields = nullptr;
  QComboBox* cbFDeleteIndexes = nullptr;
  QComboBox* cbFDeleteProcedures = nullptr;
  QComboBox* cbFDeleteViews = nullptr;
  QPlainTextEdit* rePrefixesList = nullptr;
  QPushButton* btnOk = nullptr;
  QPushButton* btnCancel = nullptr;
  QPushButton* btnDefault = nullptr;

  // A drop-down list bound to an enumeration property: item index = ordinal.
  struct Choice {
    QComboBox* box;
    std::function<int()> get;
    std::function<void(int)> set;
  };
  const std::vector<Choice>& Choices() const { return choices_; }

 private:
  QWidget* BuildGeneral();
  QWidget* BuildDirectives();
  QWidget* BuildDeletes();
  QComboBox* AddChoice(QWidget* aPage, const char* aCaption, const std::vector<const char*>& aItems,
                       std::function<int()> aGet, std::function<void(int)> aSet);
  void ChooseFolder();
  void EditConnection();

  TProducerOptions& producer_;
  std::vector<Choice> choices_;
};
