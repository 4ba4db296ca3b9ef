#include "precise/row_light.h"

#include <algorithm>

namespace kelvora {

namespace {

// The share of a row's pixels below its clearest film's level: a few columns of clear
// film beside the track are enough.
constexpr double kBrightShare = 0.97;
constexpr int kMostColumns = 160;

}  // namespace

std::vector<double> rowLight(const cv::Mat& strip, int columns) {
  const int cols = std::min(columns, strip.cols);
  const int rows = strip.rows;
  if (cols < 1 || rows < 1 || strip.channels() != 1) return {};
  cv::Mat levels;
  strip.colRange(0, cols).convertTo(levels, CV_32F);
  std::vector<double> bright(static_cast<size_t>(rows));
  // A wide strip's columns are taken a few apart: the share of the film that is clear
  // is the same, and a fine scan's rows are read no slower than a coarse one's.
  const int step = std::max(1, cols / kMostColumns);
  const int taken = (cols + step - 1) / step;
  std::vector<float> row(static_cast<size_t>(taken));
  const long at = static_cast<long>(kBrightShare * (taken - 1));
  for (int y = 0; y < rows; ++y) {
    const float* p = levels.ptr<float>(y);
    for (int i = 0; i < taken; ++i) row[static_cast<size_t>(i)] = p[i * step];
    std::nth_element(row.begin(), row.begin() + at, row.end());
    bright[static_cast<size_t>(y)] = row[static_cast<size_t>(at)];
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
