// The light along a variable-density track's scans, measured on the film the scans'
// overlaps share: made by hand, where the film and the light the track lacks are known.
#include <algorithm>
#include <cmath>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "precise/overlap_light.h"
#include "precise/scan_joins.h"

namespace kelvora {
namespace {

constexpr int kScanRows = 600, kAdvance = 480;

// The film's level along the reel: a positive's (above zero), or a negative's (below).
double film(int row, bool negative) {
  const double level = 0.5 * (1.0 + 0.3 * std::sin(row * 0.21) + 0.15 * std::sin(row * 0.033) +
                              0.05 * std::sin(row * 0.004));
  return negative ? -level : level;
}

struct BendCase {
  const char* name;
  int scans;
  double bend;               // the share of light the track lacks at t, bend x t^2
  double flicker;            // the lamp's step from scan to scan, sin(2.1 k) times this
  double grain;              // the scanner's noise on each reading, as a share of it
  std::vector<int> missing;  // scans k whose join from k - 1 is missing
  bool negative = false;
  bool speck = false;     // a speck darkens rows of one scan's overlap
  bool penumbra = false;  // each scan's first and last rows read by their own light, dimmed
  // Whether the bend is measured; and at least how much of it is taken in.
  bool measured = true;
};

// Scans of a variable-density track read under a light whose shape along the scan was
// measured a little too shallow: the track lies further from the middle of the lamp's
// field than the film beside it. Each scan's first row lies at t = -0.5 + 0.5 / rows.
std::vector<ScanSound> scansOf(const BendCase& c, JoinPlan& plan) {
  std::vector<ScanSound> scans(static_cast<size_t>(c.scans));
  plan.joins.assign(scans.size(), ScanJoin{});
  std::mt19937 rng(7);
  std::normal_distribution<double> grain(0.0, c.grain);
  for (int k = 0; k < c.scans; ++k) {
    ScanSound& s = scans[static_cast<size_t>(k)];
    s.lightFit.step = 1.0 / kScanRows;
    s.lightFit.first = -0.5 + 0.5 / kScanRows;
    s.lightFit.scale = 1.0;
    const double lamp = 1.0 + c.flicker * std::sin(2.1 * k);
    s.ownLight.assign(kScanRows, 1.0f);
    for (int i = 0; i < kScanRows; ++i) {
      const double t = s.lightFit.first + s.lightFit.step * i;
      double v =
          film(k * kAdvance + i, c.negative) * lamp * (1.0 - c.bend * t * t) * (1.0 + grain(rng));
      // The penumbra's rows, read by their own light, a tenth darker besides.
      if (c.penumbra && (i < 20 || i >= kScanRows - 20)) {
        v *= 0.9;
        s.ownLight[static_cast<size_t>(i)] = 0.9f;
      }
      // A speck on the second scan's start, within the overlap.
      if (c.speck && k == 1 && i >= 90 && i < 102) v *= 0.6;
      s.samples.push_back(static_cast<float>(v));
    }
    const bool missing = std::find(c.missing.begin(), c.missing.end(), k) != c.missing.end();
    plan.joins[static_cast<size_t>(k)].advance = kAdvance;
    plan.joins[static_cast<size_t>(k)].kind = missing ? JoinKind::Missing : JoinKind::Clean;
  }
  return scans;
}

void PrintTo(const BendCase& c, std::ostream* os) { *os << c.name; }

class OverlapLight : public ::testing::TestWithParam<BendCase> {};

// The overlaps measure the bend the scans were read with, whatever the sound, the lamp's
// steps from scan to scan, a speck or the penumbra's rows; read again under it, each
// scan follows the film along its whole length, as flat as its grain leaves it.
TEST_P(OverlapLight, TakesTheBendTheOverlapsShowOutOfEveryScan) {
  const BendCase& c = GetParam();
  JoinPlan plan;
  std::vector<ScanSound> scans = scansOf(c, plan);
  const OverlapBend measured = overlapBend(scans, plan);
  if (!c.measured) {
    EXPECT_EQ(relightByOverlaps(scans, plan), 0.0) << "a bend taken from too few joins";
    return;
  }
  EXPECT_NEAR(measured.bend, c.bend, 3.0 * measured.spread + 2e-4);
  EXPECT_LT(measured.spread, 0.002);
  const double taken = relightByOverlaps(scans, plan);
  EXPECT_NEAR(taken, c.bend, 3.0 * measured.spread + 2e-4);
  // Each scan against the film: the ends as bright as the middle, a tenth of a per cent
  // or better, where the bend left them a share of it darker.
  for (int k = 0; k < c.scans; ++k) {
    const ScanSound& s = scans[static_cast<size_t>(k)];
    const auto mean = [&](int from, int to) {
      double sum = 0.0;
      for (int i = from; i < to; ++i)
        sum += s.samples[static_cast<size_t>(i)] / s.ownLight[static_cast<size_t>(i)] /
               film(k * kAdvance + i, c.negative);
      return sum / (to - from);
    };
    const double middle = mean(kScanRows / 2 - 50, kScanRows / 2 + 50);
    const double ends = 0.5 * (mean(20, 80) + mean(kScanRows - 80, kScanRows - 20));
    EXPECT_NEAR(ends / middle, 1.0, 1e-3 + 0.1 * c.bend) << "scan " << k;
    if (c.bend > 0.005) {
      EXPECT_LT(std::abs(ends / middle - 1.0), 0.25 * c.bend * (0.25 - 1.0 / 12.0) + 2e-4)
          << "scan " << k << ": the bend left in";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Bends, OverlapLight,
    ::testing::Values(
        BendCase{"steady_lamp", 10, 0.017, 0.0, 0.001, {}},
        BendCase{"flickering_lamp", 10, 0.017, 0.08, 0.002, {}},
        BendCase{"negative", 10, 0.012, 0.05, 0.002, {}, true},
        BendCase{"no_bend", 10, 0.0, 0.05, 0.002, {}},
        BendCase{"a_speck_in_an_overlap", 8, 0.015, 0.03, 0.002, {}, false, true},
        BendCase{"penumbra_read_by_its_own_light", 8, 0.015, 0.03, 0.002, {}, false, false, true},
        BendCase{"missing_scans_leave_two_joins", 5, 0.014, 0.05, 0.001, {2, 3}},
        BendCase{"one_join_is_too_few", 4, 0.015, 0.0, 0.001, {2, 3}, false, false, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

// A bend the joins do not agree on, their grain far above it, is not taken in whole:
// only as far as it stands above its spread, and none where it does not.
TEST(OverlapLightSpread, AGrainyBendIsTakenInOnlyAsFarAsItIsKnown) {
  const BendCase c{"grainy", 6, 0.002, 0.0, 0.03, {}};
  JoinPlan plan;
  std::vector<ScanSound> scans = scansOf(c, plan);
  const OverlapBend measured = overlapBend(scans, plan);
  const double taken = relightByOverlaps(scans, plan);
  EXPECT_GT(measured.spread, 0.001);
  EXPECT_LE(std::abs(taken), std::abs(measured.bend));
  if (std::abs(measured.bend) <= measured.spread) {
    EXPECT_EQ(taken, 0.0);
  }
}

}  // namespace
}  // namespace kelvora
