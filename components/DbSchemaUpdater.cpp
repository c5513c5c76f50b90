// The updater component: construction, and its registration in the engine it owns.
#include "components/DbSchemaUpdater.h"

#include "engine/uDm.h"

TOrvDbSchemaUpdater::TOrvDbSchemaUpdater() {
  UpdaterDirectives().SetUpdaterDefaults();
  UpdaterDirectives().DeletePolicy.SetUpdaterDefaults();
}

TOrvDbSchemaUpdater::~TOrvDbSchemaUpdater() { TOrvDbSchemaUpdater::Finalize(); }

bool TOrvDbSchemaUpdater::Initialize() {
  const bool result = TOrvSchemion::Initialize();
  if (result) dm()->Updater = this;
  return result;
}

void TOrvDbSchemaUpdater::Finalize() { TOrvSchemion::Finalize(); }
