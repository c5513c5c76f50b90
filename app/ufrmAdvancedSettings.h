// The advanced-settings window: edits the producer's rename lists (tables and fields) with pickers
// read from the source database, and opens the producer's options window. The lists are written
// back to the producer whenever the window closes.
#pragma once

#include <QDialog>
#include <string>
#include <utility>
#include <vector>

#include "app/dmMain.h"
#include "common/SchemionTypes.h"
#include "platform/data/Connection.h"
#include "platform/ui/Application.h"

class QComboBox;
class QLabel;
class QStackedWidget;
class QTableWidget;

class TfrmAdvancedSettings : private ui::ApplicationGuard, public QDialog {
 public:
  explicit TfrmAdvancedSettings(TdmMain& aDmMain, QWidget* aParent = nullptr);

  // Stores the source database's connection string, opens it and reads its user tables into the
  // table picker; raises the connection's error when it cannot.
  void Init(const std::string& aConnectionString);

  void ShowHome();
  void ShowTables();
  void ShowFields();
  void AddTable();
  void AddField();
  void RemoveTable();
  void RemoveField();
  void TableChosen();

  QStackedWidget* pages = nullptr;
  QWidget* tsHome = nullptr;
  QWidget* tsTables = nullptr;
  QWidget* tsFields = nullptr;
  QComboBox* cmbTableName = nullptr;
  QLabel* lblTableName = nullptr;
  QComboBox* cmbFieldName = nullptr;
  QTableWidget* veTables = nullptr;
  QTableWidget* veFields = nullptr;
  std::vector<std::string> TableNames;
  std::vector<std::string> FieldNames;
  ado::TConnection ac;

 protected:
  // Every close (Exit, the close box, Escape) writes the lists back and frees the window.
  void closeEvent(QCloseEvent* aEvent) override;
  void reject() override;

 private:
  QWidget* BuildHome();
  QWidget* BuildList(const char* aName, const char* aTitle, QTableWidget*& aGrid, const char* aOld,
                     const char* aNew, bool aFields);
  // Moves the table picker and its caption onto aPage's picker row.
  void MovePicker(QWidget* aPage);
  void WriteBack();
  // A catalogue rowset of the source database (user tables, a table's columns), read the way the
  // schema engine reads that server's catalogue.
  void OpenCatalogue(TOrvSchemaInfo aKind, ado::TSchemaInfo aRowset, const ado::VariantArray& aCriteria,
                     ado::TDataSet& aDataSet);

  TdmMain& dmMain_;
  std::string connectionString_;
};

// The rows of a name = value grid, in order.
std::vector<std::pair<std::string, std::string>> GridEntries(const QTableWidget& aGrid);
// Sets the value of aKey: the existing row of that key, or a new row.
void SetGridValue(QTableWidget& aGrid, const std::string& aKey, const std::string& aValue);
