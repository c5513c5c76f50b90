// The producer component: has the engine extract the schema of a source database into the schema
// folder. Begun here with its registration in the engine.
#pragma once

#include "components/Schemion.h"

class TOrvDbSchemaProducer : public TOrvSchemion {
 public:
  TOrvDbSchemaProducer() = default;
  // Runs this class's Finalize first (the base destructor does not reach it).
  ~TOrvDbSchemaProducer() override;

  // The base's Initialize, then registration as the engine's producer.
  bool Initialize() override;
  void Finalize() override;
};
