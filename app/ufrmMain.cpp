// The main window of form mode.
#include "app/ufrmMain.h"

#include <QFont>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QSplitter>
#include <QTabBar>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "app/BatFactory.h"
#include "app/ufrmAdvancedSettings.h"
#include "app/ufrmInstructions.h"
#include "common/Paths.h"
#include "common/Text.h"
#include "engine/uDm.h"
#include "platform/data/DataSet.h"
#include "platform/ui/DialogService.h"

namespace {

namespace fs = std::filesystem;

std::string FileNamePart(const std::string& aFile) { return fs::path(aFile).filename().string(); }

QString Q(const std::string& aText) { return QString::fromStdString(aText); }

QLabel* Title(QWidget* aParent, const char* aText) {
  auto* label = new QLabel(aText, aParent);
  QFont font = label->font();
  font.setBold(true);
  font.setPointSize(font.pointSize() + 4);
  label->setFont(font);
  return label;
}

// A connection string is one line: line breaks typed into a box or an editor are dropped.
std::string OneLine(const QString& aText) {
  std::string text = aText.toStdString();
  std::erase_if(text, [](char c) { return c == '\r' || c == '\n'; });
  return text;
}

// The database a connection string names, for the user to see which one will change.
std::string DatabaseNamed(const std::string& aConnectionString) {
  Tdm engine;
  engine.SetConnectionString(aConnectionString, false);
  engine.SelectDbSpecific();
  const std::string database = engine.GetDatabaseName();
  const std::string server = engine.GetServerName();
  std::string line = "Database to change: \"" + database + "\"";
  if (!server.empty()) line += " on server \"" + server + "\"";
  return line;
}

bool Confirmed(QWidget* aParent, const std::string& aText) {
  return ui::Dialogs().MessageDlg(aParent, "Confirm", aText, ui::mtConfirmation, ui::mbOK | ui::mbCancel) == ui::mrOk;
}

}  // namespace

// ---- Link labels and edits ----

TLinkLabel::TLinkLabel(const char* aName, const QString& aCaption, const QString& aHint, QWidget* aParent)
    : QLabel(aCaption, aParent) {
  setObjectName(aName);
  setToolTip(aHint);
  setCursor(Qt::PointingHandCursor);
  setStyleSheet("color: blue; text-decoration: underline;");
}

void TLinkLabel::mouseReleaseEvent(QMouseEvent* aEvent) {
  QLabel::mouseReleaseEvent(aEvent);
  if (aEvent->button() == Qt::LeftButton && rect().contains(aEvent->position().toPoint()) && OnClick) OnClick();
}

void TDblClickEdit::mouseDoubleClickEvent(QMouseEvent* aEvent) {
  QLineEdit::mouseDoubleClickEvent(aEvent);
  if (OnDoubleClick) OnDoubleClick();
}

// ---- Creation ----

TfrmMain::TfrmMain(TdmMain& aDmMain, QWidget* aParent) : QDialog(aParent), dmMain_(aDmMain) {
  setObjectName("frmMain");
  setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setSizeGripEnabled(true);
  resize(800, 600);
  auto* top = new QWidget(this);
  top->setObjectName("pTop");
  BuildTop(top);
  BuildTree();
  pcMain = new QTabWidget(this);
  pcMain->setObjectName("pcMain");
  tsHome = BuildHome();
  tsCreate = BuildCreate();
  tsSettings = BuildSettings();
  tsRun = BuildRun();
  tsBAT = BuildBAT();
  tsAbout = BuildAbout();
  auto* pLog = new QWidget(this);
  pLog->setObjectName("pLog");
  auto* logLayout = new QVBoxLayout(pLog);
  logLayout->setContentsMargins(0, 0, 0, 0);
  logLayout->addWidget(new QLabel("Schemion32 Log", pLog));
  txLog = new QPlainTextEdit(pLog);
  txLog->setObjectName("txLog");
  txLog->setReadOnly(true);
  logLayout->addWidget(txLog);
  auto* middle = new QSplitter(Qt::Horizontal, this);
  middle->addWidget(treeMenu);
  middle->addWidget(pcMain);
  middle->setStretchFactor(1, 1);
  auto* splitter = new QSplitter(Qt::Vertical, this);
  splitter->addWidget(middle);
  splitter->addWidget(pLog);
  splitter->setStretchFactor(0, 3);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(top);
  layout->addWidget(splitter, 1);

  dmMain_.SetOnLog([this](TdmMain*) { MirrorLog(); });
  MirrorLog();
  pcMain->setCurrentIndex(0);
  pcBAT->setCurrentIndex(0);
  connect(pcMain, &QTabWidget::currentChanged, this, [this](int index) { PageShown(index); });
  connect(pcBAT, &QTabWidget::currentChanged, this, [this](int index) { BATPageShown(index); });
  Version = dmMain_.GetAppFileVersion();
  setWindowTitle(Q("Schemion32 [" + Version + "]"));
  lblVersion->setText(Q(Version));
  treeMenu->expandAll();
  FitContents();
  if (const QScreen* screen = this->screen()) move(screen->availableGeometry().center() - rect().center());
}

TfrmMain::~TfrmMain() {
  delete advanced_;  // while this window can still hear that it is gone
  dmMain_.SetOnLog(nullptr);
}

TLinkLabel* TfrmMain::Link(QWidget* aParent, const char* aName, const char* aCaption, const char* aHint,
                           std::function<void()> aClick) {
  auto* link = new TLinkLabel(aName, aCaption, aHint, aParent);
  link->OnClick = std::move(aClick);
  return link;
}

void TfrmMain::FitContents() {
  // The tree as wide as its widest item, and the window at least large enough for the tree, the
  // six page tabs and every page.
  treeMenu->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  const QAbstractItemView& items = *treeMenu;
  treeMenu->setMinimumWidth(items.sizeHintForColumn(0) + 2 * treeMenu->frameWidth() +
                            treeMenu->verticalScrollBar()->sizeHint().width());
  pcMain->setMinimumWidth(pcMain->tabBar()->sizeHint().width() + 8);
  resize(size().expandedTo(sizeHint()));
}

void TfrmMain::BuildTop(QWidget* aTop) {
  auto* layout = new QHBoxLayout(aTop);
  layout->addWidget(new QLabel("Connection String Editor Options", aTop));
  radioMicrosoft = new QRadioButton("Standard Microsoft", aTop);
  radioMicrosoft->setObjectName("radioMicrosoft");
  radioMicrosoft->setToolTip("Use Microsoft standard editor");
  radioMicrosoft->setAutoExclusive(false);
  radioMicrosoft->setChecked(true);
  radioCustom = new QRadioButton("Schemion", aTop);
  radioCustom->setObjectName("radioCustom");
  radioCustom->setToolTip("Use Custom editor");
  radioCustom->setAutoExclusive(false);
  // Each click sets the other button to the opposite of the clicked one.
  connect(radioMicrosoft, &QRadioButton::clicked, this, [this] { radioCustom->setChecked(!radioMicrosoft->isChecked()); });
  connect(radioCustom, &QRadioButton::clicked, this, [this] { radioMicrosoft->setChecked(!radioCustom->isChecked()); });
  layout->addWidget(radioMicrosoft);
  layout->addWidget(radioCustom);
  layout->addStretch();
  layout->addWidget(Link(aTop, "lblExit", "Exit", "Exit", [this] { close(); }));
}

void TfrmMain::BuildTree() {
  treeMenu = new QTreeWidget(this);
  treeMenu->setObjectName("treeMenu");
  treeMenu->setHeaderHidden(true);
  auto* root = new QTreeWidgetItem(treeMenu, QStringList("Schemion root"));
  auto* create = new QTreeWidgetItem(root, QStringList("Create package from source database"));
  new QTreeWidgetItem(create, QStringList("Advanced settings"));
  new QTreeWidgetItem(root, QStringList("Update or Test database"));
  new QTreeWidgetItem(root, QStringList("BAT factory"));
  new QTreeWidgetItem(root, QStringList("About"));
  connect(treeMenu, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) { TreeMenuClick(item); });
}

QWidget* TfrmMain::BuildHome() {
  auto* page = new QWidget();
  page->setObjectName("tsHome");
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(Title(page, "Schemion Quick Start"));
  const char* texts[][2] = {
      {"Create package from source database",
       "First of all you need a Schemion Package.\r\nThe package contains all database schema."},
      {"Update or Test database",
       "Than you can test your package on destination database.\r\nYou can also update your destination database. "},
      {"BAT factory",
       "Optionally you can create a .bat file to run Schemion32 \r\nas a console application.\r\nSchemion32 console "
       "application allow you to run \r\nupdating from all your applications."}};
  for (const auto& text : texts) {
    auto* head = new QLabel(text[0], page);
    QFont font = head->font();
    font.setBold(true);
    head->setFont(font);
    layout->addWidget(head);
    layout->addWidget(new QLabel(text[1], page));
  }
  layout->addStretch();
  pcMain->addTab(page, "Home");
  return page;
}

QWidget* TfrmMain::BuildCreate() {
  auto* page = new QWidget();
  page->setObjectName("tsCreate");
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(Title(page, "Schema creation"));
  layout->addWidget(Link(page, "lblConnectionString", "Database Connection String", "Build and ADO connection string",
                         [this] { actEditConnStr(); }));
  txConnection = new QPlainTextEdit(page);
  txConnection->setObjectName("txConnection");
  FollowBox(txConnection);
  layout->addWidget(txConnection);
  layout->addWidget(Link(page, "lblBuildPackage", "Build Package ", "Create a package file with .upd extension",
                         [this] { actBuildPackage(); }));
  layout->addStretch();
  pcMain->addTab(page, "Create Source Schema");
  return page;
}

QWidget* TfrmMain::BuildSettings() {
  auto* page = new QWidget();
  page->setObjectName("tsSettings");
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(Title(page, "Producer Settings"));
  auto* row = new QHBoxLayout();
  row->addWidget(new QLabel("settings: ", page));
  lbl_ProjectName = new QLabel("No settings loaded.", page);
  lbl_ProjectName->setObjectName("lbl_ProjectName");
  row->addWidget(lbl_ProjectName, 1);
  layout->addLayout(row);
  layout->addWidget(new QLabel("Settings File Name", page));
  layout->addWidget(Link(page, "lblNew", "New", "Create new file with settings for updater", [this] { actNew(); }));
  layout->addWidget(Link(page, "lblLoad", "Load", "Load settings from file", [this] { actEdit(); }));
  layout->addWidget(Link(page, "lblSave", "Save ", "Save settings to file", [this] { actSave(); }));
  layout->addWidget(Link(page, "lblAdvanced", "Open Advanced settings", "Open Advanced settings",
                         [this] { OpenAdvancedSettings(); }));
  layout->addStretch();
  pcMain->addTab(page, "Updater settings");
  return page;
}

QWidget* TfrmMain::BuildRun() {
  auto* page = new QWidget();
  page->setObjectName("tsRun");
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(Title(page, "Schema execution"));
  lblPackageName = new QLabel("No package", page);
  lblPackageName->setObjectName("lblPackageName");
  layout->addWidget(lblPackageName);
  layout->addWidget(Link(page, "lblLoadPackage", "Load package", "Load package", [this] { actRunLoadPackage(); }));
  layout->addWidget(Link(page, "lblDestination", "Destination database connection string",
                         "Destination database connection string", [this] { actRunBuildConnection(); }));
  createConnection = new QPlainTextEdit(page);
  createConnection->setObjectName("createConnection");
  createConnection->setToolTip("Connection string to database to upgrade");
  FollowBox(createConnection);
  layout->addWidget(createConnection);
  layout->addWidget(Link(page, "lblCompare", "Compare Database ", "Compare Database ", [this] { actRunTestPackage(); }));
  layout->addWidget(Link(page, "lblUpdate", "Update Database", "Update Database", [this] { actRunExecutePackage(); }));
  layout->addStretch();
  pcMain->addTab(page, "Update Database");
  return page;
}

QWidget* TfrmMain::BuildBAT() {
  auto* page = new QWidget();
  page->setObjectName("tsBAT");
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(Title(page, "Batch factory"));
  auto* row = new QHBoxLayout();
  row->addWidget(new QLabel("BAT file: ", page));
  lblBATFileName = new QLabel("No file name defined", page);
  lblBATFileName->setObjectName("lblBATFileName");
  row->addWidget(lblBATFileName, 1);
  layout->addLayout(row);
  auto* commands = new QHBoxLayout();
  commands->addWidget(Link(page, "lblBATLoad", "Load", "Load", [this] { actBATLoad(); }));
  commands->addWidget(Link(page, "lblBATSave", "Save ", "Save ", [this] { actBATSave(); }));
  commands->addWidget(Link(page, "lblViewSettings", "View Settings", "View Settings",
                           [this] { pcBAT->setCurrentWidget(tsBATSettings); }));
  commands->addWidget(Link(page, "lblViewEditor", "View Editor", "View Editor",
                           [this] { pcBAT->setCurrentWidget(tsBATEditor); }));
  commands->addStretch();
  layout->addLayout(commands);
  layout->addWidget(new QLabel("BAT file Editing: ", page));
  pcBAT = new QTabWidget(page);
  pcBAT->setObjectName("pcBAT");
  tsBATSettings = new QWidget();
  tsBATSettings->setObjectName("tsBATSettings");
  auto* settings = new QGridLayout(tsBATSettings);
  settings->addWidget(Title(tsBATSettings, "BAT Settings"), 0, 0, 1, 2);
  settings->addWidget(new QLabel("Connection String", tsBATSettings), 1, 0);
  param1 = new TDblClickEdit(tsBATSettings);
  param1->setObjectName("param1");
  param1->OnDoubleClick = [this] { Param1DoubleClick(); };
  connect(param1, &QLineEdit::textEdited, this, [this](const QString& aText) { ConnectionString = OneLine(aText); });
  settings->addWidget(param1, 1, 1);
  settings->addWidget(new QLabel("Package File", tsBATSettings), 2, 0);
  param3 = new TDblClickEdit(tsBATSettings);
  param3->setObjectName("param3");
  param3->OnDoubleClick = [this] { Param3DoubleClick(); };
  settings->addWidget(param3, 2, 1);
  chkRelativePath = new QCheckBox("Use relative path (only file name)", tsBATSettings);
  chkRelativePath->setObjectName("chkRelativePath");
  settings->addWidget(chkRelativePath, 3, 1);
  settings->addWidget(Link(tsBATSettings, "lblCreateBat", "Create Batch File command", "Create Batch File command",
                           [this] { CreateBatchFileCommand(); }),
                      4, 1);
  settings->setRowStretch(5, 1);
  pcBAT->addTab(tsBATSettings, "BAT Settings");
  tsBATEditor = new QWidget();
  tsBATEditor->setObjectName("tsBATEditor");
  auto* editor = new QVBoxLayout(tsBATEditor);
  editor->addWidget(Title(tsBATEditor, "BAT Editor"));
  txBAT = new QPlainTextEdit(tsBATEditor);
  txBAT->setObjectName("txBAT");
  txBAT->setToolTip("Batch file Editor");
  txBAT->setLineWrapMode(QPlainTextEdit::NoWrap);
  editor->addWidget(txBAT);
  pcBAT->addTab(tsBATEditor, "BAT Editor");
  layout->addWidget(pcBAT, 1);
  pcMain->addTab(page, "BAT factory");
  return page;
}

QWidget* TfrmMain::BuildAbout() {
  auto* page = new QWidget();
  page->setObjectName("tsAbout");
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(Title(page, "Schemion32"));
  auto* row = new QHBoxLayout();
  row->addWidget(new QLabel("Version: ", page));
  lblVersion = new QLabel(page);
  lblVersion->setObjectName("lblVersion");
  row->addWidget(lblVersion, 1);
  layout->addLayout(row);
  auto* link = new TLinkLabel("lblHomePage", "https://schemion.org", "https://schemion.org", page);
  link->OnClick = [this, link] { AboutLinkClick(*link); };
  layout->addWidget(link);
  layout->addStretch();
  pcMain->addTab(page, "About");
  return page;
}

// ---- Events ----

void TfrmMain::MirrorLog() {
  const std::vector<std::string>& lines = dmMain_.LogLines();
  if (lines.size() < mirrored_) {
    txLog->clear();
    mirrored_ = 0;
  }
  // Only the lines not yet shown: copying the whole log on each line grows with its square.
  for (; mirrored_ < lines.size(); ++mirrored_) txLog->appendPlainText(Q(lines[mirrored_]));
}

void TfrmMain::PageShown(int aIndex) {
  // The batch page opens on its inner page as last left: when that is the settings page, it is
  // being shown now and fills as it does when its tab is chosen.
  if (pcMain->widget(aIndex) == tsBAT) BATPageShown(pcBAT->currentIndex());
  if (pcMain->widget(aIndex) != tsRun) return;
  createConnection->setPlainText(Q(ConnectionString));
  lblPackageName->setText(Q(FileNamePart(PackageFile)));
}

void TfrmMain::BATPageShown(int aIndex) {
  if (pcBAT->widget(aIndex) != tsBATSettings) return;
  param1->setText(Q(ConnectionString));
  param3->setText(Q(FileNamePart(PackageFile)));
}

void TfrmMain::TreeMenuClick(QTreeWidgetItem* aItem) {
  if (aItem == nullptr) return;
  // The node's absolute index: its place in the tree read top to bottom.
  int index = 0;
  for (QTreeWidgetItemIterator it(treeMenu); *it != nullptr && *it != aItem; ++it) ++index;
  if (index < 6) pcMain->setCurrentIndex(index);
}

std::string TfrmMain::EditConnection(const std::string& aText) {
  std::string text = aText;
  if (radioMicrosoft->isChecked()) {
    text = ui::Dialogs().EditConnectionString(this, aText).value_or(aText);
  } else if (!dmMain_.Producer.EditConnectionString(text, 2)) {
    text = aText;
  }
  return OneLine(Q(text));
}

void TfrmMain::FollowBox(QPlainTextEdit* aBox) {
  connect(aBox, &QPlainTextEdit::textChanged, this, [this, aBox] { ConnectionString = OneLine(aBox->toPlainText()); });
}

std::string TfrmMain::ExecutableFile() {
  std::error_code ec;
  return fs::read_symlink("/proc/self/exe", ec).string();
}

// ---- Settings ----

void TfrmMain::actNew() {
  SettingsFileName = dmMain_.NewSettings();
  lbl_ProjectName->setText(Q(FileNamePart(SettingsFileName)));
}

void TfrmMain::actEdit() {
  const std::optional<std::string> file =
      ui::Dialogs().ChooseOpenFile(this, "Open", dmMain_.SettingsFolder(), "XML (*.xml);;All Files (*)");
  if (!file) return;
  SettingsFileName = *file;
  SettingsFileName = dmMain_.LoadSettings(SettingsFileName);
  lbl_ProjectName->setText(Q(FileNamePart(SettingsFileName)));
  ConnectionString = dmMain_.Producer.ConnectionString();
  txConnection->setPlainText(Q(ConnectionString));
}

void TfrmMain::actSave() {
  std::string name = dmMain_.CurrentSettingsFile();
  if (name.empty()) {
    ui::Dialogs().MessageDlg(this, "Information", "No file to save.", ui::mtInformation, ui::mbOK);
    return;
  }
  dmMain_.Producer.SetConnectionString(OneLine(txConnection->toPlainText()));
  // A new project, or the database name a build gave (bare, or an Access file), has never been
  // saved: ask where, starting in the settings folder.
  const fs::path path(name);
  const bool databaseName = !path.has_parent_path() || !text::SameText(path.extension().string(), ".xml");
  if (databaseName) name = dmMain_.SettingsFolder() + path.stem().string() + ".xml";
  if (databaseName || FileNamePart(name) == "NewProject.xml") {
    const std::optional<std::string> chosen =
        ui::Dialogs().ChooseSaveFile(this, "Save", name, "XML (*.xml);;All Files (*)");
    if (!chosen) return;
    name = *chosen;
  }
  lbl_ProjectName->setText(Q(FileNamePart(dmMain_.SaveSettings(name))));
}

void TfrmMain::OpenAdvancedSettings() {
  if (SettingsFileName.empty()) {
    ui::Dialogs().MessageDlg(this, "Warning",
                             "Advanced Settings are available only if you\r\nhave opened a valid settings file.\r\n"
                             "Please, choose \"New\" or \"Load\" and try again.",
                             ui::mtWarning, ui::mbOK);
    return;
  }
  // One window at a time: a second one would undo the first's edits when closed after it.
  if (advanced_ != nullptr) {
    advanced_->show();
    advanced_->raise();
    advanced_->activateWindow();
    return;
  }
  auto* window = new TfrmAdvancedSettings(dmMain_, this);
  try {
    window->Init(ConnectionString);
  } catch (const std::exception& e) {
    delete window;
    ui::Dialogs().MessageDlg(this, "Error", e.what(), ui::mtError, ui::mbOK);
    return;
  }
  advanced_ = window;
  connect(window, &QObject::destroyed, this, [this] { advanced_ = nullptr; });
  window->show();
}

// ---- Packages ----

void TfrmMain::actEditConnStr() {
  ConnectionString = EditConnection(txConnection->toPlainText().toStdString());
  txConnection->setPlainText(Q(ConnectionString));
}

void TfrmMain::actBuildPackage() {
  PackageFile.clear();
  const std::string package = dmMain_.BuildPackage(OneLine(txConnection->toPlainText()));
  std::error_code ec;
  if (package.empty() || !fs::is_regular_file(package, ec)) return;
  PackageFile = package;
  if (Confirmed(this, "Created Package: \r\n" + package + "\r\nDo you want try it now?")) {
    dmMain_.TestPackage(ConnectionString, PackageFile);
  }
}

void TfrmMain::actRunLoadPackage() {
  const std::optional<std::string> file =
      ui::Dialogs().ChooseOpenFile(this, "Open", dmMain_.PackagesFolder(), "Packages (*.upd);;All Files (*)");
  if (!file) return;
  PackageFile = *file;
  lblPackageName->setText(Q(FileNamePart(PackageFile)));
}

void TfrmMain::actRunBuildConnection() {
  SettingsFileName.clear();
  ConnectionString = EditConnection(createConnection->toPlainText().toStdString());
  createConnection->setPlainText(Q(ConnectionString));
}

void TfrmMain::actRunTestPackage() {
  ConnectionString = OneLine(createConnection->toPlainText());
  dmMain_.RunPackage(ConnectionString, PackageFile, true);
}

void TfrmMain::actRunExecutePackage() {
  ConnectionString = OneLine(createConnection->toPlainText());
  if (!Confirmed(this, "Run Package will change you database schema.\r\n" + DatabaseNamed(ConnectionString) +
                           "\r\nSchemion Tool will backup your database in \"" + dmMain_.BackupFolder() +
                           "\"\r\nConfirm this operation?")) {
    return;
  }
  dmMain_.RunPackage(ConnectionString, PackageFile, false);
}

// ---- Batch files ----

void TfrmMain::Param1DoubleClick() {
  SettingsFileName.clear();
  ConnectionString = EditConnection(ConnectionString);
  param1->setText(Q(ConnectionString));
}

void TfrmMain::Param3DoubleClick() {
  SettingsFileName.clear();
  PackageFile = dmMain_.ChoosePackage();
  param3->setText(Q(FileNamePart(PackageFile)));
}

void TfrmMain::CreateBatchFileCommand() {
  ConnectionString = OneLine(param1->text());
  txBAT->setPlainText(Q(batfactory::BatchLine(ExecutableFile(), ConnectionString, PackageFile,
                                              chkRelativePath->isChecked())));
  ui::ProcessPendingMessages();
  pcBAT->setCurrentWidget(tsBATEditor);
}

void TfrmMain::actBATLoad() {
  const std::optional<std::string> file =
      ui::Dialogs().ChooseOpenFile(this, "Open", paths::ExecutableFolder(), "BAT (*.BAT *.bat);;All Files (*)");
  if (!file) return;
  BATFileName = *file;
  std::ifstream in(BATFileName, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  txBAT->setPlainText(QString::fromUtf8(content.str()));
  lblBATFileName->setText(Q(FileNamePart(BATFileName)));
  const std::string text = txBAT->toPlainText().toStdString();
  if (!text.empty()) {
    const batfactory::TBatchValues values = batfactory::ParseBatchText(text);
    if (!values.connection.empty()) param1->setText(Q(values.connection));
    param3->setText(Q(values.package));
    ConnectionString = values.connection;
    PackageFile = values.package;
  }
  pcBAT->setCurrentWidget(tsBATEditor);
}

void TfrmMain::actBATSave() {
  if (BATFileName.empty()) BATFileName = paths::ExecutableFolder() + "/NewBAT.bat";
  const std::optional<std::string> file =
      ui::Dialogs().ChooseSaveFile(this, "Save", BATFileName, "BAT (*.BAT *.bat);;All Files (*)");
  if (!file) return;
  BATFileName = *file;
  std::ofstream out(BATFileName, std::ios::binary | std::ios::trunc);
  // The file ends with one line end: a text loaded with its own keeps it, and gains no blank line.
  std::string text = txBAT->toPlainText().toStdString();
  if (!text.empty() && text.back() != '\n') text += '\n';
  out << text;
  lblBATFileName->setText(Q(FileNamePart(BATFileName)));
}

// ---- About ----

void TfrmMain::AboutLinkClick(const TLinkLabel& aLink) {
  WexShell1.Command = aLink.text().toStdString();
  WexShell1.Wait = false;
  WexShell1.Execute();
}

// ---- Form mode ----

void ShowInstructionsWindow(TdmMain& aDmMain) {
  const std::string file = aDmMain.SqlFolder() + "instructions.xml";
  std::error_code ec;
  if (!fs::is_regular_file(file, ec)) return;
  ado::TDataSet ds;
  ds.LoadFromFile(file);
  if (ds.RecordCount() > 0) {
    TfrmInstructions window;
    window.ShowInstructions(&ds);
    ui::Dialogs().ShowModal(window);
  } else {
    ui::Dialogs().MessageDlg(nullptr, "Information", "Databases are identical. No update needed.", ui::mtInformation,
                             ui::mbOK);
  }
}

void InstallMainWindows(TdmMain& aDmMain) {
  aDmMain.ShowMainWindow = [](TdmMain& dm) {
    if (!ui::WindowsCanOpen()) {
      return dm.NotStarted({"No display to open the window on (DISPLAY is not set or does not answer); "
                            "give connection= and upd= to run an update without one.",
                            false});
    }
    // The window holds the working folders as a run does: neither may use them under the other.
    const TFoldersRefusal refusal = dm.HoldFolders();
    if (refusal.busy) {
      ui::Dialogs().MessageDlg(nullptr, "Error", refusal.reason, ui::mtError, ui::mbOK);
      return dm.NotStarted(refusal);
    }
    TfrmMain window(dm);
    ui::Dialogs().ShowMainWindow(window);
    dm.ReleaseFolders();
    return rsSucceeded;
  };
  aDmMain.ShowInstructions = ShowInstructionsWindow;
}
