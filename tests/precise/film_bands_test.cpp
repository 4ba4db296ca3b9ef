// The bands that cross a whole scan: the gate's shadow at its ends and a splice's
// cement, told apart from sound and specks of dust on synthetic track strips.
#include <algorithm>
#include <cmath>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "precise/film_splices.h"
#include "precise/gate_shadow.h"
#include "precise/scan_joins.h"

namespace kelvora {
namespace {

constexpr int kRows = 900;
constexpr int kCols = 160;

// Frame lines in the synthetic picture: dark bars this many rows tall every kFramePitch.
constexpr int kFramePitch = 300;
constexpr int kLineRows = 100;

// A strip of film along its rows: the edge (opaque), a bilateral track swinging with a
// tone, clear film beside it and a grey picture, with frame lines where `framed`. A
// negative has clear and opaque swapped. The lamp's field falls by `fall` at its ends.
cv::Mat stripOfFilm(bool negative, bool deep, bool framed = false, double fall = 0.0) {
  const double clear = negative ? 20 : 230, opaque = negative ? 230 : 20;
  cv::Mat s(kRows, kCols, CV_32F, cv::Scalar(opaque));
  for (int y = 0; y < kRows; ++y) {
    const double half = 20 + 18 * std::sin(y * 0.21);  // the clear area's half width
    for (int x = 0; x < kCols; ++x) {
      double v = opaque;
      if (x >= 10 && x < 90) v = std::abs(x - 50 + 0.5) < half ? clear : opaque;
      if (x >= 90 && x < 110) v = clear;
      if (x >= 110) v = 120 + 40 * std::sin(y * 0.01 + x * 0.05);
      if (x >= 110 && framed && y % kFramePitch < kLineRows) v = negative ? 230 : 12;
      s.at<float>(y, x) = static_cast<float>(v);
    }
  }
  for (int y = 0; y < kRows; ++y) {
    const double across = (y - 0.5 * kRows) / (0.5 * kRows);
    s.row(y) *= 1.0 - fall * across * across;
  }
  cv::Mat out;
  s.convertTo(out, deep ? CV_16U : CV_8U, deep ? 257.0 : 1.0);
  return out;
}

// Every pixel of rows [a, b) of `strip` passing `share` of its light.
void darken(cv::Mat& strip, int a, int b, double share) {
  cv::Mat band = strip.rowRange(a, b);
  band.convertTo(band, band.type(), share);
}

void speck(cv::Mat& strip, int y, int x, int size, int level) {
  cv::rectangle(strip, cv::Rect(x, y, size, size), cv::Scalar(level), cv::FILLED);
}

TEST(GateShadow, LitRowsLeaveTheShadowOut) {
  struct Case {
    const char* name;
    int head, tail;  // shadowed rows at each end
    double share;    // of the light the shadow leaves
    bool negative, deep;
    int first, end;     // the lit rows, within two
    double fall = 0.0;  // the lamp's field falls by this share at the scan's ends
    int cement = 0;     // rows beyond the head's shadow a splice's band darkens
  };
  const Case cases[] = {
      {"none", 0, 0, 1.0, false, false, 0, kRows},
      {"both ends dark", 18, 18, 0.1, false, false, 18, kRows - 18},
      {"a half shadow, 16 bits", 18, 18, 0.5, false, true, 18, kRows - 18},
      {"one end only", 0, 25, 0.2, false, false, 0, kRows - 25},
      {"a negative", 18, 18, 0.2, true, false, 18, kRows - 18},
      {"a faint darkening is no shadow", 18, 18, 0.9, false, false, 0, kRows},
      {"a shadow in a falling field", 18, 18, 0.2, false, false, 18, kRows - 18, 0.12},
      {"a falling field is no shadow", 0, 0, 1.0, false, true, 0, kRows, 0.12},
      // The band stays as dark as the cement makes it, where a penumbra would lighten.
      {"a splice's band beside the shadow is film", 18, 18, 0.1, false, false, 18, kRows - 18, 0.0,
       60},
  };
  for (const Case& c : cases) {
    cv::Mat strip = stripOfFilm(c.negative, c.deep, false, c.fall);
    if (c.cement > 0) darken(strip, c.head, c.head + c.cement, 0.7);
    if (c.head > 0) darken(strip, 0, c.head, c.share);
    if (c.tail > 0) darken(strip, kRows - c.tail, kRows, c.share);
    // Dark specks at the very ends, no shadow of their own.
    speck(strip, 0, 95, 5, 0);
    speck(strip, kRows - 5, 100, 5, 0);
    const LitRows lit = litRows(strip);
    EXPECT_NEAR(lit.first, c.first, 2) << c.name;
    EXPECT_NEAR(lit.end, c.end, 2) << c.name;
  }
}

// The gate's penumbra: the light rising smoothly from the shadow's dark band to the lit
// film. Its rows more than half lit are read, each given back the light it lost, so
// that the overlap between scans is there for the join.
TEST(GateShadow, PenumbraRowsMoreThanHalfLitAreGivenTheirLightBack) {
  struct Case {
    const char* name;
    double darkest;  // the share of the light the shadow's dark band leaves
    bool negative, deep;
    double fall = 0.0;  // the lamp's field falls by this share at the scan's ends
    int cement = 0;     // rows of a splice's band on the lit film near either end
  };
  const Case cases[] = {
      {"a positive", 0.1, false, false},
      {"a negative", 0.2, true, false},
      {"16 bits, a faint dark band", 0.4, false, true},
      {"in a falling field", 0.2, false, false, 0.12},
      // The band lies where the lit film beside the shadow is measured: it neither
      // dims the lit film's light nor tilts the field's slope.
      {"in a falling field, a splice's band on the lit film", 0.2, false, false, 0.12, kRows / 25},
      {"a negative in a falling field, a splice's band on the lit film", 0.2, true, true, 0.12,
       kRows / 25},
  };
  constexpr int kDark = 12, kRamp = 36;  // the dark band's rows, then the penumbra's
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto shade = [&](int y) {
      const int from = std::min(y, kRows - 1 - y);
      const double t = std::clamp((from + 0.5 - kDark) / kRamp, 0.0, 1.0);
      return c.darkest + (1.0 - c.darkest) * t * t * (3.0 - 2.0 * t);
    };
    cv::Mat film = stripOfFilm(c.negative, c.deep, false, c.fall);
    // Towards the far end of the lit film measured, a tenth to a fifth of the scan in.
    if (c.cement > 0) {
      const int from = kRows / 5 - c.cement - kRows / 50;
      darken(film, from, from + c.cement, 0.7);
      darken(film, kRows - from - c.cement, kRows - from, 0.7);
    }
    cv::Mat scanned = film.clone();
    for (int y = 0; y < kRows; ++y) darken(scanned, y, y + 1, shade(y));
    int first = 0, faint = 0;
    while (shade(first) <= 0.5) ++first;
    while (shade(faint) <= 0.2) ++faint;
    const LitRows lit = litRows(scanned);
    EXPECT_NEAR(lit.first, first, 1);
    EXPECT_NEAR(lit.end, kRows - first, 1);
    // The rows at most half lit but more than faintly are set aside, given their light
    // back as well, for a join whose overlap the shadow covers.
    const LitRows read = withFaintRows(lit);
    EXPECT_NEAR(read.first, faint, 1);
    EXPECT_NEAR(read.end, kRows - faint, 1);
    const cv::Mat faintGiven = litStrip(scanned, read);
    for (int y = 0; y < lit.first - read.first; ++y) {
      cv::Mat apart;
      cv::absdiff(faintGiven.row(y), film.row(read.first + y), apart);
      ASSERT_LT(cv::mean(apart)[0], 0.06 * (c.deep ? 65535.0 : 255.0)) << "row " << read.first + y;
    }
    const cv::Mat given = litStrip(scanned, lit);
    ASSERT_EQ(given.rows, lit.end - lit.first);
    ASSERT_EQ(given.type(), scanned.type());
    const double full = c.deep ? 65535.0 : 255.0;
    for (int y = 0; y < given.rows; ++y) {
      cv::Mat apart;
      cv::absdiff(given.row(y), film.row(lit.first + y), apart);
      ASSERT_LT(cv::mean(apart)[0], 0.02 * full) << "row " << lit.first + y;
    }
  }
}

TEST(FilmSplices, ASpliceCrossesTheFilmAndDustDoesNot) {
  struct Case {
    const char* name;
    bool negative, deep;
    int splice;  // middle row of a splice's band, or -1
    int specks;  // dark specks of 6 pixels on the track and beside it
    int found;
    bool framed = false;  // the picture has frame lines, and the reader knows their pitch
  };
  const Case cases[] = {
      {"clean film", false, false, -1, 0, 0},
      {"a splice on a positive", false, false, 400, 0, 1},
      {"a splice on a negative", true, false, 400, 0, 1},
      {"a splice on 16 bits", false, true, 600, 0, 1},
      {"dust", false, false, -1, 40, 0},
      {"dust on a negative", true, false, -1, 40, 0},
      {"a splice among dust", false, false, 300, 40, 1},
      // Splices are made at a frame line: its dark bar is no picture around the band
      // to darken against, the same rows a frame away are.
      {"a splice at a frame line", false, false, 591, 0, 1, true},
      {"frame lines and dust", false, false, -1, 40, 0, true},
  };
  for (const Case& c : cases) {
    cv::Mat strip = stripOfFilm(c.negative, c.deep, c.framed);
    const int band = 18;
    if (c.splice >= 0) darken(strip, c.splice - band / 2, c.splice + band / 2, 0.7);
    for (int k = 0; k < c.specks; ++k) speck(strip, 20 + k * 21, 30 + (k * 37) % 75, 6, 0);
    const std::vector<int> found =
        spliceCrossings(strip, 110, band, c.negative, c.framed ? kFramePitch : 0);
    ASSERT_EQ(static_cast<int>(found.size()), c.found) << c.name;
    if (c.found == 1) {
      EXPECT_NEAR(found.front(), c.splice, 3) << c.name;
    }
  }
}

// Scans of a variable-density negative read at the light the reel's fit gives each row:
// the gate's penumbra dims both ends of every scan alike, and the lamp one scan a few
// tenths of a per cent more than the next. Both are taken out across the overlaps: the
// scans read the same film where they overlap, the first scan's dimmed rows too, and
// rows under half lit hold the scan's resting level.
TEST(GateShadow, APenumbraAndALampStepAreTakenOutAcrossOverlaps) {
  constexpr int kScanRows = 400, kAdvance = 300, kScans = 12, kBand = 24;
  const auto film = [](int row) {
    return -0.5 * (1.0 + 0.3 * std::sin(row * 0.05) + 0.2 * std::sin(row * 0.31));
  };
  struct Case {
    const char* name;
    double shadow;  // the light the gate takes at a scan's very end
    double lamp;    // the lamp's step from scan to scan, either way
  };
  for (const Case c : {Case{"penumbra", 0.6, 0.0}, Case{"lamp", 0.0, 0.004},
                       Case{"deep_penumbra_and_lamp", 0.93, 0.004}}) {
    SCOPED_TRACE(c.name);
    const auto gate = [&c](int y) {
      const double t = std::min(y, kScanRows - 1 - y) / static_cast<double>(kBand);
      const double x = std::clamp((1.0 - t) / 0.5, 0.0, 1.0);
      return 1.0 - c.shadow * x * x * (3.0 - 2.0 * x);
    };
    std::vector<ScanSound> scans(kScans);
    std::vector<LitRows> lits(kScans);
    JoinPlan plan;
    plan.joins.resize(kScans);
    for (int k = 0; k < kScans; ++k) {
      const double lamp = 1.0 + (k % 2 == 1 ? c.lamp : -c.lamp);
      for (int i = 0; i < kScanRows; ++i)
        scans[k].samples.push_back(static_cast<float>(film(k * kAdvance + i) * gate(i) * lamp));
      lits[k].end = kScanRows;
      if (c.shadow > 0.0) lits[k].head = lits[k].tail = std::vector<float>(kBand, 1.0f);
      plan.joins[k].advance = kAdvance;
    }
    matchOverlapLevels(scans, plan);
    relightPenumbra(scans, plan, lits);

    for (int k = 1; k < kScans; ++k)
      for (int i = 0; i < kScanRows - kAdvance; ++i) {
        if (gate(i) < 0.5 || gate(kAdvance + i) < 0.5) continue;
        ASSERT_NEAR(scans[k].samples[i], scans[k - 1].samples[kAdvance + i], 2e-3)
            << "scan " << k << ", row " << i;
      }
    const std::vector<float>& first = scans.front().samples;
    const double level = first[kScanRows / 2] / film(kScanRows / 2);
    double rest = 0.0;
    for (int i = kBand; i < kScanRows - kBand; ++i) rest += first[i];
    rest /= kScanRows - 2 * kBand;
    for (int i = 0; i < kBand; ++i) {
      if (gate(i) >= 0.5)
        EXPECT_NEAR(first[i], level * film(i), 2e-3) << "row " << i;
      else
        EXPECT_NEAR(first[i], rest, 1e-6) << "row " << i;
    }
  }
}

}  // namespace
}  // namespace kelvora
