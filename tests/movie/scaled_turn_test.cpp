#include "movie/scaled_turn.h"

#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include "signal/image_ops.h"

namespace kelvora {
namespace {

// Noise makes every rounding of the scaling count: any step taken differently from
// the image library's changes some byte.
cv::Mat noise(int rows, int cols, int type, int seed) {
  cv::Mat img(rows, cols, type);
  cv::RNG rng(seed);
  rng.fill(img, cv::RNG::UNIFORM, 0, 256);
  return img;
}

struct ScaledTurnCase {
  const char* name;
  int rows;  // of the part as it lies in the scan
  int cols;
  int type;
  cv::Size size;
};

class ScaledTurnTest : public ::testing::TestWithParam<ScaledTurnCase> {};

TEST_P(ScaledTurnTest, SameBytesAsTurningThenScaling) {
  const ScaledTurnCase& c = GetParam();
  const cv::Mat part = noise(c.rows, c.cols, c.type, c.rows * 7 + c.cols);
  for (const bool mirrorBefore : {false, true})
    for (const bool mirrorAfter : {false, true}) {
      cv::Mat expected;
      cv::resize(turnQuarter(part, mirrorBefore, mirrorAfter), expected, c.size, 0, 0,
                 cv::INTER_CUBIC);
      const cv::Mat got = scaledTurn(part, mirrorBefore, mirrorAfter, c.size);
      ASSERT_EQ(got.size(), c.size);
      ASSERT_EQ(got.type(), c.type);
      EXPECT_EQ(cv::norm(got, expected, cv::NORM_INF), 0.0)
          << "mirrored before " << mirrorBefore << ", after " << mirrorAfter << ": "
          << cv::countNonZero(cv::Mat(cv::abs(got - expected)).reshape(1)) << " bytes differ";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, ScaledTurnTest,
    ::testing::Values(
        // 35 mm frames at 1800 and 900 dpi, colour and grey, into the classic movie.
        ScaledTurnCase{"colour_1800", 1562, 1139, CV_8UC3, {640, 480}},
        ScaledTurnCase{"grey_1800", 1562, 1139, CV_8UC1, {640, 480}},
        ScaledTurnCase{"colour_900", 781, 570, CV_8UC3, {640, 480}},
        // A 16 mm frame into the small movie; a picture narrower than the movie.
        ScaledTurnCase{"sixteen", 700, 520, CV_8UC3, {320, 240}},
        ScaledTurnCase{"enlarged", 150, 97, CV_8UC3, {320, 240}},
        ScaledTurnCase{"tiny", 3, 2, CV_8UC1, {32, 16}},
        // Rows of a length the scaler leaves to the image library.
        ScaledTurnCase{"odd_width", 300, 200, CV_8UC3, {101, 77}},
        ScaledTurnCase{"four_channels", 300, 200, CV_8UC4, {64, 48}},
        ScaledTurnCase{"sixteen_bit", 300, 200, CV_16UC3, {64, 48}}),
    [](const ::testing::TestParamInfo<ScaledTurnCase>& info) { return info.param.name; });

TEST(ScaledTurn, EmptyGivesEmpty) {
  EXPECT_TRUE(scaledTurn(cv::Mat(), false, false, {640, 480}).empty());
  EXPECT_TRUE(scaledTurn(cv::Mat(4, 4, CV_8UC1), false, false, {0, 0}).empty());
}

}  // namespace
}  // namespace kelvora
