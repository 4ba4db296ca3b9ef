#include "precise/hidden_rows.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

#include "precise/column_runs.h"

// A unilateral track's moving edge read along the film where a scratch hides it across:
// the rows either side of the hidden ones show where it went.

namespace kelvora {

namespace {

// A row whose edge the film either side of a run leaves unsure by this many columns or
// more is read from the rows either side.
constexpr double kUnsure = 0.5;
// The column after a run clear by more than this on a row: the edge ran past the run.
constexpr double kPast = 0.15;
// A column this dark is an edge's foot.
constexpr double kFoot = 0.05;
// The share of the sound's power that lies within its band.
constexpr double kBandShare = 0.99;
// The curve through the sure rows holds sound this much faster than the band.
constexpr double kBandMargin = 1.08;
// Sure rows this far either side of a run of unsure ones hold the curve.
constexpr int kReach = 20;
// Rows at either end of a run of unsure rows too long to read whole that are read.
constexpr int kEnds = 2;
// A sure row's grain, as a share of the power of the sound about it.
constexpr double kGrain = 1e-3;

}  // namespace

std::vector<HiddenWidth> hiddenWidths(const cv::Mat& window, const std::vector<ColumnSpan>& runs,
                                      int anchor, const std::vector<double>& clearLevel,
                                      const std::vector<double>& opaqueLevel) {
  constexpr double kNone = std::numeric_limits<double>::quiet_NaN();
  const int n = window.cols;
  const int rows = window.rows;
  std::vector<HiddenWidth> out(static_cast<size_t>(rows), HiddenWidth{kNone, kNone});
  if (static_cast<int>(clearLevel.size()) < rows || static_cast<int>(opaqueLevel.size()) < rows)
    return out;
  for (int y = 0; y < rows; ++y) {
    const double lo = opaqueLevel[static_cast<size_t>(y)];
    const double span = clearLevel[static_cast<size_t>(y)] - lo;
    if (!(span > 1.0)) continue;
    const float* row = window.ptr<float>(y);
    const auto share = [&](int x) { return std::clamp((row[x] - lo) / span, 0.0, 1.0); };
    int unsure = 0;
    HiddenWidth w{kNone, kNone};
    for (const ColumnSpan& run : runs) {
      if (run.first < 1 || run.last > n - 2 || run.last < run.first) continue;
      if (anchor >= run.first - 1 && anchor <= run.last + 1) continue;
      const bool outwards = anchor < run.first;
      const double before = share(outwards ? run.first - 1 : run.last + 1);
      const int step = outwards ? 1 : -1;
      const int next = outwards ? run.last + 1 : run.first - 1;
      const double after = share(next);
      const int width = run.last - run.first + 1;
      if (after > kPast) {
        // The edge ran past the run, but its ramp may cross it: a ramp falls evenly over the
        // columns the edge swept within the row, so the part of it beyond the run, falling
        // from `after`, tells how long it is, and how much clear film the part under the
        // run lacks of the clear film it was read as.
        double beyond = 0.0;
        for (int x = next; x >= 0 && x < n && share(x) > kFoot; x += step) beyond += share(x);
        const double lacking = (1.0 - after) * (1.0 - after) / (after * after) * beyond;
        if (std::min(lacking, 0.5 * (1.0 - after) * width) < kUnsure) continue;
      }
      if ((before - after) * width < kUnsure) continue;
      double read = 0.0;
      for (int x = run.first; x <= run.last; ++x) read += share(x);
      w = HiddenWidth{after * width - read, before * width - read, after > kPast};
      ++unsure;
    }
    // Two runs in the edge's way on one row: which hides it is not told.
    if (unsure == 1) out[static_cast<size_t>(y)] = w;
  }
  return out;
}

std::vector<HiddenWidth> eitherHidden(std::vector<HiddenWidth> a,
                                      const std::vector<HiddenWidth>& b) {
  constexpr double kNone = std::numeric_limits<double>::quiet_NaN();
  for (size_t y = 0; y < std::min(a.size(), b.size()); ++y) {
    if (!b[y].unsure()) continue;
    a[y] = a[y].unsure() ? HiddenWidth{kNone, kNone} : b[y];
  }
  return a;
}

double soundBand(const std::vector<double>& values) {
  int first = 0, end = static_cast<int>(values.size());
  while (first < end && !(values[static_cast<size_t>(first)] > 0.0)) ++first;
  while (end > first && !(values[static_cast<size_t>(end - 1)] > 0.0)) --end;
  const int n = end - first;
  if (n < 64) return 0.5;
  double mean = 0.0;
  for (int i = first; i < end; ++i) mean += values[static_cast<size_t>(i)];
  mean /= n;
  // Hann's window, so that the ends' step does not spread over the band.
  cv::Mat x(1, n, CV_64F);
  for (int i = 0; i < n; ++i)
    x.at<double>(0, i) = (values[static_cast<size_t>(first + i)] - mean) *
                         (0.5 - 0.5 * std::cos(2.0 * CV_PI * (i + 0.5) / n));
  cv::Mat spectrum;
  cv::dft(x, spectrum, cv::DFT_COMPLEX_OUTPUT);
  const int half = n / 2;
  std::vector<double> power(static_cast<size_t>(half) + 1);
  double total = 0.0;
  for (int k = 0; k <= half; ++k) {
    const cv::Vec2d c = spectrum.at<cv::Vec2d>(0, k);
    power[static_cast<size_t>(k)] = c[0] * c[0] + c[1] * c[1];
    total += power[static_cast<size_t>(k)];
  }
  if (!(total > 0.0)) return 0.5;
  double sum = 0.0;
  for (int k = 0; k <= half; ++k) {
    sum += power[static_cast<size_t>(k)];
    if (sum >= kBandShare * total) return std::min(0.5, static_cast<double>(k) / n);
  }
  return 0.5;
}

int readHiddenRows(std::vector<double>& widths, const std::vector<HiddenWidth>& hidden,
                   int longest) {
  const int rows = static_cast<int>(std::min(widths.size(), hidden.size()));
  // A run of unsure rows too long to read from the rows about it is split at the rows
  // whose edge ran past the run of columns: they stand as read.
  std::vector<char> unsure(static_cast<size_t>(rows), 0);
  for (int y = 0; y < rows; ++y)
    unsure[static_cast<size_t>(y)] = hidden[static_cast<size_t>(y)].unsure();
  forEachRun(
      rows, [&](int y) { return unsure[static_cast<size_t>(y)] != 0; },
      [&](int first, int end) {
        if (end - first <= longest) return;
        for (int y = first; y < end; ++y)
          if (hidden[static_cast<size_t>(y)].past) unsure[static_cast<size_t>(y)] = 0;
      });
  const auto isUnsure = [&](int y) { return unsure[static_cast<size_t>(y)] != 0; };
  const auto sure = [&](int y) {
    return y >= 0 && y < rows && !isUnsure(y) && widths[static_cast<size_t>(y)] > 0.0;
  };
  if (std::none_of(unsure.begin(), unsure.end(), [](char u) { return u != 0; })) return 0;
  // A little wider than the band the rows' sound fills: the curve through the sure rows
  // holds no faster sound than that.
  const double band = std::min(0.5, kBandMargin * soundBand(widths));
  const auto kernel = [band](double a, double b) {
    const double t = 2.0 * band * (a - b);
    return std::abs(t) < 1e-9 ? 1.0 : std::sin(CV_PI * t) / (CV_PI * t);
  };
  // Each row's width as read: an unsure row's is the middle of its bounds.
  const std::vector<double> asRead(widths.begin(), widths.begin() + rows);
  const auto middle = [&](int r) {
    const HiddenWidth& h = hidden[static_cast<size_t>(r)];
    return asRead[static_cast<size_t>(r)] + 0.5 * (h.low + h.high);
  };
  int read = 0;
  std::vector<int> seen;
  for (int y = 0; y < rows;) {
    if (!isUnsure(y)) {
      ++y;
      continue;
    }
    const int first = y;
    while (y < rows && isUnsure(y)) ++y;
    const int last = y - 1;
    if (!sure(first - 1) || !sure(last + 1)) continue;
    // Of a longer run, the rows next to the sure ones either side, where the curve still
    // holds to them.
    const bool whole = last - first + 1 <= longest;
    // The rows about the run, sure or unsure, and how much the sure ones swing.
    seen.clear();
    double mean = 0.0, squares = 0.0;
    int count = 0;
    for (int r = std::max(0, first - kReach); r <= std::min(rows - 1, last + kReach); ++r) {
      if (sure(r)) {
        const double w = asRead[static_cast<size_t>(r)];
        mean += w;
        squares += w * w;
        ++count;
        seen.push_back(r);
      } else if (isUnsure(r) && asRead[static_cast<size_t>(r)] > 0.0) {
        seen.push_back(r);
      }
    }
    mean /= count;
    const double swing = squares / count - mean * mean;
    if (!(swing > 0.0)) continue;
    // The sound of the band through them, as a random sound of that band that swings as
    // much: each sure row seen through its grain, each unsure one as the middle of its
    // bounds, anywhere between them alike.
    const int m = static_cast<int>(seen.size());
    cv::Mat g(m, m, CV_64F), v(m, 1, CV_64F), weights;
    for (int i = 0; i < m; ++i) {
      const int r = seen[static_cast<size_t>(i)];
      for (int j = 0; j < m; ++j)
        g.at<double>(i, j) = swing * kernel(r, seen[static_cast<size_t>(j)]);
      const HiddenWidth& h = hidden[static_cast<size_t>(r)];
      const bool unsureRow = isUnsure(r);
      g.at<double>(i, i) += unsureRow ? (h.high - h.low) * (h.high - h.low) / 12.0 : kGrain * swing;
      v.at<double>(i, 0) = (unsureRow ? middle(r) : asRead[static_cast<size_t>(r)]) - mean;
    }
    if (!cv::solve(g, v, weights, cv::DECOMP_CHOLESKY)) continue;
    for (int r = first; r <= last; ++r) {
      if (!whole && r - first >= kEnds && last - r >= kEnds) continue;
      double curve = mean;
      for (int i = 0; i < m; ++i)
        curve += weights.at<double>(i, 0) * swing * kernel(r, seen[static_cast<size_t>(i)]);
      const HiddenWidth& h = hidden[static_cast<size_t>(r)];
      const double w = asRead[static_cast<size_t>(r)];
      widths[static_cast<size_t>(r)] = std::clamp(curve, w + h.low, w + h.high);
      ++read;
    }
  }
  return read;
}

}  // namespace kelvora
