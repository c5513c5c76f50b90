// What each engine run needs before it starts: its registered component and a connected dialect,
// each refused with a clear error when missing, and the holder producer of an updater's run.
#pragma once

#include <memory>
#include <string>

#include "components/DbSchemaProducer.h"
#include "components/DbSchemaUpdater.h"
#include "engine/EngineError.h"
#include "engine/uDm.h"

namespace engine_run {

// aRun names the run in the error ("check", "update", "extraction").
template <class Component>
Component& Require(Component* aComponent, const char* aKind, const char* aRun) {
  if (aComponent == nullptr) throw EEngineError(std::string("No ") + aKind + " registered for the " + aRun);
  return *aComponent;
}

inline TOrvDbSchemaUpdater& RequireUpdater(TOrvDbSchemaUpdater* aUpdater, const char* aRun) {
  return Require(aUpdater, "updater", aRun);
}

inline TOrvDbSchemaProducer& RequireProducer(TOrvDbSchemaProducer* aProducer, const char* aRun) {
  return Require(aProducer, "producer", aRun);
}

inline TDatabaseSpecific& RequireDialect(TDatabaseSpecific* aDialect, const char* aRun) {
  if (aDialect == nullptr) throw EEngineError(std::string("No database connected for the ") + aRun);
  return *aDialect;
}

// The holder producer of one run: whatever way the run ends, it is freed and the engine's
// Producer put back as it was (cleared when none was registered), so that its directives never
// answer a later run.
class HolderProducer {
 public:
  HolderProducer(Tdm& dm, bool aHolder, const char* aRun) : dm_(dm), previous_(dm.Producer) {
    if (!aHolder) return;
    holder_ = RequireUpdater(dm.Updater, aRun).NewHolderProducer();
    dm_.Producer = holder_.get();
  }
  ~HolderProducer() {
    if (holder_ && dm_.Producer == holder_.get()) dm_.Producer = previous_;
  }
  HolderProducer(const HolderProducer&) = delete;
  HolderProducer& operator=(const HolderProducer&) = delete;

 private:
  Tdm& dm_;
  TOrvDbSchemaProducer* previous_;
  std::unique_ptr<TOrvDbSchemaProducer> holder_;
};

}  // namespace engine_run
