// libFuzzer target: archive type detection (signatures, self-extracting stubs, the PE resource
// probe) on a file made of the fuzzer's bytes.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

#include "archive/pakvoRegister.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const int fd = ::memfd_create("pakvo-detect", 0);
  if (fd < 0) std::abort();
  if (::ftruncate(fd, 0) != 0) std::abort();
  size_t done = 0;
  while (done < size) {
    ssize_t n = ::pwrite(fd, data + done, size - done, static_cast<off_t>(done));
    if (n <= 0) std::abort();
    done += static_cast<size_t>(n);
  }
  TRegisterPakvo detector;
  detector.GetArcType(fd);
  return 0;
}
