#pragma once

#include <algorithm>
#include <vector>

#include <opencv2/core.hpp>

namespace kelvora {

// The track side of a scan as loaded, for the precise reader: turned so that rows run
// along the film in the order the classic reader takes them and columns across it
// from the track-side edge (the top edge for UP, the bottom for DOWN). One colour
// element (see ColorElement) at the scan's own depth, 8 or 16 bits: it is turned
// into levels (see stripLevels) only where it is read. `columns` rows of the scan are
// taken, at most all.
cv::Mat trackStrip(const cv::Mat& scan, int colorElement, bool direction, int columns);

// How a strip's samples become levels: float on the 8-bit scale (a 16-bit sample of
// 257 is level 1.0), turned over for a sound negative so that clear film is bright.
struct StripLevels {
  double scale = 1.0;
  bool inverted = false;
  double of(double sample) const {
    const double level = scale * sample;
    return inverted ? 255.0 - level : level;
  }
};

// The levels of a strip of this depth.
StripLevels levelsOf(const cv::Mat& strip, bool inverted = false);

// `strip` (or part of it) as levels, a float image of its own.
cv::Mat stripLevels(const cv::Mat& strip, const StripLevels& levels);

// The level of each column of `strip`, averaged along it.
std::vector<float> columnMeans(const cv::Mat& strip, const StripLevels& levels = {});

// How many of the levels of `levels` (a float image) that `keep` takes fall in each bin
// of a quarter of a level, from rows spread evenly enough that some 32768 are looked at.
struct LevelCounts {
  static constexpr int kSteps = 4;  // bins a level
  static constexpr int kTop = 256 * kSteps;
  std::vector<long> count = std::vector<long>(kTop + 1, 0);
  long total = 0;
};

// Each level of `levels` (a float image) that levelCounts looks at, to `visit`: every
// column of rows spread evenly enough that some 32768 are looked at.
template <typename Visit>
void eachCountedLevel(const cv::Mat& levels, Visit visit) {
  constexpr long kEnough = 32768;
  const int step = static_cast<int>(std::max<long>(1, static_cast<long>(levels.total()) / kEnough));
  for (int y = 0; y < levels.rows; y += step) {
    const float* row = levels.ptr<float>(y);
    for (int x = 0; x < levels.cols; ++x) visit(row[x]);
  }
}

// The bin of LevelCounts a level falls in.
inline int levelBin(float level) {
  return std::clamp(static_cast<int>(level * LevelCounts::kSteps), 0, LevelCounts::kTop);
}

template <typename Keep>
LevelCounts levelCounts(const cv::Mat& levels, Keep keep) {
  LevelCounts c;
  eachCountedLevel(levels, [&](float v) {
    if (!keep(v)) return;
    ++c.count[static_cast<size_t>(levelBin(v))];
    ++c.total;
  });
  return c;
}

// The counts of `levels` (see levelCounts) below `middle` and above it, from the counts
// of them all (`all`): every bin but the one `middle` falls in lies wholly on one side
// of it; that one's levels are counted again one by one.
struct CountsBeside {
  LevelCounts below, above;
};
CountsBeside countsBeside(const cv::Mat& levels, const LevelCounts& all, float middle);

// The levels below which each of `shares` (0 to 1) of the levels in `levels`, a float
// image, lie; to a quarter of a level.
std::vector<float> levelShares(const cv::Mat& levels, const std::vector<double>& shares);
// ...from their counts.
std::vector<float> levelShares(const LevelCounts& counts, const std::vector<double>& shares);

// The level of each row of `strip`, averaged across it.
std::vector<double> rowMeans(const cv::Mat& strip, const StripLevels& levels = {});

}  // namespace kelvora
