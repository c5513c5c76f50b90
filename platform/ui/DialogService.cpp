#include "platform/ui/DialogService.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QFileDialog>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QString>
#include <QVBoxLayout>

#include "platform/ui/Application.h"

namespace ui {

namespace {

std::unique_ptr<IDialogService>& Installed() {
  static std::unique_ptr<IDialogService> service;
  return service;
}

QString Q(const std::string& s) { return QString::fromStdString(s); }

struct ButtonMap {
  TMsgDlgBtn button;
  QMessageBox::StandardButton standard;
  TModalResult result;
};

// In the order in which the default answer is chosen: the answer that changes least (cancel,
// refuse, acknowledge, stop) before the ones that go on; Retry last, so nothing loops.
constexpr ButtonMap kButtons[] = {
    {mbCancel, QMessageBox::Cancel, mrCancel},
    {mbNo, QMessageBox::No, mrNo},
    {mbOK, QMessageBox::Ok, mrOk},
    {mbAbort, QMessageBox::Abort, mrAbort},
    {mbIgnore, QMessageBox::Ignore, mrIgnore},
    {mbYes, QMessageBox::Yes, mrYes},
    {mbRetry, QMessageBox::Retry, mrRetry},
};

// QFileDialog::getOpenFileName or getSaveFileName.
using FileChooser = QString (*)(QWidget*, const QString&, const QString&, const QString&, QString*,
                                QFileDialog::Options);

// Asks with aChooser where someone can see it; nullopt when nobody can or the user cancels.
std::optional<std::string> ChooseFile(FileChooser aChooser, QWidget* aParent,
                                      const std::string& aTitle, const std::string& aStart,
                                      const std::string& aFilter) {
  if (!HasVisibleScreen()) return std::nullopt;
  const QString file = aChooser(aParent, Q(aTitle), Q(aStart), Q(aFilter), nullptr, {});
  if (file.isEmpty()) return std::nullopt;
  return file.toStdString();
}

template <typename T>
std::optional<T> Take(std::deque<T>& queue) {
  if (queue.empty()) return std::nullopt;
  T value = std::move(queue.front());
  queue.pop_front();
  return value;
}

}  // namespace

TModalResult DefaultAnswer(TMsgDlgButtons aButtons) {
  for (const ButtonMap& b : kButtons) {
    if (aButtons & b.button) return b.result;
  }
  return mrNone;
}

// --- interactive ---

TModalResult QtDialogService::MessageDlg(QWidget* aParent, const std::string& aTitle,
                                         const std::string& aText, TMsgDlgType aType,
                                         TMsgDlgButtons aButtons) {
  if (!HasVisibleScreen()) return DefaultAnswer(aButtons);
  QMessageBox box(aParent);
  box.setWindowTitle(Q(aTitle));
  box.setText(Q(aText));
  switch (aType) {
    case mtWarning:
      box.setIcon(QMessageBox::Warning);
      break;
    case mtError:
      box.setIcon(QMessageBox::Critical);
      break;
    case mtInformation:
      box.setIcon(QMessageBox::Information);
      break;
    case mtConfirmation:
      box.setIcon(QMessageBox::Question);
      break;
    default:
      break;
  }
  QMessageBox::StandardButtons standard;
  for (const ButtonMap& b : kButtons) {
    if (aButtons & b.button) standard |= b.standard;
  }
  if (standard == QMessageBox::NoButton) standard = QMessageBox::Ok;
  box.setStandardButtons(standard);
  const int clicked = box.exec();
  for (const ButtonMap& b : kButtons) {
    if (clicked == b.standard) return b.result;
  }
  return mrCancel;
}

bool QtDialogService::Confirm(QWidget* aParent, const std::string& aTitle,
                              const std::string& aText) {
  if (!HasVisibleScreen()) return false;
  return MessageDlg(aParent, aTitle, aText, mtConfirmation, mbYes | mbNo) == mrYes;
}

std::optional<std::string> QtDialogService::ChooseOpenFile(QWidget* aParent,
                                                           const std::string& aTitle,
                                                           const std::string& aFolder,
                                                           const std::string& aFilter) {
  return ChooseFile(&QFileDialog::getOpenFileName, aParent, aTitle, aFolder, aFilter);
}

std::optional<std::string> QtDialogService::ChooseSaveFile(QWidget* aParent,
                                                           const std::string& aTitle,
                                                           const std::string& aFileName,
                                                           const std::string& aFilter) {
  return ChooseFile(&QFileDialog::getSaveFileName, aParent, aTitle, aFileName, aFilter);
}

int QtDialogService::ShowModal(QDialog& aDialog) {
  if (!HasVisibleScreen()) return mrCancel;
  return aDialog.exec();
}

int QtDialogService::ShowMainWindow(QDialog& aDialog) {
  if (!HasVisibleScreen()) return mrCancel;
  QEventLoop loop;
  QObject::connect(&aDialog, &QDialog::finished, &loop, &QEventLoop::quit);
  aDialog.setModal(false);
  aDialog.show();
  loop.exec();
  return aDialog.result();
}

std::optional<std::string> QtDialogService::ChooseFolder(QWidget* aParent,
                                                         const std::string& aTitle,
                                                         const std::string& aFolder) {
  if (!HasVisibleScreen()) return std::nullopt;
  const QString folder = QFileDialog::getExistingDirectory(aParent, Q(aTitle), Q(aFolder));
  if (folder.isEmpty()) return std::nullopt;
  return folder.toStdString();
}

std::optional<std::string> QtDialogService::EditConnectionString(
    QWidget* aParent, const std::string& aConnectionString) {
  if (!HasVisibleScreen()) return std::nullopt;
  QDialog dialog(aParent);
  dialog.setWindowTitle("Connection string");
  auto* layout = new QVBoxLayout(&dialog);
  auto* text = new QPlainTextEdit(Q(aConnectionString), &dialog);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  layout->addWidget(text);
  layout->addWidget(buttons);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return text->toPlainText().toStdString();
}

// --- scripted ---

void ScriptedDialogService::AnswerModal(int aResult) {
  modals_.push_back([aResult](QDialog&) { return aResult; });
}

TModalResult ScriptedDialogService::MessageDlg(QWidget*, const std::string& aTitle,
                                               const std::string& aText, TMsgDlgType,
                                               TMsgDlgButtons aButtons) {
  questions_.push_back({"message", aTitle, aText});
  return Take(messages_).value_or(DefaultAnswer(aButtons));
}

bool ScriptedDialogService::Confirm(QWidget*, const std::string& aTitle, const std::string& aText) {
  questions_.push_back({"confirm", aTitle, aText});
  return Take(confirms_).value_or(false);
}

std::optional<std::string> ScriptedDialogService::ChooseOpenFile(QWidget*,
                                                                 const std::string& aTitle,
                                                                 const std::string& aFolder,
                                                                 const std::string&) {
  questions_.push_back({"open", aTitle, aFolder});
  return Take(openFiles_).value_or(std::nullopt);
}

std::optional<std::string> ScriptedDialogService::ChooseSaveFile(QWidget*,
                                                                 const std::string& aTitle,
                                                                 const std::string& aFileName,
                                                                 const std::string&) {
  questions_.push_back({"save", aTitle, aFileName});
  return Take(saveFiles_).value_or(std::nullopt);
}

int ScriptedDialogService::ShowModal(QDialog& aDialog) {
  questions_.push_back({"modal", aDialog.windowTitle().toStdString(), ""});
  auto answer = Take(modals_);
  if (!answer) return mrCancel;
  return (*answer)(aDialog);
}

std::optional<std::string> ScriptedDialogService::ChooseFolder(QWidget*,
                                                               const std::string& aTitle,
                                                               const std::string& aFolder) {
  questions_.push_back({"folder", aTitle, aFolder});
  return Take(folders_).value_or(std::nullopt);
}

std::optional<std::string> ScriptedDialogService::EditConnectionString(
    QWidget*, const std::string& aConnectionString) {
  questions_.push_back({"connection", "Connection string", aConnectionString});
  return Take(connections_).value_or(std::nullopt);
}

// --- installation ---

IDialogService& Dialogs() {
  auto& service = Installed();
  if (!service) service = std::make_unique<QtDialogService>();
  return *service;
}

std::unique_ptr<IDialogService> SetDialogService(std::unique_ptr<IDialogService> aService) {
  auto previous = std::move(Installed());
  Installed() = std::move(aService);
  return previous;
}

}  // namespace ui
