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

TEST(SpliceTest, SoundOnlyFindsWhereThePresentFrameStarts) {
  const Profile previous = noise(1000, 1);
  const Profile present = continuing(previous, 700, 1000, 2);
  EXPECT_EQ(cuttingPointSound(lengths(1000, 1000), present, previous, 1, false), 700);
}

TEST(SpliceTest, PictureGuidedLandsOnTheSameSample) {
  const Profile sound = noise(1000, 3);
  const Profile picture = noise(1000, 4, 50.0f);
  const Profile presentSound = continuing(sound, 700, 1000, 5);
  const Profile presentPicture = continuing(picture, 700, 1000, 6);
  EXPECT_EQ(
      cuttingPoint(lengths(1000, 1000), presentSound, sound, presentPicture, picture, 1, false),
      700);
}

TEST(SpliceTest, FineStageCorrectsACoarseErrorInTheRightDirection) {
  // The picture says 703, the sound says 700: the window must pull the cut back.
  const Profile sound = noise(1000, 7);
  const Profile picture = noise(1000, 8, 50.0f);
  const Profile presentSound = continuing(sound, 700, 1000, 9);
  const Profile presentPicture = continuing(picture, 703, 1000, 10);
  EXPECT_EQ(
      cuttingPoint(lengths(1000, 1000), presentSound, sound, presentPicture, picture, 2, false),
      700);
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

TEST(SpliceTest, InputsUnchanged) {
  const Profile previous = noise(500, 14), present = continuing(previous, 350, 500, 15);
  const Profile p0 = previous, q0 = present;
  cuttingPoint(lengths(500, 500), present, previous, present, previous, 1, false);
  cuttingPointSound(lengths(500, 500), present, previous, 1, false);
  EXPECT_EQ(previous, p0);
  EXPECT_EQ(present, q0);
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
