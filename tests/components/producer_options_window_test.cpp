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
#include <QLabel>
#include <QTabWidget>
#include <sstream>
#include <string>
#include <vector>

#include "WindowTestSupport.h"
#include "components/DbSchemaProducer.h"
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

std::string Dump(TOrvDbSchemaProducer& p) {
  return Dump(TProducerOptions{p.DirSchemas, p.ConnectionString(), p.ProgressInfoKind, p.SqlCommand,
                               p.UpdaterDirectives()});
}

std::string Caption(QWidget& aField) {
  auto* form = static_cast<QFormLayout*>(aField.parentWidget()->layout());
  auto* label = qobject_cast<QLabel*>(form->labelForField(&aField));
  return label != nullptr ? label->text().toStdString() : std::string("<no label>");
}

TEST(ProducerOptions, CaptionsAndItemsInOrder) {
  TProducerOptions p = Sample();
  TProducerOptionsFrm w(p);
  std::vector<std::string> kinds;
  for (QAbstractButton* b : w.rgProgressInfoKind->buttons()) kinds.push_back(b->text().toStdString());
  EXPECT_EQ(kinds, (std::vector<std::string>{"Silent", "Window", "Console", "Both"}));
  const std::vector<std::string> yesNoUndefined = {"Yes", "No", "Undefined"};
  const std::vector<std::string> yesNoUpdater = {"Yes", "No", "Updater Setting"};
  struct Expected {
    std::string caption;
    std::vector<std::string> items;
  };
  // Page by page, in the order the pages show them.
  const std::vector<Expected> expected = {
      {"Progress Info kind for check and update", {"Silent", "Window", "Console", "Both", "Updater Setting"}},
      {"Error manager to use in case of errors",
       {"Stop on First Error", "Skip Instruction Error", "Enqueue Instr. Error", "Updater Setting"}},
      {"Treatment for pending records in Foreign keys", {"Do nothing", "Delete pending data", "Updater Setting"}},
      {"Treatment for primary key changed",
       {"No Treatment", "Apply to Pr. Keys Listed", "Apply to All Pr. Keys", "Updater Setting"}},
      {"AutoRecover duplicate keys in create Pr. keys", yesNoUndefined},
      {"AutoRecover duplicate keys in create Unique idx", yesNoUndefined},
      {"Compute Default value from data type", yesNoUndefined},
      {"Update comments", yesNoUndefined},
      {"Backup before sync", yesNoUndefined},
      {"Use default owner", yesNoUndefined},
      {"Use default Db Space", yesNoUpdater},
      {"Ask Confirmation before update for delete objects", yesNoUpdater},
      {"Enable deletion of Objects in general", yesNoUpdater},
      {"Enable deletion of Tables", yesNoUpdater},
      {"Enable deletion of Fields", yesNoUpdater},
      {"Enable deletion of Indexes", yesNoUpdater},
      {"Enable deletion of Procedures", yesNoUpdater},
      {"Enable deletion of Views", yesNoUpdater},
  };
  ASSERT_EQ(w.Choices().size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    QComboBox& box = *w.Choices()[i].box;
    SCOPED_TRACE(expected[i].caption);
    EXPECT_EQ(Caption(box), expected[i].caption);
    std::vector<std::string> items;
    for (int k = 0; k < box.count(); ++k) items.push_back(box.itemText(k).toStdString());
    EXPECT_EQ(items, expected[i].items);
    EXPECT_EQ(w.pages->indexOf(box.parentWidget()), i < 11 ? 1 : 2);
  }
  EXPECT_EQ(Caption(*w.reUsers), "[ Users List ]");
  EXPECT_EQ(Caption(*w.rePrimaryKeys), "[ Primary Keys List ]");
  EXPECT_EQ(Caption(*w.rePrefixesList), "[ Prefixes List ]");
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

// The producer's own ShowOptions: Cancel leaves the producer as it was; OK sets the chosen values,
// and the settings file saved then reads them back.
TEST(ProducerOptions, ProducerShowOptionsAndItsSettingsFile) {
  ScriptedDialogs dialogs;
  TOrvDbSchemaProducer producer;
  producer.DirSchemas = "C:\\schemas\\shop";
  producer.SetConnectionString("Provider=SQLOLEDB.1;Data Source=master");
  const std::string before = Dump(producer);
  dialogs->AnswerModal([](QDialog& d) {
    auto& w = dynamic_cast<TProducerOptionsFrm&>(d);
    w.edtDirSchemas->setText("/elsewhere");
    w.btnCancel->click();
    return w.result();
  });
  EXPECT_FALSE(producer.ShowOptions());
  EXPECT_EQ(Dump(producer), before);

  dialogs->AnswerModal([](QDialog& d) {
    auto& w = dynamic_cast<TProducerOptionsFrm&>(d);
    w.edtDirSchemas->setText("/data/schemas");
    w.reConnectionString->setPlainText("Provider=ASAProv.90;Eng=E;dbn=M");
    w.rgProgressInfoKind->button(pikConsole)->click();
    w.edtSqlHandler->setText("TMyEditor");
    w.cbFErrorManager->setCurrentIndex(demSkipInstructionError);
    w.cbFConfirmOnDelete->setCurrentIndex(beYes);
    w.cbFDeleteViews->setCurrentIndex(beNo);
    w.reUsers->setPlainText("anna\nbob");
    w.rePrefixesList->setPlainText("keep_");
    w.btnOk->click();
    return w.result();
  });
  EXPECT_TRUE(producer.ShowOptions());
  const TUpdaterDirectives& d = producer.UpdaterDirectives();
  EXPECT_EQ(producer.DirSchemas, "/data/schemas");
  EXPECT_EQ(producer.ConnectionString(), "Provider=ASAProv.90;Eng=E;dbn=M");
  EXPECT_EQ(producer.ProgressInfoKind, pikConsole);
  EXPECT_EQ(producer.SqlCommand, "TMyEditor");
  EXPECT_EQ(d.ErrorManager, demSkipInstructionError);
  EXPECT_EQ(d.DeletePolicy.ConfirmOnDelete, beYes);
  EXPECT_EQ(d.DeletePolicy.DeleteViews, beNo);
  EXPECT_EQ(d.Users, (std::vector<std::string>{"anna", "bob"}));
  EXPECT_EQ(d.DeletePolicy.PrefixesList, std::vector<std::string>{"keep_"});

  const std::string file = TestFolder("producer-options") + "/producer.xml";
  producer.SaveSettings(file, false);
  TOrvDbSchemaProducer back;
  back.LoadSettings(file);
  EXPECT_EQ(Dump(back), Dump(producer));
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
