#include "audio/img2sou.h"

#include <gtest/gtest.h>

namespace kelvora {
namespace {

TEST(Img2souTest, OneSamplePerRowTopRowFirst) {
  cv::Mat img(6, 3, CV_8UC1);
  for (int y = 0; y < 6; ++y) img.row(y).setTo(y % 2 ? 140 : 100);
  img.at<std::uint8_t>(0, 0) = 103;  // the top row's mean becomes 101
  const cv::Mat before = img.clone();
  const Profile plain = img2sou(img, false);
  ASSERT_EQ(plain.size(), 6u);
  EXPECT_EQ(plain[0], 101.0f);
  EXPECT_EQ(plain[1], 140.0f);
  EXPECT_EQ(cv::norm(img, before, cv::NORM_INF), 0);
}

TEST(Img2souTest, RemovingDcCentresOnMinus128) {
  cv::Mat img(4, 2, CV_8UC1);
  for (int y = 0; y < 4; ++y) img.row(y).setTo(y % 2 ? 140 : 100);
  EXPECT_EQ(img2sou(img, true), (Profile{-148, -108, -148, -108}));
  // Without -DC the offset stays.
  EXPECT_EQ(img2sou(img, false), (Profile{100, 140, 100, 140}));
}

}  // namespace
}  // namespace kelvora
