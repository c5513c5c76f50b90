// What a dialect needs of the engine that owns it: the dialect in use (whose quote characters
// every dialect writes names with) and a place to report errors of a running update. The engine
// data module implements it; tests implement it with a few lines.
#pragma once

#include <string>

#include "common/SchemionTypes.h"

class TDatabaseSpecific;

class IDialectOwner {
 public:
  virtual ~IDialectOwner() = default;

  // The dialect chosen for the current connection, or nullptr before one is chosen.
  virtual TDatabaseSpecific* CurrentDialect() const = 0;

  // Adds an error to the running component's error list and echoes it to its console.
  virtual void ReportError(TDbContext context, const std::string& description,
                           const std::string& exceptionMessage) = 0;

  // The running component's text for a failed backup, with one "%s" for the backup file
  // (" *** BACKUP ERROR *** on file %s" in English).
  virtual std::string BackupErrorText() const = 0;
};
