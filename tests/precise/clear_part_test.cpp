// A variable-area row's clear width read around specks: the sound is in the edges of
// the clear part, not in a speck inside it or on the opaque film beside it.
#include "precise/clear_part.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace kelvora {
namespace {

// A row of `n` columns, clear over [from, to) with the edges' part-covered columns.
std::vector<float> row(int n, double from, double to) {
  std::vector<float> shares(static_cast<size_t>(n));
  for (int x = 0; x < n; ++x)
    shares[static_cast<size_t>(x)] =
        static_cast<float>(std::max(0.0, std::min(x + 1.0, to) - std::max<double>(x, from)));
  return shares;
}

// The columns `columns` marks.
std::vector<int> marked(const std::vector<bool>& columns) {
  std::vector<int> at;
  for (size_t x = 0; x < columns.size(); ++x)
    if (columns[x]) at.push_back(static_cast<int>(x));
  return at;
}

// How often each of 41 columns is clear: reach[d] at d columns from the middle, column 20.
std::vector<int> aboutTheMiddle(const int (&reach)[21]) {
  std::vector<int> track(41);
  for (int x = 0; x < 41; ++x) track[static_cast<size_t>(x)] = reach[std::abs(x - 20)];
  return track;
}

// `v` with [from, to) set to `value`.
template <typename T>
std::vector<T> filled(std::vector<T> v, int from, int to, T value) {
  std::fill(v.begin() + from, v.begin() + to, value);
  return v;
}

std::vector<float> withSpeck(std::vector<float> shares, int from, int to, float level) {
  for (int x = from; x < to; ++x) shares[static_cast<size_t>(x)] = level;
  return shares;
}

TEST(ClearPart, EdgesAreReadAndSpecksPassedBy) {
  struct Case {
    std::string name;
    std::vector<float> shares;
    int anchor;
    int mirrorSum;
    double width;
    ClearCore core = {};
  };
  const std::vector<float> bilateral = row(80, 22.4, 57.6);  // middle at 40, mirror sum 79
  const std::vector<float> unilateral = row(80, 10.0, 47.3);
  // A window of 160 columns, middle at 80 (mirror sum 159): a scratch may be 13 wide.
  const std::vector<float> wide = row(160, 30.4, 129.6);
  std::vector<float> ramp = row(40, 5.0, 15.0);
  const float fall[] = {0.9f, 0.7f, 0.45f, 0.52f, 0.3f, 0.1f};
  std::copy(std::begin(fall), std::end(fall), ramp.begin() + 15);
  // A quiet unilateral row: the clear part ends short of the anchor, in a long ramp of
  // half-clear columns whose grain leaves a clear fragment on the anchor.
  std::vector<float> quiet = row(80, 10.0, 30.0);
  const float tail[] = {0.9f,  0.8f,  0.7f,  0.6f,  0.48f, 0.45f, 0.47f, 0.46f, 0.45f,
                        0.44f, 0.46f, 0.47f, 0.53f, 0.55f, 0.4f,  0.2f,  0.05f};
  std::copy(std::begin(tail), std::end(tail), quiet.begin() + 30);
  double quietWidth = 20.0;
  for (const float t : tail) quietWidth += t;
  // The edge moved far within the row, and a dark speck lies on its ramp: the film
  // comes back from the dip and goes on falling. The dip is read on a straight line
  // from 0.75 to 0.62.
  const auto onRamp = [](std::initializer_list<float> fall) {
    std::vector<float> shares = row(40, 5.0, 15.0);
    std::copy(fall.begin(), fall.end(), shares.begin() + 15);
    return shares;
  };
  const std::vector<float> dipped = onRamp(
      {0.88f, 0.75f, 0.3f, 0.25f, 0.62f, 0.6f, 0.55f, 0.5f, 0.45f, 0.4f, 0.35f, 0.3f, 0.2f, 0.1f});
  const double dippedWidth = 10.0 + 0.88 + 0.75 + (0.75 - 0.13 / 3) + (0.75 - 0.26 / 3) + 0.62 +
                             0.6 + 0.55 + 0.5 + 0.45 + 0.4 + 0.35 + 0.3 + 0.2 + 0.1;
  // A bright speck at the ramp's foot rises from the film and falls back to it within a
  // speck's width: not the edge, on opaque film or on film still faintly clear.
  const std::vector<float> footOpaque =
      onRamp({0.65f, 0.51f, 0.37f, 0.3f, 0.24f, 0.12f, 0.65f, 0.93f, 0.92f, 0.91f, 0.92f, 0.07f});
  const std::vector<float> footFaint = onRamp(
      {0.76f, 0.43f, 0.34f, 0.23f, 0.11f, 0.02f, 0.07f, 0.69f, 0.72f, 0.71f, 0.7f, 0.68f, 0.25f});
  // An opaque speck cuts off the clear film before the ramp: within a speck's width the
  // film comes back, and falls away through more columns than a bright speck covers. The
  // dip is read on a straight line from 1 to 0.75 over six columns.
  const float ramp8 = 0.75f + 0.75f + 0.7f + 0.61f + 0.63f + 0.63f + 0.49f + 0.5f + 0.49f + 0.37f +
                      0.25f + 0.11f + 0.01f;
  const std::vector<float> cutOff =
      onRamp({1.0f,  1.0f,  0.0f,  0.0f,  0.0f, 0.0f,  0.0f,  0.75f, 0.75f, 0.7f,
              0.61f, 0.63f, 0.63f, 0.49f, 0.5f, 0.49f, 0.37f, 0.25f, 0.11f, 0.01f});
  const double cutOffWidth = 12.0 + (5.0 - 0.25 * 15.0 / 6.0) + ramp8;
  // ...a speck half as clear as the film, and a short ramp beyond that falls below the
  // speck's level: it falls through more part-clear columns than a bright speck's rim.
  const std::vector<float> greyCut =
      onRamp({1.0f, 1.0f, 0.45f, 0.45f, 0.45f, 0.45f, 0.45f, 0.45f, 0.99f, 0.86f, 0.8f, 0.69f,
              0.57f, 0.44f, 0.19f, 0.01f});
  const double greyCutWidth =
      12.0 + (6.0 - 0.01 * 21.0 / 7.0) + 0.99 + 0.86 + 0.8 + 0.69 + 0.57 + 0.44 + 0.19 + 0.01;
  // A bright speck as wide as any, its rims blurred, on the opaque film beyond the edge:
  // no ramp follows it.
  const std::vector<float> brightBeyond =
      onRamp({0.0f, 0.0f, 0.0f, 0.3f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 0.3f});
  // Loud speech moved both edges of a bilateral track far within the row: each is a
  // long ramp, and grain leaves a half-clear column a little darker than the one beyond
  // it, whose mirror image on the other ramp is clear too. It is the ramp's grain, no
  // speck: read as it is.
  std::vector<float> ramps = row(80, 25.0, 55.0);
  const float outwards[] = {0.87f, 0.87f, 0.73f, 0.77f, 0.65f, 0.58f,
                            0.46f, 0.53f, 0.41f, 0.31f, 0.17f};
  double rampsWidth = 30.0;
  for (int k = 0; k < static_cast<int>(std::size(outwards)); ++k) {
    ramps[static_cast<size_t>(24 - k)] = ramps[static_cast<size_t>(55 + k)] = outwards[k];
    rampsWidth += 2.0 * outwards[k];
  }
  // A faint speck over one edge of a bilateral track, the film under it half as bright:
  // its darker columns are no darker than the ones beside them, but their mirror images
  // are clear film. They are filled; the brighter ones are read as they are.
  std::vector<float> faint = bilateral;
  const float overEdge[] = {0.51f, 0.49f, 0.51f, 0.48f, 0.52f, 0.3f};
  std::copy(std::begin(overEdge), std::end(overEdge), faint.begin() + 52);
  const Case cases[] = {
      {"plain bilateral", bilateral, 40, 79, 35.2},
      {"bilateral ramps, grain on both", ramps, 40, 79, rampsWidth},
      {"faint speck over an edge", faint, 40, 79,
       0.6 + 29.0 + 0.51 + 1.0 + 0.51 + 1.0 + 0.52 + 0.3},
      {"dark speck inside", withSpeck(bilateral, 30, 34, 0.0f), 40, 79, 35.2},
      {"dark speck on the middle", withSpeck(bilateral, 38, 43, 0.0f), 40, 79, 35.2},
      {"bright speck on the opaque film", withSpeck(bilateral, 5, 9, 1.0f), 40, 79, 35.2},
      {"bright speck beyond the window's track", withSpeck(bilateral, 70, 76, 1.0f), 40, 79, 35.2},
      // The clear film a dark speck cuts off near an edge is the mirror's image.
      {"dark speck near an edge", withSpeck(bilateral, 25, 28, 0.0f), 40, 79, 35.2},
      {"plain unilateral", unilateral, 14, -1, 37.3},
      {"unilateral, dark speck inside", withSpeck(unilateral, 20, 26, 0.0f), 14, -1, 37.3},
      {"unilateral, bright speck", withSpeck(unilateral, 58, 61, 1.0f), 14, -1, 37.3},
      // The sound moved within the row: the edge is a ramp, read whole, its grain too.
      {"ramp", ramp, 14, -1, 10.0 + 0.9 + 0.7 + 0.45 + 0.52 + 0.3 + 0.1},
      {"ramp and a bright speck beyond", withSpeck(ramp, 23, 27, 1.0f), 14, -1,
       10.0 + 0.9 + 0.7 + 0.45 + 0.52 + 0.3 + 0.1},
      {"quiet unilateral, anchor on the ramp's grain", quiet, 42, -1, quietWidth},
      {"unilateral, both", withSpeck(withSpeck(unilateral, 30, 32, 0.0f), 2, 5, 1.0f), 14, -1,
       37.3},
      {"dark speck on the ramp", dipped, 10, -1, dippedWidth},
      {"bright speck at the ramp's opaque foot", footOpaque, 10, -1,
       10.0 + 0.65 + 0.51 + 0.37 + 0.3 + 0.24 + 0.12},
      {"bright speck at the ramp's faint foot", footFaint, 10, -1,
       10.0 + 0.76 + 0.43 + 0.34 + 0.23 + 0.11 + 0.02 + 0.07},
      // A speck half as clear as the film cuts a strip of clear film off by a unilateral
      // track's fixed edge, narrower than a speck: those columns are clear on nearly
      // every row.
      {"unilateral, dark speck by the fixed edge", withSpeck(unilateral, 15, 19, 0.47f), 30, -1,
       37.3, ClearCore{10, 35}},
      {"opaque speck cutting clear film off before the ramp", cutOff, 10, -1, cutOffWidth},
      {"grey speck cutting clear film off before a short ramp", greyCut, 10, -1, greyCutWidth},
      {"bright speck on the opaque film beyond the edge", brightBeyond, 10, -1, 10.0},
      // A speck on a unilateral track's fixed edge: the clear part stops short of the
      // core's end there. Read as clear film where the core says which end is fixed; the
      // moving edge coming into the core on a loud row is read where it lies.
      {"unilateral, dark speck on the fixed edge", withSpeck(unilateral, 10, 14, 0.0f), 30, -1,
       37.3, ClearCore{10, 35, -1}},
      {"unilateral, dark speck on an edge not known fixed", withSpeck(unilateral, 10, 14, 0.0f), 30,
       -1, 33.3, ClearCore{10, 35, 0}},
      {"unilateral, fixed edge after the core", withSpeck(row(80, 30.7, 68.0), 63, 68, 0.0f), 50,
       -1, 37.3, ClearCore{45, 67, 1}},
      {"unilateral, loud row into the core", row(80, 10.0, 33.5), 20, -1, 23.5,
       ClearCore{10, 35, -1}},
      // A dark scratch wider than a speck near an edge: its mirror image is clear.
      {"dark scratch, its mirror clear", withSpeck(wide, 36, 48, 0.0f), 80, 159, 99.2},
      // No mirror on a unilateral track: the clear part ends at a gap that wide.
      {"dark scratch on a unilateral track", withSpeck(wide, 36, 48, 0.0f), 80, -1, 81.6},
      // Wider than a twelfth of the window: film, not a scratch.
      {"dark gap too wide for a scratch", withSpeck(wide, 34, 48, 0.0f), 80, 159, 81.6},
  };
  for (const Case& c : cases)
    EXPECT_NEAR(clearWidth(c.shares, c.anchor, c.mirrorSum, c.core), c.width, 1e-4) << c.name;
}

TEST(ClearPart, AUnilateralTracksFixedEdgeIsWhereTheFilmFallsSteeply) {
  // How many of 100 rows each column is clear on: the fixed edge falls from nearly all
  // to none within a speck's rim, the moving edge's swing over many columns.
  const std::vector<int> fixedFirst = {0,   0,   0,   40,  97, 100, 100, 100, 99, 100,
                                       100, 100, 100, 100, 98, 90,  80,  65,  50, 35,
                                       20,  10,  5,   2,   0,  0,   0,   0,   0,  0};
  std::vector<int> fixedLast(fixedFirst.rbegin(), fixedFirst.rend());
  // A silent track: both ends are steep.
  const std::vector<int> silent = {0, 0, 30, 100, 100, 100, 100, 100, 100, 100, 30, 0, 0};
  // Film clear on nearly every row up to the window's end: no side tells.
  const std::vector<int> toTheEnd = {100, 100, 100, 100, 95, 80, 60, 40, 20, 5, 0, 0};
  struct Case {
    std::string name;
    std::vector<int> clear;
    int first, last, fixedSide;
  };
  const Case cases[] = {
      {"fixed edge first", fixedFirst, 4, 14, -1},
      {"fixed edge last", fixedLast, 15, 25, 1},
      {"silent", silent, 3, 9, 0},
      {"clear to the window's end", toTheEnd, 0, 4, -1},
  };
  for (const Case& c : cases) {
    const ClearCore core = clearCore(c.clear);
    EXPECT_EQ(core.first, c.first) << c.name;
    EXPECT_EQ(core.last, c.last) << c.name;
    EXPECT_EQ(core.fixedSide, c.fixedSide) << c.name;
  }
}

TEST(ClearPart, ARowADarkGapEndsBeforeClearFilmIsReadBothWays) {
  const std::vector<float> unilateral = row(80, 10.0, 47.3);
  // An opaque speck cuts clear film off before the edge: a bright speck on the opaque
  // film would look the same.
  const std::vector<float> cut = withSpeck(unilateral, 38, 42, 0.0f);
  // Part-clear film beyond a darker gap: an edge's ramp that grain splits, no choice.
  std::vector<float> split = row(40, 5.0, 15.0);
  const float fall[] = {0.9f, 0.3f, 0.6f, 0.55f, 0.1f};
  std::copy(std::begin(fall), std::end(fall), split.begin() + 15);
  // A bright speck on the opaque band beyond the fixed edge, at column 10.
  const std::vector<float> besideFixed = withSpeck(unilateral, 2, 6, 1.0f);
  struct Case {
    std::string name;
    std::vector<float> shares;
    int anchor;
    double width, throughSpeck;
    ClearCore core = ClearCore{10, 30, -1};
  };
  const Case cases[] = {
      {"plain", unilateral, 14, 37.3, 37.3},
      {"clear film cut off", cut, 14, 28.0, 37.3},
      {"clear film cut off, the fixed edge not known", cut, 14, 28.0, 28.0, ClearCore{10, 30, 0}},
      {"bright speck beyond the fixed edge", besideFixed, 14, 37.3, 37.3},
      {"a ramp split by grain", split, 10, 10.0 + 0.9 + 0.3, 10.0 + 0.9 + 0.3},
  };
  for (const Case& c : cases) {
    const ClearReadings r = clearReadings(c.shares, c.anchor, -1, c.core);
    EXPECT_NEAR(r.width, c.width, 1e-4) << c.name;
    EXPECT_NEAR(r.throughSpeck, c.throughSpeck, 1e-4) << c.name;
    EXPECT_NEAR(clearWidth(c.shares, c.anchor, -1, c.core), c.width, 1e-4) << c.name;
  }
}

TEST(ClearPart, TheRowsEitherSideJudgeASpecksRow) {
  // Plain rows, one reading each, along a slow rise of half a column a row, or swinging
  // eight columns from row to row.
  const auto slow = [](int y) { return 30.0 + 0.5 * y; };
  const auto fast = [](int y) { return y % 2 != 0 ? 38.0 : 30.0; };
  struct Choice {
    int row;
    double width, throughSpeck;
  };
  struct Case {
    std::string name;
    double (*sound)(int);
    std::vector<Choice> choices;
    std::vector<double> expected;  // the choices' rows' widths
    int through;
  };
  const Case cases[] = {
      {"a dark speck cut the clear film off", +slow, {{10, 25.0, 35.0}}, {35.0}, 1},
      {"a bright speck beyond the edge", +slow, {{10, 35.0, 41.0}}, {35.0}, 0},
      {"a speck over two rows", +slow, {{10, 24.0, 35.0}, {11, 26.0, 35.5}}, {35.0, 35.5}, 2},
      {"sound as fast as the readings lie apart", +fast, {{10, 30.0, 42.0}}, {30.0}, 0},
      {"no plain row", +slow, {}, {}, 0},
  };
  for (const Case& c : cases) {
    std::vector<ClearReadings> readings(21);
    for (int y = 0; y < 21; ++y) readings[static_cast<size_t>(y)] = {c.sound(y), c.sound(y)};
    for (const Choice& ch : c.choices)
      readings[static_cast<size_t>(ch.row)] = {ch.width, ch.throughSpeck};
    // No plain row: every row's reading cut short by a speck.
    if (c.choices.empty())
      for (int y = 0; y < 21; ++y) readings[static_cast<size_t>(y)] = {20.0, c.sound(y)};
    std::vector<double> widths;
    const int through = readThroughSpecks(readings, widths);
    ASSERT_EQ(widths.size(), readings.size()) << c.name;
    for (size_t k = 0; k < c.choices.size(); ++k)
      EXPECT_DOUBLE_EQ(widths[static_cast<size_t>(c.choices[k].row)], c.expected[k]) << c.name;
    for (int y = 0; y < 21; ++y) {
      const bool chosen = std::any_of(c.choices.begin(), c.choices.end(),
                                      [y](const Choice& ch) { return ch.row == y; });
      if (!chosen) {
        EXPECT_DOUBLE_EQ(widths[static_cast<size_t>(y)], c.choices.empty() ? 20.0 : c.sound(y))
            << c.name;
      }
    }
    EXPECT_EQ(through, c.through) << c.name;
  }
}

TEST(ClearPart, AClearRunIsFoundWhereverItStartsAndEnds) {
  // Rows a few columns wide and a little wider, a run starting and ending on every
  // column (a row's columns are looked at a few at a time), at a level just past clear;
  // a second run, narrower than a speck, well apart from it.
  for (int n = 1; n <= 13; ++n)
    for (int a = 0; a < n; ++a)
      for (int b = a; b < n; ++b) {
        std::vector<float> shares(static_cast<size_t>(n), 0.0f);
        std::fill(shares.begin() + a, shares.begin() + b + 1, 0.75f);
        const std::string name =
            std::to_string(n) + " columns, clear " + std::to_string(a) + "-" + std::to_string(b);
        EXPECT_FLOAT_EQ(clearWidth(shares, a, -1), 0.75f * (b - a + 1)) << name;
        const ClearSides sides = clearSides(shares, b, -1, a - 0.5);
        EXPECT_FLOAT_EQ(sides.after, 0.75f * (b - a + 1)) << name;
        std::vector<float> two(static_cast<size_t>(n) + 20, 0.0f);
        std::copy(shares.begin(), shares.end(), two.begin());
        std::fill(two.end() - 4, two.end() - 1, 1.0f);
        EXPECT_FLOAT_EQ(clearWidth(two, a, -1), 0.75f * (b - a + 1)) << name << ", and another";
        EXPECT_FLOAT_EQ(clearWidth(two, n + 17, -1), 3.0f) << name << ", the other";
      }
}

TEST(ClearPart, ScratchesShowInHowOftenColumnsAreClear) {
  struct Case {
    std::string name;
    std::vector<int> clear;
    int anchor;
    std::vector<int> scratched;
  };
  const std::vector<int> track = {0, 5, 30, 80, 100, 100, 100, 80, 30, 5, 0};
  std::vector<int> dark = track;
  dark[2] = 0;  // a column barely clear with film clear more often beyond it
  std::vector<int> bright = track;
  bright[9] = 100;  // a column always clear beyond film that is not
  std::vector<int> speck = track;
  speck[2] = 27;  // a speck's few rows
  std::vector<int> wideBand = {0, 90, 90, 90, 0, 0, 0, 0, 40, 80, 100, 100, 80, 30, 0};
  const Case cases[] = {
      {"plain", track, 5, {}},
      // The film the scratch puts out of order with it: clear more often than the
      // scratch nearer the anchor, or less often than a scratch beyond it.
      {"dark scratch", dark, 5, {1, 2}},
      {"bright scratch", bright, 5, {7, 8, 9}},
      {"a speck", speck, 5, {}},
      // The opaque band beside a unilateral track's fixed edge, clear film beyond it.
      {"wide band", wideBand, 10, {1, 2, 3}},
      {"no anchor", track, -1, {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(marked(scratchedColumns(c.clear, c.anchor, 400, 3)), c.scratched) << c.name;
  }
}

// A unilateral track's clear part grows from its fixed edge (the anchor's side) out to
// its moving edge; a dark scratch hides the columns it lies on, seen only where the
// loudest moments reach past it.
TEST(ClearPart, ColumnsADarkScratchHidesOnAUnilateralTrack) {
  struct Case {
    std::string name;
    std::vector<int> clear;
    std::vector<bool> known;  // hidden on earlier scans
    std::vector<int> hidden;
  };
  //                                fixed edge, core, moving edge's swing ...
  const std::vector<int> track = {0, 400, 400, 400, 300, 200, 120, 60, 30, 12, 5, 0, 0, 0};
  std::vector<int> seen = track, unseen = track, dusty = track;
  seen[7] = seen[8] = 0;  // under the scratch; the film beyond it clear at the loudest
  unseen[7] = unseen[8] = unseen[9] = unseen[10] = 0;  // nothing beyond: no sign of it
  dusty[3] = 360;                                      // specks in the core
  std::vector<int> brightBeyond = track;
  brightBeyond[12] = 400;  // a bright scratch, always clear, beyond the reach
  // The scratch's edge covers column 6 in part: clear on far fewer rows than column 5,
  // where the film's own edge thins out gently; column 8 beside a scratch at 9 and 10
  // thins out as the film does.
  std::vector<int> partly = seen, thinning = track;
  partly[6] = 40;
  thinning[9] = thinning[10] = 0;
  thinning[11] = 8;
  std::vector<bool> atSevenAndEight(track.size(), false);
  atSevenAndEight[7] = atSevenAndEight[8] = true;
  const Case cases[] = {
      {"plain", track, {}, {}},
      {"seen past the loudest reach", seen, {}, {7, 8}},
      {"nothing beyond it", unseen, {}, {}},
      {"a column partly under it", partly, {}, {6, 7, 8}},
      {"the film thinning out beside it", thinning, {}, {9, 10}},
      {"known from the scans before", unseen, atSevenAndEight, {7, 8}},
      // Columns known hidden before but clear on this scan are film.
      {"known, but clear here", track, atSevenAndEight, {}},
      {"dust in the core is no scratch", dusty, {}, {}},
      {"film short of a bright scratch is no scratch", brightBeyond, {}, {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(marked(hiddenColumns(c.clear, 2, 400, 3, c.known)), c.hidden) << c.name;
  }
}

// A line clear on every row beyond a unilateral track's moving edge (a negative's dark
// scratch, printed clear) is no film: the loudest rows' edge would run on into it.
TEST(ClearPart, ALineClearBeyondTheMovingEdgeOfAUnilateralTrack) {
  struct Case {
    std::string name;
    std::vector<int> clear;
    int anchor;
    std::vector<int> marked;
  };
  //                              fixed edge, core, moving edge's swing ...
  const std::vector<int> track = {0,  400, 400, 400, 400, 400, 400, 300, 200, 120,
                                  60, 30,  12,  5,   0,   0,   0,   0,   0,   0};
  // Turned about: the fixed edge on the right, the edge moving out leftwards.
  const std::vector<int> turned(track.rbegin(), track.rend());
  // Clear film beyond an opaque band past the fixed edge: the sound moves the other side.
  const std::vector<int> pastFixed = {5,   400, 400, 0,  400, 400, 400, 400, 400, 400,
                                      300, 200, 120, 60, 30,  12,  5,   0,   0};
  const Case cases[] = {
      {"plain", track, 3, {}},
      {"just beyond the loudest reach", filled(track, 14, 16, 400), 3, {14, 15}},
      {"where the edge swings", filled(track, 10, 12, 397), 3, {10, 11}},
      {"turned about", filled(turned, 4, 6, 400), 16, {4, 5}},
      // Specks take a few rows off the core, no more: the film beyond is film.
      {"dust in the core", filled(track, 3, 4, 380), 3, {}},
      // Not clear on every row: film the sound moves, read as it is.
      {"clear on most rows only", filled(track, 14, 16, 300), 3, {}},
      // Wider than a scratch, or running out of the window: clear film, not a line on it.
      {"too wide", filled(track, 14, 19, 400), 3, {}},
      {"out to the window's end", filled(track, 17, 20, 400), 3, {}},
      {"beyond the fixed edge", pastFixed, 6, {}},
      {"no anchor", track, -1, {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(marked(clearBeyondEdge(c.clear, c.anchor, 400, 4)), c.marked) << c.name;
  }
}

TEST(ClearPart, ADarkScratchOnTheLoudestReachShowsAgainstItsMirrorImage) {
  // How often each column of a bilateral track is clear over 400 rows: the middle at
  // column 20 (mirror sum 40), the clear part reaching out less and less often.
  const int reach[] = {400, 400, 400, 400, 400, 400, 400, 300, 200, 120, 60,
                       30,  15,  8,   4,   2,   0,   0,   0,   0,   0};
  const std::vector<int> track = aboutTheMiddle(reach);
  // A dark scratch over columns 7 to 9 hides the film the loudest moments clear there.
  const std::vector<int> scratch = filled(track, 7, 10, 0);
  // The left side reaching out a quarter as often as the right from column 11 out: a
  // track read unevenly, no scratch.
  std::vector<int> uneven = track;
  for (int x = 0; x <= 11; ++x) uneven[static_cast<size_t>(x)] /= 4;
  const std::vector<bool> none(41, false);
  const std::vector<bool> mirrorScratched = filled(none, 30, 35, true);
  struct Case {
    std::string name;
    std::vector<int> clear;
    double mirrorSum;
    std::vector<bool> scratched;
    int widest;
    std::vector<int> dark;
  };
  const Case cases[] = {
      {"plain", track, 40.0, none, 8, {}},
      // The scratch, and on outwards as far as the mirror image is ever clear.
      {"dark scratch", scratch, 40.0, none, 8, {4, 5, 6, 7, 8, 9}},
      {"uneven sides", uneven, 40.0, none, 8, {}},
      {"its mirror image scratched", scratch, 40.0, mirrorScratched, 8, {}},
      {"wider than a scratch", scratch, 40.0, none, 3, {}},
      {"a middle the counts do not bear out", scratch, 37.0, none, 8, {}},
      {"unilateral", scratch, -1.0, none, 8, {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(marked(darkAgainstMirror(c.clear, c.mirrorSum, 400, c.scratched, c.widest)), c.dark)
        << c.name;
  }
}

TEST(ClearPart, ABrightScratchByTheMiddleShowsAgainstItsMirrorImage) {
  // How often each column of a bilateral track is clear over 400 rows: the middle at
  // column 20 (mirror sum 40), the loudest moments narrowing the clear part to a few
  // columns about it.
  const int reach[] = {400, 390, 370, 340, 300, 250, 200, 150, 100, 60, 30,
                       15,  5,   0,   0,   0,   0,   0,   0,   0,   0};
  const std::vector<int> track = aboutTheMiddle(reach);
  // A bright scratch over columns 24 to 26 is clear on every row: the edges the loudest
  // moments bring under it are hidden there, not on the other side.
  const std::vector<int> scratch = filled(track, 24, 27, 400);
  // A silent stretch: the clear part the same on every row, a mirror image of itself
  // about any middle near its own.
  const std::vector<int> silent = filled(std::vector<int>(41, 0), 12, 29, 400);
  struct Case {
    std::string name;
    std::vector<int> clear;
    double mirrorSum;
    int widest;
    std::vector<int> bright;
  };
  const Case cases[] = {
      {"plain", track, 40.0, 8, {}},
      {"bright scratch", scratch, 40.0, 8, {24, 25, 26}},
      {"wider than a scratch", scratch, 40.0, 2, {}},
      {"a silent stretch about a middle off its own", silent, 37.0, 8, {}},
      {"unilateral", scratch, -1.0, 8, {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(marked(brightAgainstMirror(c.clear, c.mirrorSum, 400, c.widest)), c.bright) << c.name;
  }
}

TEST(ClearPart, ABrightLineTheEdgesReachOnAFewRowsShowsOnEachOfThem) {
  // A bilateral track about column 20 (mirror sum 40), its columns clear as often as
  // their images: the columns the sound moves mirror each other.
  const int reach[] = {400, 390, 370, 340, 300, 250, 200, 150, 100, 60, 30,
                       15,  5,   0,   0,   0,   0,   0,   0,   0,   0};
  const std::vector<int> track = aboutTheMiddle(reach);
  // On how many rows each column's image lies beyond the clear part: the quieter rows
  // bring the edges inside it.
  std::vector<int> imageOpaque(41);
  for (int x = 0; x < 41; ++x) imageOpaque[static_cast<size_t>(x)] = 400 - track[40 - x];
  const std::vector<int> none(41, 0);
  // A bright line over columns 25 to 27: clear on every row its image is opaque on.
  std::vector<int> line = none;
  for (int x = 25; x <= 27; ++x) line[static_cast<size_t>(x)] = imageOpaque[static_cast<size_t>(x)];
  // Grain on an edge: a column clear on a few of the rows its image is not.
  std::vector<int> grain = none;
  for (int x = 25; x <= 27; ++x)
    grain[static_cast<size_t>(x)] = imageOpaque[static_cast<size_t>(x)] / 3;
  // A line the edges reach on one row only is no line to go by.
  std::vector<int> once = none, onceImage = imageOpaque;
  for (int x = 25; x <= 27; ++x)
    once[static_cast<size_t>(x)] = onceImage[static_cast<size_t>(x)] = 1;
  std::vector<int> unilateral(41, 0);
  for (int x = 0; x < 41; ++x) unilateral[static_cast<size_t>(x)] = 10 * x;
  struct Case {
    std::string name;
    std::vector<int> clear, imageOpaque, clearOnIt;
    int widest;
    std::vector<int> bright;
  };
  const Case cases[] = {
      {"plain", track, imageOpaque, none, 8, {}},
      {"bright line", track, imageOpaque, line, 8, {25, 26, 27}},
      {"grain on the edge", track, imageOpaque, grain, 8, {}},
      {"on one row", track, onceImage, once, 8, {}},
      {"wider than a scratch", track, imageOpaque, line, 2, {}},
      {"a track that is no mirror image", unilateral, imageOpaque, line, 8, {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(marked(brightOverMirror(c.clear, 400, c.imageOpaque, c.clearOnIt, 40.0, c.widest)),
              c.bright)
        << c.name;
  }
}

TEST(ClearPart, ABilateralRowsHalvesMeetAtItsMiddle) {
  struct Case {
    std::string name;
    std::vector<float> shares;
    double middle;
    double before, after;
  };
  // Clear from 22.4 to 57.6 in a row whose column x covers x to x + 1: the middle at 40,
  // column 39.5 counted from the columns' own middles, the mirror sum 79.
  const std::vector<float> bilateral = row(80, 22.4, 57.6);
  std::vector<float> ramp = row(80, 22.4, 50.0);
  const float fall[] = {0.9f, 0.7f, 0.45f, 0.3f, 0.1f};
  std::copy(std::begin(fall), std::end(fall), ramp.begin() + 50);
  const Case cases[] = {
      {"plain", bilateral, 39.5, 17.6, 17.6},
      {"middle between columns", bilateral, 39.75, 17.85, 17.35},
      {"one half wider", row(80, 20.4, 57.6), 39.5, 19.6, 17.6},
      {"dark speck inside one half", withSpeck(bilateral, 30, 34, 0.0f), 39.5, 17.6, 17.6},
      {"bright speck on the opaque film", withSpeck(bilateral, 5, 9, 1.0f), 39.5, 17.6, 17.6},
      {"a ramp on one half", ramp, 39.5, 17.6, 10.0 + 0.9 + 0.7 + 0.45 + 0.3 + 0.1},
      // A middle off the track's (a unilateral track split at its fixed edge), the clear
      // part all on one side of it, or far more on one than on the other.
      {"all after the middle", bilateral, 10.0, 0.0, 35.2},
      {"all before the middle", bilateral, 70.0, 35.2, 0.0},
      {"little before the middle", bilateral, 25.25, 3.35, 31.85},
      {"little after the middle", bilateral, 54.75, 32.85, 2.35},
  };
  for (const Case& c : cases) {
    const ClearSides sides = clearSides(c.shares, 40, 79, c.middle);
    EXPECT_NEAR(sides.before, c.before, 1e-4) << c.name;
    EXPECT_NEAR(sides.after, c.after, 1e-4) << c.name;
    EXPECT_NEAR(sides.before + sides.after, clearWidth(c.shares, 40, 79), 1e-4) << c.name;
  }
}

TEST(ClearPart, ABrightLineNoEdgeReachesStandsAboveTheClearFilm) {
  // Mean levels of a bilateral window's 60 columns: opaque film, the edges' reach (clear
  // on some rows), and clear film on every row from column 18 to 41, span 180.
  std::vector<float> plain(60, 20.0f);
  std::vector<bool> always(60, false);
  for (int x = 10; x < 50; ++x) plain[static_cast<size_t>(x)] = 110.0f;
  for (int x = 18; x <= 41; ++x) {
    plain[static_cast<size_t>(x)] = 200.0f;
    always[static_cast<size_t>(x)] = true;
  }
  const auto with = [&plain](int from, int to, float level) {
    return filled(plain, from, to + 1, level);
  };
  // Light falling across the track by half a level a column.
  std::vector<float> falling = plain;
  for (int x = 18; x <= 41; ++x) falling[static_cast<size_t>(x)] = 190.0f + 0.5f * x;
  struct Case {
    std::string name;
    std::vector<float> means;
    int widest;
    std::vector<int> bright;
  };
  const Case cases[] = {
      {"plain", plain, 8, {}},
      {"a line on the clear film", with(27, 30, 215.0f), 8, {27, 28, 29, 30}},
      // Beyond it the edges' reach, whose mean lies below the clear film's.
      {"a line by the edges' reach", with(37, 40, 215.0f), 8, {37, 38, 39, 40}},
      {"no brighter than grain and light", with(27, 30, 203.0f), 8, {}},
      {"uneven light", falling, 8, {}},
      {"wider than a scratch", with(24, 33, 215.0f), 8, {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(marked(brightInClear(c.means, always, 180.0f, c.widest)), c.bright) << c.name;
  }
  // Where the edges reach the line on some rows, it is not judged by its level.
  const std::vector<bool> reached = filled(always, 27, 31, false);
  EXPECT_EQ(marked(brightInClear(with(27, 30, 215.0f), reached, 180.0f, 8)), std::vector<int>{});
}

TEST(ClearPart, ADarkLineOnTheOpaqueFilmStandsBelowIt) {
  // Mean levels of a bilateral window's 80 columns over 400 rows, span 200: opaque film
  // at 20, the edges' reach (clear on some rows), and clear film from column 30 to 49.
  std::vector<float> plain(80, 20.0f);
  std::vector<int> clear(80, 0);
  for (int x = 14; x < 66; ++x) {
    plain[static_cast<size_t>(x)] = 120.0f;
    clear[static_cast<size_t>(x)] = 200;
  }
  for (int x = 30; x < 50; ++x) {
    plain[static_cast<size_t>(x)] = 220.0f;
    clear[static_cast<size_t>(x)] = 400;
  }
  const auto with = [&plain](int from, int to, float level) {
    return filled(plain, from, to + 1, level);
  };
  // Light falling across the window by a tenth of a level a column.
  std::vector<float> falling = plain;
  for (int x = 0; x < 80; ++x)
    if (clear[static_cast<size_t>(x)] == 0) falling[static_cast<size_t>(x)] = 24.0f - 0.1f * x;
  // The edges' outer reach, clear on one row in a hundred: fainter than the film, but film.
  std::vector<int> reach = clear;
  reach[13] = reach[66] = 4;
  // A line among the edges' swing hides them on every row: clear film on both sides.
  const std::vector<int> swing = filled(clear, 56, 60, 0);
  struct Case {
    std::string name;
    std::vector<float> means;
    std::vector<int> clear;
    std::vector<int> dark;
  };
  const Case cases[] = {
      {"plain", plain, clear, {}},
      {"a line beside the edges' reach", with(69, 72, 15.0f), clear, {69, 70, 71, 72}},
      {"a line against the edges' reach", with(66, 69, 15.0f), clear, {66, 67, 68, 69}},
      {"a line the edges reach often is the edges' to read", with(60, 63, 15.0f), clear, {}},
      {"no darker than grain", with(69, 72, 18.0f), clear, {}},
      {"uneven light", falling, clear, {}},
      {"the film's darker margin at the window's end", with(74, 79, 15.0f), clear, {}},
      {"wider than a scratch", with(67, 76, 15.0f), clear, {}},
      {"the reach on a few rows", with(5, 6, 15.0f), reach, {5, 6}},
      {"a line among the swing is the edges' to read", with(56, 59, 15.0f), swing, {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(marked(darkInOpaque(c.means, c.clear, 400, 200.0f, 8)), c.dark) << c.name;
  }
}

TEST(ClearPart, ASpeckOnOneHalfIsReadFromTheOther) {
  // 100 rows of a bilateral track's halves: one sound, the halves a tenth of a column
  // apart, one of them grainy.
  std::vector<double> sound(100), grainy(100);
  for (int y = 0; y < 100; ++y) {
    sound[static_cast<size_t>(y)] = 20.0 + 5.0 * std::sin(0.3 * y);
    grainy[static_cast<size_t>(y)] = sound[static_cast<size_t>(y)] + 0.1 + (y % 2 ? 0.05 : -0.05);
  }
  const auto bumped = [](std::vector<double> half, int from, int to, double by) {
    for (int y = from; y <= to; ++y) half[static_cast<size_t>(y)] += by;
    return half;
  };
  struct Case {
    std::string name;
    std::vector<double> before, after;
    bool mended;
  };
  const Case cases[] = {
      {"plain", grainy, sound, false},
      {"a bright speck beyond one half's edge", bumped(grainy, 40, 44, 2.0), sound, true},
      {"a dark speck on the other's", grainy, bumped(sound, 60, 63, -1.5), true},
      // The sound outrunning the rows on a turned track: a row alone.
      {"one row", bumped(grainy, 50, 50, 2.0), sound, false},
      // Longer than a speck: no speck.
      {"a long stretch", bumped(grainy, 20, 45, 2.0), sound, false},
      // Both halves leave the sound alike, either way: no telling which a speck lies on.
      {"both alike", bumped(grainy, 40, 44, 1.0), bumped(sound, 40, 44, -1.0), false},
  };
  for (const Case& c : cases) {
    std::vector<double> before = c.before, after = c.after;
    const int rows = mendHalves(before, after, 10);
    EXPECT_EQ(rows > 0, c.mended) << c.name;
    if (!c.mended) continue;
    for (int y = 0; y < 100; ++y) {
      EXPECT_NEAR(before[static_cast<size_t>(y)], grainy[static_cast<size_t>(y)], 0.15)
          << c.name << ", row " << y;
      EXPECT_NEAR(after[static_cast<size_t>(y)], sound[static_cast<size_t>(y)], 0.15)
          << c.name << ", row " << y;
    }
  }
}

TEST(ClearPart, TheAnchorIsTheColumnClearMostOften) {
  struct Case {
    std::vector<int> clear;
    int anchor;
  } cases[] = {{{0, 0, 3, 9, 10, 10, 10, 9, 2, 0}, 5},
               {{0, 1, 0, 2, 50, 50, 40, 30, 1, 0}, 4},
               {{0, 0, 0}, -1},
               {{}, -1}};
  for (const Case& c : cases) EXPECT_EQ(clearAnchor(c.clear), c.anchor);
}

}  // namespace
}  // namespace kelvora
