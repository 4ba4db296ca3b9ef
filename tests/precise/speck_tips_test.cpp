#include "precise/speck_tips.h"

#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace kelvora {
namespace {

constexpr double kTwoPi = 6.283185307179586;

// A unilateral track's moving edge, columns from the fixed edge, a tone of `period` rows.
double edgeAt(int y, double period) { return 40.0 + 12.0 * std::sin(kTwoPi * y / period); }

struct Speck {
  int first, last;   // its rows
  double near, far;  // its columns, from the fixed edge
};

// The two readings of each row (see clearReadings) with a dark speck on the film: a row
// whose edge lies short of it reads true; one whose edge lies under it ends at its near
// side, no clear film beyond; one whose edge lies beyond it is cut short there, the clear
// film beyond it read through.
std::vector<ClearReadings> readingsWith(int rows, double period, const Speck& s) {
  std::vector<ClearReadings> out(static_cast<size_t>(rows));
  for (int y = 0; y < rows; ++y) {
    const double edge = edgeAt(y, period);
    ClearReadings& r = out[static_cast<size_t>(y)];
    r.width = r.throughSpeck = edge;
    if (y < s.first || y > s.last || edge <= s.near) continue;
    r.width = s.near;
    r.throughSpeck = edge > s.far ? edge : s.near;
  }
  return out;
}

TEST(SpeckTips, RowsWhoseEdgeASpeckHidesAreReadFromTheRowsAboutThem) {
  struct Case {
    std::string name;
    Speck speck;
    std::vector<int> unsure;  // the rows left unsure
    double within;            // columns the rows read may lie from the edge
  };
  // The edge peaks at 52 columns on row 12 and falls through 47 by row 19, 46 on rows 4
  // and 20: a column from the speck's near side, where it may end at the speck too.
  const std::vector<Case> cases = {
      {"on the tip as the edge falls back", {15, 19, 45.0, 50.0}, {15, 16, 17, 18, 19, 20}, 0.3},
      {"on the tip as the edge comes out", {5, 9, 45.0, 50.0}, {4, 5, 6, 7, 8, 9}, 0.3},
      {"over the peak, every row cut", {10, 14, 45.0, 50.0}, {}, 0.0},
      {"beyond the edge's reach", {10, 14, 53.0, 56.0}, {}, 0.0},
      {"inside the clear part", {10, 14, 20.0, 25.0}, {}, 0.0},
  };
  constexpr int kRows = 400;
  constexpr double kPeriod = 48.0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // The same speck on every eighth period, so that rows about each tell the tone.
    Speck s = c.speck;
    std::vector<ClearReadings> readings = readingsWith(kRows, kPeriod, s);
    s.first += 4 * static_cast<int>(kPeriod);
    s.last += 4 * static_cast<int>(kPeriod);
    const std::vector<ClearReadings> later = readingsWith(kRows, kPeriod, s);
    for (int y = s.first; y <= s.last; ++y) readings[static_cast<size_t>(y)] = later[y];
    std::vector<double> widths;
    for (const ClearReadings& r : readings) widths.push_back(r.width);
    const std::vector<HiddenWidth> hidden = edgeUnderSpecks(readings, widths);
    ASSERT_EQ(hidden.size(), widths.size());
    std::vector<int> unsure;
    for (int y = 0; y < kRows; ++y) {
      const HiddenWidth& h = hidden[static_cast<size_t>(y)];
      if (!h.unsure()) continue;
      if (y < 4 * static_cast<int>(kPeriod)) unsure.push_back(y);
      // The edge lies within the bounds.
      EXPECT_LE(widths[static_cast<size_t>(y)] + h.low, edgeAt(y, kPeriod) + 1e-9) << y;
      EXPECT_GE(widths[static_cast<size_t>(y)] + h.high, edgeAt(y, kPeriod) - 1e-9) << y;
    }
    EXPECT_EQ(unsure, c.unsure);
    readHiddenRows(widths, hidden, kWidestSpeck + 2);
    for (int y = 0; y < kRows; ++y) {
      if (hidden[static_cast<size_t>(y)].unsure())
        EXPECT_NEAR(widths[static_cast<size_t>(y)], edgeAt(y, kPeriod), c.within) << y;
      else
        EXPECT_EQ(widths[static_cast<size_t>(y)], readings[static_cast<size_t>(y)].width) << y;
    }
  }
}

}  // namespace
}  // namespace kelvora
