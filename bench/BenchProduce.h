// The benchmarks' one way to extract a master database into a schema folder.
#pragma once

#include <functional>
#include <string>

#include "components/DbSchemaProducer.h"

namespace bench {

// Extracts `master` into `folder`; `prepare` sets the producer's lists (renames, copy items) first.
// Returns what the extraction answered.
inline bool Produce(const std::string& master, const std::string& folder,
                    const std::function<void(TOrvDbSchemaProducer&)>& prepare = {}) {
  TOrvDbSchemaProducer producer;
  producer.DirSchemas = folder;
  if (prepare) prepare(producer);
  producer.SetConnectionString(master);
  producer.Initialize();
  producer.SetConnected(true);
  return producer.ExtractSchema();
}

}  // namespace bench
