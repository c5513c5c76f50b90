#include "components/ufrmBuildConnectionString.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "common/Paths.h"
#include "common/Text.h"
#include "platform/data/ConnectionString.h"
#include "platform/data/DataSet.h"
#include "platform/ui/DialogService.h"

namespace {

namespace fs = std::filesystem;

constexpr int kAsaIndex = 2;

QString Q(const std::string& text) { return QString::fromStdString(text); }
std::string S(const QString& text) { return text.toStdString(); }

// Position of key in text, ignoring ASCII case; npos when missing.
std::size_t FindNoCase(const std::string& text, const std::string& key) {
  const std::string upper = text::Upper(text);
  return upper.find(text::Upper(key));
}

// A key as the window names it ("Data Source=") without its "=".
std::string KeyName(const std::string& key) { return key.substr(0, key.find('=')); }

// The value of key (written with its "=", case ignored) as connection strings read it: a value in
// quotes holds its ";" and doubled quotes; empty when the key is missing.
std::string ValueOf(const ado::ConnectionString& text, const std::string& key) { return text.Get(KeyName(key)); }

// ";" + key + value, the value quoted as connection strings quote it when it holds a ";", a quote
// or outer blanks.
std::string Piece(const std::string& key, const std::string& value) {
  ado::ConnectionString piece;
  piece.Set(KeyName(key), value);
  return ";" + piece.ToString();
}

bool EqualsNoCase(const std::string& a, const std::string& b) { return text::Upper(a) == text::Upper(b); }

std::string QuotedSql(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    quoted.push_back(c);
    if (c == '\'') quoted.push_back('\'');
  }
  return quoted + "'";
}

QPushButton* Button(const char* caption, const char* hint, QWidget& parent) {
  auto* button = new QPushButton(caption, &parent);
  if (hint != nullptr) button->setToolTip(hint);
  return button;
}

}  // namespace

std::vector<TSourceRow> EnumerateSqlServerSources() {
  std::string root;
  if (const char* env = std::getenv("SCHEMION_SERVERS"); env != nullptr && *env != '\0') {
    root = env;
  } else {
    root = paths::Join(paths::ExecutableFolder(), "SchmServers");
  }
  std::vector<TSourceRow> rows;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(root, ec)) {
    if (entry.is_directory() && fs::exists(entry.path() / "master.sqlite")) {
      rows.push_back({entry.path().filename().string(), 1});
    }
  }
  std::sort(rows.begin(), rows.end(), [](const TSourceRow& a, const TSourceRow& b) { return a.SourcesName < b.SourcesName; });
  return rows;
}

bool TfrmBuildConnectionString::Execute(std::string& aConnStr, uint8_t aMode) {
  TfrmBuildConnectionString window(aConnStr, aMode);
  if (aMode == 1) {
    if (!window.RunStandardEditor()) return false;
    aConnStr = window.ac_.ConnectionString();
    return true;
  }
  window.PrepareShow();
  if (ui::Dialogs().ShowModal(window) != QDialog::Accepted) return false;
  aConnStr = window.connStr_;
  return true;
}

TfrmBuildConnectionString::TfrmBuildConnectionString(std::string aConnStr, uint8_t aMode)
    : connStr_(std::move(aConnStr)), mode_(aMode) {
  providers_.push_back(std::make_unique<TDbSpecific>("SQLOLEDB.1", "Data Source=", "Initial Catalog=", "Location="));
  providers_.push_back(std::make_unique<TDbSpecific>("SQLOLEDB.1", "Data Source=", "Initial Catalog=", "Location="));
  providers_.push_back(std::make_unique<TDbSpecific>("ASAProv.90", "Eng=", "dbn=", "links="));
  setWindowTitle("Build Connection String");
  setWindowFlags(Qt::Tool);
  auto* layout = new QVBoxLayout(this);
  pages_ = new QStackedWidget(this);
  tsStartPage = new QWidget(pages_);
  tsCustomConnection = new QWidget(pages_);
  pages_->addWidget(tsStartPage);
  pages_->addWidget(tsCustomConnection);
  layout->addWidget(pages_);
  BuildStartPage(*tsStartPage);
  BuildCustomPage(*tsCustomConnection);
}

TfrmBuildConnectionString::~TfrmBuildConnectionString() = default;

void TfrmBuildConnectionString::BuildStartPage(QWidget& page) {
  auto* layout = new QVBoxLayout(&page);
  layout->addWidget(new QLabel("Current Connection String", &page));
  reConnStr = new QPlainTextEdit(&page);
  layout->addWidget(reConnStr);
  auto* note = new QLabel(
      "Use the standard window unless it cannot set what a database needs, as with Adaptive Server "
      "Anywhere, whose properties have other names; then use the custom window.",
      &page);
  note->setWordWrap(true);
  layout->addWidget(note);
  auto* buttons = new QHBoxLayout;
  btnOpenStandard = Button("Open Standard Window", nullptr, page);
  btnOpenCustom = Button("Open Custom Connection Window", nullptr, page);
  buttons->addWidget(btnOpenStandard);
  buttons->addWidget(btnOpenCustom);
  layout->addLayout(buttons);
  connect(btnOpenStandard, &QPushButton::clicked, this, [this] { OpenStandardClick(); });
  connect(btnOpenCustom, &QPushButton::clicked, this, [this] { OpenCustomClick(); });
}

void TfrmBuildConnectionString::BuildCustomPage(QWidget& page) {
  auto* layout = new QVBoxLayout(&page);
  auto* form = new QFormLayout;
  cbProvider = new QComboBox(&page);
  cbProvider->addItems({"SQL Server 2000", "MSDE", "ASA 9"});
  edtMachineName = new QLineEdit(&page);
  cbEngineName = new QComboBox(&page);
  cbEngineName->setEditable(true);
  edtLogin = new QLineEdit(&page);
  edtPassword = new QLineEdit(&page);
  edtPassword->setEchoMode(QLineEdit::Password);
  cbSavePwd = new QCheckBox("Save Password in Connection String", &page);
  cbNoPwd = new QCheckBox("No Password", &page);
  cbDbName = new QComboBox(&page);
  cbDbName->setEditable(true);
  btnGet = Button("Get", "Get Database List", page);
  form->addRow("Provider", cbProvider);
  form->addRow("Machine Name (empty = local machine)", edtMachineName);
  form->addRow("Engine Name (Server DB)", cbEngineName);
  form->addRow("Login", edtLogin);
  form->addRow("Password", edtPassword);
  form->addRow("", cbSavePwd);
  form->addRow("", cbNoPwd);
  auto* dbRow = new QHBoxLayout;
  dbRow->addWidget(cbDbName, 1);
  dbRow->addWidget(btnGet);
  form->addRow("Database Name", dbRow);
  layout->addLayout(form);

  pcKind = new QStackedWidget(&page);
  tsSqlServer = new QWidget(pcKind);
  auto* sqlLayout = new QVBoxLayout(tsSqlServer);
  rgAuthenticationKind = new QGroupBox("[ Authentication Kind ]", tsSqlServer);
  auto* authLayout = new QHBoxLayout(rgAuthenticationKind);
  rbWindows = new QRadioButton("Windows", rgAuthenticationKind);
  rbSql = new QRadioButton("SQL", rgAuthenticationKind);
  rbSql->setChecked(true);
  authLayout->addWidget(rbWindows);
  authLayout->addWidget(rbSql);
  sqlLayout->addWidget(rgAuthenticationKind);
  tsAsa = new QWidget(pcKind);
  auto* asaLayout = new QVBoxLayout(tsAsa);
  auto* startGroup = new QGroupBox("[ Database to start in the service specified (if not running) ]", tsAsa);
  auto* startLayout = new QHBoxLayout(startGroup);
  edtFullDbName = new QLineEdit(startGroup);
  btnBrowseDb = Button("...", nullptr, *startGroup);
  btnStartDatabase = Button("Start Database", nullptr, *startGroup);
  startLayout->addWidget(edtFullDbName, 1);
  startLayout->addWidget(btnBrowseDb);
  startLayout->addWidget(btnStartDatabase);
  asaLayout->addWidget(startGroup);
  pcKind->addWidget(tsSqlServer);
  pcKind->addWidget(tsAsa);
  layout->addWidget(pcKind);

  auto* buttons = new QHBoxLayout;
  btnTestConnection = Button("Test Connection", "Check the Connection to specified database", page);
  btnShowConnection = Button("Show Connection", "Show current connection string", page);
  btnOk = Button("Ok", "Close window and save Current Settings", page);
  btnCancel = Button("Cancel", "Close Windows and discard current settings", page);
  for (QPushButton* b : {btnTestConnection, btnShowConnection, btnOk, btnCancel}) buttons->addWidget(b);
  layout->addLayout(buttons);

  connect(cbProvider, &QComboBox::currentIndexChanged, this, [this] { SetupProvider(); });
  connect(rbWindows, &QRadioButton::clicked, this, [this] { EnableLogin(); });
  connect(rbSql, &QRadioButton::clicked, this, [this] { EnableLogin(); });
  connect(cbNoPwd, &QCheckBox::clicked, this, [this] { cbSavePwd->setEnabled(!cbNoPwd->isChecked()); });
  // A new engine name (chosen, or typed and confirmed) fills the list without connection errors.
  connect(cbEngineName, &QComboBox::activated, this, [this] { FillDatabaseList(false); });
  connect(btnTestConnection, &QPushButton::clicked, this, [this] { TestConnectionClick(); });
  connect(btnShowConnection, &QPushButton::clicked, this, [this] { ShowConnectionClick(); });
  connect(btnGet, &QPushButton::clicked, this, [this] { GetClick(); });
  connect(btnOk, &QPushButton::clicked, this, [this] { OkClick(); });
  connect(btnCancel, &QPushButton::clicked, this, [this] { reject(); });
  connect(btnBrowseDb, &QPushButton::clicked, this, [this] { BrowseDbClick(); });
  connect(btnStartDatabase, &QPushButton::clicked, this, [this] { StartDatabaseClick(); });
}

bool TfrmBuildConnectionString::OnStartPage() const { return pages_->currentWidget() == tsStartPage; }

void TfrmBuildConnectionString::PrepareShow() {
  reConnStr->setPlainText(Q(connStr_));
  if (mode_ == 0) {
    pages_->setCurrentWidget(tsStartPage);
  } else {
    OpenCustomForm(connStr_);
  }
}

bool TfrmBuildConnectionString::RunStandardEditor() {
  ac_.Close();
  ac_.SetConnectionString(connStr_);
  // The standard editor works on the text only: the connection is never opened here.
  const auto edited = ui::Dialogs().EditConnectionString(this, ac_.ConnectionString());
  if (!edited) return false;
  ac_.SetConnectionString(*edited);
  return true;
}

void TfrmBuildConnectionString::OpenStandardClick() {
  connStr_ = S(reConnStr->toPlainText());
  if (RunStandardEditor()) {
    connStr_ = ac_.ConnectionString();
    accept();
  } else {
    reject();
  }
}

void TfrmBuildConnectionString::OpenCustomClick() {
  connStr_ = S(reConnStr->toPlainText());
  OpenCustomForm(connStr_);
}

void TfrmBuildConnectionString::OpenCustomForm(const std::string& aText) {
  ReadConnectionString(aText);
  const std::string engine = S(cbEngineName->currentText());
  pages_->setCurrentWidget(tsCustomConnection);
  SetupProvider();
  cbEngineName->setCurrentText(Q(engine));
  readText_ = aText;
  readState_ = FieldsState();
}

void TfrmBuildConnectionString::EnableLogin() {
  const bool sql = rbSql->isChecked();
  cbNoPwd->setEnabled(sql);
  edtLogin->setEnabled(sql);
  edtPassword->setEnabled(sql);
  cbSavePwd->setEnabled(sql && !cbNoPwd->isChecked());
}

void TfrmBuildConnectionString::SetupProvider() {
  const int index = cbProvider->currentIndex();
  btnStartDatabase->setEnabled(index == kAsaIndex);
  if (index != kAsaIndex) {
    pcKind->setCurrentWidget(tsSqlServer);
    EnableLogin();
    FillServerList();
    return;
  }
  cbEngineName->clear();
  pcKind->setCurrentWidget(tsAsa);
  // The login fields stay usable (a Windows choice made for another provider does not apply).
  edtLogin->setEnabled(true);
  edtPassword->setEnabled(true);
  cbNoPwd->setEnabled(true);
  cbSavePwd->setEnabled(!cbNoPwd->isChecked());
}

void TfrmBuildConnectionString::FillServerList() {
  cbEngineName->setUpdatesEnabled(false);
  cbEngineName->clear();
  for (const TSourceRow& row : EnumerateSqlServerSources()) {
    if (row.SourcesType == 1 && !row.SourcesName.empty()) cbEngineName->addItem(Q(row.SourcesName));
  }
  cbEngineName->setCurrentText("");
  cbEngineName->setUpdatesEnabled(true);
}

std::string TfrmBuildConnectionString::ComposeConnectionString(bool aWithDatabase, bool aWithPassword,
                                                               bool aForceWindowsSecurity) const {
  const int index = std::max(0, cbProvider->currentIndex());
  const TDbSpecific& row = *providers_[static_cast<std::size_t>(index)];
  std::string text = "Provider=" + row.ProviderName;
  if (index != kAsaIndex && (aForceWindowsSecurity || rbWindows->isChecked())) {
    text += ";Integrated Security=SSPI;Persist Security Info=False";
  } else {
    text += cbSavePwd->isEnabled() && cbSavePwd->isChecked() ? ";Persist Security Info=True"
                                                               : ";Persist Security Info=False";
    if (edtLogin->isEnabled() && !edtLogin->text().isEmpty()) text += Piece("User ID=", S(edtLogin->text()));
    if (edtPassword->isEnabled() && !edtPassword->text().isEmpty()) {
      const std::string password = S(edtPassword->text());
      if (aWithPassword) {
        text += Piece("Password=", password);
      } else if (cbNoPwd->isChecked()) {
        text += ";Password=''";
      } else if (cbSavePwd->isChecked()) {
        text += Piece("Password=", password);
      }
    }
  }
  if (aWithDatabase && !cbDbName->currentText().isEmpty()) text += Piece(row.DatabaseKey, S(cbDbName->currentText()));
  if (!cbEngineName->currentText().isEmpty()) text += Piece(row.ServerKey, S(cbEngineName->currentText()));
  if (!edtMachineName->text().isEmpty()) {
    text += index != kAsaIndex ? Piece(row.LocationKey, S(edtMachineName->text()))
                               : ";links=tcpip{host=" + S(edtMachineName->text()) + "}";
  }
  return text;
}

void TfrmBuildConnectionString::ReadConnectionString(const std::string& aText) {
  const QSignalBlocker blocker(cbProvider);
  cbProvider->setCurrentIndex(0);
  pcKind->setCurrentWidget(tsSqlServer);
  if (aText.empty()) return;
  const ado::ConnectionString pieces(aText);
  const std::string providerName = ValueOf(pieces, "Provider=");
  int index = -1;
  for (std::size_t i = 0; i < providers_.size() && index < 0; ++i) {
    if (EqualsNoCase(providers_[i]->ProviderName, providerName)) index = static_cast<int>(i);
  }
  if (index < 0) return;
  cbProvider->setCurrentIndex(index);
  pcKind->setCurrentWidget(index == kAsaIndex ? tsAsa : tsSqlServer);
  const TDbSpecific& row = *providers_[static_cast<std::size_t>(index)];
  cbEngineName->setCurrentText(Q(ValueOf(pieces, row.ServerKey)));
  std::string location = ValueOf(pieces, row.LocationKey);
  if (row.LocationKey == "links=") {
    const std::size_t host = FindNoCase(location, "tcpip{host=");
    if (host != std::string::npos) {
      const std::size_t start = host + std::string("tcpip{host=").size();
      const std::size_t close = location.find('}', start);
      location = location.substr(start, close == std::string::npos ? std::string::npos : close - start);
    }
  }
  edtMachineName->setText(Q(location));
  cbDbName->setCurrentText(Q(ValueOf(pieces, row.DatabaseKey)));
  edtLogin->setText(Q(ValueOf(pieces, "User ID=")));
  // Two single quotes are read as the empty password they write.
  const std::string password = ValueOf(pieces, "Password=");
  edtPassword->setText(Q(password));
  if (index == 0 && EqualsNoCase(ValueOf(pieces, "Integrated Security="), "SSPI")) {
    rbWindows->setChecked(true);
    edtLogin->clear();
    edtPassword->clear();
    cbNoPwd->setChecked(false);
    cbSavePwd->setChecked(false);
    return;
  }
  rbSql->setChecked(true);
  if (EqualsNoCase(ValueOf(pieces, "Persist Security Info="), "true")) {
    cbNoPwd->setChecked(false);
    cbSavePwd->setChecked(true);
  } else {
    // A password written in the string is one it saves; an empty one says there is none.
    cbSavePwd->setChecked(!password.empty());
    cbNoPwd->setChecked(pieces.Has("Password") && password.empty());
  }
}

std::string TfrmBuildConnectionString::FieldsState() const {
  return ComposeConnectionString(true, true, false) + (cbSavePwd->isChecked() ? "|save" : "|") +
         (cbNoPwd->isChecked() ? "|none" : "|");
}

void TfrmBuildConnectionString::ShowMessage(const std::string& aText) {
  ui::Dialogs().MessageDlg(this, "Build Connection String", aText, ui::mtInformation, ui::mbOK);
}

void TfrmBuildConnectionString::TestConnectionClick() {
  try {
    ac_.Close();
    ac_.SetConnectionString(ComposeConnectionString(true, true, false));
    ac_.Open();
    ShowMessage("Connection OK!");
    ac_.Close();
  } catch (const std::exception& e) {
    ac_.Close();
    ShowMessage(std::string("Connection Failed. \r\nERROR: ") + e.what());
  }
}

void TfrmBuildConnectionString::ShowConnectionClick() {
  ShowMessage("Current connection string: \r\n\r\n" + ComposeConnectionString(true, false, false));
}

void TfrmBuildConnectionString::GetClick() {
  cbDbName->setCurrentText("");
  FillDatabaseList(true);
}

bool TfrmBuildConnectionString::FillDatabaseList(bool aShowErrors) {
  const std::string failed = "Unable to get Database Catalog!\r\nERROR: ";
  try {
    ac_.Close();
    ac_.SetConnectionString(ComposeConnectionString(false, true, true));
    ac_.Open();
  } catch (const std::exception& e) {
    ac_.Close();
    if (aShowErrors) ShowMessage(failed + e.what());
    return false;
  }
  try {
    const QString typed = cbDbName->currentText();
    cbDbName->clear();
    ado::TDataSet rows;
    std::string field;
    if (cbProvider->currentIndex() != kAsaIndex) {
      ac_.OpenSchema(ado::siCatalogs, ado::Variant(), rows);
      field = "CATALOG_NAME";
    } else {
      ac_.Query("EXECUTE sa_db_info", rows);
      field = "alias";
    }
    for (rows.First(); !rows.Eof(); rows.Next()) cbDbName->addItem(Q(rows.FieldByName(field).AsString()));
    cbDbName->setCurrentText(typed);
    ac_.Close();
    return true;
  } catch (const std::exception& e) {
    ac_.Close();
    ShowMessage(failed + e.what());
    return false;
  }
}

void TfrmBuildConnectionString::OkClick() {
  // Fields left as they were read give back the string they were read from, keys the form does
  // not know included.
  connStr_ = FieldsState() == readState_ ? readText_ : ComposeConnectionString(true, false, false);
  accept();
}

void TfrmBuildConnectionString::BrowseDbClick() {
  const auto file = ui::Dialogs().ChooseOpenFile(this, "Database file", S(edtFullDbName->text()),
                                                 "Adaptive Server Anywere 9 file (*.db)");
  if (file) edtFullDbName->setText(Q(*file));
}

void TfrmBuildConnectionString::StartDatabaseClick() {
  try {
    ac_.Close();
    ac_.SetConnectionString(ComposeConnectionString(false, true, false));
    ac_.Open();
    ac_.Execute("START DATABASE " + QuotedSql(S(edtFullDbName->text())));
    ShowMessage("Database Activated!");
    ac_.Close();
  } catch (const std::exception& e) {
    ac_.Close();
    ShowMessage(std::string("Activation Failed. \r\nERROR: ") + e.what());
  }
}
