#pragma once

#include <algorithm>
#include <cmath>

#include <opencv2/core.hpp>

namespace kelvora {

// The rows of a scan a job reads: a share of its height along its top or bottom
// edge (the film's edge that carries the track), or all of it.
struct RowBand {
  double share = 1.0;
  bool top = true;

  bool whole() const { return share >= 1.0; }
  // The rows of a scan `height` rows high: at least one, at most all.
  cv::Range of(int height) const {
    const int n = std::clamp(static_cast<int>(std::lround(height * share)), 1, std::max(height, 1));
    return top ? cv::Range(0, n) : cv::Range(height - n, height);
  }
};

}  // namespace kelvora
