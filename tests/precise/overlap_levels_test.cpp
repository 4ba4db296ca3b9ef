// A variable-density negative's scans brought to one level across their overlaps, and
// the sound across missing scans bridged at the level the scans either side rest at.
#include <algorithm>
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "precise/scan_joins.h"

namespace kelvora {
namespace {

constexpr int kScanRows = 400, kAdvance = 300;

// The film's level along the reel, a negative's (below zero), with a slow wander.
double film(int row) {
  return -0.5 * (1.0 + 0.2 * std::sin(row * 0.31) + 0.1 * std::sin(row * 0.047) +
                 0.02 * std::sin(row * 0.002));
}

// Scans of a variable-density negative whose light the film beside the track measured a
// little off, scan by scan (a lamp flickering over a few scans, or the beside film's
// grain), some joins missing. Across every measured join the scans must read the film
// alike where they overlap, not a tenth of a per cent apart; a run of scans no join
// links to the rest keeps the level the beside film measured for it, on the whole.
TEST(OverlapLevels, ScansReadTheirOverlapsAlikeAndRunsKeepTheirOwnLevel) {
  struct Case {
    const char* name;
    int scans;
    std::vector<int> missing;  // scans k whose join from k - 1 is missing
    double flicker;            // the light's error, sin(2.1 k) times this
  };
  const Case cases[] = {
      {"steady lamp", 10, {}, 0.0},
      {"flickering lamp", 14, {}, 0.008},
      {"a scan missing", 14, {6}, 0.008},
      {"a lone scan between missing ones", 16, {7, 8}, 0.008},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto error = [&c](int k) { return 1.0 + c.flicker * std::sin(2.1 * k); };
    std::vector<ScanSound> scans(static_cast<size_t>(c.scans));
    JoinPlan plan;
    plan.joins.resize(scans.size());
    for (int k = 0; k < c.scans; ++k) {
      for (int i = 0; i < kScanRows; ++i)
        scans[k].samples.push_back(static_cast<float>(film(k * kAdvance + i) * error(k)));
      const bool missing = std::find(c.missing.begin(), c.missing.end(), k) != c.missing.end();
      plan.joins[k].advance = kAdvance;
      plan.joins[k].kind = missing ? JoinKind::Missing : JoinKind::Clean;
    }
    matchOverlapLevels(scans, plan);

    for (int k = 1; k < c.scans; ++k) {
      if (plan.joins[k].kind == JoinKind::Missing) continue;
      for (int i = 0; i < kScanRows - kAdvance; ++i)
        ASSERT_NEAR(scans[k].samples[i] / scans[k - 1].samples[kAdvance + i], 1.0, 2e-5)
            << "scan " << k << ", row " << i;
    }
    // Each run's level against the film, over its scans, is what the beside film gave
    // them on the whole: no scan moved by another run's error.
    int first = 0;
    for (int k = 1; k <= c.scans; ++k) {
      if (k < c.scans && plan.joins[k].kind != JoinKind::Missing) continue;
      double read = 0.0, given = 0.0;
      for (int j = first; j < k; ++j) {
        for (int i = 0; i < kScanRows; ++i) read += scans[j].samples[i] / film(j * kAdvance + i);
        given += kScanRows * error(j);
      }
      EXPECT_NEAR(read / given, 1.0, c.flicker / 2 + 1e-6) << "scans " << first << " to " << k - 1;
      if (k - first == 1) {
        EXPECT_NEAR(read / given, 1.0, 1e-6) << "lone scan " << first;
      }
      first = k;
    }
  }
}

// Across missing scans of a variable-density track no scan holds the sound: it rests at
// the level of the scans either side, not the reel's, which the print's density has
// left well off theirs.
TEST(OverlapLevels, MissingScansRestAtTheLevelOfTheScansBesideThem) {
  struct Case {
    const char* name;
    double before, after;  // the levels of the scans either side of the gap
  };
  const Case cases[] = {
      {"alike", 0.3, 0.3},
      {"the print darkening", 0.3, 0.26},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // Three scans: the gap lies between the second and third; the first, far denser,
    // moves the reel's mean well away from theirs.
    std::vector<ScanSound> scans(3);
    const double levels[] = {0.6, c.before, c.after};
    for (int k = 0; k < 3; ++k)
      for (int i = 0; i < kScanRows; ++i)
        scans[k].samples.push_back(static_cast<float>(levels[k] + 0.05 * std::sin(0.2 * i)));
    JoinPlan plan;
    plan.joins.resize(3);
    plan.joins[1] = ScanJoin{kAdvance, 0.0, NAN, JoinKind::Clean};
    plan.joins[2] = ScanJoin{2 * kScanRows, 0.0, NAN, JoinKind::Missing};
    const std::vector<float> joined = assembleScans(scans, plan, true, false, 0, false, true);
    const int gapStart = kAdvance + kScanRows, gapEnd = kAdvance + 2 * kScanRows;
    ASSERT_EQ(joined.size(), static_cast<size_t>(gapEnd + kScanRows));
    const double mean = 0.5 * (c.before + c.after);
    for (int y = gapStart; y < gapEnd; ++y) ASSERT_NEAR(joined[y], mean, 2e-3) << "row " << y;
  }
}

}  // namespace
}  // namespace kelvora
