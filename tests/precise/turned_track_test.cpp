// A track read on a scan turned in the gate, and a scratch wider than the film each
// column is held against: made by hand, where the film's rows and its edge are known.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include "precise/density_rows.h"
#include "precise/scan_sound.h"

namespace kelvora {
namespace {

constexpr double kTwoPi = 6.283185307179586;

// The film's level on row `a` of a variable-density track: a tone of `period` rows.
double filmAt(double a, double period) { return 120.0 + 60.0 * std::sin(kTwoPi * a / period); }

struct TurnCase {
  const char* name;
  double turn;    // rows of film a column across
  double drift;   // columns the window was moved across a row
  double period;  // rows of the tone
};

// A window that follows the film across a turned gate: column x of row y shows the film's
// row y + turn * (x - centre), and the further its row lies from the middle row, the
// further across the gate it was read, which the turn shows as rows further on.
cv::Mat turnedWindow(const TurnCase& c, int rows, int cols, double middle) {
  cv::Mat window(rows, cols, CV_32F);
  const double centre = 0.5 * (cols - 1);
  for (int y = 0; y < rows; ++y)
    for (int x = 0; x < cols; ++x)
      window.at<float>(y, x) = static_cast<float>(
          filmAt(y + c.turn * (x - centre) + c.turn * c.drift * (y - middle), c.period));
  return window;
}

class DensityRowsTurned : public ::testing::TestWithParam<TurnCase> {};

TEST_P(DensityRowsTurned, KeepTheFilmsOwnRows) {
  const TurnCase& c = GetParam();
  constexpr int kRows = 6000, kCols = 120;
  const double middle = 0.5 * kRows;
  const std::vector<double> read =
      densityRows(turnedWindow(c, kRows, kCols, middle), c.turn, c.drift, middle);
  ASSERT_EQ(read.size(), static_cast<size_t>(kRows));
  // Away from the ends, where the rows beyond stand in for the missing ones.
  double worst = 0.0;
  for (int y = 40; y < kRows - 40; ++y)
    worst = std::max(worst, std::abs(read[static_cast<size_t>(y)] - filmAt(y, c.period)));
  // Under a hundredth of the tone's swing: a few hundredths of a row at its top.
  EXPECT_LT(worst, 0.5) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Turns, DensityRowsTurned,
                         ::testing::Values(TurnCase{"straight", 0.0, 0.0, 7.0},
                                           TurnCase{"turned_not_moved", 0.006, 0.0, 5.0},
                                           TurnCase{"turned_and_followed", 0.007, 0.007, 5.0},
                                           TurnCase{"turned_back_and_followed", -0.006, -0.006,
                                                    4.0},
                                           TurnCase{"followed_far", 0.008, 0.008, 4.0}),
                         [](const auto& info) { return std::string(info.param.name); });

// The drift left out, the followed film's rows are stretched: the top of the tone lost.
TEST(DensityRowsTurnedStretched, WithoutTheDriftTheRowsSlip) {
  const TurnCase c{"followed", 0.008, 0.008, 4.0};
  constexpr int kRows = 6000, kCols = 120;
  const std::vector<double> read =
      densityRows(turnedWindow(c, kRows, kCols, 0.5 * kRows), c.turn, 0.0, 0.5 * kRows);
  EXPECT_GT(std::abs(read[100] - filmAt(100, c.period)), 1.0);
}

struct ScratchCase {
  const char* name;
  int width;      // columns of the bright scratch
  int widest;     // the widest scratch looked for as a still run
  bool twoEdges;  // a bilateral track's middle left alone
  bool mended;    // whether the edge is read across the scratch
};

// A unilateral track's window, 200 columns: clear (200) from column 8 to its edge, which
// a tone moves from column 30 to 90, opaque (20) beyond; a bright (235) scratch `width` columns
// wide from column 56 lies in the edge's swing. The clear part of each row, in columns.
cv::Mat scratchedTrack(int rows, int width, std::vector<double>& edges) {
  constexpr int kCols = 200;
  cv::Mat window(rows, kCols, CV_32F);
  edges.assign(static_cast<size_t>(rows), 0.0);
  for (int y = 0; y < rows; ++y) {
    const double edge = 60.0 + 30.0 * std::sin(kTwoPi * y / 37.3);
    edges[static_cast<size_t>(y)] = edge - 8.0;
    for (int x = 0; x < kCols; ++x) {
      const double clear = std::clamp(edge - x, 0.0, 1.0) * (x >= 8 ? 1.0 : 0.0);
      float v = static_cast<float>(20.0 + 180.0 * clear);
      if (x >= 56 && x < 56 + width) v = 235.0f;
      window.at<float>(y, x) = v;
    }
  }
  return window;
}

class WideScratch : public ::testing::TestWithParam<ScratchCase> {};

TEST_P(WideScratch, IsMendedAcrossWhereTheEdgeSwingsPastIt) {
  const ScratchCase& c = GetParam();
  constexpr int kRows = 400;
  std::vector<double> edges;
  cv::Mat window = scratchedTrack(kRows, c.width, edges);
  mendScratches(window, 180.0f, c.twoEdges ? 2.0 * 62.0 : -1.0, cv::Range::all(), 0.0, c.widest,
                c.twoEdges);
  // Each row's clear part, counted in shares of clear film, against its edge: off by the
  // scratch's width on rows whose edge lies before it, unmended; by no more than half of
  // it and its partly covered columns where the edge lies under it, mended.
  double worst = 0.0;
  for (int y = 0; y < kRows; ++y) {
    double clear = 0.0;
    for (int x = 0; x < window.cols; ++x)
      clear += std::clamp((window.at<float>(y, x) - 20.0) / 180.0, 0.0, 1.0);
    worst = std::max(worst, std::abs(clear - edges[static_cast<size_t>(y)]));
  }
  if (c.mended)
    EXPECT_LE(worst, 0.5 * c.width + 2.0) << c.name;
  else
    EXPECT_GE(worst, c.width - 1.0) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Scratches, WideScratch,
    ::testing::Values(ScratchCase{"narrow", 3, 0, false, true},
                      ScratchCase{"wide_not_looked_for", 13, 0, false, false},
                      ScratchCase{"wide", 13, 15, false, true},
                      ScratchCase{"wider_than_looked_for", 18, 15, false, false},
                      // A bilateral track's still core lies between its moving edges: a
                      // run about its middle is film.
                      ScratchCase{"wide_about_a_bilateral_middle", 13, 15, true, false}),
    [](const auto& info) { return std::string(info.param.name); });

// A variable-density track's window, straight or turned, with a scratch over `width`
// columns from `first`, mended a little bright: near enough the film for a row's median
// to keep it, but not the film. Left out, the columns beside it read each row alone.
struct LeftOutCase {
  const char* name;
  double turn;
  int first;
  int width;
};

class DensityRowsLeftOut : public ::testing::TestWithParam<LeftOutCase> {};

TEST_P(DensityRowsLeftOut, TheScratchsColumnsAreNotRead) {
  const LeftOutCase& c = GetParam();
  constexpr int kRows = 3000, kCols = 120;
  const double middle = 0.5 * kRows;
  cv::Mat window = turnedWindow(TurnCase{c.name, c.turn, 0.0, 5.0}, kRows, kCols, middle);
  std::vector<bool> leftOut(kCols, false);
  for (int x = c.first; x < c.first + c.width; ++x) {
    window.col(x) *= 1.14;
    leftOut[static_cast<size_t>(x)] = true;
  }
  const auto worstOff = [&](const std::vector<double>& read) {
    double worst = 0.0;
    for (int y = 40; y < kRows - 40; ++y)
      worst = std::max(worst, std::abs(read[static_cast<size_t>(y)] - filmAt(y, 5.0)));
    return worst;
  };
  EXPECT_LT(worstOff(densityRows(window, c.turn, 0.0, middle, leftOut)), 0.5);
  // Read, the mended columns brighten every row by their share of the window.
  EXPECT_GT(worstOff(densityRows(window, c.turn, 0.0, middle)), 1.0);
}

INSTANTIATE_TEST_SUITE_P(Scratches, DensityRowsLeftOut,
                         ::testing::Values(LeftOutCase{"straight", 0.0, 50, 6},
                                           LeftOutCase{"straight_at_the_edge", 0.0, 0, 6},
                                           LeftOutCase{"turned", 0.006, 50, 6},
                                           LeftOutCase{"turned_a_whole_band", -0.006, 16, 20}),
                         [](const auto& info) { return std::string(info.param.name); });

// A scratch mended by a straight line between the columns either side counts their
// grain again: the rows read with it left out are steadier.
TEST(DensityRowsLeftOutGrain, LeavingTheScratchOutLowersTheGrain) {
  constexpr int kRows = 4000, kCols = 40, kFirst = 17, kWidth = 6;
  cv::Mat window(kRows, kCols, CV_32F);
  cv::randn(window, 120.0, 6.0);
  std::vector<bool> leftOut(kCols, false);
  for (int y = 0; y < kRows; ++y) {
    float* row = window.ptr<float>(y);
    const float a = row[kFirst - 1], b = row[kFirst + kWidth];
    for (int x = kFirst; x < kFirst + kWidth; ++x)
      row[x] = a + (b - a) * static_cast<float>(x - kFirst + 1) / (kWidth + 1);
  }
  for (int x = kFirst; x < kFirst + kWidth; ++x) leftOut[static_cast<size_t>(x)] = true;
  const auto spread = [](const std::vector<double>& read) {
    double sum = 0.0, squares = 0.0;
    for (const double v : read) sum += v, squares += v * v;
    const double n = static_cast<double>(read.size());
    return squares / n - (sum / n) * (sum / n);
  };
  const double mended = spread(densityRows(window, 0.0));
  const double left = spread(densityRows(window, 0.0, 0.0, 0.0, leftOut));
  // 34 columns of their own against 40 with two counted four times over: 0.74.
  EXPECT_LT(left / mended, 0.85);
}

}  // namespace
}  // namespace kelvora
