// The producer component: its registration in the engine it owns.
#include "components/DbSchemaProducer.h"

#include "engine/uDm.h"

TOrvDbSchemaProducer::~TOrvDbSchemaProducer() { TOrvDbSchemaProducer::Finalize(); }

bool TOrvDbSchemaProducer::Initialize() {
  const bool result = TOrvSchemion::Initialize();
  if (result) dm()->Producer = this;
  return result;
}

void TOrvDbSchemaProducer::Finalize() { TOrvSchemion::Finalize(); }
