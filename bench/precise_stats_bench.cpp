// The precise reader's per-row statistics on film-like levels: the level of each row of a
// band (a variable-density track's, grain and dust on it) and the bright level of each
// row of an 8-bit strip.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>

#include <opencv2/core.hpp>

#include "precise/density_rows.h"
#include "precise/row_light.h"

namespace {

constexpr int kRows = 2000;

// Levels about 120, grain of a few levels, a dark speck on every third row.
cv::Mat grainyBand(int cols, unsigned seed) {
  std::mt19937 rng(seed);
  std::normal_distribution<float> grain(120.0f, 6.0f);
  cv::Mat band(kRows, cols, CV_32F);
  for (int y = 0; y < kRows; ++y) {
    float* row = band.ptr<float>(y);
    for (int x = 0; x < cols; ++x) row[x] = grain(rng);
    if (y % 3 == 0) row[y % cols] = 10.0f;
  }
  return band;
}

void rowLevelsOfBand(benchmark::State& state) {
  const cv::Mat band = grainyBand(static_cast<int>(state.range(0)), 7);
  for (auto _ : state) benchmark::DoNotOptimize(kelvora::rowLevels(band));
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(rowLevelsOfBand)->Arg(16)->Arg(31)->Arg(64)->Arg(150);

// Clear film (about 230) beside a track that the sound opens and closes, in bytes or, as
// a 10-bit scan is widened, in 16-bit words.
void rowLightOfStrip(benchmark::State& state) {
  const int cols = static_cast<int>(state.range(0));
  const bool words = state.range(1) == 16;
  std::mt19937 rng(11);
  std::normal_distribution<float> grain(0.0f, 3.0f);
  cv::Mat strip(kRows, cols, words ? CV_16U : CV_8U);
  for (int y = 0; y < kRows; ++y) {
    const int open = cols / 4 + (y * 7) % (cols / 4);
    for (int x = 0; x < cols; ++x) {
      const float v = (x < open ? 230.0f : 25.0f) + grain(rng);
      if (words) {
        const int tenBits = std::clamp(static_cast<int>(v * 4.0f), 0, 1023);
        strip.at<ushort>(y, x) = static_cast<ushort>(tenBits << 6 | tenBits >> 4);
      } else {
        strip.at<uchar>(y, x) = cv::saturate_cast<uchar>(v);
      }
    }
  }
  for (auto _ : state) benchmark::DoNotOptimize(kelvora::rowLight(strip, cols));
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(rowLightOfStrip)->ArgsProduct({{120, 194, 600}, {8, 16}});

}  // namespace

BENCHMARK_MAIN();
