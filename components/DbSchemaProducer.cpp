// The producer component: its registration in the engine, the extraction entry point and the
// producer's settings file.
#include "components/DbSchemaProducer.h"

#include <exception>
#include <pugixml.hpp>

#include "components/SettingsFile.h"
#include "components/XmlNodes.h"
#include "components/uProducerOptions.h"

#include "engine/uDm.h"

TOrvDbSchemaProducer::~TOrvDbSchemaProducer() { TOrvDbSchemaProducer::Finalize(); }

bool TOrvDbSchemaProducer::Initialize() {
  const bool result = TOrvSchemion::Initialize();
  if (result) dm()->Producer = this;
  return result;
}

void TOrvDbSchemaProducer::Finalize() { TOrvSchemion::Finalize(); }

bool TOrvDbSchemaProducer::ExtractSchema() {
  ClearConsole();
  ShowWindows(ProgressInfoKind);
  Errors().ClearExtractSchemaErrors();
  bool result = Connected() && dm() != nullptr;
  if (result && BeforeExtractSchema) {
    try {
      BeforeExtractSchema(this);
    } catch (const std::exception& e) {
      Errors().Add(dbcExtractSchema, LanguageOptions().ErrBeforeExtractSchema, e.what(), 0, "",
                   false);
      result = false;
    }
  }
  // The extraction runs once: its result is the producer's.
  if (result) {
    try {
      result = dm()->ExtractSchema();
    } catch (const std::exception& e) {
      Errors().Add(dbcExtractSchema, LanguageOptions().ErrExtractSchema, e.what(), 0, "", false);
      if (OnError) {
        TInstruction* instruction = nullptr;
        bool handled = false;
        bool reExecute = false;
        OnError(this, e, dbcExtractSchema, instruction, handled, reExecute);
      }
      result = false;
    }
  }
  if (result && AfterExtractSchema) {
    try {
      AfterExtractSchema(this);
    } catch (const std::exception& e) {
      Errors().Add(dbcExtractSchema, LanguageOptions().ErrAfterExtractSchema, e.what(), 0, "",
                   false);
      result = false;
    }
  }
  CloseWindows();
  return result;
}

void TOrvDbSchemaProducer::SaveSettings(const std::string& aFileName, bool aOverwrite) {
  pugi::xml_document doc;
  pugi::xml_node root = doc.append_child("Root");
  xmlnodes::SetChildText(root, "DirSchema", DirSchemas);
  xmlnodes::SetChildText(root, "ConnectionString", ConnectionString());
  xmlnodes::SetChildText(root, "SqlCommand", SqlCommand);
  xmlnodes::WriteEnum(root, "ProgressInfoKindSelf", ProgressInfoKind);
  WriteProducerSettings(root);
  UpdaterDirectives().SaveToXml(root);
  settingsfile::Save(doc, aFileName, aOverwrite);
}

void TOrvDbSchemaProducer::LoadSettings(const std::string& aFileName) {
  pugi::xml_document doc;
  const pugi::xml_node root = settingsfile::Load(doc, aFileName);
  DirSchemas = xmlnodes::ChildText(root, "DirSchema");
  SetConnectionString(xmlnodes::ChildText(root, "ConnectionString"));
  SqlCommand = xmlnodes::ChildText(root, "SqlCommand");
  ProgressInfoKind = xmlnodes::ReadEnum(root, "ProgressInfoKindSelf", pikSilent);
  ReadProducerSettings(root);
  UpdaterDirectives().LoadFromXml(root);
}

bool TOrvDbSchemaProducer::ShowOptions() {
  TProducerOptions options{DirSchemas, ConnectionString(), ProgressInfoKind, SqlCommand, UpdaterDirectives()};
  if (!TProducerOptionsFrm::ShowOptions(options)) return false;
  DirSchemas = options.DirSchemas;
  SetConnectionString(options.ConnectionString);
  ProgressInfoKind = options.ProgressInfoKind;
  SqlCommand = options.SqlCommand;
  SetUpdaterDirectives(options.UpdaterDirectives);
  return true;
}
