#include "precise/row_light.h"
#include "signal/side_by_side.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

namespace kelvora {

namespace {

// The share of a row's pixels below its clearest film's level: a few columns of clear
// film beside the track are enough.
constexpr double kBrightShare = 0.97;
constexpr int kMostColumns = 160;

// The level `above` of the `taken` pixels lie above, in each row: every `step`-th column
// from the first. Neighbouring rows are alike, so only the pixels not far below the
// last row's level are ordered; where too few are, the whole row is.
template <typename Pixel>
std::vector<double> brightLevels(const cv::Mat& strip, int taken, int step, int above) {
  std::vector<double> bright(static_cast<size_t>(strip.rows));
  // Rows are read apart, in stripes side by side.
  sideBySide(strip.rows, [&](int first, int end) {
    std::vector<float> row(static_cast<size_t>(taken)), near(static_cast<size_t>(taken));
    // The level `above` of the values in [begin, stop) lie above.
    const auto kth = [above](std::vector<float>::iterator begin,
                             std::vector<float>::iterator stop) {
      std::nth_element(begin, begin + above, stop, std::greater<float>());
      return begin[above];
    };
    float last = -std::numeric_limits<float>::infinity();
    for (int y = first; y < end; ++y) {
      const Pixel* p = strip.ptr<Pixel>(y);
      for (int i = 0; i < taken; ++i) row[static_cast<size_t>(i)] = static_cast<float>(p[i * step]);
      // Those at the last row's level or above first, then those not far below it.
      const auto gather = [&](float floor) {
        size_t n = 0;
        for (const float v : row) {
          near[n] = v;
          n += v >= floor ? 1 : 0;
        }
        return n > static_cast<size_t>(above) ? n : 0;
      };
      size_t n = gather(last);
      if (n == 0) n = gather(last - 0.05f * std::abs(last) - 1.0f);
      last = n > 0 ? kth(near.begin(), near.begin() + static_cast<long>(n))
                   : kth(row.begin(), row.end());
      bright[static_cast<size_t>(y)] = last;
    }
  });
  return bright;
}

}  // namespace

std::vector<double> rowLight(const cv::Mat& strip, int columns) {
  const int cols = std::min(columns, strip.cols);
  const int rows = strip.rows;
  if (cols < 1 || rows < 1 || strip.channels() != 1) return {};
  // A wide strip's columns are taken a few apart: the share of the film that is clear
  // is the same, and a fine scan's rows are read no slower than a coarse one's.
  const int step = std::max(1, cols / kMostColumns);
  const int taken = (cols + step - 1) / step;
  const int at = static_cast<int>(kBrightShare * (taken - 1));
  const int above = taken - 1 - at;
  std::vector<double> bright;
  switch (strip.depth()) {
    case CV_8U:
      bright = brightLevels<uchar>(strip, taken, step, above);
      break;
    case CV_16U:
      bright = brightLevels<ushort>(strip, taken, step, above);
      break;
    case CV_32F:
      bright = brightLevels<float>(strip, taken, step, above);
      break;
    default: {
      cv::Mat levels;
      strip.colRange(0, cols).convertTo(levels, CV_32F);
      bright = brightLevels<float>(levels, taken, step, above);
    }
  }
  // Three rows together, so that the scanner's noise on one row is no band.
  std::vector<double> together(bright.size());
  for (int y = 0; y < rows; ++y) {
    const int a = std::max(0, y - 1), b = std::min(rows - 1, y + 1);
    double s = 0.0;
    for (int i = a; i <= b; ++i) s += bright[static_cast<size_t>(i)];
    together[static_cast<size_t>(y)] = s / (b - a + 1);
  }
  return together;
}

}  // namespace kelvora
