// The producer options window: every choice list keeps its value through OK, "Default" then
// OK or Cancel, the lists, the folder chooser and the connection-string editor.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QButtonGroup>
#include <QComboBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <sstream>
#include <string>
#include <vector>

#include "WindowTestSupport.h"
#include "components/uProducerOptions.h"

using namespace windowtest;

namespace {

// A producer whose every value differs from the window's defaults.
TProducerOptions Sample() {
  TProducerOptions p;
  p.DirSchemas = "C:\\schemas\\shop";
  p.ConnectionString = "Provider=SQLOLEDB.1;Data Source=master";
  p.ProgressInfoKind = pikConsole;
  p.SqlCommand = "TMyEditor";
  TUpdaterDirectives& d = p.UpdaterDirectives;
  d.Users = {"anna", "bob"};
  d.PrimaryKeysChanged = {"orders.id"};
  d.DeletePolicy.PrefixesList = {"keep_"};
  d.ProgressInfoKind = pikBoth;
  d.ErrorManager = demStopOnFirstError;
  d.FkPendingData = fpdNone;
  d.PKChangedTreatment = pctList;
  d.UpdateComments = beYes;
  d.BackupBeforeUpdate = beNo;
  d.DeletePolicy.ConfirmOnDelete = beYes;
  d.DeletePolicy.Enabled = beNo;
  return p;
}

// Every value of the producer in one comparable text.
std::string Dump(const TProducerOptions& p) {
  pugi::xml_document doc;
  p.UpdaterDirectives.SaveToXml(doc.append_child("d"));
  std::ostringstream out;
  doc.save(out);
  return p.DirSchemas + "|" + p.ConnectionString + "|" + std::to_string(p.ProgressInfoKind) + "|" +
         p.SqlCommand + "|" + out.str();
}

TEST(ProducerOptions, EveryChoiceValueSurvivesOk) {
  ScriptedDialogs dialogs;
  TProducerOptions p = Sample();
  TProducerOptionsFrm probe(p);
  const size_t count = probe.Choices().size();
  ASSERT_EQ(count, 18u);
  for (size_t i = 0; i < count; ++i) {
    for (int value = 0; value < probe.Choices()[i].box->count(); ++value) {
      SCOPED_TRACE(probe.Choices()[i].box->itemText(value).toStdString());
      TProducerOptions q = Sample();
      TProducerOptionsFrm w(q);
      w.Choices()[i].set(value);
      w.LoadControls();
      EXPECT_EQ(w.Choices()[i].box->currentIndex(), value);
      const std::string before = Dump(q);
      w.btnOk->click();
      EXPECT_EQ(Dump(q), before);
    }
  }
  // The producer's own kind at every value, pikUpdaterSetting included, which has no radio item:
  // no choice shown, written back unchanged.
  for (int kind = pikSilent; kind <= pikUpdaterSetting; ++kind) {
    TProducerOptions q = Sample();
    q.ProgressInfoKind = static_cast<TProgressInfoKind>(kind);
    TProducerOptionsFrm w(q);
    EXPECT_EQ(w.rgProgressInfoKind->checkedId(), kind == pikUpdaterSetting ? -1 : kind);
    w.btnOk->click();
    EXPECT_EQ(q.ProgressInfoKind, kind);
  }
  // "Undefined" and "Updater Setting" both stand for beUndefined.
  TProducerOptions q = Sample();
  TProducerOptionsFrm w(q);
  w.cbFUpdateComments->setCurrentText("Undefined");
  w.cbFUseDefaultDbSpace->setCurrentText("Updater Setting");
  w.btnOk->click();
  EXPECT_EQ(q.UpdaterDirectives.UpdateComments, beUndefined);
  EXPECT_EQ(q.UpdaterDirectives.UseDefaultDbSpace, beUndefined);
}

TEST(ProducerOptions, DefaultCancelOkListsAndShowOptions) {
  ScriptedDialogs dialogs;
  TProducerOptions p = Sample();
  const std::string before = Dump(p);
  dialogs->AnswerModal([](QDialog& d) {
    auto& w = dynamic_cast<TProducerOptionsFrm&>(d);
    w.btnDefault->click();
    w.btnCancel->click();
    return w.result();
  });
  EXPECT_FALSE(TProducerOptionsFrm::ShowOptions(p));
  EXPECT_EQ(Dump(p), before);

  dialogs->AnswerModal([](QDialog& d) {
    auto& w = dynamic_cast<TProducerOptionsFrm&>(d);
    EXPECT_EQ(w.windowTitle().toStdString(), "Producer options");
    EXPECT_TRUE(w.windowFlags() & Qt::Tool);
    std::vector<std::string> tabs;
    for (int i = 0; i < w.pages->count(); ++i) tabs.push_back(w.pages->tabText(i).toStdString());
    EXPECT_EQ(tabs, (std::vector<std::string>{"General", "Updater Directives", "Delete Directives"}));
    EXPECT_EQ(w.reUsers->toPlainText().toStdString(), "anna\nbob");
    for (int i = 0; i < 3; ++i) {
      w.pages->setCurrentIndex(i);
      SavePicture(w, "producer_options_page" + std::to_string(i) + ".png");
    }
    w.btnDefault->click();
    w.rePrimaryKeys->setPlainText("a.id\nb.id");
    w.btnOk->click();
    return w.result();
  });
  EXPECT_TRUE(TProducerOptionsFrm::ShowOptions(p));
  const TUpdaterDirectives& d = p.UpdaterDirectives;
  EXPECT_EQ(p.DirSchemas, ".\\schemas");
  EXPECT_EQ(p.SqlCommand, "TDefaultXMLEditorFrm");
  EXPECT_EQ(p.ProgressInfoKind, pikWinMsg);
  EXPECT_EQ(p.ConnectionString, "Provider=SQLOLEDB.1;Data Source=master");
  EXPECT_EQ(d.ProgressInfoKind, pikSilent);
  EXPECT_EQ(d.ErrorManager, demEnqueueInstructionError);
  EXPECT_EQ(d.FkPendingData, fpdDelete);
  EXPECT_EQ(d.PKChangedTreatment, pctAll);
  EXPECT_EQ(d.UpdateComments, beNo);
  EXPECT_EQ(d.DeletePolicy.ConfirmOnDelete, beNo);
  for (TBooleanExtended yes : {d.AutoRecoverPrimaryKeys, d.AutoRecoverUniqueIndexes,
                               d.DefaultValueFromDataType, d.BackupBeforeUpdate, d.UseDefaultOwner,
                               d.UseDefaultDbSpace, d.DeletePolicy.Enabled,
                               d.DeletePolicy.DeleteTables, d.DeletePolicy.DeleteFields,
                               d.DeletePolicy.DeleteIndexes, d.DeletePolicy.DeleteProcedures,
                               d.DeletePolicy.DeleteViews}) {
    EXPECT_EQ(yes, beYes);
  }
  EXPECT_TRUE(d.Users.empty());
  EXPECT_TRUE(d.DeletePolicy.PrefixesList.empty());
  EXPECT_EQ(d.PrimaryKeysChanged, (std::vector<std::string>{"a.id", "b.id"}));

  // The directives as they travel with the schema files read back the chosen values.
  pugi::xml_document doc;
  d.SaveToXml(doc.append_child("UpdaterDirectives"));
  TProducerOptions back = p;
  back.UpdaterDirectives = TUpdaterDirectives();
  back.UpdaterDirectives.LoadFromXml(doc.child("UpdaterDirectives"));
  EXPECT_EQ(Dump(back), Dump(p));
}

TEST(ProducerOptions, FolderChooserAndConnectionEditor) {
  ScriptedDialogs dialogs;
  TProducerOptions p = Sample();
  TProducerOptionsFrm w(p);
  dialogs->AnswerFolder("/data/schemas");
  w.btnDirSchemas->click();
  w.btnDirSchemas->click();  // cancelled
  EXPECT_EQ(w.edtDirSchemas->text().toStdString(), "/data/schemas");
  dialogs->AnswerConnectionString("Provider=SQLOLEDB.1;Data Source=other");
  w.btnConnectionString->click();
  w.btnConnectionString->click();  // cancelled
  EXPECT_EQ(w.reConnectionString->toPlainText().toStdString(),
            "Provider=SQLOLEDB.1;Data Source=other");
  const auto& q = dialogs->Questions();
  ASSERT_EQ(q.size(), 4u);
  EXPECT_EQ(q[0].kind, "folder");
  EXPECT_EQ(q[0].text, "C:\\schemas\\shop");
  EXPECT_EQ(q[1].text, "/data/schemas");
  EXPECT_EQ(q[2].kind, "connection");
  EXPECT_EQ(q[2].text, "Provider=SQLOLEDB.1;Data Source=master");
  EXPECT_EQ(q[3].text, "Provider=SQLOLEDB.1;Data Source=other");
}

}  // namespace
