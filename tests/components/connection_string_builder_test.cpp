// The connection-string builder window: composing and reading strings, enabled states, and the
// tests, lists and database start run on the embedded SQL Server. Pictures of each page are saved
// in the test build folder.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <filesystem>
#include <functional>
#include <memory>

#include "components/ufrmBuildConnectionString.h"
#include "platform/data/Provider.h"
#include "platform/ui/Application.h"
#include "platform/ui/DialogService.h"
#include "../servers/MakeServers.h"

namespace {

namespace fs = std::filesystem;

// The fields of the custom form.
struct Fields {
  int provider = 0;
  bool windows = false;
  std::string machine, engine, login, password;
  bool savePwd = false, noPwd = false;
  std::string database;
};

void Fill(TfrmBuildConnectionString& w, const Fields& f) {
  w.OpenCustomForm("");
  w.cbProvider->setCurrentIndex(f.provider);
  (f.windows ? w.rbWindows : w.rbSql)->click();
  w.edtMachineName->setText(QString::fromStdString(f.machine));
  w.cbEngineName->setCurrentText(QString::fromStdString(f.engine));
  w.edtLogin->setText(QString::fromStdString(f.login));
  w.edtPassword->setText(QString::fromStdString(f.password));
  w.cbSavePwd->setChecked(f.savePwd);
  if (w.cbNoPwd->isChecked() != f.noPwd) w.cbNoPwd->click();
  w.cbDbName->setCurrentText(QString::fromStdString(f.database));
}

Fields Read(const TfrmBuildConnectionString& w) {
  return {w.cbProvider->currentIndex(),
          w.rbWindows->isChecked(),
          w.edtMachineName->text().toStdString(),
          w.cbEngineName->currentText().toStdString(),
          w.edtLogin->text().toStdString(),
          w.edtPassword->text().toStdString(),
          w.cbSavePwd->isChecked(),
          w.cbNoPwd->isChecked(),
          w.cbDbName->currentText().toStdString()};
}

void ExpectFields(const Fields& got, const Fields& want) {
  EXPECT_EQ(got.provider, want.provider);
  EXPECT_EQ(got.windows, want.windows);
  EXPECT_EQ(got.machine, want.machine);
  EXPECT_EQ(got.engine, want.engine);
  EXPECT_EQ(got.login, want.login);
  EXPECT_EQ(got.password, want.password);
  EXPECT_EQ(got.savePwd, want.savePwd);
  EXPECT_EQ(got.noPwd, want.noPwd);
  EXPECT_EQ(got.database, want.database);
}

void SavePicture(QWidget& window, const std::string& name) {
  window.show();
  ui::ProcessPendingMessages();
  const std::string path = std::string(SCHEMION_TEST_BUILD_DIR) + "/" + name;
  ASSERT_TRUE(window.grab().save(QString::fromStdString(path), "PNG"));
}

class Builder : public ::testing::Test {
 protected:
  void SetUp() override {
    char folder[] = "/tmp/schm_builder_XXXXXX";
    root_ = mkdtemp(folder);
    setenv("SCHEMION_SERVERS", root_.c_str(), 1);
    servers::RegisterEmbeddedServers();
    auto scripted = std::make_unique<ui::ScriptedDialogService>();
    dialogs_ = scripted.get();
    scope_ = std::make_unique<ui::ScopedDialogService>(std::move(scripted));
  }
  void TearDown() override {
    scope_.reset();
    std::error_code ec;
    fs::remove_all(root_, ec);
  }
  std::string LastMessage() const {
    return dialogs_->Questions().empty() ? "" : dialogs_->Questions().back().text;
  }

  std::string root_;
  ui::ScriptedDialogService* dialogs_ = nullptr;
  std::unique_ptr<ui::ScopedDialogService> scope_;
};

TEST_F(Builder, ComposesAndReadsBackTheFields) {
  struct Case {
    const char* name;
    Fields fields;
    std::string okText;    // composed with database, without password
    std::string testText;  // composed with database and password
    Fields readBack;       // the fields after reading okText
  };
  const std::vector<Case> cases = {
      {"MSDE, Windows: the database before the server",
       {1, true, "", "srv", "", "", false, false, "Shop"},
       "Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;Initial Catalog=Shop;Data Source=srv",
       "Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;Initial Catalog=Shop;Data Source=srv",
       {0, true, "", "srv", "", "", false, false, "Shop"}},
      {"SQL login, password not saved: Ok writes none, the test sends it",
       {0, false, "", "srv", "sa", "secret", false, false, "Shop"},
       "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=sa;Initial Catalog=Shop;Data Source=srv",
       "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=sa;Password=secret;Initial Catalog=Shop;Data Source=srv",
       {0, false, "", "srv", "sa", "", false, false, "Shop"}},
      {"SQL login, password saved, a machine",
       {0, false, "host1", "srv", "sa", "secret", true, false, "Shop"},
       "Provider=SQLOLEDB.1;Persist Security Info=True;User ID=sa;Password=secret;Initial Catalog=Shop;Data "
       "Source=srv;Location=host1",
       "Provider=SQLOLEDB.1;Persist Security Info=True;User ID=sa;Password=secret;Initial Catalog=Shop;Data "
       "Source=srv;Location=host1",
       {0, false, "host1", "srv", "sa", "secret", true, false, "Shop"}},
      {"ASA with a machine: links last, the host read back without the brace",
       {2, false, "host1", "asa1", "dba", "sql", true, false, "demo"},
       "Provider=ASAProv.90;Persist Security Info=True;User ID=dba;Password=sql;dbn=demo;Eng=asa1;links=tcpip{host=host1}",
       "Provider=ASAProv.90;Persist Security Info=True;User ID=dba;Password=sql;dbn=demo;Eng=asa1;links=tcpip{host=host1}",
       {2, false, "host1", "asa1", "dba", "sql", true, false, "demo"}},
      {"No Password: two single quotes, read back as an empty password",
       {2, false, "", "asa1", "dba", "x", false, true, ""},
       "Provider=ASAProv.90;Persist Security Info=False;User ID=dba;Password='';Eng=asa1",
       "Provider=ASAProv.90;Persist Security Info=False;User ID=dba;Password=x;Eng=asa1",
       {2, false, "", "asa1", "dba", "", false, true, ""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TfrmBuildConnectionString w("", 2);
    Fill(w, c.fields);
    EXPECT_EQ(w.ComposeConnectionString(true, false, false), c.okText);
    EXPECT_EQ(w.ComposeConnectionString(true, true, false), c.testText);
    TfrmBuildConnectionString back("", 2);
    back.OpenCustomForm(c.okText);
    ExpectFields(Read(back), c.readBack);
    // The fields read back compose the same text, except an empty "No Password" password, which
    // the composer leaves out.
    const bool emptyNoPassword = c.readBack.noPwd && c.readBack.password.empty();
    if (!emptyNoPassword) {
      EXPECT_EQ(back.ComposeConnectionString(true, false, false), c.okText);
    }
  }
  // A provider the window does not know ("SQLOLEDB" without ".1") leaves the fields as they were.
  TfrmBuildConnectionString w("", 2);
  Fill(w, {2, false, "m", "e", "l", "p", true, false, "d"});
  w.ReadConnectionString("Provider=SQLOLEDB;Data Source=other;User ID=x");
  EXPECT_EQ(Read(w).engine, "e");
  EXPECT_EQ(Read(w).login, "l");
}

TEST_F(Builder, EnabledStatesFollowProviderAuthenticationAndNoPassword) {
  struct Case {
    int provider;
    bool windows, noPwd;
    bool savePwd, noPwdBox, login, startDb, sqlPage;
  };
  const Case cases[] = {
      {0, false, false, true, true, true, false, true},  {0, false, true, false, true, true, false, true},
      {1, true, false, false, false, false, false, true}, {2, false, false, true, true, true, true, false},
      {2, true, false, true, true, true, true, false},    {2, false, true, false, true, true, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.provider) + (c.windows ? " windows" : " sql") + (c.noPwd ? " nopwd" : ""));
    TfrmBuildConnectionString w("", 2);
    w.OpenCustomForm("");
    if (c.noPwd) w.cbNoPwd->click();
    (c.windows ? w.rbWindows : w.rbSql)->click();
    w.cbProvider->setCurrentIndex(c.provider);
    EXPECT_EQ(w.cbSavePwd->isEnabled(), c.savePwd);
    EXPECT_EQ(w.cbNoPwd->isEnabled(), c.noPwdBox);
    EXPECT_EQ(w.edtLogin->isEnabled(), c.login);
    EXPECT_EQ(w.edtPassword->isEnabled(), c.login);
    EXPECT_EQ(w.btnStartDatabase->isEnabled(), c.startDb);
    EXPECT_EQ(w.pcKind->currentWidget() == w.tsSqlServer, c.sqlPage);
  }
}

TEST_F(Builder, TestsAndListsOnTheEmbeddedSqlServer) {
  server_test::MakeSqlServer("TESTSRV");
  auto master = ado::ProviderRegistry::Instance().Open(
      "Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;Initial Catalog=master;Data Source=TESTSRV");
  master->Execute("CREATE DATABASE Shop");
  master->Execute("CREATE DATABASE Stock");
  master->Execute("exec sp_password NULL, 'secret', 'sa'");
  master.reset();

  TfrmBuildConnectionString w("", 2);
  w.OpenCustomForm("");
  ASSERT_GE(w.cbEngineName->findText("testsrv"), 0);  // the enumerator lists the embedded servers
  Fill(w, {0, false, "", "testsrv", "sa", "secret", false, false, "Shop"});
  w.btnTestConnection->click();
  EXPECT_EQ(LastMessage(), "Connection OK!");
  w.edtPassword->setText("wrong-pass");
  w.btnTestConnection->click();
  EXPECT_EQ(LastMessage().rfind("Connection Failed. \r\nERROR: ", 0), 0u) << LastMessage();
  EXPECT_NE(LastMessage().find("Login failed for user 'sa'."), std::string::npos) << LastMessage();
  EXPECT_EQ(LastMessage().find("wrong-pass"), std::string::npos);

  w.btnGet->click();
  for (const char* db : {"master", "Shop", "Stock"}) EXPECT_GE(w.cbDbName->findText(db), 0) << db;
  EXPECT_EQ(w.cbDbName->currentText(), "");

  w.btnShowConnection->click();
  EXPECT_EQ(LastMessage(),
            "Current connection string: \r\n\r\nProvider=SQLOLEDB.1;Persist Security Info=False;User ID=sa;Data Source=testsrv");
  // No O'Brien.db on the Adaptive Server Anywhere named: the start fails and says why.
  w.cbProvider->setCurrentIndex(2);
  w.edtFullDbName->setText("O'Brien.db");
  w.btnStartDatabase->click();
  EXPECT_EQ(LastMessage().rfind("Activation Failed. \r\nERROR: ", 0), 0u) << LastMessage();
}

TEST_F(Builder, ExecuteModesAndCancel) {
  // Mode 0: the start page; the custom window opened on the edited text, then Ok.
  dialogs_->AnswerModal([](QDialog& d) {
    auto& w = dynamic_cast<TfrmBuildConnectionString&>(d);
    EXPECT_TRUE(w.OnStartPage());
    SavePicture(w, "connection_builder_start.png");
    w.reConnStr->setPlainText("Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;Data Source=a");
    w.btnOpenCustom->click();
    EXPECT_FALSE(w.OnStartPage());
    EXPECT_EQ(w.cbEngineName->currentText(), "a");
    SavePicture(w, "connection_builder_sqlserver.png");
    w.cbDbName->setCurrentText("Shop");
    w.btnOk->click();
    return w.result();
  });
  std::string text = "Provider=ASAProv.90;Eng=x";
  EXPECT_TRUE(TfrmBuildConnectionString::Execute(text, 0));
  EXPECT_EQ(text, "Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;Initial Catalog=Shop;Data Source=a");

  // Mode 2: the custom form at once; Cancel keeps the text.
  dialogs_->AnswerModal([](QDialog& d) {
    auto& w = dynamic_cast<TfrmBuildConnectionString&>(d);
    EXPECT_FALSE(w.OnStartPage());
    EXPECT_EQ(w.cbProvider->currentIndex(), 2);
    SavePicture(w, "connection_builder_asa.png");
    w.edtLogin->setText("changed");
    w.btnCancel->click();
    return w.result();
  });
  text = "Provider=ASAProv.90;User ID=dba;Eng=x";
  EXPECT_FALSE(TfrmBuildConnectionString::Execute(text, 2));
  EXPECT_EQ(text, "Provider=ASAProv.90;User ID=dba;Eng=x");

  // Mode 1: the standard editor only, started on the text; cancelled keeps it, accepted sets it.
  EXPECT_FALSE(TfrmBuildConnectionString::Execute(text, 1));
  EXPECT_EQ(text, "Provider=ASAProv.90;User ID=dba;Eng=x");
  EXPECT_EQ(dialogs_->Questions().back().kind, "connection");
  EXPECT_EQ(LastMessage(), text);
  dialogs_->AnswerConnectionString("Provider=ASAProv.90;Eng=y");
  EXPECT_TRUE(TfrmBuildConnectionString::Execute(text, 1));
  EXPECT_EQ(text, "Provider=ASAProv.90;Eng=y");

  // "Open Standard Window" from the start page: the editor's accepted text closes the window.
  dialogs_->AnswerModal([this](QDialog& d) {
    auto& w = dynamic_cast<TfrmBuildConnectionString&>(d);
    w.reConnStr->setPlainText("Provider=SQLOLEDB.1;Data Source=b");
    dialogs_->AnswerConnectionString("Provider=SQLOLEDB.1;Data Source=c");
    w.btnOpenStandard->click();
    EXPECT_EQ(LastMessage(), "Provider=SQLOLEDB.1;Data Source=b");
    return w.result();
  });
  EXPECT_TRUE(TfrmBuildConnectionString::Execute(text, 0));
  EXPECT_EQ(text, "Provider=SQLOLEDB.1;Data Source=c");
}

// Regression: a password read without "Persist Security Info" came back as "Password=''" with No
// Password ticked; a quoted password holding ";" was read as far as the ";"; a password typed
// with ";" was written unquoted.
TEST_F(Builder, PasswordsComeBackAsConnectionStringsQuoteThem) {
  const auto closeWithOk = [this](std::function<void(TfrmBuildConnectionString&)> aEdit) {
    dialogs_->AnswerModal([aEdit](QDialog& d) {
      auto& w = dynamic_cast<TfrmBuildConnectionString&>(d);
      aEdit(w);
      w.btnOk->click();
      return w.result();
    });
  };
  struct Case {
    std::string text;      // the string the builder is opened on and closed unchanged
    std::string password;  // what the password field reads
    bool noPassword;
  } cases[] = {
      {"Provider=SQLOLEDB.1;Data Source=srv;Initial Catalog=Shop;User ID=u3;Password=simple1", "simple1", false},
      {"Provider=SQLOLEDB.1;Data Source=srv;User ID=u3;Password=\"p;q\";Initial Catalog=Shop", "p;q", false},
      {"Provider=ASAProv.90;Eng=asa1;User ID=dba;Password=\"say \"\"hi\"\"\"", "say \"hi\"", false},
      {"Provider=ASAProv.90;Persist Security Info=False;User ID=dba;Password='';Eng=asa1", "", true},
      {"Provider=SQLOLEDB.1;Data Source=srv;User ID=u3", "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::string text = c.text;
    closeWithOk([&c](TfrmBuildConnectionString& w) {
      EXPECT_EQ(w.edtPassword->text().toStdString(), c.password);
      EXPECT_EQ(w.cbNoPwd->isChecked(), c.noPassword);
    });
    EXPECT_TRUE(TfrmBuildConnectionString::Execute(text, 2));
    EXPECT_EQ(text, c.text);
  }
  // A password typed with ";" and quotes is written quoted, and read back as typed.
  std::string text = "Provider=SQLOLEDB.1;Data Source=srv;User ID=u3";
  closeWithOk([](TfrmBuildConnectionString& w) {
    w.edtPassword->setText("a;b\"c");
    w.cbSavePwd->setChecked(true);
  });
  EXPECT_TRUE(TfrmBuildConnectionString::Execute(text, 2));
  EXPECT_EQ(text, "Provider=SQLOLEDB.1;Persist Security Info=True;User ID=u3;Password=\"a;b\"\"c\";Data Source=srv");
  TfrmBuildConnectionString back("", 2);
  back.OpenCustomForm(text);
  EXPECT_EQ(back.edtPassword->text().toStdString(), "a;b\"c");
  EXPECT_EQ(back.ComposeConnectionString(true, true, false), text);
}

}  // namespace
