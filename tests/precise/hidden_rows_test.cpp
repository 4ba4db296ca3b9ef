#include "precise/hidden_rows.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/edge_rows.h"

namespace kelvora {
namespace {

constexpr int kCols = 60;
constexpr float kOpaque = 20.0f;
constexpr float kClear = 220.0f;
constexpr double kTwoPi = 6.283185307179586;

// A row whose clear part runs from column 0 (from the last, `mirrored`), its columns
// `run` mended with a straight line between the film either side.
void paintRow(cv::Mat& window, int y, double from, double to, ColumnSpan run, bool mirrored) {
  for (int x = 0; x < kCols; ++x)
    window.at<float>(y, mirrored ? kCols - 1 - x : x) =
        static_cast<float>(kOpaque + (kClear - kOpaque) * test::clearShareAt(x, from, to));
  const int a = mirrored ? kCols - 1 - run.last : run.first;
  const int b = mirrored ? kCols - 1 - run.first : run.last;
  const float l = window.at<float>(y, a - 1), r = window.at<float>(y, b + 1);
  for (int x = a; x <= b; ++x)
    window.at<float>(y, x) = l + (r - l) * static_cast<float>(x - a + 1) / (b - a + 2);
}

TEST(HiddenRows, RowsWhoseEdgeAMendedRunHidesAreUnsureWithinBounds) {
  struct Case {
    std::string name;
    double from, to;  // where the edge moved within the row (columns from the clear side)
    bool mirrored;    // the clear side on the window's last column
    bool unsure;
  };
  // The run is columns 30 to 36 counted from the clear side.
  const std::vector<Case> cases = {
      {"still under the run", 33.5, 33.5, false, true},
      {"still near the run's start", 30.4, 30.4, false, true},
      {"still near the run's end", 36.6, 36.6, false, true},
      {"dips into the run", 26.0, 33.0, false, true},
      {"clear side last", 31.0, 35.0, true, true},
      {"short of the run", 20.0, 24.0, false, false},
      {"beyond the run", 40.0, 44.0, false, false},
      // Its ramp crosses the run: how far it fell under the run is not told.
      {"runs on past the run", 33.0, 45.0, false, true},
      {"still just past the run", 37.8, 37.8, false, false},
      // The column before the run half clear: the edge may have lain under the run.
      {"in the column before the run", 29.0, 30.03, false, true},
      {"a column short of the run", 28.0, 29.0, false, false},
  };
  const ColumnSpan run{30, 36};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    cv::Mat window(3, kCols, CV_32F);
    for (int y = 0; y < 3; ++y) paintRow(window, y, c.from, c.to, run, c.mirrored);
    const ColumnSpan mended =
        c.mirrored ? ColumnSpan{kCols - 1 - run.last, kCols - 1 - run.first} : run;
    const int anchor = c.mirrored ? kCols - 3 : 2;
    const std::vector<double> clear(3, kClear), opaque(3, kOpaque);
    const std::vector<HiddenWidth> h = hiddenWidths(window, {mended}, anchor, clear, opaque);
    ASSERT_EQ(h.size(), 3u);
    EXPECT_EQ(h[1].unsure(), c.unsure);
    if (!h[1].unsure()) continue;
    // The true width lies between the bounds, and they span no more than the run.
    const double read = test::clearWidthOfRow(window, 1, kOpaque, kClear);
    double truth = 0.0;
    for (int x = 0; x < kCols; ++x) truth += test::clearShareAt(x, c.from, c.to);
    EXPECT_LE(read + h[1].low, truth + 1e-3);
    EXPECT_GE(read + h[1].high, truth - 1e-3);
    EXPECT_LE(h[1].high - h[1].low, run.last - run.first + 1 + 1e-3);
  }
}

TEST(HiddenRows, TwoRunsInTheEdgesWayLeaveTheRowAlone) {
  cv::Mat window(1, kCols, CV_32F);
  paintRow(window, 0, 33.0, 33.0, ColumnSpan{30, 36}, false);
  const std::vector<double> clear(1, kClear), opaque(1, kOpaque);
  // The clear part ends in the first run; the second lies on opaque film, sure.
  EXPECT_TRUE(
      hiddenWidths(window, {ColumnSpan{30, 36}, ColumnSpan{45, 48}}, 2, clear, opaque)[0].unsure());
  // A run about the anchor is no edge's.
  EXPECT_FALSE(hiddenWidths(window, {ColumnSpan{30, 36}}, 31, clear, opaque)[0].unsure());
}

// A sound of a few tones below `top` cycles a row, as clear widths about 30 columns.
std::vector<double> bandSound(int rows, double top, double swing) {
  std::vector<double> w(static_cast<size_t>(rows));
  const double parts[][3] = {{0.25, 1.0, 0.3}, {0.6, 0.6, 1.1}, {1.0, 0.4, 2.0}};
  for (int y = 0; y < rows; ++y) {
    double v = 0.0;
    for (const auto& p : parts) v += p[1] * std::sin(kTwoPi * p[0] * top * y + p[2]);
    w[static_cast<size_t>(y)] = 30.0 + swing * v / 2.0;
  }
  return w;
}

TEST(HiddenRows, TheSoundsBandIsFound) {
  struct Case {
    std::string name;
    int rows;
    double top;  // the fastest tone, cycles a row
    double low, high;
  };
  const std::vector<Case> cases = {
      {"slow", 2000, 0.05, 0.045, 0.06},
      {"fast", 2000, 0.2, 0.18, 0.22},
      {"too few rows", 40, 0.05, 0.5, 0.5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const double band = soundBand(bandSound(c.rows, c.top, 20.0));
    EXPECT_GE(band, c.low);
    EXPECT_LE(band, c.high);
  }
}

TEST(HiddenRows, TheSoundsCorrelationIsFound) {
  // The tones' powers (their amplitudes squared), each alike by the cosine of its lag.
  const double tones[][2] = {{0.25, 1.0}, {0.6, 0.36}, {1.0, 0.16}};
  const struct {
    int rows;
    double top;
    bool told;
  } cases[] = {{2000, 0.05, true}, {2000, 0.2, true}, {40, 0.05, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.top);
    // Rows either end that hold no sound do not count.
    std::vector<double> values(50, 0.0);
    const std::vector<double> sound = bandSound(c.rows, c.top, 20.0);
    values.insert(values.end(), sound.begin(), sound.end());
    values.resize(values.size() + 50, 0.0);
    const std::vector<double> alike = soundCorrelation(values, 24);
    ASSERT_EQ(alike.size(), 25u);
    EXPECT_EQ(alike[0], 1.0);
    for (const int lag : {1, 3, 7, 24}) {
      double expected = 0.0;
      for (const auto& t : tones) expected += t[1] * std::cos(kTwoPi * t[0] * c.top * lag) / 1.52;
      EXPECT_NEAR(alike[static_cast<size_t>(lag)], c.told ? expected : 0.0, 0.03) << lag;
    }
  }
}

TEST(HiddenRows, HiddenRowsAreReadFromTheSoundAboutThem) {
  struct Case {
    std::string name;
    double top;     // the sound's fastest tone, cycles a row
    double lo, hi;  // the widths a run hides: the edge between these columns
    int longest;
    double within;  // the largest error left, as a share of the middle's
    bool read;
  };
  const std::vector<Case> cases = {
      {"slow sound", 0.05, 34.0, 41.0, 8, 0.25, true},
      {"fast sound", 0.2, 34.0, 41.0, 8, 0.7, true},
      {"run about the middle", 0.1, 27.0, 33.0, 8, 0.6, true},
      {"runs too long, read at their ends", 0.02, 34.0, 41.0, 2, 1.0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<double> truth = bandSound(3000, c.top, 20.0);
    std::vector<double> widths = truth;
    std::vector<HiddenWidth> hidden(truth.size(), HiddenWidth{std::nan(""), std::nan("")});
    const double middle = 0.5 * (c.lo + c.hi);
    for (size_t y = 0; y < truth.size(); ++y) {
      if (truth[y] <= c.lo || truth[y] >= c.hi) continue;
      widths[y] = middle;
      hidden[y] = HiddenWidth{c.lo - middle, c.hi - middle};
    }
    const std::vector<double> before = widths;
    const int read = readHiddenRows(widths, hidden, c.longest);
    EXPECT_EQ(read > 0, c.read);
    // Whether each unsure row lies in a run too long to read whole, away from its ends.
    std::vector<bool> inside(truth.size(), false);
    for (size_t y = 0; y < truth.size();) {
      size_t end = y;
      while (end < truth.size() && hidden[end].unsure()) ++end;
      if (end - y > static_cast<size_t>(c.longest))
        for (size_t k = y + 2; k + 2 < end; ++k) inside[k] = true;
      y = std::max(end, y + 1);
    }
    double worst = 0.0, worstMiddle = 0.0;
    for (size_t y = 100; y + 100 < truth.size(); ++y) {
      if (!hidden[y].unsure() || inside[y]) {
        EXPECT_EQ(widths[y], before[y]) << "a row not to be read changed, row " << y;
        continue;
      }
      EXPECT_GE(widths[y], c.lo - 1e-9);
      EXPECT_LE(widths[y], c.hi + 1e-9);
      worst = std::max(worst, std::abs(widths[y] - truth[y]));
      worstMiddle = std::max(worstMiddle, std::abs(middle - truth[y]));
    }
    EXPECT_LE(worst, c.within * worstMiddle + 1e-9);
  }
}

}  // namespace
}  // namespace kelvora
