// A track read on a scan turned in the gate, and a scratch wider than the film each
// column is held against: made by hand, where the film's rows and its edge are known.
#include <algorithm>
#include <cmath>
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

}  // namespace
}  // namespace kelvora
