#include "signal/xcorr.h"

#include <random>

#include <gtest/gtest.h>

namespace kelvora {
namespace {

// The correlation written out as the recorder computed it: every lag over the
// padded arrays, zeros included, rounded to float after every addition.
Profile referenceXcorr(const Profile& a, const Profile& b) {
  const int n = static_cast<int>(std::max(a.size(), b.size()));
  Profile pa(n, 0.0f), pb(n, 0.0f);
  std::copy(a.begin(), a.end(), pa.begin());
  std::copy(b.begin(), b.end(), pb.begin());
  Profile r(2 * n, 0.0f);
  r[0] = static_cast<float>(2 * n - 1);
  for (int j = 1; j <= 2 * n - 1; ++j) {
    float sum = 0.0f;
    for (int i = 0; i < n; ++i) {
      const int k = i + j - n;
      const double bk = (k >= 0 && k < n) ? pb[k] : 0.0;
      sum = static_cast<float>(static_cast<double>(sum) + static_cast<double>(pa[i]) * bk);
    }
    r[j] = sum;
  }
  return r;
}

Profile noise(int n, unsigned seed) {
  std::mt19937 rng(seed);
  std::normal_distribution<float> d(0.0f, 40.0f);
  Profile p(n);
  for (float& v : p) v = d(rng);
  return p;
}

TEST(XcorrTest, SmallExamples) {
  EXPECT_EQ(xcorr(Profile{2}, Profile{3}), (Profile{1, 6}));
  EXPECT_EQ(xcorr(Profile{1, 0, 0}, Profile{0, 0, 1}), (Profile{5, 0, 0, 0, 0, 1}));
  const Profile r = xcorr(Profile{1, 2, 3, 4}, Profile{1, 1});
  ASSERT_EQ(r.size(), 8u);
  EXPECT_EQ(r[0], 7.0f);
  EXPECT_EQ(r[4], 3.0f);  // zero lag: 1*1 + 2*1
  EXPECT_EQ(xcorr(Profile{}, Profile{}), Profile{-1.0f});
}

TEST(XcorrTest, PositiveLagPairsTheStartOfAWithALaterPartOfB) {
  // A feature at index 2 of a and index 9 of b peaks at lag 7.
  Profile a(12, 0.0f), b(12, 0.0f);
  a[2] = 1.0f;
  b[9] = 1.0f;
  const Profile r = xcorr(a, b);
  const int n = 12;
  const auto peak = std::max_element(r.begin() + 1, r.end()) - r.begin();
  EXPECT_EQ(peak - n, 7);
}

TEST(XcorrTest, SwappingInputsMirrorsTheLags) {
  const Profile a = noise(37, 1), b = noise(37, 2);
  const Profile ab = xcorr(a, b), ba = xcorr(b, a);
  const int n = 37;
  for (int j = 1; j < 2 * n; ++j) EXPECT_EQ(ab[j], ba[2 * n - j]) << j;
}

TEST(XcorrTest, MatchesTheDirectSumBitForBit) {
  for (const auto& [na, nb] : {std::pair{1815, 1815}, {1000, 700}, {64, 211}, {3, 1}}) {
    Profile a = noise(na, na), b = noise(nb, nb + 7);
    // Zeroed stretches, as the splice detectors leave them.
    std::fill(a.begin() + na / 2, a.end(), 0.0f);
    std::fill(b.begin(), b.begin() + nb / 3, 0.0f);
    const Profile ref = referenceXcorr(a, b);
    EXPECT_EQ(xcorr(a, b), ref) << na << "x" << nb;
    // A range of lags: those elements exactly, the rest left at 0.
    const int n = std::max(na, nb);
    const int first = n / 2 + 1, last = 2 * n - 1;
    const Profile part = xcorr(a, b, first, last);
    ASSERT_EQ(part.size(), ref.size());
    EXPECT_EQ(part[0], ref[0]);
    for (int j = 1; j < 2 * n; ++j)
      ASSERT_EQ(part[j], j >= first && j <= last ? ref[j] : 0.0f) << na << "x" << nb << " " << j;
  }
}

TEST(XcorrTest, NonFiniteInputsStillFollowTheDirectSum) {
  Profile a = noise(20, 3), b = noise(20, 4);
  a[5] = std::numeric_limits<float>::infinity();
  const Profile r = xcorr(a, b), ref = referenceXcorr(a, b);
  ASSERT_EQ(r.size(), ref.size());
  for (size_t j = 0; j < r.size(); ++j) {
    EXPECT_TRUE(r[j] == ref[j] || (std::isnan(r[j]) && std::isnan(ref[j]))) << j;
  }
}

}  // namespace
}  // namespace kelvora
