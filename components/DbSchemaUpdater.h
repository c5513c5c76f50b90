// The updater component: compares a destination database with the schema files and updates it.
// Holds the updater's folders and the flag telling the engine that this run created the database.
#pragma once

#include <string>

#include "components/Schemion.h"

class TOrvDbSchemaUpdater : public TOrvSchemion {
 public:
  // After the base: both folders ".\schemas", the updater's default directives and delete
  // policy, DatabaseCreated and AutoCreateDatabase False.
  TOrvDbSchemaUpdater();
  // Runs this class's Finalize first (the base destructor does not reach it).
  ~TOrvDbSchemaUpdater() override;

  std::string DirSql = ".\\schemas";     // folder of instructions.xml and BlockUndoDelete.xml
  std::string DirBackup = ".\\schemas";  // folder of the database backups
  std::string FileSetting;
  bool AutoCreateDatabase = false;

  // True when this run created the database; read by the engine.
  bool DatabaseCreated = false;

  // The base's Initialize, then registration as the engine's updater.
  bool Initialize() override;
  void Finalize() override;
};
