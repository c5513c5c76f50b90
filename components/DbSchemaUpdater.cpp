// The updater component: construction, and its registration in the engine it owns.
#include "components/DbSchemaUpdater.h"

#include <filesystem>

#include "common/Paths.h"
#include "components/ComponentError.h"
#include "components/uDeleteObjects.h"
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

bool TOrvDbSchemaUpdater::ConfirmDelete() {
  const std::string path = paths::FoldBackslashes(DirSql + "\\" + "BlockUndoDelete.xml");
  const std::string file = paths::ResolveFolder(path);
  if (!std::filesystem::is_regular_file(file)) {
    throw EComponentError(DbFormat(LanguageOptions().MsgNoFile, {path}));
  }
  return TDeleteObjectsFrm::ConfirmDelete(file);
}
