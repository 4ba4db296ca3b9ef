#include "film/track_bounds.h"

#include <algorithm>
#include <cmath>
#include <tuple>
#include <utility>
#include <vector>

#include <opencv2/imgproc.hpp>

namespace kelvora {

TrackBounds locateTrack(const cv::Mat& scan, bool top, int searchRows) {
  TrackBounds b;
  if (scan.empty() || scan.cols < 8) return b;
  cv::Mat grey = scan;
  if (scan.channels() == 3) cv::cvtColor(scan, grey, cv::COLOR_BGR2GRAY);
  if (scan.channels() == 4) cv::cvtColor(scan, grey, cv::COLOR_BGRA2GRAY);
  const int n = std::clamp(searchRows, 2, grey.rows);
  // Per row from the track's edge: the brightest and darkest it gets along the film
  // (the loudest moment of the scan may be one row of film) and how much it moves.
  std::vector<double> high(n), low(n), spread(n);
  for (int i = 0; i < n; ++i) {
    const cv::Mat row = grey.row(top ? i : grey.rows - 1 - i);
    double lowest = 0, highest = 0;
    cv::minMaxLoc(row, &lowest, &highest);
    high[i] = highest;
    low[i] = lowest;
    cv::Scalar mean, deviation;
    cv::meanStdDev(row, mean, deviation);
    spread[i] = deviation[0];
  }
  const double clear = *std::max_element(high.begin(), high.end());
  const double opaque = *std::min_element(low.begin(), low.end());
  if (clear - opaque < 40) return b;
  const double half = opaque + 0.5 * (clear - opaque);
  // Variable-area film is mostly opaque around its clear area; a sound negative is
  // mostly clear around an opaque one. Turned over, a negative's track is found as a
  // print's is: the dark area is then the one that swings and the one closed in.
  const cv::Mat searched = top ? grey.rowRange(0, n) : grey.rowRange(grey.rows - n, grey.rows);
  const bool negative = cv::countNonZero(searched > half) * 2 > static_cast<int>(searched.total());
  if (negative)
    for (int i = 0; i < n; ++i)
      std::tie(high[i], low[i]) = std::pair(clear + opaque - low[i], clear + opaque - high[i]);
  const double bigSpread = *std::max_element(spread.begin(), spread.end());
  const double grain = *std::min_element(spread.begin(), spread.end());  // the flattest row
  // A row is in the track when the sound moves across it: the edge of a variable-area
  // clear area swings over it (it is clear at times and opaque at others), or its
  // density follows the sound (it spreads like the track's busiest row). Rows that are
  // clear all along inside such rows are the core of a bilateral track.
  const auto moves = [&](int i) {
    return (high[i] > half && low[i] < half) ||
           (spread[i] >= 0.5 * bigSpread && spread[i] >= 2.0 * grain);
  };
  const auto alwaysClear = [&](int i) { return low[i] >= half; };
  int first = -1;
  for (int i = 0; i < n && first < 0; ++i)
    if (moves(i)) first = i;
  if (first < 0) return b;
  int last = first;
  for (int i = first + 1; i < n; ++i) {
    if (moves(i)) {
      last = i;
    } else if (!alwaysClear(i)) {
      break;
    }
  }
  // Clear rows beside the moving ones are the clear side of a unilateral track only
  // where opaque film closes them; clear film that runs on into the picture is not.
  const auto clearSide = [&](int from, int step) {
    int i = from;
    while (i + step >= 0 && i + step < n && alwaysClear(i + step)) i += step;
    const int beyond = i + step;
    const bool closed = beyond < 0 || (beyond < n && high[beyond] < half);
    return closed ? i : from;
  };
  first = clearSide(first, -1);
  last = clearSide(last, 1);
  int lo = first;
  int hi = last;
  // Rows of the scan as loaded, the bound nearer the top edge first.
  if (!top) {
    const int h = grey.rows - 1;
    std::swap(lo, hi);
    lo = h - lo;
    hi = h - hi;
  }
  b.found = true;
  b.first = lo;
  b.last = hi;
  return b;
}

}  // namespace kelvora
