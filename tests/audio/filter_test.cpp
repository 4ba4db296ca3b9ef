#include "audio/filter.h"

#include <cmath>
#include <random>

#include <gtest/gtest.h>

namespace kelvora {
namespace {

constexpr float kTaps[20] = {
    -0.005907215f, -0.0041155703f, -0.0053385515f, -0.0024806075f, -0.0030763154f,
    0.0026289732f, 0.004110867f,   0.021603292f,   0.0405896f,     0.19274159f,
    0.5125807f,    0.19274159f,    0.0405896f,     0.021603292f,   0.004110867f,
    0.0026289732f, -0.0030763154f, -0.0024806075f, -0.0053385515f, -0.0041155703f,
};

// Output n of the plain convolution, terms in increasing k, rounded after each sum.
float convolved(const std::vector<float>& x, int n) {
  float sum = 0.0f;
  for (int k = 0; k < 20; ++k) {
    const int i = n - k;
    if (i < 0 || i >= static_cast<int>(x.size())) continue;
    sum = static_cast<float>(static_cast<double>(sum) +
                             static_cast<double>(kTaps[k]) * static_cast<double>(x[i]));
  }
  return sum;
}

TEST(FilterTest, AwayFromTheEndsEveryOutputIsThePlainConvolutionBitForBit) {
  std::mt19937 random(7);
  std::uniform_real_distribution<float> level(-255.0f, 0.0f);
  std::vector<float> x(500);
  for (float& v : x) v = level(random);
  std::vector<float> y = x;
  filter(y);
  ASSERT_EQ(y.size(), x.size() + 19);
  for (int n = 19; n < static_cast<int>(x.size()); ++n) ASSERT_EQ(y[n], convolved(x, n)) << n;
}

// The ends continue the signal: silence after -DC (-128) stays silent to the last
// sample, and no sequence starts or ends with a click from zero; nothing stays nothing.
TEST(FilterTest, EndsContinueTheSignal) {
  for (const float c : {-128.0f, 0.0f, 57.5f}) {
    for (const size_t n : {size_t{1}, size_t{5}, size_t{200}}) {
      std::vector<float> v(n, c);
      filter(v);
      ASSERT_EQ(v.size(), n + 19);
      for (size_t i = 0; i < v.size(); ++i) ASSERT_EQ(v[i], v[19 % v.size()]) << c << " " << i;
      EXPECT_NEAR(v[0], c, 1e-4f);
    }
  }
  std::vector<float> ramp = {-200.0f, -100.0f};
  filter(ramp);
  EXPECT_NEAR(ramp.front(), -200.0f, 1e-3f);
  EXPECT_NEAR(ramp.back(), -100.0f, 1e-3f);
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
