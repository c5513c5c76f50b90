// The connection-string builder window on the embedded Adaptive Server Anywhere: starting a
// database from its file, listing the started databases, and testing a connection to one.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QComboBox>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <filesystem>
#include <memory>

#include "../common/TempFolder.h"
#include "components/ufrmBuildConnectionString.h"
#include "platform/data/Provider.h"
#include "platform/ui/DialogService.h"
#include "../servers/MakeServers.h"

namespace {

TEST(BuilderOnAsa, StartsListsAndTestsDatabases) {
  const test_support::TempFolder folder("schm_builder_asa");
  const std::string& root = folder.Path();
  setenv("SCHEMION_SERVERS", root.c_str(), 1);
  server_test::MakeAsaServer("asa1");
  auto scripted = std::make_unique<ui::ScriptedDialogService>();
  ui::ScriptedDialogService& dialogs = *scripted;
  ui::ScopedDialogService scope(std::move(scripted));
  const auto lastMessage = [&] { return dialogs.Questions().empty() ? "" : dialogs.Questions().back().text; };
  {
    auto server = ado::ProviderRegistry::Instance().Open("Provider=ASAProv.90;Eng=asa1");
    server->Execute("CREATE DATABASE 'O''Brien.db'");
    server->Execute("CREATE DATABASE 'C:\\data\\Stock.db'");
    server->Execute("START DATABASE 'C:\\data\\Stock.db'");
  }

  TfrmBuildConnectionString w("", 2);
  w.OpenCustomForm("");
  w.cbProvider->setCurrentIndex(2);
  w.cbEngineName->setCurrentText("asa1");
  w.edtLogin->setText("dba");
  w.edtPassword->setText("SQL");
  w.edtFullDbName->setText("O'Brien.db");
  w.btnStartDatabase->click();
  EXPECT_EQ(lastMessage(), "Database Activated!");
  w.btnStartDatabase->click();  // already running: the server's reason
  EXPECT_EQ(lastMessage().rfind("Activation Failed. \r\nERROR: ", 0), 0u) << lastMessage();

  w.btnGet->click();
  for (const char* db : {"O'Brien", "Stock"}) EXPECT_GE(w.cbDbName->findText(db), 0) << db;
  EXPECT_EQ(w.cbDbName->count(), 2);

  w.cbDbName->setCurrentText("O'Brien");
  w.btnTestConnection->click();
  EXPECT_EQ(lastMessage(), "Connection OK!");
  w.edtPassword->setText("wrong-pass");
  w.btnTestConnection->click();
  EXPECT_EQ(lastMessage().rfind("Connection Failed. \r\nERROR: ", 0), 0u) << lastMessage();
  EXPECT_EQ(lastMessage().find("wrong-pass"), std::string::npos) << lastMessage();
  w.btnShowConnection->click();
  EXPECT_EQ(lastMessage(),
            "Current connection string: \r\n\r\n"
            "Provider=ASAProv.90;Persist Security Info=False;User ID=dba;dbn=O'Brien;Eng=asa1");
}

}  // namespace
