// TfrmBuildConnectionString: the window that composes, reads back and tests the connection strings
// of the servers the program supports (SQL Server 2000, MSDE, Adaptive Server Anywhere 9), lists
// their servers and databases, and starts an Adaptive Server Anywhere database on a running
// engine. The component base opens it through EditConnectionString.
#pragma once

#include <QDialog>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/data/Connection.h"
#include "platform/ui/Application.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QStackedWidget;

// One provider of the provider box: the provider name and the keys its strings use.
class TDbSpecific {
 public:
  TDbSpecific(std::string aProviderName, std::string aServerKey, std::string aDatabaseKey, std::string aLocationKey)
      : ProviderName(std::move(aProviderName)),
        ServerKey(std::move(aServerKey)),
        DatabaseKey(std::move(aDatabaseKey)),
        LocationKey(std::move(aLocationKey)) {}
  std::string ProviderName;
  std::string ServerKey;
  std::string DatabaseKey;
  std::string LocationKey;
};

// The SQL Server sources the enumerator finds: the embedded servers under $SCHEMION_SERVERS (by
// default "SchmServers" beside the executable), each a folder holding a master database, in name
// order. Each row: SOURCES_NAME and SOURCES_TYPE (1, a data source).
struct TSourceRow {
  std::string SourcesName;
  int SourcesType = 1;
};
std::vector<TSourceRow> EnumerateSqlServerSources();

class TfrmBuildConnectionString : private ui::ApplicationGuard, public QDialog {
 public:
  // Opens the window on aConnStr: mode 0 the start page, 1 the standard editor only, 2 the custom
  // form. True, with aConnStr replaced, when the user accepted; False leaves it unchanged.
  static bool Execute(std::string& aConnStr, uint8_t aMode);

  TfrmBuildConnectionString(std::string aConnStr, uint8_t aMode);
  ~TfrmBuildConnectionString() override;

  // What showing the window does: the start page (mode 0) or the custom form on the string.
  void PrepareShow();
  // Composes the string from the fields (see the .cpp for the order of the pieces).
  std::string ComposeConnectionString(bool aWithDatabase, bool aWithPassword, bool aForceWindowsSecurity) const;
  // Reads a string into the fields; a provider the window does not know leaves them unchanged.
  void ReadConnectionString(const std::string& aText);
  // Reads the string into the fields, shows the custom page and sets up the provider.
  void OpenCustomForm(const std::string& aText);
  // Fills the database list; false on failure (shown when aShowErrors or when listing failed).
  bool FillDatabaseList(bool aShowErrors);
  const std::string& ConnectionString() const { return connStr_; }
  const std::vector<std::unique_ptr<TDbSpecific>>& Providers() const { return providers_; }
  bool OnStartPage() const;

  // Start page.
  QPlainTextEdit* reConnStr = nullptr;
  QPushButton* btnOpenStandard = nullptr;
  QPushButton* btnOpenCustom = nullptr;
  // Custom page.
  QComboBox* cbProvider = nullptr;
  QLineEdit* edtMachineName = nullptr;
  QComboBox* cbEngineName = nullptr;
  QLineEdit* edtLogin = nullptr;
  QLineEdit* edtPassword = nullptr;
  QCheckBox* cbSavePwd = nullptr;
  QCheckBox* cbNoPwd = nullptr;
  QComboBox* cbDbName = nullptr;
  QStackedWidget* pcKind = nullptr;
  QWidget* tsSqlServer = nullptr;
  QWidget* tsAsa = nullptr;
  QGroupBox* rgAuthenticationKind = nullptr;
  QRadioButton* rbWindows = nullptr;
  QRadioButton* rbSql = nullptr;
  QLineEdit* edtFullDbName = nullptr;
  QPushButton* btnBrowseDb = nullptr;
  QPushButton* btnStartDatabase = nullptr;
  QPushButton* btnTestConnection = nullptr;
  QPushButton* btnShowConnection = nullptr;
  QPushButton* btnGet = nullptr;
  QPushButton* btnOk = nullptr;
  QPushButton* btnCancel = nullptr;

 private:
  void BuildStartPage(QWidget& page);
  void BuildCustomPage(QWidget& page);
  // Runs the platform's standard data link dialog on ac_; true when the user accepted.
  bool RunStandardEditor();
  void SetupProvider();
  void EnableLogin();
  void FillServerList();
  void ShowMessage(const std::string& aText);
  void OpenStandardClick();
  void OpenCustomClick();
  void TestConnectionClick();
  void ShowConnectionClick();
  void GetClick();
  void OkClick();
  void BrowseDbClick();
  void StartDatabaseClick();
  // What the fields say, password and check boxes included: unchanged fields give the same text.
  std::string FieldsState() const;

  std::string connStr_;
  std::string readText_;   // the string the custom form was last opened on
  std::string readState_;  // FieldsState() right after it was read
  uint8_t mode_ = 0;
  ado::TConnection ac_;
  std::vector<std::unique_ptr<TDbSpecific>> providers_;
  QStackedWidget* pages_ = nullptr;
  QWidget* tsStartPage = nullptr;
  QWidget* tsCustomConnection = nullptr;
};
