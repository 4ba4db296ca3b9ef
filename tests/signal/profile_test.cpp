#include "signal/profile.h"

#include <cmath>
#include <initializer_list>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "signal/image_ops.h"
#include "signal/rounding.h"

namespace kelvora {
namespace {

// A minimum counts only samples lower than their predecessor, a maximum only higher
// ones; with none, the bounds 255 and 0. Element 0 passes the predecessor test,
// ranges are clamped, and NaN never qualifies.
TEST(ExtremaTest, QualifyingSamplesAndBounds) {
  const float nan = std::nanf("");
  const struct {
    Profile p;
    int start, stop;
    float min, max;
  } cases[] = {
      {{5, 3, 3, 1, 4, 4, 2}, 1, 7, 1, 4},
      {{5, 3, 3, 1, 4, 4, 2}, 5, 7, 2, 0},  // the second 4 equals its predecessor
      {Profile(10, 42.0f), 1, 10, 255, 0},
      {Profile(10, 42.0f), 5, 5, 255, 0},
      {Profile(10, 42.0f), 7, 3, 255, 0},
      {{300, 290, 280}, 1, 3, 255, 0},
      {{-3, -2, -1}, 1, 3, 255, 0},
      {{7, 9, 8}, 0, 3, 7, 9},
      {{9, 1, 2}, 0, 3, 1, 9},
      {{1, 5, 2}, 1, 100, 2, 5},
      {{1, 5, 2}, -4, 100, 1, 5},
      {{0, nan, 3, 4}, 1, 4, 255, 4},  // 3 follows NaN: not rising
      {{9, nan, 3}, 1, 3, 255, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(minValue(c.p, c.start, c.stop), c.min) << c.start << ".." << c.stop;
    EXPECT_EQ(maxValue(c.p, c.start, c.stop), c.max) << c.start << ".." << c.stop;
  }
}

TEST(ProfileTest, DerivativeAndReversal) {
  EXPECT_TRUE(derivative(Profile{4}).empty());
  EXPECT_EQ(derivative(Profile{1, 4, 9}), (Profile{3, 5}));
  Profile p = {1, 2, 3, 4};
  EXPECT_EQ(&inv(p), &p);
  EXPECT_EQ(p, (Profile{4, 3, 2, 1}));
  Profile one = {7};
  EXPECT_EQ(inv(one), Profile{7});
}

// The mean of nothing is not a number; the sum is kept in single precision: 2^24 + 1 is
// not a float, so a double sum would see the ones that a float sum loses.
TEST(ProfileTest, MeanKeepsASinglePrecisionRunningSum) {
  EXPECT_TRUE(std::isnan(mean(Profile{}, 0)));
  EXPECT_EQ(mean(Profile{1, 2, 3, 6}, 4), 3.0f);
  EXPECT_EQ(mean(Profile{16777216.0f, 1.0f, 1.0f, 1.0f}, 4), 16777216.0f / 4.0f);
}

TEST(MeanValueTest, AlongWidthAndHeight) {
  const cv::Mat img = (cv::Mat_<std::uint8_t>(2, 2) << 10, 20, 30, 40);
  EXPECT_EQ(meanValue(img, 1, 2, 1, 2, 1, true), (Profile{20, 30}));
  EXPECT_EQ(meanValue(img, 1, 2, 1, 2, 1, false), (Profile{15, 35}));
}

TEST(MeanValueTest, ChannelsAreOneBasedAndGreyIgnoresTheChannel) {
  cv::Mat colour(1, 2, CV_8UC3, cv::Scalar(1, 2, 3));
  EXPECT_EQ(meanValue(colour, 1, 2, 1, 1, 1, true), (Profile{1, 1}));
  EXPECT_EQ(meanValue(colour, 1, 2, 1, 1, 3, true), (Profile{3, 3}));
  const cv::Mat grey(1, 2, CV_8UC1, cv::Scalar(9));
  EXPECT_EQ(meanValue(grey, 1, 2, 1, 1, 3, true), (Profile{9, 9}));
}

// Row means of each channel of grey, colour and four-channel images over bands of
// columns, against integer sums taken pixel by pixel.
TEST(MeanValueTest, RowMeansOfEveryChannelAreExactSums) {
  for (const int type : {CV_8UC1, CV_8UC3, CV_8UC4})
    for (const auto& [x0, x1] : {std::pair{1, 37}, std::pair{5, 36}, std::pair{2, 2}}) {
      cv::Mat img(5, 37, type);
      cv::randu(img, 0, 256);
      const int channels = img.channels();
      for (int k = 1; k <= 3; ++k) {
        const int c = channels == 1 ? 0 : k - 1;
        const Profile p = meanValue(img, x0, x1, 1, img.rows, k, false);
        ASSERT_EQ(p.size(), 5u);
        for (int y = 0; y < img.rows; ++y) {
          std::uint32_t sum = 0;
          for (int x = x0 - 1; x < x1; ++x) sum += img.ptr<std::uint8_t>(y)[x * channels + c];
          EXPECT_EQ(p[y], static_cast<float>(sum) / static_cast<float>(x1 - x0 + 1))
              << "type " << type << ", columns " << x0 << ".." << x1 << ", channel " << k;
        }
      }
    }
}

// Rows wider than the 16-bit partial sums hold: white, where an overflow shows most.
TEST(MeanValueTest, WideWhiteRowsKeepExactSums) {
  for (const int type : {CV_8UC1, CV_8UC3})
    for (const int width : {4111, 4112, 4113, 9000}) {
      const cv::Mat img(2, width, type, cv::Scalar::all(255));
      for (int k = 1; k <= 3; ++k)
        EXPECT_EQ(meanValue(img, 1, width, 1, 2, k, false), Profile(2, 255.0f))
            << "type " << type << ", width " << width << ", channel " << k;
    }
}

TEST(MeanValueTest, BoundsBeyondTheImageAreClamped) {
  const cv::Mat img(3, 4, CV_8UC1, cv::Scalar(5));
  EXPECT_EQ(meanValue(img, 1, 40, 1, 30, 1, true).size(), 4u);
  const Profile emptyBand = meanValue(img, 1, 4, 5, 9, 1, true);
  ASSERT_EQ(emptyBand.size(), 4u);
  EXPECT_TRUE(std::isnan(emptyBand[0]));
}

TEST(RoundingTest, HalvesAwayFromZeroAndSaturation) {
  EXPECT_EQ(roundToInt(2.5), 3);
  EXPECT_EQ(roundToInt(-2.5), -3);
  EXPECT_EQ(roundToInt(0.49999), 0);
  EXPECT_EQ(truncToInt(-1.9), -1);
  EXPECT_EQ(truncToInt(1e30), 2147483647);
  EXPECT_EQ(roundToInt(std::nan("")), 0);
  EXPECT_EQ(cmToPixels(1800, 0.24), 170);
}

// Rows (a b c) and (d e f) as bytes 1..6.
cv::Mat abcdef() { return (cv::Mat_<std::uint8_t>(2, 3) << 1, 2, 3, 4, 5, 6); }

cv::Mat rows(std::initializer_list<std::initializer_list<int>> values) {
  cv::Mat m(static_cast<int>(values.size()), static_cast<int>(values.begin()->size()), CV_8UC1);
  int y = 0;
  for (const auto& row : values) {
    int x = 0;
    for (int v : row) m.at<std::uint8_t>(y, x++) = static_cast<std::uint8_t>(v);
    ++y;
  }
  return m;
}

bool same(const cv::Mat& a, const cv::Mat& b) {
  return a.size() == b.size() && a.type() == b.type() && cv::norm(a, b, cv::NORM_INF) == 0;
}

// Quarter turns are held against the library's below.
TEST(Rot90Test, HalfTurnsNoTurnAndMirror) {
  EXPECT_TRUE(same(rot90(abcdef(), 2), rows({{6, 5, 4}, {3, 2, 1}})));
  EXPECT_TRUE(rot90(abcdef(), 0).empty());
  EXPECT_TRUE(rot90(abcdef(), 4).empty());
  EXPECT_TRUE(same(flipud(abcdef()), rows({{4, 5, 6}, {1, 2, 3}})));
}

TEST(Rot90Test, KeepsChannelsAndLeavesTheInputAlone) {
  cv::Mat colour(2, 3, CV_8UC3, cv::Scalar(1, 2, 3));
  colour.at<cv::Vec3b>(0, 2) = cv::Vec3b(7, 8, 9);
  const cv::Mat before = colour.clone();
  const cv::Mat turned = rot90(colour, 1);
  EXPECT_EQ(turned.type(), CV_8UC3);
  EXPECT_EQ(turned.at<cv::Vec3b>(0, 0), cv::Vec3b(7, 8, 9));
  EXPECT_TRUE(same(colour, before));
}

// Calls `check` with random images of every pixel type in each of `sizes`, whole and
// as a view into a larger image, and a line naming the image.
template <typename Check>
void forEveryImage(std::initializer_list<cv::Size> sizes, Check check) {
  for (const int type : {CV_8UC1, CV_8UC3, CV_16UC1, CV_16UC3, CV_8UC4})
    for (const cv::Size size : sizes)
      for (const bool view : {false, true}) {
        cv::Mat whole(size.height + 3, size.width + 5, type);
        cv::randu(whole, 0, 255);
        const cv::Mat image = view ? whole(cv::Rect(2, 1, size.width, size.height))
                                   : whole(cv::Rect(0, 0, size.width, size.height)).clone();
        std::ostringstream what;
        what << "type " << type << ", " << size << (view ? " view" : "");
        check(image, what.str());
      }
}

// Every turn of every pixel size against the library's own, on sizes that leave part
// bands and part stripes, and on a view into a larger image.
TEST(Rot90Test, TurnsAsTheLibraryDoes) {
  forEveryImage({{1, 1}, {300, 17}, {17, 300}, {259, 130}},
                [](const cv::Mat& image, const std::string& what) {
                  for (const auto& [s, code] : {std::pair{1, cv::ROTATE_90_COUNTERCLOCKWISE},
                                                std::pair{3, cv::ROTATE_90_CLOCKWISE}}) {
                    cv::Mat expected;
                    cv::rotate(image, expected, code);
                    EXPECT_TRUE(same(rot90(image, s), expected)) << what << ", turn " << s;
                  }
                });
}

// The turn with its mirrors folded in against the three steps done one by one, on
// every pixel size, on sizes that leave part stripes, and on a view.
TEST(TurnQuarterTest, EqualsMirrorTurnMirror) {
  forEveryImage({{1, 1}, {2, 3}, {300, 17}, {17, 300}, {259, 130}},
                [](const cv::Mat& image, const std::string& what) {
                  for (const bool before : {false, true})
                    for (const bool after : {false, true}) {
                      cv::Mat expected = before ? flipud(image) : image.clone();
                      cv::rotate(expected, expected, cv::ROTATE_90_COUNTERCLOCKWISE);
                      if (after) cv::flip(expected, expected, 0);
                      EXPECT_TRUE(same(turnQuarter(image, before, after), expected))
                          << what << ", mirrors " << before << after;
                    }
                });
  EXPECT_TRUE(turnQuarter(cv::Mat(), true, false).empty());
}

}  // namespace
}  // namespace kelvora
