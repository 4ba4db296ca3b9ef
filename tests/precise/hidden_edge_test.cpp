// A unilateral track's moving edge read where it ends under a scratch: the ramp an edge
// moving within the row leaves runs on under the scratch, where a straight line between
// the film either side would put the edge in the scratch's middle.
#include "precise/hidden_edge.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/edge_rows.h"

namespace kelvora {
namespace {

constexpr int kCols = 60;
constexpr int kRows = 64;
constexpr float kOpaque = 20.0f;
constexpr float kClearLevel = 220.0f;

// A row's levels with its clear part from column 0 (or from the last, `mirrored`).
void paintRow(cv::Mat& window, int y, double from, double to, bool mirrored) {
  for (int x = 0; x < kCols; ++x) {
    const int at = mirrored ? kCols - 1 - x : x;
    window.at<float>(y, at) =
        static_cast<float>(kOpaque + (kClearLevel - kOpaque) * test::clearShareAt(x, from, to));
  }
}

TEST(HiddenEdge, AnEdgeEndingUnderAScratchIsReadFromItsRamp) {
  struct Case {
    std::string name;
    double from, to;       // where the edge moved within the tested row (columns from 0)
    bool mirrored;         // the clear side on the window's last column
    bool scratchedBeside;  // a dark scratch covers a column beside the run in part
    double within;         // how near the truth the row is read, in columns
    bool changed;          // whether the row is read anew
  };
  // The scratch's run is columns 30 to 35 counted from the clear side.
  const std::vector<Case> cases = {
      {"ends under the scratch", 24.0, 32.0, false, false, 0.1, true},
      {"ends just inside it", 26.0, 31.0, false, false, 0.1, true},
      {"starts under the scratch", 33.0, 41.0, false, false, 0.1, true},
      {"clear side last", 24.0, 32.0, true, false, 0.1, true},
      {"crosses the scratch", 26.0, 40.0, false, false, 0.05, false},
      {"far from the scratch", 12.0, 16.0, false, false, 0.01, false},
      {"beyond the scratch", 44.0, 48.0, false, false, 0.01, false},
      // Under the scratch whole, no ramp beside it: the straight line stands.
      {"within the scratch", 31.0, 34.0, false, false, 1.0, false},
      // A column beside the scratch never clear through is no film to read by.
      {"beside a scratch's edge", 24.0, 32.0, false, true, 2.0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    cv::Mat window(kRows, kCols, CV_32F);
    // The other rows swing the edge from well before the scratch to well beyond it.
    for (int y = 0; y < kRows; ++y)
      paintRow(window, y, y % 2 ? 10.0 : 48.0, y % 2 ? 14.0 : 52.0, c.mirrored);
    const int tested = kRows / 2;
    paintRow(window, tested, c.from, c.to, c.mirrored);
    const double truth = test::clearWidthOfRow(window, tested, kOpaque, kClearLevel);
    const ColumnSpan run = c.mirrored ? ColumnSpan{kCols - 36, kCols - 31} : ColumnSpan{30, 35};
    if (c.scratchedBeside) {
      const int beside = c.mirrored ? run.first - 1 : run.last + 1;
      for (int y = 0; y < kRows; ++y)
        window.at<float>(y, beside) = std::min(window.at<float>(y, beside), 0.8f * kClearLevel);
    }
    test::mendStraight(window, run);
    const double straight = test::clearWidthOfRow(window, tested, kOpaque, kClearLevel);
    const std::vector<double> clear(kRows, kClearLevel), opaque(kRows, kOpaque);
    const ColumnSpan track = c.mirrored ? ColumnSpan{kCols - 3, 2} : ColumnSpan{2, kCols - 3};
    readEdgeUnder(window, run, track, clear, opaque);
    const double read = test::clearWidthOfRow(window, tested, kOpaque, kClearLevel);
    EXPECT_NEAR(read, truth, c.within) << "straight line " << straight;
    if (c.changed)
      EXPECT_LT(std::abs(read - truth), std::abs(straight - truth) - 0.3);
    else
      EXPECT_DOUBLE_EQ(read, straight);
  }
}

}  // namespace
}  // namespace kelvora
