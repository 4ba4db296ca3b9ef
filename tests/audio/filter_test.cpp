#include "audio/filter.h"

#include <cmath>

#include <gtest/gtest.h>

namespace kelvora {
namespace {

TEST(FilterTest, AnImpulseGivesTheTaps) {
  std::vector<float> v = {1.0f};
  filter(v);
  ASSERT_EQ(v.size(), 20u);
  EXPECT_EQ(v[0], -0.005907215f);
  EXPECT_EQ(v[10], 0.5125807f);
  EXPECT_EQ(v[19], -0.0041155703f);
  // Taps 1..19 mirror about tap 10; tap 0 has no partner.
  for (int i = 1; i < 10; ++i) EXPECT_EQ(v[10 - i], v[10 + i]) << i;
}

TEST(FilterTest, SilencePassesUnchangedAwayFromTheEnds) {
  std::vector<float> v(200, -128.0f);
  filter(v);
  ASSERT_EQ(v.size(), 219u);
  for (int i = 19; i < 200; ++i) EXPECT_NEAR(v[i], -128.0f, 1e-4f) << i;
  EXPECT_NEAR(v[0], -128.0f * -0.005907215f, 1e-6f);
}

TEST(FilterTest, GrowsByNineteenEveryCall) {
  std::vector<float> v = {1, 2, 3};
  filter(v);
  EXPECT_EQ(v.size(), 22u);
  filter(v);
  EXPECT_EQ(v.size(), 41u);
  std::vector<float> empty;
  filter(empty);
  EXPECT_TRUE(empty.empty());
}

TEST(FilterTest, HighFrequenciesAreDampedLowOnesKept) {
  std::vector<float> nyquist(400), slow(400);
  for (int i = 0; i < 400; ++i) {
    nyquist[i] = i % 2 ? 1.0f : -1.0f;
    slow[i] = std::sin(2 * 3.14159265 * 0.01 * i);
  }
  filter(nyquist);
  filter(slow);
  float peakFast = 0, peakSlow = 0;
  for (int i = 100; i < 300; ++i) {
    peakFast = std::max(peakFast, std::abs(nyquist[i]));
    peakSlow = std::max(peakSlow, std::abs(slow[i]));
  }
  EXPECT_NEAR(peakFast, 0.158f, 0.01f);  // -16 dB at half the sample rate
  EXPECT_NEAR(peakSlow, 1.0f, 0.02f);
}

}  // namespace
}  // namespace kelvora
