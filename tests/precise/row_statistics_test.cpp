// The statistics the precise reader takes of rows and columns of levels, each against a
// plain sort of the same levels: the quick ways they are taken must give the same values
// bit for bit, whole 8-bit levels or not, narrow rows or wide, specks or none.
#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include "precise/between_rows.h"
#include "precise/density_rows.h"
#include "precise/film_splices.h"
#include "precise/reel_track.h"
#include "precise/row_light.h"
#include "precise/scan_joins.h"
#include "precise/track_strip.h"

namespace kelvora {
namespace {

// Levels about `level` spread by `grain`, rounded to whole levels where `whole`, a
// speck of `speck` on every third row where it is not 0.
cv::Mat grainy(int rows, int cols, float level, float grain, bool whole, float speck,
               unsigned seed) {
  std::mt19937 rng(seed);
  std::normal_distribution<float> noise(level, grain);
  cv::Mat m(rows, cols, CV_32F);
  for (int y = 0; y < rows; ++y)
    for (int x = 0; x < cols; ++x) {
      const float v = noise(rng);
      m.at<float>(y, x) = whole ? std::clamp(std::round(v), 0.0f, 255.0f) : v;
    }
  if (speck != 0.0f)
    for (int y = 0; y < rows; y += 3) m.at<float>(y, (y * 7) % cols) = speck;
  return m;
}

struct Levels {
  std::string name;
  cv::Mat levels;
};

std::vector<Levels> levelCases() {
  cv::Mat zeros(40, 6, CV_32F, cv::Scalar(0.0f));
  for (int y = 0; y < zeros.rows; y += 2) zeros.at<float>(y, y % 6) = -0.0f;
  cv::Mat mended = grainy(300, 9, 200, 20, true, 0, 3);
  for (int y = 0; y < mended.rows; ++y) mended.at<float>(y, 4) += 0.5f;  // a mended column
  // Rows whose farthest level lies just within the reach of their median, and just past.
  const cv::Mat edges = (cv::Mat_<float>(4, 6) << 100, 100, 100, 100, 100, 117,  //
                         100, 100, 100, 100, 100, 115,                           //
                         10, 10, 10, 10, 18, 10,                                 //
                         10, 10, 10, 10, 18.5f, 10);
  return {
      {"at the reach's edge", edges},
      {"whole 8-bit levels", grainy(500, 12, 128, 60, true, 0, 1)},
      {"whole levels, a dark speck", grainy(333, 7, 230, 3, true, 2, 2)},
      {"a mended column among whole ones", mended},
      {"fractional levels", grainy(257, 10, 90, 30, false, 0, 4)},
      {"negative and positive levels", grainy(200, 5, 0, 50, false, 0, 5)},
      {"beyond 255", grainy(100, 4, 300, 5, true, 0, 6)},
      {"signed zeros", zeros},
      {"one row", grainy(1, 5, 100, 10, false, 0, 7)},
      {"narrow grain, within the reach", grainy(60, 31, 120, 1, false, 0, 8)},
      {"wide grain, specks", grainy(60, 31, 120, 6, false, 10, 9)},
      {"wider than a few", grainy(40, 150, 120, 6, false, 250, 10)},
      {"dark film", grainy(60, 16, 4, 3, false, 0, 11)},
  };
}

// The level of a row as a sort gives it: the mean of its levels within the reach of its
// median.
double sortedRowLevel(const float* in, int n) {
  std::vector<float> sorted(in, in + n);
  std::sort(sorted.begin(), sorted.end());
  const float median = sorted[static_cast<size_t>(n / 2)];
  const float reach = std::max(8.0f, 0.15f * median);
  double sum = 0.0;
  int count = 0;
  for (int x = 0; x < n; ++x)
    if (!(std::abs(in[x] - median) > reach)) sum += in[x], ++count;
  return count > 0 ? sum / count : median;
}

TEST(RowStatistics, ColumnSharesAreThoseOfASort) {
  for (const Levels& c : levelCases()) {
    const cv::Mat shares = columnShares(c.levels);
    ASSERT_EQ(shares.cols, c.levels.cols) << c.name;
    for (int x = 0; x < c.levels.cols; ++x) {
      std::vector<float> column;
      for (int y = 0; y < c.levels.rows; ++y) column.push_back(c.levels.at<float>(y, x));
      std::sort(column.begin(), column.end());
      for (int k = 0; k < shares.rows; ++k) {
        const double share = 0.005 + 0.99 * k / (shares.rows - 1);
        const float want = column[static_cast<size_t>(std::lround(share * (c.levels.rows - 1)))];
        EXPECT_EQ(shares.at<float>(k, x), want) << c.name << ", column " << x << ", share " << k;
      }
    }
  }
}

TEST(RowStatistics, RowLevelsAreThoseOfASort) {
  for (const Levels& c : levelCases()) {
    const std::vector<double> levels = rowLevels(c.levels);
    for (int y = 0; y < c.levels.rows; ++y) {
      const float* row = c.levels.ptr<float>(y);
      EXPECT_EQ(levels[static_cast<size_t>(y)], sortedRowLevel(row, c.levels.cols))
          << c.name << ", row " << y;
      std::vector<float> sorted(row, row + c.levels.cols);
      std::sort(sorted.begin(), sorted.end());
      EXPECT_EQ(middleOfFew(row, c.levels.cols), sorted[sorted.size() / 2])
          << c.name << ", row " << y;
    }
  }
}

TEST(RowStatistics, CountsBesideAMiddleAreThoseOfEachSide) {
  // More levels than are all counted, so that rows are passed over alike.
  cv::Mat levels = grainy(300, 200, 120, 40, false, 0, 12);
  for (int y = 0; y < levels.rows; y += 2)  // every other row whole levels
    for (int x = 0; x < levels.cols; ++x)
      levels.at<float>(y, x) = std::round(levels.at<float>(y, x));
  const LevelCounts all = levelCounts(levels, [](float) { return true; });
  for (const float middle : {120.0f, 120.25f, 120.1f, 120.125f, 131.0f, -3.0f, 0.1f, 300.0f}) {
    const CountsBeside beside = countsBeside(levels, all, middle);
    const LevelCounts below = levelCounts(levels, [&](float v) { return v < middle; });
    const LevelCounts above = levelCounts(levels, [&](float v) { return v > middle; });
    EXPECT_EQ(beside.below.count, below.count) << middle;
    EXPECT_EQ(beside.below.total, below.total) << middle;
    EXPECT_EQ(beside.above.count, above.count) << middle;
    EXPECT_EQ(beside.above.total, above.total) << middle;
  }
}

TEST(RowStatistics, MiddleValuesAreThoseOfASort) {
  // Whole 8-bit levels, and lists with one level that is not: a fraction, past either
  // end of the byte's range, a negative zero among whole zeros.
  const auto levels = [](int n, float level, float grain, unsigned seed) {
    const cv::Mat m = grainy(1, n, level, grain, true, 0, seed);
    return std::vector<float>(m.begin<float>(), m.end<float>());
  };
  const auto fractional = [](int n, float level, float grain, unsigned seed) {
    const cv::Mat m = grainy(1, n, level, grain, false, 0, seed);
    std::vector<float> v(m.begin<float>(), m.end<float>());
    for (float& x : v) x = std::clamp(x, 0.0f, 255.99f);
    return v;
  };
  struct Case {
    std::string name;
    std::vector<float> values;
  };
  std::vector<Case> cases = {
      {"one", {17}},
      {"two", {200, 3}},
      {"bright film", levels(101, 230, 8, 1)},
      {"dark film, an even count", levels(64, 6, 5, 2)},
      {"both ends of the range", {0, 255, 255, 0, 255}},
      {"zeros", {0, 0, 0, 0}},
      {"a fraction in the middle", {10, 120.5f, 200}},
      {"fractions just past a whole level",
       {100.001f, 100.002f, 100.003f, 99.5f, 100.9f, 100.0039f, 100.5f}},
      {"fractions just short of one", {100.999f, 100.998f, 101.5f, 100.9975f, 100.2f}},
      {"fractional levels, many to a whole level", fractional(301, 128, 3, 5)},
      {"fractional levels, wide", fractional(64, 128, 60, 6)},
      {"fractional levels by 255", fractional(31, 255.5f, 0.3f, 7)},
      {"negative zeros", {-0.0f, -0.0f, -0.0f}},
      {"negative zeros in the middle", {-0.0f, 3, -0.0f, -0.0f, 3, -0.0f, 3, -0.0f, 3}},
      {"a negative zero in the middle", {-0.0f, 7, -1}},
  };
  const std::vector<std::pair<std::string, float>> odd = {
      {"a fraction", 120.5f}, {"past 255", 256.0f}, {"below 0", -1.0f}, {"a negative zero", -0.0f}};
  for (const auto& [name, v] : odd) {
    // Where it comes among the first levels, or last, after every whole four of them.
    for (const unsigned seed : {3u, 4u, 5u}) {
      std::vector<float> values = v == -0.0f ? std::vector<float>(9, 0.0f) : levels(33, v, 2, seed);
      values[seed == 5u ? values.size() - 1 : seed] = v;
      cases.push_back({name + " among whole levels, at " + std::to_string(seed), values});
    }
  }
  for (Case& c : cases) {
    std::vector<float> sorted = c.values;
    std::sort(sorted.begin(), sorted.end());
    const float want = sorted[sorted.size() / 2];
    // Put in order, equal levels keep the order they came in: a zero of either sign.
    std::vector<float> kept = c.values;
    std::nth_element(kept.begin(), kept.begin() + static_cast<long>(kept.size() / 2), kept.end());
    const double got = middleValue(c.values);
    EXPECT_EQ(got, want) << c.name;
    EXPECT_EQ(std::signbit(got), std::signbit(kept[kept.size() / 2])) << c.name;
  }
  std::vector<float> none;
  EXPECT_EQ(middleValue(none), 0.0);
}

TEST(RowStatistics, NearestWholeNumbersAreThoseOfTheLibrary) {
  // Halves, and the doubles either side of them, where a rounding that adds a half first
  // goes wrong; small parts of a row and large numbers of rows.
  std::vector<double> cases = {0.0,
                               0.25,
                               0.5,
                               1.5,
                               2.5,
                               1023.5,
                               1024.0,
                               0.49999999999999994,
                               4503599627370495.5,
                               9007199254740991.0,
                               1e15 + 0.5};
  for (const double half : {0.5, 1.5, 511.5, 1023.5})
    for (const double toward : {0.0, 2048.0}) cases.push_back(std::nextafter(half, toward));
  for (int k = 0; k <= 4096; ++k) cases.push_back(k / 4096.0 * 1024.0);
  for (const double x : cases) EXPECT_EQ(nearestWhole(x), std::lround(x)) << x;
}

TEST(RowStatistics, WholeNumbersBelowAreThoseOfTheLibrary) {
  const double cases[] = {0.0,
                          -0.0,
                          0.5,
                          -0.5,
                          1.0,
                          -1.0,
                          2.75,
                          -2.75,
                          1e15,
                          -1e15,
                          4503599627370497.0,
                          -4503599627370497.0,
                          std::nextafter(-3.0, 0.0),
                          std::nextafter(-3.0, -4.0),
                          std::nextafter(3.0, 0.0)};
  for (const double x : cases) EXPECT_EQ(wholeBelow(x), static_cast<long>(std::floor(x))) << x;
}

// Values read between rows by the kept weights, one place at a time and four, against
// the weights worked out for the place's nearest part of a row and its rows, the ends
// standing for those beyond.
TEST(RowStatistics, RowsReadBetweenAreThoseOfTheirWeights) {
  constexpr int kReach = 8, kParts = 1024;
  const RowsBetween between(kReach, kParts);
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> level(-40.0, 40.0);
  std::vector<double> values(100);
  for (double& v : values) v = level(rng);
  const auto direct = [&](double place) {
    const long whole = static_cast<long>(std::floor(place));
    const long part = std::lround((place - static_cast<double>(whole)) * kParts);
    const std::vector<double> w = lanczosWeights(static_cast<double>(part) / kParts, kReach);
    double v = 0.0;
    for (int k = 0; k < 2 * kReach; ++k)
      v += w[static_cast<size_t>(k)] *
           values[static_cast<size_t>(std::clamp(whole + k - kReach + 1, 0L, 99L))];
    return v;
  };
  struct Case {
    std::string name;
    std::vector<double> places;
  };
  std::vector<Case> cases = {
      {"whole rows", {10.0, 11.0, 50.0, 90.0}},
      {"parts of rows", {20.25, 20.5, 20.75, 33.125, 60.999}},
      {"halfway between two parts",
       {40.0 + 0.5 / kParts, 40.0 + 1.5 / kParts, 41.0 - 0.5 / kParts}},
      {"near the first rows", {0.0, 0.5, 3.3, 6.9, 7.0, 7.5}},
      {"near the last rows", {91.0, 91.5, 92.0, 92.7, 98.2, 99.0}},
      {"before the first row and past the last", {-3.5, -20.0, 100.5, 130.0}},
  };
  std::vector<double> mixed;  // ends and middles in the same fours
  std::uniform_real_distribution<double> anywhere(-5.0, 105.0);
  for (int i = 0; i < 103; ++i) mixed.push_back(anywhere(rng));
  cases.push_back({"anywhere, many", mixed});
  for (const Case& c : cases) {
    std::vector<double> out;
    between.at(values, c.places, out);
    ASSERT_EQ(out.size(), c.places.size()) << c.name;
    for (size_t i = 0; i < c.places.size(); ++i) {
      EXPECT_EQ(between.at(values, c.places[i]), direct(c.places[i])) << c.name << " " << i;
      EXPECT_EQ(out[i], direct(c.places[i])) << c.name << " " << i;
    }
  }
}

// A profile of a track's edges moved sideways by whole columns is found that far off its
// reference, whichever of the shifts tried it is: the first, the last, or any between.
TEST(RowStatistics, ProfilesMovedSidewaysAreFoundWhereTheyLie) {
  std::vector<float> reference(120, 20.0f);
  for (int x = 40; x < 80; ++x) reference[static_cast<size_t>(x)] = 200.0f;
  for (int x = 52; x < 58; ++x) reference[static_cast<size_t>(x)] = 120.0f;  // a scratch
  for (const int around : {0, 1})
    for (const int reach : {3, 5, 6, 9})
      for (int shift = around - reach; shift <= around + reach; ++shift) {
        std::vector<float> moved(reference.size());
        for (int x = 0; x < static_cast<int>(moved.size()); ++x)
          moved[static_cast<size_t>(x)] =
              reference[static_cast<size_t>(std::clamp(x - shift, 0, 119))];
        EXPECT_NEAR(lateralOffset(reference, moved, reach, around), shift, 0.25)
            << "reach " << reach << " about " << around << ", shift " << shift;
      }
}

// Two advances' correlations taken together are each the one taken alone, bit for bit,
// whichever of the two scans' lengths or the longest overlap asked for ends the overlap,
// and where one or both overlaps are too short or lie before the scan.
TEST(RowStatistics, OverlapsCorrelatedTogetherAreThoseCorrelatedAlone) {
  std::mt19937 rng(5);
  std::normal_distribution<float> sound(0.5f, 0.1f);
  const auto samples = [&](int n) {
    std::vector<float> v(static_cast<size_t>(n));
    for (float& x : v) x = sound(rng);
    return v;
  };
  const std::vector<float> previous = samples(300);
  struct Case {
    std::string name;
    std::vector<float> present;
    int advance;
    long longest;
  };
  const std::vector<float> flat(200, 0.5f);
  const Case cases[] = {
      {"the previous scan ends the overlaps", samples(400), 120, 1L << 30},
      {"the present scan ends both", samples(100), 120, 1L << 30},
      {"the present scan ends one", samples(180), 120, 1L << 30},
      {"the longest asked for ends both", samples(400), 40, 64},
      {"one overlap just long enough, the other too short", samples(400), 284, 1L << 30},
      {"both just too short", samples(400), 285, 1L << 30},
      {"both too short", samples(400), 295, 1L << 30},
      {"before the previous scan", samples(400), -1, 1L << 30},
      {"from its first row", samples(250), 0, 1L << 30},
      {"a flat present scan", flat, 30, 1L << 30},
  };
  const auto same = [](double a, double b) { return (std::isnan(a) && std::isnan(b)) || a == b; };
  for (const Case& c : cases) {
    const auto [first, second] = overlapCorrelations(previous, c.present, c.advance, c.longest);
    const double alone = overlapCorrelation(previous, c.present, c.advance, c.longest);
    const double next = overlapCorrelation(previous, c.present, c.advance + 1, c.longest);
    EXPECT_TRUE(same(first, alone)) << c.name << ": " << first << " against " << alone;
    EXPECT_TRUE(same(second, next)) << c.name << ": " << second << " against " << next;
  }
}

// A row's light as a sort gives it: of every `step`-th of its first `cols` levels (no
// more than 160 taken), the one a thirtieth or so of them lie above, three rows together.
std::vector<double> sortedRowLight(const cv::Mat& levels, int columns) {
  const int cols = std::min(columns, levels.cols);
  const int step = std::max(1, cols / 160);
  const int taken = (cols + step - 1) / step;
  const int above = taken - 1 - static_cast<int>(0.97 * (taken - 1));
  std::vector<double> bright;
  for (int y = 0; y < levels.rows; ++y) {
    std::vector<float> row;
    for (int i = 0; i < taken; ++i) row.push_back(levels.at<float>(y, i * step));
    std::sort(row.begin(), row.end(), std::greater<float>());
    bright.push_back(row[static_cast<size_t>(above)]);
  }
  std::vector<double> together;
  for (int y = 0; y < levels.rows; ++y) {
    const int a = std::max(0, y - 1), b = std::min(levels.rows - 1, y + 1);
    double sum = 0.0;
    for (int i = a; i <= b; ++i) sum += bright[static_cast<size_t>(i)];
    together.push_back(sum / (b - a + 1));
  }
  return together;
}

TEST(RowStatistics, RowLightIsThatOfASort) {
  // Columns taken one by one and a few apart; 16-bit levels spread over many high bytes,
  // and held within one or two (the brightest few sharing a high byte with others or
  // not); black rows, white ones, dark ones with a lone bright pixel, a lone white one.
  struct Case {
    int depth;
    float level, grain;
  };
  for (const int cols : {1, 2, 3, 7, 160, 161, 333, 1000})
    for (const Case c : {Case{CV_8U, 120, 70}, Case{CV_16U, 30000, 15000}, Case{CV_16U, 51200, 90},
                         Case{CV_16U, 256, 40}, Case{CV_16U, 65400, 300}}) {
      const unsigned seed = static_cast<unsigned>(cols) + static_cast<unsigned>(c.level);
      const double white = c.depth == CV_8U ? 255 : 65535;
      cv::Mat words;
      grainy(90, cols, c.level, c.grain, c.depth == CV_8U, static_cast<float>(white), seed)
          .convertTo(words, c.depth);
      words.rowRange(10, 20).setTo(0);
      words.rowRange(20, 24).setTo(white);
      words.rowRange(24, 30).setTo(3);
      words.row(27).col(cols / 2).setTo(0.98 * white);
      words.row(40).col(cols / 2).setTo(white);
      cv::Mat levels;
      words.convertTo(levels, CV_32F);
      const std::string name = std::to_string(cols) + " columns about " + std::to_string(c.level);
      EXPECT_EQ(rowLight(words, cols), sortedRowLight(levels, cols)) << name;
      EXPECT_EQ(rowLight(levels, cols), sortedRowLight(levels, cols)) << name;
    }
}

// Film-like rows too: a ramp across with noise, brighter or darker by steps; every
// column or every few, more asked for than the strip has, ties and every depth.
TEST(RowStatistics, RowLightOfFilmIsThatOfASort) {
  struct Case {
    int depth, cols, columns;
    bool alike;  // rows that differ by noise only, or by a step now and then
  };
  const Case cases[] = {
      {CV_8U, 1, 1, false},      {CV_8U, 7, 7, false},      {CV_8U, 160, 160, false},
      {CV_8U, 1000, 700, false}, {CV_16U, 333, 333, false}, {CV_16U, 4000, 4000, false},
      {CV_32F, 161, 161, false}, {CV_16U, 50, 200, false},  {CV_16U, 1650, 1650, true},
      {CV_8U, 300, 300, true},   {CV_32F, 170, 170, true}};
  cv::RNG rng(7);
  for (const Case& c : cases) {
    cv::Mat strip(40, c.cols, c.depth);
    rng.fill(strip, cv::RNG::UNIFORM, 0, c.depth == CV_8U ? 8 : 60000);  // many ties at 8 bits
    const double top = c.depth == CV_8U ? 250 : 60000;
    for (int y = 0; y < strip.rows && c.alike; ++y) {
      const double gain = y % 13 == 5 ? 0.6 : y % 17 == 3 ? 1.0 : 0.9;
      for (int x = 0; x < c.cols; ++x) {
        const double v = gain * top * x / c.cols + rng.uniform(0.0, 0.02 * top);
        if (c.depth == CV_8U) strip.at<uchar>(y, x) = cv::saturate_cast<uchar>(v);
        if (c.depth == CV_16U) strip.at<ushort>(y, x) = cv::saturate_cast<ushort>(v);
        if (c.depth == CV_32F) strip.at<float>(y, x) = static_cast<float>(v);
      }
    }
    cv::Mat levels;
    strip.convertTo(levels, CV_32F);
    EXPECT_EQ(rowLight(strip, c.columns), sortedRowLight(levels, c.columns))
        << c.cols << " columns of depth " << c.depth << (c.alike ? ", film-like" : "");
  }
}

TEST(RowStatistics, RunningMediansAreThoseOfEachStretch) {
  struct Case {
    int rows, reach, stride;
    bool whole;  // many levels alike
  };
  for (const Case c : {Case{500, 92, 23, false}, Case{500, 92, 23, true}, Case{300, 10, 1, true},
                       Case{40, 100, 5, false}, Case{1001, 50, 7, true}, Case{64, 3, 4, false}}) {
    const cv::Mat m = grainy(1, c.rows, 200, 30, c.whole, 0, static_cast<unsigned>(c.rows));
    std::vector<double> levels(m.begin<float>(), m.end<float>());
    std::fill(levels.begin() + c.rows / 3, levels.begin() + c.rows / 2, 90.0);  // a band
    const std::vector<double> around = runningMedians(levels, c.reach, c.stride);
    ASSERT_EQ(around.size(), levels.size());
    for (int y = 0; y < c.rows; ++y) {
      const int at = y - y % c.stride;
      std::vector<double> stretch(levels.begin() + std::max(0, at - c.reach),
                                  levels.begin() + std::min(c.rows, at + c.reach + 1));
      std::sort(stretch.begin(), stretch.end());
      EXPECT_EQ(around[static_cast<size_t>(y)], stretch[stretch.size() / 2])
          << c.rows << " rows, reach " << c.reach << ", stride " << c.stride << ", row " << y;
    }
  }
}

}  // namespace
}  // namespace kelvora
