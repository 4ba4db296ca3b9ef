// A unilateral track's film read under a bright line along it: the columns the line
// covers in part show the film through the rest of them, and tell where the moving edge
// lies better than a straight line between the film either side of the line.
#include "precise/bright_line.h"

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
constexpr int kRows = 640;
constexpr float kOpaque = 20.0f;
constexpr float kClearLevel = 220.0f;
constexpr float kLine = 235.0f;  // the line's own level, brighter than clear film

// A row's film with its clear part from column 0 (or from the last, `mirrored`), under a
// bright line over columns [lineAt, lineAt + lineWidth) counted from the clear side.
void paintRow(cv::Mat& scanned, cv::Mat& film, int y, double from, double to, double lineAt,
              double lineWidth, bool mirrored) {
  for (int x = 0; x < kCols; ++x) {
    const int at = mirrored ? kCols - 1 - x : x;
    const double level = kOpaque + (kClearLevel - kOpaque) * test::clearShareAt(x, from, to);
    const double covered =
        std::clamp(std::min(x + 1.0, lineAt + lineWidth) - std::max(x * 1.0, lineAt), 0.0, 1.0);
    film.at<float>(y, at) = static_cast<float>(level);
    scanned.at<float>(y, at) = static_cast<float>(level + covered * (kLine - level));
  }
}

TEST(BrightLine, TheFilmUnderALineIsReadThroughTheColumnsItCoversInPart) {
  struct Case {
    std::string name;
    double from, to;  // where the edge moved within the tested rows (columns from 0)
    double lineAt;    // where the line starts, counted from the clear side
    double drift;     // how far the line drifts across from the first row to the last
    bool mirrored;    // the clear side on the window's last column
    int opaqueEvery;  // one row in this many has its edge well before the line
    double within;    // how near the truth the tested rows are read, in columns
    bool read;        // whether the rows are read anew
  };
  // The line, four columns wide, lies within the run of columns 30 to 35 counted from the
  // clear side, which it covers the first and last of in part.
  const std::vector<Case> cases = {
      {"ends in a column covered in part", 24.0, 31.2, 30.6, 0.0, false, 2, 0.15, true},
      {"ends under the line whole", 25.0, 33.0, 30.6, 0.0, false, 2, 0.8, true},
      {"starts in a column covered in part", 34.2, 40.0, 30.6, 0.0, false, 2, 0.15, true},
      {"crosses the line", 26.0, 40.0, 30.6, 0.0, false, 2, 0.3, true},
      {"clear side last", 24.0, 31.2, 30.6, 0.0, true, 2, 0.15, true},
      {"the line drifting across", 34.3, 40.0, 30.1, 0.5, false, 2, 0.2, true},
      {"far from the line", 12.0, 16.0, 30.6, 0.0, false, 2, 0.01, true},
      {"beyond the line", 44.0, 48.0, 30.6, 0.0, false, 2, 0.05, true},
      // Too few rows show the line on opaque film to measure it: the rows are left.
      {"line never on opaque film", 24.0, 31.2, 30.6, 0.0, false, 1000, 2.0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    cv::Mat scanned(kRows, kCols, CV_32F), film(kRows, kCols, CV_32F);
    for (int y = 0; y < kRows; ++y) {
      const double lineAt = c.lineAt + c.drift * y / (kRows - 1);
      // The rows between swing the edge well before the line and well beyond it.
      if (y % c.opaqueEvery == 0)
        paintRow(scanned, film, y, 10.0 + y % 7, 14.0 + y % 5, lineAt, 4.0, c.mirrored);
      else if (y % 4 != 1)
        paintRow(scanned, film, y, 48.0, 52.0 - y % 3, lineAt, 4.0, c.mirrored);
      else
        paintRow(scanned, film, y, c.from, c.to, lineAt, 4.0, c.mirrored);
    }
    const ColumnSpan run = c.mirrored ? ColumnSpan{kCols - 36, kCols - 31} : ColumnSpan{30, 35};
    cv::Mat window = scanned.clone();
    test::mendStraight(window, run);
    const cv::Mat straight = window.clone();
    const std::vector<double> clear(kRows, kClearLevel), opaque(kRows, kOpaque);
    const ColumnSpan track = c.mirrored ? ColumnSpan{kCols - 3, 2} : ColumnSpan{2, kCols - 3};
    const int read = readUnderBrightLine(window, scanned, run, track, clear, opaque);
    if (!c.read) {
      EXPECT_EQ(read, 0);
      EXPECT_EQ(cv::norm(window, straight, cv::NORM_INF), 0.0);
      continue;
    }
    EXPECT_EQ(read, kRows);
    double worst = 0.0, straightWorst = 0.0;
    for (int y = 1; y < kRows; y += 4) {
      if (y % c.opaqueEvery == 0) continue;
      const double truth = test::clearWidthOfRow(film, y, kOpaque, kClearLevel);
      worst =
          std::max(worst, std::abs(test::clearWidthOfRow(window, y, kOpaque, kClearLevel) - truth));
      straightWorst =
          std::max(straightWorst,
                   std::abs(test::clearWidthOfRow(straight, y, kOpaque, kClearLevel) - truth));
    }
    EXPECT_LE(worst, c.within) << "straight line " << straightWorst;
    if (c.within < 1.0 && straightWorst > 0.5) {
      EXPECT_LT(worst, straightWorst - 0.3);
    }
  }
}

// Where the edge ends under the columns the line covers whole, the curve across them
// cannot say where: those rows are told, with bounds that hold the film's clear width;
// rows whose edge shows, or lies away from the line, are not.
TEST(BrightLine, TheRowsWhoseEdgeTheLineHidesWholeAreTold) {
  struct Case {
    std::string name;
    double from, to;  // where the edge moved within the tested rows (columns from 0)
    bool told;        // whether the tested rows are told as hidden
    double widest;    // how far apart their bounds lie at most, in columns
  };
  // The line covers column 30 a little, 31 to 33 whole and 34 a little more than half.
  const std::vector<Case> cases = {
      {"ends under the line whole", 32.2, 32.6, true, 3.0},
      {"ends near the line's start", 31.1, 31.3, true, 3.0},
      {"ends in the part of a column the line leaves", 30.2, 30.4, true, 3.0},
      {"crosses the line within the row", 24.0, 40.0, true, 1.5},
      // The part of column 34 the line leaves is clear in part: the edge may have run
      // past the columns it covers whole, or ended under them with a ramp.
      {"ends in the part of the column after the line it leaves", 34.7, 34.9, true, 1.0},
      {"ends in the column before the line", 29.3, 29.7, false, 0.0},
      {"ends well before the line", 20.0, 24.0, false, 0.0},
      {"ends well beyond the line", 40.0, 44.0, false, 0.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    cv::Mat scanned(kRows, kCols, CV_32F), film(kRows, kCols, CV_32F);
    for (int y = 0; y < kRows; ++y) {
      if (y % 2 == 0)
        paintRow(scanned, film, y, 10.0 + y % 7, 14.0 + y % 5, 30.6, 4.0, false);
      else
        paintRow(scanned, film, y, c.from, c.to, 30.6, 4.0, false);
    }
    const ColumnSpan run{30, 35};
    cv::Mat window = scanned.clone();
    test::mendStraight(window, run);
    const std::vector<double> clear(kRows, kClearLevel), opaque(kRows, kOpaque);
    constexpr double kNone = std::numeric_limits<double>::quiet_NaN();
    std::vector<HiddenWidth> hidden(kRows, HiddenWidth{kNone, kNone});
    ASSERT_EQ(
        readUnderBrightLine(window, scanned, run, ColumnSpan{2, kCols - 3}, clear, opaque, &hidden),
        kRows);
    int told = 0, outside = 0;
    double widest = 0.0;
    for (int y = 1; y < kRows; y += 2) {
      const HiddenWidth& h = hidden[static_cast<size_t>(y)];
      if (!h.unsure()) continue;
      ++told;
      const double read = test::clearWidthOfRow(window, y, kOpaque, kClearLevel);
      const double truth = test::clearWidthOfRow(film, y, kOpaque, kClearLevel);
      outside += truth < read + h.low - 0.1 || truth > read + h.high + 0.1 ? 1 : 0;
      widest = std::max(widest, h.high - h.low);
    }
    EXPECT_EQ(told, c.told ? kRows / 2 : 0);
    EXPECT_EQ(outside, 0) << "the film's width lies outside the bounds";
    EXPECT_LE(widest, c.widest);
    // The rows that measure the line, their edge well before it, are never told.
    for (int y = 0; y < kRows; y += 2) EXPECT_FALSE(hidden[static_cast<size_t>(y)].unsure());
  }
}

// The rows no measured block lies near are left as they were: the line may have drifted
// there since.
TEST(BrightLine, RowsFarFromWhereTheLineWasMeasuredAreLeft) {
  cv::Mat scanned(kRows, kCols, CV_32F), film(kRows, kCols, CV_32F);
  for (int y = 0; y < kRows; ++y) {
    // Opaque film under the line on the first hundred rows only.
    if (y < 100 && y % 2 == 0)
      paintRow(scanned, film, y, 10.0, 14.0, 30.6, 4.0, false);
    else
      paintRow(scanned, film, y, 24.0, 31.2, 30.6, 4.0, false);
  }
  const ColumnSpan run{30, 35};
  cv::Mat window = scanned.clone();
  test::mendStraight(window, run);
  const cv::Mat straight = window.clone();
  const std::vector<double> clear(kRows, kClearLevel), opaque(kRows, kOpaque);
  constexpr double kNone = std::numeric_limits<double>::quiet_NaN();
  std::vector<HiddenWidth> hidden(kRows, HiddenWidth{kNone, kNone});
  const int read =
      readUnderBrightLine(window, scanned, run, ColumnSpan{2, kCols - 3}, clear, opaque, &hidden);
  EXPECT_GT(read, 100);
  EXPECT_LT(read, kRows / 2);
  EXPECT_NEAR(test::clearWidthOfRow(window, 101, kOpaque, kClearLevel),
              test::clearWidthOfRow(film, 101, kOpaque, kClearLevel), 0.15);
  EXPECT_EQ(cv::norm(window.row(kRows - 1), straight.row(kRows - 1), cv::NORM_INF), 0.0);
  // Its edge ends under the run mended straight: the row is told as hidden, the edge
  // within its bounds.
  const HiddenWidth& far = hidden[kRows - 1];
  ASSERT_TRUE(far.unsure());
  const double width = test::clearWidthOfRow(window, kRows - 1, kOpaque, kClearLevel);
  const double truth = test::clearWidthOfRow(film, kRows - 1, kOpaque, kClearLevel);
  EXPECT_LE(width + far.low, truth + 1e-9);
  EXPECT_GE(width + far.high, truth - 1e-9);
}

}  // namespace
}  // namespace kelvora
