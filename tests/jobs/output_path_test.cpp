#include "jobs/output_path.h"

#include <gtest/gtest.h>

namespace kelvora {
namespace {

TEST(OutputPathTest, DefaultNamesFollowTheJobKind) {
  OutputChoice choice{"/films/reel1"};
  completeOutputPath(choice, true);
  EXPECT_EQ(choice.outputPath, "/films/reel1/sound.wav");
  completeOutputPath(choice, true);
  EXPECT_EQ(choice.outputPath, "/films/reel1/sound.wav");
  completeOutputPath(choice, false);
  EXPECT_EQ(choice.outputPath, "/films/reel1/movie.avi");
  EXPECT_TRUE(choice.outputIsMovie);
  EXPECT_FALSE(choice.outputIsSound);
  completeOutputPath(choice, true);
  EXPECT_EQ(choice.outputPath, "/films/reel1/sound.wav");
}

TEST(OutputPathTest, AChosenFileIsKeptAcrossJobKinds) {
  OutputChoice choice{"/films/take1.wav", true, false};
  completeOutputPath(choice, false);
  EXPECT_EQ(choice.outputPath, "/films/take1.wav");
  EXPECT_TRUE(choice.outputIsMovie);
}

TEST(OutputPathTest, OnlyTheLiteralDefaultNameIsSwapped) {
  OutputChoice choice{"/a/movie.avi/b/movie.avi", false, true};
  completeOutputPath(choice, true);
  EXPECT_EQ(choice.outputPath, "/a/sound.wav/b/sound.wav");
}

}  // namespace
}  // namespace kelvora
