// The one way a window asks the user anything: message boxes, confirmations, file choosers and
// modal windows all go through the installed dialog service. The program installs nothing and
// gets the interactive service; tests and unattended runs install a scripted one, which answers
// from a script (or with the default answer) and never waits for anyone.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QDialog;
class QWidget;

namespace ui {

// Results of a modal window or message box, with the platform's values (mrOk is 1, mrAbort 3).
enum TModalResult {
  mrNone = 0,
  mrOk = 1,
  mrCancel = 2,
  mrAbort = 3,
  mrRetry = 4,
  mrIgnore = 5,
  mrYes = 6,
  mrNo = 7
};

enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

// Buttons of a message box, combined as bit flags.
enum TMsgDlgBtn : unsigned {
  mbYes = 1,
  mbNo = 2,
  mbOK = 4,
  mbCancel = 8,
  mbAbort = 16,
  mbRetry = 32,
  mbIgnore = 64
};
using TMsgDlgButtons = unsigned;

// The answer a message box gives when nobody chooses: the one that changes least among its
// buttons, in the order Cancel, No, OK, Abort, Ignore, Yes, Retry; mrNone without buttons.
TModalResult DefaultAnswer(TMsgDlgButtons aButtons);

class IDialogService {
 public:
  virtual ~IDialogService() = default;

  // Shows a message box with the given buttons; returns the modal result of the chosen button.
  virtual TModalResult MessageDlg(QWidget* aParent, const std::string& aTitle,
                                  const std::string& aText, TMsgDlgType aType,
                                  TMsgDlgButtons aButtons) = 0;
  // A Yes/No question; True for Yes.
  virtual bool Confirm(QWidget* aParent, const std::string& aTitle, const std::string& aText) = 0;
  // File choosers; nullopt when the user cancels. aFilter in the toolkit's form
  // ("XML files (*.xml);;All files (*)").
  virtual std::optional<std::string> ChooseOpenFile(QWidget* aParent, const std::string& aTitle,
                                                    const std::string& aFolder,
                                                    const std::string& aFilter) = 0;
  virtual std::optional<std::string> ChooseSaveFile(QWidget* aParent, const std::string& aTitle,
                                                    const std::string& aFileName,
                                                    const std::string& aFilter) = 0;
  // Shows a window modally; returns its modal result.
  virtual int ShowModal(QDialog& aDialog) = 0;
  // Shows the program's main window and returns its result when it closes. It blocks no other
  // window meanwhile: the windows opened from it stay usable. Scripted services answer it as
  // they answer ShowModal.
  virtual int ShowMainWindow(QDialog& aDialog) { return ShowModal(aDialog); }
  // Chooses a folder, starting at aFolder, allowing a new one to be made; nullopt on cancel.
  virtual std::optional<std::string> ChooseFolder(QWidget* aParent, const std::string& aTitle,
                                                  const std::string& aFolder) = 0;
  // The standard connection-string editor: edits the text of aConnectionString modally; the
  // accepted text, or nullopt on cancel. No connection is opened.
  virtual std::optional<std::string> EditConnectionString(QWidget* aParent,
                                                          const std::string& aConnectionString) = 0;
};

// The interactive service: real message boxes, file dialogs and modal windows. On a screen nobody
// can see (the offscreen platform of an unattended run) it shows nothing and gives the scripted
// service's default answers, so a forgotten question never hangs a run.
class QtDialogService : public IDialogService {
 public:
  TModalResult MessageDlg(QWidget* aParent, const std::string& aTitle, const std::string& aText,
                          TMsgDlgType aType, TMsgDlgButtons aButtons) override;
  bool Confirm(QWidget* aParent, const std::string& aTitle, const std::string& aText) override;
  std::optional<std::string> ChooseOpenFile(QWidget* aParent, const std::string& aTitle,
                                            const std::string& aFolder,
                                            const std::string& aFilter) override;
  std::optional<std::string> ChooseSaveFile(QWidget* aParent, const std::string& aTitle,
                                            const std::string& aFileName,
                                            const std::string& aFilter) override;
  int ShowModal(QDialog& aDialog) override;
  int ShowMainWindow(QDialog& aDialog) override;
  std::optional<std::string> ChooseFolder(QWidget* aParent, const std::string& aTitle,
                                          const std::string& aFolder) override;
  std::optional<std::string> EditConnectionString(QWidget* aParent,
                                                  const std::string& aConnectionString) override;
};

// The non-interactive service: every question is recorded and answered from the script, first
// in, first out; an unscripted question gets the default answer (message boxes DefaultAnswer,
// confirmations No, file and folder choosers and the connection-string editor cancel, modal
// windows mrCancel). Nothing is ever shown.
class ScriptedDialogService : public IDialogService {
 public:
  struct Question {
    std::string kind;  // "message", "confirm", "open", "save", "modal", "folder" or "connection"
    std::string title;
    std::string text;
  };

  // Scripted answers, used in order by questions of the matching kind.
  void AnswerMessage(TModalResult aResult) { messages_.push_back(aResult); }
  void AnswerConfirm(bool aYes) { confirms_.push_back(aYes); }
  void AnswerOpenFile(std::optional<std::string> aFile) { openFiles_.push_back(std::move(aFile)); }
  void AnswerSaveFile(std::optional<std::string> aFile) { saveFiles_.push_back(std::move(aFile)); }
  // A modal window gets the dialog itself, may drive its widgets, and returns the modal result.
  void AnswerModal(std::function<int(QDialog&)> aAnswer) { modals_.push_back(std::move(aAnswer)); }
  void AnswerModal(int aResult);
  void AnswerFolder(std::optional<std::string> aFolder) { folders_.push_back(std::move(aFolder)); }
  void AnswerConnectionString(std::optional<std::string> aText) {
    connections_.push_back(std::move(aText));
  }

  // Every question asked, in order.
  const std::vector<Question>& Questions() const { return questions_; }

  TModalResult MessageDlg(QWidget* aParent, const std::string& aTitle, const std::string& aText,
                          TMsgDlgType aType, TMsgDlgButtons aButtons) override;
  bool Confirm(QWidget* aParent, const std::string& aTitle, const std::string& aText) override;
  std::optional<std::string> ChooseOpenFile(QWidget* aParent, const std::string& aTitle,
                                            const std::string& aFolder,
                                            const std::string& aFilter) override;
  std::optional<std::string> ChooseSaveFile(QWidget* aParent, const std::string& aTitle,
                                            const std::string& aFileName,
                                            const std::string& aFilter) override;
  int ShowModal(QDialog& aDialog) override;
  // Recorded with the start folder / the connection string as the question's text.
  std::optional<std::string> ChooseFolder(QWidget* aParent, const std::string& aTitle,
                                          const std::string& aFolder) override;
  std::optional<std::string> EditConnectionString(QWidget* aParent,
                                                  const std::string& aConnectionString) override;

 private:
  std::deque<TModalResult> messages_;
  std::deque<bool> confirms_;
  std::deque<std::optional<std::string>> openFiles_;
  std::deque<std::optional<std::string>> saveFiles_;
  std::deque<std::function<int(QDialog&)>> modals_;
  std::deque<std::optional<std::string>> folders_;
  std::deque<std::optional<std::string>> connections_;
  std::vector<Question> questions_;
};

// The installed service (the interactive one until another is installed).
IDialogService& Dialogs();

// Installs aService (nullptr: back to the interactive one) and returns the one it replaces.
std::unique_ptr<IDialogService> SetDialogService(std::unique_ptr<IDialogService> aService);

// Installs a service for the lifetime of this object, then puts the previous one back.
class ScopedDialogService {
 public:
  explicit ScopedDialogService(std::unique_ptr<IDialogService> aService)
      : previous_(SetDialogService(std::move(aService))) {}
  ~ScopedDialogService() { SetDialogService(std::move(previous_)); }
  ScopedDialogService(const ScopedDialogService&) = delete;
  ScopedDialogService& operator=(const ScopedDialogService&) = delete;

 private:
  std::unique_ptr<IDialogService> previous_;
};

}  // namespace ui
