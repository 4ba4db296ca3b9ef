// The splice detectors' coarse correlation at the frame lengths of 35 mm per-frame
// scans at 1800 dpi (1815 rows) and of 3600 dpi frame pitches (2720).
#include <random>

#include <benchmark/benchmark.h>

#include "signal/xcorr.h"

namespace {

kelvora::Profile noise(int n, unsigned seed) {
  std::mt19937 rng(seed);
  std::normal_distribution<float> d(0.0f, 30.0f);
  kelvora::Profile p(static_cast<size_t>(n));
  for (float& v : p) v = d(rng);
  return p;
}

void BM_Xcorr(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const kelvora::Profile a = noise(n, 1), b = noise(n, 2);
  for (auto _ : state) benchmark::DoNotOptimize(kelvora::xcorr(a, b));
  state.counters["lags"] = 2.0 * n - 1;
  state.counters["MAC/s"] =
      benchmark::Counter(static_cast<double>(n) * n, benchmark::Counter::kIsIterationInvariantRate);
}

BENCHMARK(BM_Xcorr)->Arg(1815)->Arg(2720)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
