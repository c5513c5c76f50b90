// Deflate through the archive streams at level 6 against zlib called directly on the same bytes,
// and Deflate64 decoding of a sample archive against `7zz t` of the same archive.
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <zlib.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "archive/pakvoCrypt.h"
#include "archive/pakvoInflate.h"
#include "archive/pakvoStreams.h"

namespace {

// Mixed data: text with repeats and stretches of random bytes, 16 MiB.
const std::string& Input() {
  static const std::string data = [] {
    static const char* kWords[] = {"schema ", "table ", "column ", "index ", "update ", "client ",
                                   "master ", "package ", "archive ", "deflate ", "\r\n", "key "};
    std::mt19937 rng(5);
    std::string s;
    while (s.size() < (16u << 20)) {
      if (rng() % 8 == 0) {
        for (int i = 0; i < 4096; ++i) s += static_cast<char>(rng());
      } else {
        for (int i = 0; i < 512; ++i) s += kWords[rng() % 12];
      }
    }
    s.resize(16u << 20);
    return s;
  }();
  return data;
}

void BM_DeflateStreamLevel6(benchmark::State& state) {
  const std::string& in = Input();
  TMemoryStream32 source;
  source.WriteBuffer(in.data(), static_cast<int64_t>(in.size()));
  TMemoryStream32 dest;
  int64_t size = 0;
  for (auto _ : state) {
    source.SetPosition(0);
    dest.SetSize(0);
    uint32_t crc = 0;
    DeflateStream(source, dest, TStreamControl{}, crc, dtDeflateN, nullptr);
    size = dest.GetSize();
  }
  state.counters["packed"] = static_cast<double>(size);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(in.size()));
}

void BM_DeflateZlibDirectLevel6(benchmark::State& state) {
  const std::string& in = Input();
  std::string out(in.size() + in.size() / 100 + 1024, '\0');
  uLong size = 0;
  for (auto _ : state) {
    z_stream zs{};
    deflateInit2(&zs, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    zs.avail_in = static_cast<uInt>(in.size());
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = static_cast<uInt>(out.size());
    deflate(&zs, Z_FINISH);
    size = zs.total_out;
    deflateEnd(&zs);
    benchmark::DoNotOptimize(crc32(0, reinterpret_cast<const Bytef*>(in.data()), static_cast<uInt>(in.size())));
  }
  state.counters["packed"] = static_cast<double>(size);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(in.size()));
}

std::string ArchivePath() { return std::string(SCHEMION_TEST_DATA_DIR) + "/archives/deflate64/deflate64.zip"; }

uint32_t Get(const std::string& s, size_t at, int n) {
  uint32_t v = 0;
  for (int i = n - 1; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(s[at + static_cast<size_t>(i)]);
  return v;
}

// Reads the archive and decodes and checks every method-9 entry, as `7zz t` does.
void BM_Deflate64DecodeArchive(benchmark::State& state) {
  int64_t bytes = 0;
  for (auto _ : state) {
    std::ifstream f(ArchivePath(), std::ios::binary);
    const std::string zip((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    size_t end = zip.size() - 22;
    while (Get(zip, end, 4) != 0x06054b50u) --end;
    size_t at = Get(zip, end + 16, 4);
    const uint32_t count = Get(zip, end + 10, 2);
    bytes = 0;
    for (uint32_t k = 0; k < count; ++k) {
      const uint32_t method = Get(zip, at + 10, 2);
      const uint32_t crc = Get(zip, at + 16, 4);
      const uint32_t packed = Get(zip, at + 20, 4);
      const uint32_t local = Get(zip, at + 42, 4);
      const size_t data = local + 30 + Get(zip, local + 26, 2) + Get(zip, local + 28, 2);
      if (method == 9) {
        SetDeflate64Mode(true);
        TMemoryStream32 source;
        source.SetSize(0);
        source.WriteBuffer(zip.data() + data, packed);
        source.SetPosition(0);
        TDecompressStream inflater(source, -15);
        static char buf[65536];
        uint32_t reg = 0xFFFFFFFFu;
        for (;;) {
          const int64_t n = inflater.Read(buf, sizeof buf);
          if (n <= 0) break;
          UpdateCrc32(buf, static_cast<size_t>(n), reg);
          bytes += n;
          if (inflater.Control.EndOfStream) break;
        }
        if ((reg ^ 0xFFFFFFFFu) != crc) state.SkipWithError("CRC mismatch");
        SetDeflate64Mode(false);
      }
      at += 46 + Get(zip, at + 28, 2) + Get(zip, at + 30, 2) + Get(zip, at + 32, 2);
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * bytes);
}

void BM_Deflate64SevenZipTest(benchmark::State& state) {
  const std::string command = "7zz t -bso0 -bsp0 '" + ArchivePath() + "' >/dev/null 2>&1";
  for (auto _ : state) {
    const int rc = std::system(command.c_str());
    if (!WIFEXITED(rc) || WEXITSTATUS(rc) != 0) state.SkipWithError("7zz t failed");
  }
}

}  // namespace

BENCHMARK(BM_DeflateStreamLevel6)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeflateZlibDirectLevel6)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Deflate64DecodeArchive)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Deflate64SevenZipTest)->Unit(benchmark::kMillisecond)->UseRealTime();
