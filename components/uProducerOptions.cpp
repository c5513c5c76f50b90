#include "components/uProducerOptions.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "platform/ui/DialogService.h"

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

const std::vector<const char*> kYesNoUndefined = {"Yes", "No", "Undefined"};
const std::vector<const char*> kYesNoUpdater = {"Yes", "No", "Updater Setting"};

// One entry a line; blank lines dropped.
std::vector<std::string> Lines(const QPlainTextEdit& aEdit) {
  std::vector<std::string> lines;
  for (const QString& line : aEdit.toPlainText().split('\n')) {
    if (!line.trimmed().isEmpty()) lines.push_back(S(line));
  }
  return lines;
}

QString Joined(const std::vector<std::string>& aLines) {
  QStringList lines;
  for (const std::string& l : aLines) lines << Q(l);
  return lines.join('\n');
}

// Binds a TBooleanExtended-like enumeration field to a Choice's get/set.
template <typename E>
std::function<int()> Get(const E& aField) {
  return [&aField] { return static_cast<int>(aField); };
}
template <typename E>
std::function<void(int)> Set(E& aField) {
  return [&aField](int aValue) { aField = static_cast<E>(aValue); };
}

QLabel* Note(const QString& aText, QWidget* aParent) {
  auto* label = new QLabel(aText, aParent);
  label->setWordWrap(true);
  return label;
}

}  // namespace

TProducerOptionsFrm::TProducerOptionsFrm(TProducerOptions& aProducer, QWidget* aParent)
    : QDialog(aParent), producer_(aProducer) {
  setWindowTitle("Producer options");
  setWindowFlags(windowFlags() | Qt::Tool);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Note(
      "Options left at \"Updater Settings\" let the updater use the end user's setting or its "
      "default. Options that are set are sent to the updater with the XML files: producer "
      "settings have priority over updater settings.",
      this));
  pages = new QTabWidget(this);
  pages->addTab(BuildGeneral(), "General");
  pages->addTab(BuildDirectives(), "Updater Directives");
  pages->addTab(BuildDeletes(), "Delete Directives");
  layout->addWidget(pages);
  auto* buttons = new QHBoxLayout();
  btnDefault = new QPushButton("Default", this);
  btnOk = new QPushButton("OK", this);
  btnCancel = new QPushButton("Cancel", this);
  buttons->addWidget(btnDefault);
  buttons->addStretch();
  buttons->addWidget(btnOk);
  buttons->addWidget(btnCancel);
  layout->addLayout(buttons);
  connect(btnDefault, &QPushButton::clicked, this, [this] { SetDefaultControls(); });
  connect(btnOk, &QPushButton::clicked, this, [this] {
    SaveControls();
    done(ui::mrOk);
  });
  connect(btnCancel, &QPushButton::clicked, this, [this] { done(ui::mrCancel); });
  LoadControls();
}

bool TProducerOptionsFrm::ShowOptions(TProducerOptions& aProducer) {
  TProducerOptionsFrm window(aProducer);
  return ui::Dialogs().ShowModal(window) == ui::mrOk;
}

QWidget* TProducerOptionsFrm::BuildGeneral() {
  auto* page = new QWidget(pages);
  auto* layout = new QVBoxLayout(page);
  auto* folders = new QGroupBox("[ Folder setting ]", page);
  auto* folderLayout = new QVBoxLayout(folders);
  folderLayout->addWidget(new QLabel("Schemas folder", folders));
  auto* folderRow = new QHBoxLayout();
  edtDirSchemas = new QLineEdit(folders);
  btnDirSchemas = new QPushButton("...", folders);
  folderRow->addWidget(edtDirSchemas);
  folderRow->addWidget(btnDirSchemas);
  folderLayout->addLayout(folderRow);
  folderLayout->addWidget(Note(
      "For path to be considered relative to the application, prefix the path with a \".\\\"",
      folders));
  layout->addWidget(folders);

  layout->addWidget(new QLabel("Connection string of the Source Database", page));
  auto* connRow = new QHBoxLayout();
  reConnectionString = new QPlainTextEdit(page);
  btnConnectionString = new QPushButton("...", page);
  connRow->addWidget(reConnectionString);
  connRow->addWidget(btnConnectionString);
  layout->addLayout(connRow);

  auto* kinds = new QGroupBox("[ Progress info kind for Producer ]", page);
  auto* kindLayout = new QHBoxLayout(kinds);
  rgProgressInfoKind = new QButtonGroup(kinds);
  int id = 0;
  for (const char* caption : {"Silent", "Window", "Console", "Both"}) {
    auto* radio = new QRadioButton(caption, kinds);
    rgProgressInfoKind->addButton(radio, id++);
    kindLayout->addWidget(radio);
  }
  layout->addWidget(kinds);

  auto* sql = new QGroupBox("[ Sql Command Manager ]", page);
  auto* sqlLayout = new QVBoxLayout(sql);
  sqlLayout->addWidget(Note(
      "If any, write in the edit below the name of the class handler for Sql command XML file.",
      sql));
  edtSqlHandler = new QLineEdit(sql);
  sqlLayout->addWidget(edtSqlHandler);
  layout->addWidget(sql);
  connect(btnDirSchemas, &QPushButton::clicked, this, [this] { ChooseFolder(); });
  connect(btnConnectionString, &QPushButton::clicked, this, [this] { EditConnection(); });
  return page;
}

QComboBox* TProducerOptionsFrm::AddChoice(QWidget* aPage, const char* aCaption,
                                          const std::vector<const char*>& aItems,
                                          std::function<int()> aGet,
                                          std::function<void(int)> aSet) {
  auto* box = new QComboBox(aPage);
  for (const char* item : aItems) box->addItem(item);
  static_cast<QFormLayout*>(aPage->layout())->addRow(aCaption, box);
  choices_.push_back({box, std::move(aGet), std::move(aSet)});
  return box;
}

QWidget* TProducerOptionsFrm::BuildDirectives() {
  auto* page = new QWidget(pages);
  new QFormLayout(page);
  TUpdaterDirectives& d = producer_.UpdaterDirectives;
  cbFProgressInfoKind =
      AddChoice(page, "Progress Info kind for check and update",
                {"Silent", "Window", "Console", "Both", "Updater Setting"}, Get(d.ProgressInfoKind),
                Set(d.ProgressInfoKind));
  cbFErrorManager = AddChoice(
      page, "Error manager to use in case of errors",
      {"Stop on First Error", "Skip Instruction Error", "Enqueue Instr. Error", "Updater Setting"},
      Get(d.ErrorManager), Set(d.ErrorManager));
  cbFFkPendingData = AddChoice(page, "Treatment for pending records in Foreign keys",
                               {"Do nothing", "Delete pending data", "Updater Setting"},
                               Get(d.FkPendingData), Set(d.FkPendingData));
  cbFPkChangedTreatment = AddChoice(
      page, "Treatment for primary key changed",
      {"No Treatment", "Apply to Pr. Keys Listed", "Apply to All Pr. Keys", "Updater Setting"},
      Get(d.PKChangedTreatment), Set(d.PKChangedTreatment));
  cbFAutoRecoverPrimaryKeys =
      AddChoice(page, "AutoRecover duplicate keys in create Pr. keys", kYesNoUndefined,
                Get(d.AutoRecoverPrimaryKeys), Set(d.AutoRecoverPrimaryKeys));
  cbFAutoRecoverUnqueIndexes =
      AddChoice(page, "AutoRecover duplicate keys in create Unique idx", kYesNoUndefined,
                Get(d.AutoRecoverUniqueIndexes), Set(d.AutoRecoverUniqueIndexes));
  cbFDefaultValueFromDataType =
      AddChoice(page, "Compute Default value from data type", kYesNoUndefined,
                Get(d.DefaultValueFromDataType), Set(d.DefaultValueFromDataType));
  cbFUpdateComments = AddChoice(page, "Update comments", kYesNoUndefined, Get(d.UpdateComments),
                                Set(d.UpdateComments));
  cbFBackupBeforeUpdate = AddChoice(page, "Backup before sync", kYesNoUndefined,
                                    Get(d.BackupBeforeUpdate), Set(d.BackupBeforeUpdate));
  cbFUseDefaultOwner = AddChoice(page, "Use default owner", kYesNoUndefined,
                                 Get(d.UseDefaultOwner), Set(d.UseDefaultOwner));
  cbFUseDefaultDbSpace = AddChoice(page, "Use default Db Space", kYesNoUpdater,
                                   Get(d.UseDefaultDbSpace), Set(d.UseDefaultDbSpace));
  reUsers = new QPlainTextEdit(page);
  rePrimaryKeys = new QPlainTextEdit(page);
  static_cast<QFormLayout*>(page->layout())->addRow("[ Users List ]", reUsers);
  static_cast<QFormLayout*>(page->layout())->addRow("[ Primary Keys List ]", rePrimaryKeys);
  return page;
}

QWidget* TProducerOptionsFrm::BuildDeletes() {
  auto* page = new QWidget(pages);
  new QFormLayout(page);
  TDeletePolicy& p = producer_.UpdaterDirectives.DeletePolicy;
  cbFConfirmOnDelete = AddChoice(page, "Ask Confirmation before update for delete objects",
                                 kYesNoUpdater, Get(p.ConfirmOnDelete), Set(p.ConfirmOnDelete));
  cbFEnableDeletion = AddChoice(page, "Enable deletion of Objects in general", kYesNoUpdater,
                                Get(p.Enabled), Set(p.Enabled));
  cbFDeleteTables = AddChoice(page, "Enable deletion of Tables", kYesNoUpdater,
                              Get(p.DeleteTables), Set(p.DeleteTables));
  cbFDeleteFields = AddChoice(page, "Enable deletion of Fields", kYesNoUpdater,
                              Get(p.DeleteFields), Set(p.DeleteFields));
  cbFDeleteIndexes = AddChoice(page, "Enable deletion of Indexes", kYesNoUpdater,
                               Get(p.DeleteIndexes), Set(p.DeleteIndexes));
  cbFDeleteProcedures = AddChoice(page, "Enable deletion of Procedures", kYesNoUpdater,
                                  Get(p.DeleteProcedures), Set(p.DeleteProcedures));
  cbFDeleteViews = AddChoice(page, "Enable deletion of Views", kYesNoUpdater, Get(p.DeleteViews),
                             Set(p.DeleteViews));
  rePrefixesList = new QPlainTextEdit(page);
  static_cast<QFormLayout*>(page->layout())->addRow("[ Prefixes List ]", rePrefixesList);
  static_cast<QFormLayout*>(page->layout())
      ->addRow(Note("The values for each kind of object matter only when the general deletion "
                    "switch is set to \"Undefined\".",
                    page));
  return page;
}

void TProducerOptionsFrm::LoadControls() {
  edtDirSchemas->setText(Q(producer_.DirSchemas));
  reConnectionString->setPlainText(Q(producer_.ConnectionString));
  edtSqlHandler->setText(Q(producer_.SqlCommand));
  // A kind without a radio item (the updater's setting) shows no choice.
  QAbstractButton* kind = rgProgressInfoKind->button(static_cast<int>(producer_.ProgressInfoKind));
  rgProgressInfoKind->setExclusive(false);
  for (QAbstractButton* b : rgProgressInfoKind->buttons()) b->setChecked(b == kind);
  rgProgressInfoKind->setExclusive(true);
  for (const Choice& c : choices_) {
    const int value = c.get();
    c.box->setCurrentIndex(value >= 0 && value < c.box->count() ? value : -1);
  }
  const TUpdaterDirectives& d = producer_.UpdaterDirectives;
  reUsers->setPlainText(Joined(d.Users));
  rePrimaryKeys->setPlainText(Joined(d.PrimaryKeysChanged));
  rePrefixesList->setPlainText(Joined(d.DeletePolicy.PrefixesList));
  pages->setCurrentIndex(0);
}

void TProducerOptionsFrm::SaveControls() {
  producer_.DirSchemas = S(edtDirSchemas->text());
  producer_.ConnectionString = S(reConnectionString->toPlainText());
  producer_.SqlCommand = S(edtSqlHandler->text());
  const int kind = rgProgressInfoKind->checkedId();
  if (kind >= 0) producer_.ProgressInfoKind = static_cast<TProgressInfoKind>(kind);
  for (const Choice& c : choices_) {
    if (c.box->currentIndex() >= 0) c.set(c.box->currentIndex());
  }
  TUpdaterDirectives& d = producer_.UpdaterDirectives;
  d.Users = Lines(*reUsers);
  d.PrimaryKeysChanged = Lines(*rePrimaryKeys);
  d.DeletePolicy.PrefixesList = Lines(*rePrefixesList);
}

void TProducerOptionsFrm::SetDefaultControls() {
  edtDirSchemas->setText(".\\schemas");
  edtSqlHandler->setText("TDefaultXMLEditorFrm");
  rgProgressInfoKind->button(pikWinMsg)->setChecked(true);
  for (QComboBox* yes : {cbFUseDefaultDbSpace, cbFUseDefaultOwner, cbFBackupBeforeUpdate,
                         cbFDefaultValueFromDataType, cbFAutoRecoverPrimaryKeys,
                         cbFAutoRecoverUnqueIndexes, cbFEnableDeletion, cbFDeleteTables,
                         cbFDeleteFields, cbFDeleteIndexes, cbFDeleteProcedures, cbFDeleteViews}) {
    yes->setCurrentIndex(beYes);
  }
  cbFUpdateComments->setCurrentIndex(beNo);
  cbFConfirmOnDelete->setCurrentIndex(beNo);
  cbFProgressInfoKind->setCurrentIndex(pikSilent);
  cbFErrorManager->setCurrentIndex(demEnqueueInstructionError);
  cbFFkPendingData->setCurrentIndex(fpdDelete);
  cbFPkChangedTreatment->setCurrentIndex(pctAll);
  reUsers->clear();
  rePrimaryKeys->clear();
  rePrefixesList->clear();
}

void TProducerOptionsFrm::ChooseFolder() {
  const auto folder = ui::Dialogs().ChooseFolder(this, "Schemas folder", S(edtDirSchemas->text()));
  if (folder) edtDirSchemas->setText(Q(*folder));
}

void TProducerOptionsFrm::EditConnection() {
  // The text is edited only; no connection is opened here.
  const auto text =
      ui::Dialogs().EditConnectionString(this, S(reConnectionString->toPlainText()));
  if (text) reConnectionString->setPlainText(Q(*text));
}
