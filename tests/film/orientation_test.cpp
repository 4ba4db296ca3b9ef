#include "film/orientation.h"

#include <gtest/gtest.h>

#include "signal/image_ops.h"

namespace kelvora {
namespace {

// A raw scan, 20 rows high, whose column brightness follows `column(x)`.
template <typename F>
cv::Mat scanWithColumns(int width, F column) {
  cv::Mat img(20, width, CV_8UC1);
  for (int x = 0; x < width; ++x) img.col(x).setTo(column(x));
  return img;
}

bool same(const cv::Mat& a, const cv::Mat& b) {
  return a.size() == b.size() && a.type() == b.type() && cv::norm(a, b, cv::NORM_INF) == 0;
}

TEST(FrameCorrectionTest, UniformScanIsCopied) {
  const cv::Mat scan(30, 400, CV_8UC3, cv::Scalar(120, 120, 120));
  const cv::Mat out = frameCorrection(scan, 1, 0);
  EXPECT_TRUE(same(out, scan));
  EXPECT_NE(out.data, scan.data);
}

// A dark frame line at the start trims to the brightest column after it, one at the
// end before its steepest darkening; a darker place further in keeps the start; 16 mm
// strips are trimmed at fixed places.
TEST(FrameCorrectionTest, ScansAreTrimmedToTheirFrames) {
  const struct {
    const char* name;
    int (*column)(int x);
    int filmType, longStrip;
    int first, end;  // the columns kept
  } cases[] = {
      {"a line at the start", [](int x) { return x >= 10 && x <= 29 ? 10
                                                 : x == 45          ? 200
                                                                    : 100; },
       1, 0, 45, 1000},
      {"a darker place later",
       [](int x) { return x >= 10 && x <= 29     ? 50
                          : x >= 300 && x <= 320 ? 10
                                                 : 100; }, 2, 0, 0,
       1000},
      {"a line at the end", [](int x) { return x >= 960 && x <= 990 ? 10 : 100; }, 1, 0, 0, 960},
      {"a 16 mm strip", [](int x) { return x == 7 ? 220 : 100; }, 3, 1, 7, 981},
  };
  for (const auto& c : cases) {
    const cv::Mat scan = scanWithColumns(1000, c.column);
    EXPECT_TRUE(same(frameCorrection(scan, c.filmType, c.longStrip), scan.colRange(c.first, c.end)))
        << c.name;
  }
}

TEST(FrameCorrectionTest, TinyScansComeBackWhole) {
  for (const cv::Size size : {cv::Size(1, 1), cv::Size(5, 3), cv::Size(1, 50), cv::Size(3, 4)}) {
    const cv::Mat scan(size, CV_8UC1, cv::Scalar(7));
    const cv::Mat out = frameCorrection(scan, 1, 0);
    EXPECT_GE(out.cols, 1);
    EXPECT_EQ(out.rows, size.height);
  }
}

TEST(RotCorTest, TurnsMirrorsForDownAndForInverse) {
  cv::Mat scan(30, 50, CV_8UC3);
  cv::randu(scan, 0, 255);
  EXPECT_TRUE(same(RotCor(scan, 0, true, false, 1, 0), rot90(scan, 1)));
  EXPECT_TRUE(same(RotCor(scan, 0, false, false, 1, 0), rot90(flipud(scan), 1)));
  EXPECT_TRUE(same(RotCor(scan, 1, true, false, 1, 0), flipud(rot90(scan, 1))));
  EXPECT_TRUE(same(RotCor(scan, 1, false, false, 1, 0), flipud(rot90(flipud(scan), 1))));
}

// A scan whose ends show dark frame lines and whose columns differ by a little noise,
// so that the trim lands on a column that depends on exactly which rows are summed.
cv::Mat noisyScanWithFrameLines(cv::Size size, int type, int seed) {
  cv::Mat scan(size, type);
  cv::RNG rng(seed);
  rng.fill(scan, cv::RNG::UNIFORM, 90, 130);
  const int w = size.width;
  scan.colRange(w / 100 + 1, w / 100 + 1 + w / 40).setTo(cv::Scalar::all(10));
  scan.colRange(w - w / 30 - 2, w - w / 100 - 1).setTo(cv::Scalar::all(12));
  return scan;
}

// The orientation chain in one pass against the straightforward one (mirror, trim
// a copy, turn, mirror) for every direction, inverse, trim, film and strip, on grey
// and colour scans of odd sizes, trimmed and untrimmed.
TEST(RotCorTest, OnePassEqualsTheStepByStepChain) {
  const cv::Size sizes[] = {{400, 30}, {1001, 77}, {257, 130}, {3, 2}, {60, 5}};
  for (const int type : {CV_8UC1, CV_8UC3})
    for (const cv::Size size : sizes)
      for (int seed = 1; seed <= 3; ++seed) {
        const cv::Mat scan = noisyScanWithFrameLines(size, type, seed);
        for (const bool direction : {true, false})
          for (const int inverse : {0, 1})
            for (const bool correction : {false, true})
              for (const auto& [filmType, longstrip] :
                   {std::pair{1, 0}, std::pair{2, 0}, std::pair{3, 0}, std::pair{3, 1}}) {
                cv::Mat expected = direction ? scan : flipud(scan);
                if (correction) expected = frameCorrection(expected, filmType, longstrip);
                expected = rot90(expected, 1);
                if (inverse != 0) expected = flipud(expected);
                EXPECT_TRUE(same(RotCor(scan, inverse, direction, correction, filmType, longstrip),
                                 expected))
                    << "type " << type << ", " << size << ", seed " << seed << ", up " << direction
                    << ", inverse " << inverse << ", trim " << correction << ", film " << filmType
                    << "/" << longstrip;
              }
      }
  EXPECT_TRUE(RotCor(cv::Mat(), 1, false, true, 1, 0).empty());
}

}  // namespace
}  // namespace kelvora
