#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QLineEdit>

#include "platform/ui/Application.h"
#include "platform/ui/DialogService.h"

using namespace ui;

TEST(PlatformUi, PendingMessagesWithAndWithoutApplication) {
  // Without an application object processing messages is a no-op, so window-less programs work.
  ASSERT_FALSE(HasApplication());
  ProcessPendingMessages();
  EnsureApplication();
  ASSERT_TRUE(HasApplication());
  QCoreApplication* first = QCoreApplication::instance();
  EXPECT_NE(qobject_cast<QApplication*>(first), nullptr);
  EnsureApplication();
  EXPECT_EQ(QCoreApplication::instance(), first) << "one application object";
  ProcessPendingMessages();
}

TEST(PlatformUi, ScriptedServiceAnswersWithoutShowingAnything) {
  EnsureApplication();
  auto owned = std::make_unique<ScriptedDialogService>();
  ScriptedDialogService* script = owned.get();
  {
    ScopedDialogService scope(std::move(owned));
    EXPECT_EQ(&Dialogs(), script);
    script->AnswerMessage(mrNo);
    script->AnswerConfirm(true);
    script->AnswerOpenFile(std::string("/tmp/a.xml"));
    script->AnswerModal([](QDialog& dialog) {
      dialog.findChild<QLineEdit*>()->setText("typed");
      return static_cast<int>(mrOk);
    });

    EXPECT_EQ(Dialogs().MessageDlg(nullptr, "T", "Delete?", mtConfirmation, mbYes | mbNo), mrNo);
    EXPECT_TRUE(Dialogs().Confirm(nullptr, "T", "Sure?"));
    EXPECT_EQ(Dialogs().ChooseOpenFile(nullptr, "Open", "/tmp", "XML (*.xml)"), "/tmp/a.xml");
    QDialog dialog;
    dialog.setWindowTitle("Options");
    auto* edit = new QLineEdit(&dialog);
    EXPECT_EQ(Dialogs().ShowModal(dialog), mrOk);
    EXPECT_EQ(edit->text(), "typed");

    // Unscripted questions get the default answer at once.
    EXPECT_EQ(Dialogs().MessageDlg(nullptr, "T", "x", mtError, mbOK), mrOk);
    EXPECT_EQ(Dialogs().MessageDlg(nullptr, "T", "x", mtConfirmation, mbYes | mbNo | mbCancel),
              mrCancel);
    EXPECT_EQ(Dialogs().MessageDlg(nullptr, "T", "x", mtWarning, mbAbort | mbRetry | mbIgnore),
              mrAbort);
    EXPECT_EQ(Dialogs().MessageDlg(nullptr, "T", "x", mtWarning, mbYes | mbNo), mrNo);
    EXPECT_EQ(Dialogs().MessageDlg(nullptr, "T", "x", mtWarning, 0), mrNone);
    EXPECT_FALSE(Dialogs().Confirm(nullptr, "T", "again?"));
    EXPECT_EQ(Dialogs().ChooseSaveFile(nullptr, "Save", "log.txt", ""), std::nullopt);
    EXPECT_EQ(Dialogs().ShowModal(dialog), mrCancel);

    ASSERT_EQ(script->Questions().size(), 12u);
    EXPECT_EQ(script->Questions()[0].kind, "message");
    EXPECT_EQ(script->Questions()[0].text, "Delete?");
    EXPECT_EQ(script->Questions()[3].kind, "modal");
    EXPECT_EQ(script->Questions()[3].title, "Options");
  }
  EXPECT_NE(dynamic_cast<QtDialogService*>(&Dialogs()), nullptr)
      << "the interactive service is back";
}

TEST(PlatformUi, InteractiveServiceNeverWaitsOnAnUnseenScreen) {
  // The tests run on the offscreen platform, as an unattended run without a display does.
  EXPECT_FALSE(HasVisibleScreen());
  QtDialogService service;
  EXPECT_EQ(service.MessageDlg(nullptr, "T", "Continue?", mtConfirmation, mbYes | mbNo), mrNo);
  EXPECT_EQ(service.MessageDlg(nullptr, "T", "Failed", mtError, mbOK), mrOk);
  EXPECT_FALSE(service.Confirm(nullptr, "T", "Delete everything?"));
  EXPECT_EQ(service.ChooseOpenFile(nullptr, "Open", "/tmp", ""), std::nullopt);
  EXPECT_EQ(service.ChooseSaveFile(nullptr, "Save", "/tmp/x", ""), std::nullopt);
  QDialog dialog;
  EXPECT_EQ(service.ShowModal(dialog), mrCancel);
}
