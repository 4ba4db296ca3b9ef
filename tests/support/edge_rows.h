#pragma once

// Rows of a unilateral track drawn for the tests of its moving edge: the clear share of
// each column as an edge moving within the row leaves it, a run of columns mended
// straight across, and the clear width a row's levels hold.

#include <algorithm>

#include <opencv2/core.hpp>

#include "precise/hidden_edge.h"

namespace kelvora::test {

// The clear share of column x of a row whose clear part, from column 0, ends anywhere
// between `from` and `to` alike over the row's time (the edge moved that far within it).
inline double clearShareAt(int x, double from, double to) {
  constexpr int kSteps = 256;
  double sum = 0.0;
  for (int i = 0; i < kSteps; ++i) {
    const double edge = from + (to - from) * (i + 0.5) / kSteps;
    sum += std::clamp(edge - x, 0.0, 1.0);
  }
  return sum / kSteps;
}

// The run's columns of every row mended with a straight line between the columns either
// side.
inline void mendStraight(cv::Mat& window, ColumnSpan run) {
  for (int y = 0; y < window.rows; ++y) {
    const float l = window.at<float>(y, run.first - 1), r = window.at<float>(y, run.last + 1);
    const int n = run.last - run.first + 2;
    for (int x = run.first; x <= run.last; ++x)
      window.at<float>(y, x) = l + (r - l) * static_cast<float>(x - run.first + 1) / n;
  }
}

// The clear width row y of `window` holds, in columns, between levels `opaque` and `clear`.
inline double clearWidthOfRow(const cv::Mat& window, int y, float opaque, float clear) {
  double sum = 0.0;
  for (int x = 0; x < window.cols; ++x) sum += (window.at<float>(y, x) - opaque) / (clear - opaque);
  return sum;
}

}  // namespace kelvora::test
