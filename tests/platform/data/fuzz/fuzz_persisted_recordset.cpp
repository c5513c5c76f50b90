// libFuzzer target: the persisted-recordset reader on a document made of the fuzzer's bytes, with
// the round-trip check of RoundTrip.h; a fault aborts the run.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/platform/data/fuzz/RoundTrip.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string fault =
      persistfuzz::RoundTripFault(std::string(reinterpret_cast<const char*>(data), size));
  if (!fault.empty()) {
    std::fprintf(stderr, "round trip: %s\n", fault.c_str());
    std::abort();
  }
  return 0;
}
