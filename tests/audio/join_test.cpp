#include "audio/join.h"

#include <numeric>

#include <gtest/gtest.h>

namespace kelvora {
namespace {

Profile ramp(int n, float start) {
  Profile p(n);
  std::iota(p.begin(), p.end(), start);
  return p;
}

Signal_Values pair(int first, int last, int frame, int cut, int p, int q, bool crossfade) {
  Signal_Values s;
  s.firstFrame = first;
  s.lastFrame = last;
  s.frameNumber = frame;
  s.cutPoint = cut;
  s.previousLength = p;
  s.presentLength = q;
  s.crossfade = crossfade ? 1 : 0;
  return s;
}

TEST(CrossfadeWindowTest, FallsFromOneToZero) {
  const auto w = crossfadeWindow(4, true);
  ASSERT_EQ(w.size(), 4u);
  EXPECT_EQ(w[0], 1.0f);
  EXPECT_FLOAT_EQ(w[1], 0.75f);
  EXPECT_LT(w[2], 0.25f);
  EXPECT_NEAR(w[2], 0.25f, 1e-6f);
  EXPECT_NEAR(w[3], 0.0f, 1e-7f);
  EXPECT_EQ(crossfadeWindow(1, true), std::vector<float>{1.0f});
  const auto two = crossfadeWindow(2, false);
  EXPECT_EQ(two[0], 1.0f);
  EXPECT_NEAR(two[1], 0.0f, 1e-7f);
}

TEST(JoinTest, TwoFramesWithCrossfade) {
  const Profile previous = ramp(10, 0), present = ramp(10, 100);
  Signal_Values s = pair(1, 2, 2, 6, 10, 10, true);
  std::vector<float> out;
  join(present, previous, s, out);
  ASSERT_EQ(out.size(), 16u);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(out[i], previous[i]);
  EXPECT_EQ(out[6], previous[6]);          // weight 1
  EXPECT_NEAR(out[9], present[3], 1e-4f);  // weight 0
  EXPECT_NEAR(out[7], 0.25 * 101 + 0.75 * 7, 1e-4);
  for (int i = 10; i < 16; ++i) EXPECT_EQ(out[i], present[i - 6]);
  EXPECT_EQ(s.overlapLength, 4);
}

TEST(JoinTest, ThreeFramesWithCrossfade) {
  const Profile f1 = ramp(10, 0), f2 = ramp(10, 100), f3 = ramp(10, 200);
  std::vector<float> out;
  Signal_Values s = pair(1, 3, 2, 6, 10, 10, true);
  join(f2, f1, s, out);
  s.frameNumber = 3;
  s.cutPoint = 7;
  join(f3, f2, s, out);
  EXPECT_EQ(s.previousOverlapLength, 4);
  EXPECT_EQ(s.overlapLength, 3);
  ASSERT_EQ(out.size(), 23u);
  EXPECT_EQ(out[10], 104.0f);  // frame 2 from the end of the first crossfade
  EXPECT_EQ(out[12], 106.0f);
  EXPECT_EQ(out[13], 107.0f);  // second crossfade starts at full weight
  EXPECT_EQ(out[16], 203.0f);  // frame 3 from the end of the second crossfade
  EXPECT_EQ(out[22], 209.0f);
}

TEST(JoinTest, WithoutCrossfadeEveryFrameStopsAtItsCutAndTheLastIsWhole) {
  const Profile f1 = ramp(10, 0), f2 = ramp(10, 100), f3 = ramp(10, 200);
  std::vector<float> out;
  Signal_Values s = pair(1, 3, 2, 6, 10, 10, false);
  join(f2, f1, s, out);
  s.frameNumber = 3;
  s.cutPoint = 7;
  join(f3, f2, s, out);
  std::vector<float> expected(f1.begin(), f1.begin() + 6);
  expected.insert(expected.end(), f2.begin(), f2.begin() + 7);
  expected.insert(expected.end(), f3.begin(), f3.end());
  EXPECT_EQ(out, expected);
}

TEST(JoinTest, NoOverlapAndOneSampleOverlap) {
  const Profile previous = ramp(10, 0), present = ramp(10, 100);
  std::vector<float> out;
  Signal_Values s = pair(1, 2, 2, 10, 10, 10, true);
  join(present, previous, s, out);
  EXPECT_EQ(out.size(), 20u);
  EXPECT_EQ(out[10], 100.0f);

  out.clear();
  s = pair(1, 2, 2, 9, 10, 10, true);
  join(present, previous, s, out);
  ASSERT_EQ(out.size(), 19u);
  EXPECT_EQ(out[9], 9.0f);  // the one crossfaded sample is the previous frame's last
  EXPECT_EQ(out[10], 101.0f);
}

TEST(JoinTest, ALaterCutBeforeThePreviousOverlapAppendsNothingBeforeTheCrossfade) {
  const Profile f1 = ramp(10, 0), f2 = ramp(10, 100), f3 = ramp(10, 200);
  std::vector<float> out;
  Signal_Values s = pair(1, 3, 2, 2, 10, 10, true);  // overlap 8
  join(f2, f1, s, out);
  const size_t before = out.size();
  s.frameNumber = 3;
  s.cutPoint = 5;  // at or before the previous overlap
  join(f3, f2, s, out);
  EXPECT_EQ(out[before], 105.0f);  // straight into the crossfade
}

TEST(JoinTest, CutPointsOutsideTheFrameAreClamped) {
  const Profile previous = ramp(10, 0), present = ramp(4, 100);
  std::vector<float> out;
  Signal_Values s = pair(1, 2, 2, 25, 10, 4, true);
  join(present, previous, s, out);
  EXPECT_EQ(out.size(), 14u);
  out.clear();
  s = pair(1, 2, 2, -5, 10, 4, true);  // overlap of 10 on a 4-sample frame
  join(present, previous, s, out);
  EXPECT_EQ(s.overlapLength, 4);
  EXPECT_EQ(out.size(), 4u);
}

}  // namespace
}  // namespace kelvora
