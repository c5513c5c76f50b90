// The settings files of the producer and the updater: both forms written with their elements in
// order and read back equal, the cross-reads, every message, the name rules of each component,
// Initialize with FileSetting, and the file kept whole when a write fails.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <functional>
#include <fstream>
#include <pugixml.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "../common/TempFolder.h"
#include "common/Paths.h"
#include "components/ComponentError.h"
#include "components/DbSchemaProducer.h"
#include "components/DbSchemaUpdater.h"
#include "platform/xml/XmlDocument.h"

namespace fs = std::filesystem;

namespace {

// A fresh folder of the test program's own temporary folder.
std::string Folder(const std::string& name) { return test_support::ProgramTempFolder().Sub(name); }

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::vector<std::string> RootChildren(const std::string& path) {
  pugi::xml_document doc;
  EXPECT_TRUE(doc.load_file(path.c_str()));
  std::vector<std::string> names;
  for (pugi::xml_node child : doc.child("Root").children()) names.push_back(child.name());
  return names;
}

std::string DirectivesXml(const TUpdaterDirectives& directives) {
  pugi::xml_document doc;
  directives.SaveToXml(doc.append_child("Root"));
  std::ostringstream text;
  doc.save(text);
  return text.str();
}

std::string ProducerListsXml(const TOrvDbSchemaProducer& producer) {
  pugi::xml_document doc;
  producer.WriteProducerSettings(doc.append_child("Root"));
  std::ostringstream text;
  doc.save(text);
  return text.str();
}

// The directive elements in the order the directives write them.
const std::vector<std::string> kDirectiveElements = {
    "UseDefaultOwner", "UpdateComments", "BackupBeforeUpdate", "UseDefaultDbSpace",
    "AutoRecoverUniqueIndexes", "AutoRecoverPrimaryKeys", "ErrorManager", "PKChangedTreatment",
    "DefaultValueFromDataType", "FkPendingData", "ProgressInfoKind", "Users", "PrimaryKeysChanged",
    "Enabled", "ConfirmOnDelete", "DeleteTables", "DeleteViews", "DeleteProcedures",
    "DeleteIndexes", "DeleteFields", "PrefixesList"};

std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

void FillProducer(TOrvDbSchemaProducer& producer) {
  producer.DirSchemas = "/data/schemas";
  producer.SetConnectionString("Provider=SQLOLEDB.1;Data Source=S;Initial Catalog=M");
  producer.SqlCommand = "TSqlEditor";
  producer.ProgressInfoKind = pikBoth;
  producer.SetRenamedTables({"Old=New", "A=B"});
  producer.SetRenamedFields({"T.a=b"});
  producer.SetClearTables({"Log"});
  TCopyDataElem& item = producer.CopyData.Add();
  item.TableName = "Codes";
  item.condition = "id > 3";
  item.Treatment = cdtMove;
  item.FieldToIncrement = "id";
  item.CopyAutoInc = true;
  producer.SetCommonSettings({"not stored"});
  producer.UpdaterDirectives().ErrorManager = demStopOnFirstError;
  producer.UpdaterDirectives().Users = {"u1", "u2"};
  producer.UpdaterDirectives().DeletePolicy.PrefixesList = {"keep_"};
}

void FillUpdater(TOrvDbSchemaUpdater& updater) {
  updater.DirSchemas = "/data/in";
  updater.SetConnectionString("Provider=ASAProv;Eng=E;dbn=C");
  updater.SqlCommand = "TSqlEditor";
  updater.DirSql = "/data/sql";
  updater.DirBackup = "/data/backup";
  updater.UpdaterDirectives().PKChangedTreatment = pctList;
  updater.UpdaterDirectives().PrimaryKeysChanged = {"T1"};
  updater.UpdaterDirectives().DeletePolicy.DeleteViews = beNo;
}

}  // namespace

TEST(SettingsFiles, BothFormsWrittenInOrderAndReadBackEqual) {
  const std::string folder = Folder("forms");
  TOrvDbSchemaProducer producer;
  FillProducer(producer);
  producer.SaveSettings(folder + "/producer.xml", false);
  EXPECT_EQ(RootChildren(folder + "/producer.xml"),
            Concat({"DirSchema", "ConnectionString", "SqlCommand", "ProgressInfoKindSelf",
                    "RenamedTables", "RenamedFields", "ClearTables", "CopyData"},
                   kDirectiveElements));
  TOrvDbSchemaProducer readProducer;
  readProducer.LoadSettings(folder + "/producer.xml");
  EXPECT_EQ(readProducer.DirSchemas, producer.DirSchemas);
  EXPECT_EQ(readProducer.ConnectionString(), producer.ConnectionString());
  EXPECT_EQ(readProducer.SqlCommand, "TSqlEditor");
  EXPECT_EQ(readProducer.ProgressInfoKind, pikBoth);
  EXPECT_EQ(ProducerListsXml(readProducer), ProducerListsXml(producer));
  EXPECT_EQ(DirectivesXml(readProducer.UpdaterDirectives()), DirectivesXml(producer.UpdaterDirectives()));
  EXPECT_TRUE(readProducer.CommonSettings.empty());  // not part of the file

  TOrvDbSchemaUpdater updater;
  FillUpdater(updater);
  updater.SaveSettings(folder + "/updater.xml", false);
  EXPECT_EQ(RootChildren(folder + "/updater.xml"),
            Concat({"DirSchema", "ConnectionString", "SqlCommand", "DirSql", "DirBackup"},
                   kDirectiveElements));
  TOrvDbSchemaUpdater readUpdater;
  readUpdater.LoadSettings(folder + "/updater.xml");
  EXPECT_EQ(readUpdater.DirSchemas, "/data/in");
  EXPECT_EQ(readUpdater.ConnectionString(), updater.ConnectionString());
  EXPECT_EQ(readUpdater.SqlCommand, "TSqlEditor");
  EXPECT_EQ(readUpdater.DirSql, "/data/sql");
  EXPECT_EQ(readUpdater.DirBackup, "/data/backup");
  EXPECT_EQ(DirectivesXml(readUpdater.UpdaterDirectives()), DirectivesXml(updater.UpdaterDirectives()));
}

TEST(SettingsFiles, CrossReads) {
  const std::string folder = Folder("cross");
  TOrvDbSchemaProducer producer;
  FillProducer(producer);
  producer.SaveSettings(folder + "/producer.xml", false);
  TOrvDbSchemaUpdater updater;
  updater.LoadSettings(folder + "/producer.xml");
  EXPECT_EQ(updater.DirSchemas, "/data/schemas");
  EXPECT_EQ(updater.DirSql, "");
  EXPECT_EQ(updater.DirBackup, "");
  EXPECT_EQ(updater.UpdaterDirectives().ErrorManager, demStopOnFirstError);

  TOrvDbSchemaUpdater writer;
  FillUpdater(writer);
  writer.SaveSettings(folder + "/updater.xml", false);
  TOrvDbSchemaProducer reader;
  FillProducer(reader);
  reader.LoadSettings(folder + "/updater.xml");
  EXPECT_EQ(reader.ProgressInfoKind, pikSilent);
  EXPECT_TRUE(reader.RenamedTables.empty());
  EXPECT_TRUE(reader.RenamedFields.empty());
  EXPECT_TRUE(reader.ClearTables.empty());
  EXPECT_EQ(reader.CopyData.Count(), 0);
  EXPECT_EQ(reader.UpdaterDirectives().PKChangedTreatment, pctList);
}

TEST(SettingsFiles, Messages) {
  const std::string folder = Folder("messages");
  const std::string file = folder + "/s.xml";
  TOrvDbSchemaUpdater updater;
  TOrvDbSchemaProducer producer;
  auto message = [](const std::function<void()>& action) {
    try {
      action();
    } catch (const EComponentError& e) {
      return std::string(e.what());
    }
    return std::string("no error");
  };
  EXPECT_EQ(message([&] { updater.SaveSettings("", false); }), "Empty file name!");
  EXPECT_EQ(message([&] { updater.LoadSettings(""); }), "File name not specified!");
  EXPECT_EQ(message([&] { updater.LoadSettings(file); }),
            "Unable to load Settings: file " + file + " does not exists");
  EXPECT_EQ(message([&] { producer.LoadSettings(file); }),
            "Unable to load Settings: file " + file + " does not exists");

  WriteFile(file, "old content");
  for (const auto& save : std::vector<std::function<void()>>{[&] { updater.SaveSettings(file, false); },
                                                              [&] { producer.SaveSettings(file, false); }}) {
    EXPECT_EQ(message(save), "File " + file + " already exists!");
    EXPECT_EQ(ReadFile(file), "old content");
  }
  updater.DirSql = "/overwritten";
  updater.SaveSettings(file, true);
  TOrvDbSchemaUpdater reader;
  reader.LoadSettings(file);
  EXPECT_EQ(reader.DirSql, "/overwritten");

  // A folder in the file's place is no settings file to overwrite.
  fs::create_directories(folder + "/dir.xml");
  EXPECT_EQ(message([&] { producer.SaveSettings(folder + "/dir.xml", true); }),
            "Unable to overwrite file " + folder + "/dir.xml");
}

// Regression: overwriting deleted the old file before the new one was written, so a failed write
// lost the settings.
TEST(SettingsFiles, AFailedOverwriteKeepsTheOldFile) {
  const std::string folder = Folder("atomic");
  // A name so long that nothing beside it can be written, while the file itself can.
  const std::string file = folder + "/" + std::string(250, 's') + ".xml";
  WriteFile(file, "old settings");
  TOrvDbSchemaUpdater updater;
  try {
    updater.SaveSettings(file, true);
    ADD_FAILURE() << "the overwrite succeeded";
  } catch (const EComponentError& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to overwrite file " + file);
  }
  EXPECT_EQ(ReadFile(file), "old settings");
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
}

TEST(SettingsFiles, NamesAndMalformedFiles) {
  // The updater takes ".\" and "./" names in the executable's folder; the producer takes them in
  // the current folder.
  const std::string exeFolder = paths::ExecutableFolder();
  for (const std::string name : {".\\settings-test-updater.xml", "./settings-test-updater.xml"}) {
    fs::remove(exeFolder + "/settings-test-updater.xml");
    TOrvDbSchemaUpdater updater;
    updater.DirSql = "/sql";
    updater.SaveSettings(name, false);
    EXPECT_TRUE(fs::exists(exeFolder + "/settings-test-updater.xml")) << name;
    TOrvDbSchemaUpdater reader;
    reader.LoadSettings(name);
    EXPECT_EQ(reader.DirSql, "/sql");
  }
  fs::remove(exeFolder + "/settings-test-updater.xml");

  const std::string folder = Folder("names");
  const fs::path previous = fs::current_path();
  fs::current_path(folder);
  TOrvDbSchemaProducer producer;
  producer.SaveSettings(".\\producer.xml", false);
  fs::current_path(previous);
  EXPECT_TRUE(fs::exists(folder + "/producer.xml"));

  // A malformed file: the XML reader's error reaches the caller and nothing changes.
  WriteFile(folder + "/bad.xml", "<Root><DirSchema>x</DirSchema>");
  TOrvDbSchemaUpdater updater;
  updater.DirSchemas = "kept";
  EXPECT_THROW(updater.LoadSettings(folder + "/bad.xml"), xmldoc::EXmlError);
  EXPECT_EQ(updater.DirSchemas, "kept");
  EXPECT_THROW(producer.LoadSettings(folder + "/bad.xml"), xmldoc::EXmlError);
}

TEST(SettingsFiles, InitializeCreatesAMissingFileAndLoadsAnExistingOne) {
  const std::string folder = Folder("initialize");
  const std::string file = folder + "/updater.xml";
  {
    TOrvDbSchemaUpdater updater;
    updater.FileSetting = file;
    updater.DirBackup = "/first";
    ASSERT_TRUE(updater.Initialize());
    EXPECT_EQ(updater.DirBackup, "/first");
  }
  ASSERT_TRUE(fs::exists(file));
  TOrvDbSchemaUpdater updater;
  updater.FileSetting = file;
  updater.DirBackup = "/second";
  ASSERT_TRUE(updater.Initialize());
  EXPECT_EQ(updater.DirBackup, "/first");
}

TEST(SettingsFiles, ExpandAppPath) {
  const std::string exe = paths::ExecutableFolder() + "/";
  EXPECT_EQ(TOrvDbSchemaUpdater::ExpandAppPath(".\\x"), exe + ".\\x");
  EXPECT_EQ(TOrvDbSchemaUpdater::ExpandAppPath("./x"), exe + "./x");
  EXPECT_EQ(TOrvDbSchemaUpdater::ExpandAppPath("..\\x"), exe + "..\\x");
  EXPECT_EQ(TOrvDbSchemaUpdater::ExpandAppPath(".."), "..");
  EXPECT_EQ(TOrvDbSchemaUpdater::ExpandAppPath(".\\"), ".\\");
  EXPECT_EQ(TOrvDbSchemaUpdater::ExpandAppPath("/abs/x.xml"), "/abs/x.xml");
  EXPECT_EQ(TOrvDbSchemaUpdater::ExpandAppPath("rel/x.xml"), "rel/x.xml");
}
