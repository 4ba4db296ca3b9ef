#include "audio/splice.h"

#include <random>

#include <gtest/gtest.h>

namespace kelvora {
namespace {

Profile noise(int n, unsigned seed, float sigma = 30.0f) {
  std::mt19937 rng(seed);
  std::normal_distribution<float> d(0.0f, sigma);
  Profile p(n);
  for (float& v : p) v = d(rng);
  return p;
}

// A present frame that repeats the previous one from index `start` on.
Profile continuing(const Profile& previous, int start, int length, unsigned seed) {
  Profile present = noise(length, seed);
  for (int k = 0; start + k < static_cast<int>(previous.size()) && k < length; ++k)
    present[k] = previous[start + k];
  return present;
}

Signal_Values lengths(int p, int q) {
  Signal_Values s;
  s.previousLength = p;
  s.presentLength = q;
  return s;
}

// The present frame's sound repeats the previous frame's from sample 700 on: found from
// the sound alone, or from the picture with the sound's window correcting it, as when
// the picture says 703.
TEST(SpliceTest, TheCutLandsWhereThePresentFrameStarts) {
  const Profile sound = noise(1000, 3), picture = noise(1000, 4, 50.0f);
  const Profile presentSound = continuing(sound, 700, 1000, 5);
  EXPECT_EQ(cuttingPointSound(lengths(1000, 1000), presentSound, sound, 1, false), 700);
  for (const auto& [pictureAt, filmType] : {std::pair{700, 1}, std::pair{703, 2}}) {
    const Profile presentPicture = continuing(picture, pictureAt, 1000, 6);
    EXPECT_EQ(cuttingPoint(lengths(1000, 1000), presentSound, sound, presentPicture, picture,
                           filmType, false),
              700)
        << "the picture says " << pictureAt;
  }
}

TEST(SpliceTest, SixteenMmStripsSearchOnlyPastEightyTwoPercent) {
  const Profile previous = noise(1000, 11);
  const Profile early = continuing(previous, 700, 1000, 12);
  EXPECT_NE(cuttingPointSound(lengths(1000, 1000), early, previous, 3, true), 700);
  const Profile late = continuing(previous, 880, 1000, 13);
  EXPECT_EQ(cuttingPointSound(lengths(1000, 1000), late, previous, 3, true), 880);
  // Not a strip: the usual margin applies to 16 mm too.
  EXPECT_EQ(cuttingPointSound(lengths(1000, 1000), early, previous, 3, false), 700);
}

TEST(SpliceTest, FramesTooShortForTheWindowsStayInsideTheFrame) {
  for (const auto& [p, q] : {std::pair{1, 1}, {5, 5}, {40, 3}, {3, 900}, {62, 62}, {1000, 10}}) {
    const Profile previous = noise(p, p), present = noise(q, q + 1);
    const int a = cuttingPointSound(lengths(p, q), present, previous, 1, false);
    const int b = cuttingPoint(lengths(p, q), present, previous, present, previous, 3, true);
    EXPECT_GE(a, 0);
    EXPECT_LE(a, p);
    EXPECT_GE(b, 0);
    EXPECT_LE(b, p);
  }
}

TEST(SpliceTest, SilentFramesStillGiveACutInsideTheFrame) {
  const Profile silent(800, -128.0f);
  const int cut = cuttingPoint(lengths(800, 800), silent, silent, silent, silent, 1, false);
  EXPECT_GE(cut, 0);
  EXPECT_LE(cut, 800);
  const Profile nan(800, std::nanf(""));
  const int nanCut = cuttingPointSound(lengths(800, 800), nan, nan, 1, false);
  EXPECT_GE(nanCut, 0);
  EXPECT_LE(nanCut, 800);
}

}  // namespace
}  // namespace kelvora
