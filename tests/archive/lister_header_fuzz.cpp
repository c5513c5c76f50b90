// libFuzzer target of the lister's header readers (built with -DSCHEMION_FUZZ=ON under clang).
// The first input byte picks the family; the rest is the archive.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "archive/pakvoHeaders.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static const THeaderFamily kFamilies[] = {hfAce, hfArc, hfArj, hfCab, hfGZip, hfHA,
                                            hfLha, hfRar, hfTar, hfUUE, hfZip,  hfZoo};
  THeaderFamily family = kFamilies[data[0] % (sizeof kFamilies / sizeof kFamilies[0])];
  TPakvoMemorySource src(std::vector<uint8_t>(data + 1, data + size));
  THeaderContext ctx;
  ctx.ZipWalkLocal = (data[0] & 0x80) != 0;
  auto reader = MakeHeaderReader(family, src, ctx);
  size_t entries = 0;
  THeaderWalkHooks hooks;
  hooks.OnEntry = [&](const TPakvoEntry&, int64_t) { return ++entries < 1000000; };
  WalkHeaders(*reader, src, hooks);
  return 0;
}
