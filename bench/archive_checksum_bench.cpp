// CRC-32 throughput: ours against zlib's crc32 on the same buffers.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <random>
#include <vector>

#include "archive/pakvoCrypt.h"

namespace {

const std::vector<unsigned char>& Data() {
  static const std::vector<unsigned char> data = [] {
    std::vector<unsigned char> v(64u << 20);
    std::mt19937 rng(1);
    for (auto& b : v) b = static_cast<unsigned char>(rng());
    return v;
  }();
  return data;
}

void BM_Crc32Ours(benchmark::State& state) {
  const auto& d = Data();
  const auto n = static_cast<size_t>(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(Crc32Of(d.data() + 1, n));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_Crc32Zlib(benchmark::State& state) {
  const auto& d = Data();
  const auto n = static_cast<uInt>(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(crc32(0, d.data() + 1, n));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

}  // namespace

BENCHMARK(BM_Crc32Ours)->Arg(4096)->Arg(61440)->Arg(1 << 20)->Arg(64 << 20);
BENCHMARK(BM_Crc32Zlib)->Arg(4096)->Arg(61440)->Arg(1 << 20)->Arg(64 << 20);
