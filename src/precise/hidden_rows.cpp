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
// Runs of a window read both ways, to choose the way that reads the rest.
constexpr int kChoosingRuns = 24;
// A sure row's grain, as a share of the power of the sound about it.
constexpr double kGrain = 1e-3;

// The mean of a width foretold as `curve`, give or take `spread` (one standard deviation),
// that the film puts between `low` and `high`: the curve where it lies well between them,
// their middle where it tells little, and near the bound it passes where it is sure.
double foretoldWithin(double curve, double spread, double low, double high) {
  if (!(high > low) || !(spread > 1e-9 * (high - low))) return std::clamp(curve, low, high);
  const double a = (low - curve) / spread, b = (high - curve) / spread;
  // The share of the spread between the bounds, taken from the smaller tail.
  const double root2 = std::sqrt(2.0);
  const double share = a > 0.0 ? 0.5 * (std::erfc(a / root2) - std::erfc(b / root2))
                               : 0.5 * (std::erfc(-b / root2) - std::erfc(-a / root2));
  if (!(share > 1e-12)) return std::clamp(curve, low, high);
  const double pulled =
      (std::exp(-0.5 * a * a) - std::exp(-0.5 * b * b)) / (std::sqrt(2.0 * CV_PI) * share);
  return std::clamp(curve + spread * pulled, low, high);
}

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

std::vector<double> soundCorrelation(const std::vector<double>& values, int lags) {
  std::vector<double> out(static_cast<size_t>(std::max(lags, 0)) + 1, 0.0);
  out[0] = 1.0;
  int first = 0, end = static_cast<int>(values.size());
  while (first < end && !(values[static_cast<size_t>(first)] > 0.0)) ++first;
  while (end > first && !(values[static_cast<size_t>(end - 1)] > 0.0)) --end;
  const int n = end - first;
  if (n < 4 * lags) return out;
  double mean = 0.0;
  for (int i = first; i < end; ++i) mean += values[static_cast<size_t>(i)];
  mean /= n;
  // Hann's window, so that the ends' step does not spread over the spectrum, and room
  // after the rows so that the lags do not wrap round.
  const int size = cv::getOptimalDFTSize(2 * n);
  cv::Mat x(1, size, CV_64F, cv::Scalar(0.0));
  for (int i = 0; i < n; ++i)
    x.at<double>(0, i) = (values[static_cast<size_t>(first + i)] - mean) *
                         (0.5 - 0.5 * std::cos(2.0 * CV_PI * (i + 0.5) / n));
  cv::Mat spectrum, lagged;
  cv::dft(x, spectrum, cv::DFT_COMPLEX_OUTPUT);
  for (int k = 0; k < size; ++k) {
    cv::Vec2d& c = spectrum.at<cv::Vec2d>(0, k);
    c = cv::Vec2d(c[0] * c[0] + c[1] * c[1], 0.0);
  }
  cv::dft(spectrum, lagged, cv::DFT_INVERSE | cv::DFT_COMPLEX_OUTPUT);
  const double power = lagged.at<cv::Vec2d>(0, 0)[0];
  if (!(power > 0.0)) return out;
  for (int k = 1; k <= lags; ++k)
    out[static_cast<size_t>(k)] = lagged.at<cv::Vec2d>(0, k)[0] / power;
  return out;
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
  // Each row's width as read: an unsure row's is the middle of its bounds.
  const std::vector<double> asRead(widths.begin(), widths.begin() + rows);
  const auto middle = [&](int r) {
    const HiddenWidth& h = hidden[static_cast<size_t>(r)];
    return asRead[static_cast<size_t>(r)] + 0.5 * (h.low + h.high);
  };
  // Two ways the sound on one row foretells it on rows `lag` apart: as any sound of a band
  // a little wider than the one the rows fill, and as this sound's own correlation, its
  // unsure rows taken straight across between the sure rows either side so that their
  // bounds' middles do not pass for sound. The window's runs are read by the one that
  // foretells the sure rows about its first runs best: a sound of a few steady tones is any sound
  // of its band, while a loud voice close to the band's top is foretold better by its own likeness.
  const int lags = 2 * kReach + longest;
  std::vector<double> across = asRead;
  forEachRun(rows, isUnsure, [&](int first, int end) {
    const int before = first - 1;
    if (!sure(before) || !sure(end)) return;
    const double from = asRead[static_cast<size_t>(before)], to = asRead[static_cast<size_t>(end)];
    for (int r = first; r < end; ++r)
      across[static_cast<size_t>(r)] = from + (to - from) * (r - before) / (end - before);
  });
  const double band = std::min(0.5, kBandMargin * soundBand(asRead));
  std::vector<double> ofBand(static_cast<size_t>(lags) + 1, 1.0);
  for (int k = 1; k <= lags; ++k)
    ofBand[static_cast<size_t>(k)] = std::sin(2.0 * CV_PI * band * k) / (2.0 * CV_PI * band * k);
  const std::vector<double> kernels[] = {ofBand, soundCorrelation(across, lags)};

  std::vector<int> seen, runRows, asked;
  std::vector<double> noise;
  double scores[2] = {0.0, 0.0};
  int runs = 0, chosen = -1;
  std::vector<double> found[2] = {
      std::vector<double>(static_cast<size_t>(rows), std::numeric_limits<double>::quiet_NaN()),
      std::vector<double>(static_cast<size_t>(rows), std::numeric_limits<double>::quiet_NaN())};
  for (int y = 0; y < rows;) {
    if (!isUnsure(y)) {
      ++y;
      continue;
    }
    const int first = y;
    while (y < rows && isUnsure(y)) ++y;
    const int last = y - 1;
    if (!sure(first - 1) || !sure(last + 1)) continue;
    // Of a longer run, the rows next to the sure ones either side, where the rows about
    // them still tell them: each end read on its own.
    const bool whole = last - first + 1 <= longest;
    const int spans[2][2] = {{first, whole ? last : std::min(last, first + kEnds - 1)},
                             {std::max(first + kEnds, last - kEnds + 1), last}};
    for (int k = 0; k < (whole ? 1 : 2); ++k) {
      const int from = spans[k][0], to = spans[k][1];
      if (from > to) continue;
      const auto readsRow = [&](int r) { return r >= from && r <= to; };
      // The rows about the run, sure or unsure, and how much the sure ones swing.
      seen.clear();
      double mean = 0.0, squares = 0.0;
      int count = 0;
      for (int r = std::max(0, from - kReach); r <= std::min(rows - 1, to + kReach); ++r) {
        if (sure(r)) {
          const double w = asRead[static_cast<size_t>(r)];
          mean += w;
          squares += w * w;
          ++count;
          seen.push_back(r);
        } else if (isUnsure(r) && (asRead[static_cast<size_t>(r)] > 0.0 || readsRow(r))) {
          seen.push_back(r);
        }
      }
      mean /= count;
      const double swing = squares / count - mean * mean;
      if (!(swing > 0.0)) continue;
      // The sound through them, as a random sound alike along the film that swings as
      // much: each sure row seen through its grain, each unsure one as the middle of its
      // bounds, anywhere between them alike.
      const int m = static_cast<int>(seen.size());
      cv::Mat v(m, 1, CV_64F);
      noise.assign(static_cast<size_t>(m), 0.0);
      for (int i = 0; i < m; ++i) {
        const int r = seen[static_cast<size_t>(i)];
        const HiddenWidth& h = hidden[static_cast<size_t>(r)];
        const bool unsureRow = isUnsure(r);
        noise[static_cast<size_t>(i)] =
            unsureRow ? (h.high - h.low) * (h.high - h.low) / 12.0 : kGrain * swing;
        v.at<double>(i, 0) = (unsureRow ? middle(r) : asRead[static_cast<size_t>(r)]) - mean;
      }
      // The first runs are read both ways, and the way that foretells their sure rows best
      // reads the rest.
      const bool choosing = runs < kChoosingRuns;
      if (!choosing && chosen < 0) chosen = scores[1] > scores[0] ? 1 : 0;
      ++runs;
      for (size_t q = 0; q < 2; ++q) {
        if (!choosing && static_cast<int>(q) != chosen) continue;
        const std::vector<double>& alike = kernels[q];
        cv::Mat g(m, m, CV_64F);
        for (int i = 0; i < m; ++i) {
          for (int j = 0; j < m; ++j) {
            const size_t lag = static_cast<size_t>(
                std::abs(seen[static_cast<size_t>(i)] - seen[static_cast<size_t>(j)]));
            g.at<double>(i, j) = lag < alike.size() ? swing * alike[lag] : 0.0;
          }
          g.at<double>(i, i) += noise[static_cast<size_t>(i)];
        }
        // The rows' weights, and the inverse's columns for the rows foretold: the sure rows
        // too while choosing.
        asked.clear();
        for (int i = 0; i < m; ++i) {
          const int r = seen[static_cast<size_t>(i)];
          if (choosing ? !isUnsure(r) || readsRow(r) : readsRow(r)) asked.push_back(i);
        }
        const int n = static_cast<int>(asked.size());
        cv::Mat given(m, n + 1, CV_64F, cv::Scalar(0.0)), solved;
        v.copyTo(given.col(0));
        for (int k = 0; k < n; ++k) given.at<double>(asked[static_cast<size_t>(k)], k + 1) = 1.0;
        if (!cv::solve(g, given, solved, cv::DECOMP_CHOLESKY)) {
          scores[q] = -std::numeric_limits<double>::infinity();
          continue;
        }
        for (int k = 0; k < n; ++k) {
          const int i = asked[static_cast<size_t>(k)];
          const int r = seen[static_cast<size_t>(i)];
          const double d = solved.at<double>(i, k + 1);
          const double miss = solved.at<double>(i, 0) / d;
          // How likely each sure row is, foretold by all the others...
          if (!isUnsure(r)) {
            scores[q] += 0.5 * std::log(d) - 0.5 * miss * miss * d;
            continue;
          }
          // ...and each unsure row of the run so foretold, give or take how far the others
          // leave it open, weighed against its own bounds.
          const double curve = mean + v.at<double>(i, 0) - miss;
          const double spread = std::sqrt(std::max(0.0, 1.0 / d - noise[static_cast<size_t>(i)]));
          const HiddenWidth& h = hidden[static_cast<size_t>(r)];
          const double w = asRead[static_cast<size_t>(r)];
          found[q][static_cast<size_t>(r)] = foretoldWithin(curve, spread, w + h.low, w + h.high);
        }
      }
      for (int r = from; r <= to; ++r) runRows.push_back(r);
    }
  }
  const size_t q = chosen >= 0 ? static_cast<size_t>(chosen) : scores[1] > scores[0] ? 1 : 0;
  int read = 0;
  for (const int r : runRows) {
    const double w = found[q][static_cast<size_t>(r)];
    if (std::isnan(w)) continue;
    widths[static_cast<size_t>(r)] = w;
    ++read;
  }
  return read;
}

}  // namespace kelvora
