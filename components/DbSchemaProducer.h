// The producer component: connected to a source database, has the engine extract its schema into
// the schema folder DirSchemas. Carries the producer's lists and directives, which travel with the
// schema files and steer the updater.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "components/ProducerLists.h"
#include "components/Schemion.h"

using TNotifyEvent = std::function<void(void* Sender)>;

class TOrvDbSchemaProducer : public TOrvSchemion, public TProducerLists {
 public:
  TOrvDbSchemaProducer() = default;
  // Runs this class's Finalize first (the base destructor does not reach it).
  ~TOrvDbSchemaProducer() override;

  TProgressInfoKind ProgressInfoKind = pikSilent;
  std::vector<std::string> CommonSettings;  // kept and streamed, not read by the component
  TNotifyEvent BeforeExtractSchema;
  TNotifyEvent AfterExtractSchema;

  // Assigning a list copies it: the producer keeps its own.
  void SetRenamedTables(const std::vector<std::string>& aValue) { RenamedTables = aValue; }
  void SetRenamedFields(const std::vector<std::string>& aValue) { RenamedFields = aValue; }
  void SetClearTables(const std::vector<std::string>& aValue) { ClearTables = aValue; }
  void SetCopyData(const TCopyData& aValue) { CopyData = aValue; }
  void SetCommonSettings(const std::vector<std::string>& aValue) { CommonSettings = aValue; }

  // The base's Initialize, then registration as the engine's producer.
  bool Initialize() override;
  void Finalize() override;

  // Has the engine write the directives file, the 15 schema files and the data files into
  // DirSchemas. False when not connected (no error listed), when an event handler or the engine
  // raised (one dbcExtractSchema entry) or when the engine reports failure.
  bool ExtractSchema();

  // The producer options window on this producer, modally; True when it closed with OK, and only
  // then are the producer's properties changed.
  bool ShowOptions();

  // The producer's settings file ("Root": DirSchema, ConnectionString, SqlCommand,
  // ProgressInfoKindSelf, the lists, the directives), the name taken as given. Saving raises
  // "File <name> already exists!" (without aOverwrite) or "Unable to overwrite file <name>", and
  // replaces an existing file only with a whole new one. Loading raises "Unable to load Settings:
  // file <name> does not exists"; a malformed file raises the XML reader's error and changes
  // nothing.
  void SaveSettings(const std::string& aFileName, bool aOverwrite);
  void LoadSettings(const std::string& aFileName);
};
