#include "jobs/frame_listing.h"

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "support/recording_controls.h"
#include "support/temp_dir.h"

namespace kelvora {
namespace {

using test::RecordingControls;
using test::TempDir;

void touch(const std::string& path) { std::ofstream(path) << "x"; }

TEST(FrameListingTest, ScansOnlyInNaturalOrder) {
  TempDir dir;
  for (const char* name :
       {"c.tif", "B.TIF", "a.tiff", "notes.txt", "d.tif.bak", "e.Tif", "._a.tif", ".hidden.tif"})
    touch(dir.file(name));
  std::filesystem::create_directory(dir.file("z.tif"));
  const FrameListing listing = FrameListing::open(dir.path().string());
  EXPECT_EQ(listing.names(), (std::vector<std::string>{"a.tiff", "B.TIF", "c.tif", "e.Tif"}));
  EXPECT_EQ(*listing.path(2), dir.file("B.TIF"));
  EXPECT_FALSE(listing.path(0));
  EXPECT_FALSE(listing.path(5));
}

TEST(FrameListingTest, NaturalOrder) {
  const std::vector<std::vector<std::string>> ordered = {
      {"1.tif", "2.tif", "10.tif", "11.tif", "60.tif"},
      {"frame9.tif", "frame10.tif", "frame100.tif"},
      {"scan_0001.tif", "scan_0002.tif", "scan_0010.tif"},  // padded names keep their order
      {"r1_s2.tif", "r1_s10.tif", "r2_s1.tif"},
      {"7.tif", "07.tif", "007.tif"},  // one value: the shorter run first
      {"9a.tif", "a.tif"},             // a digit run before other text
      {"a1", "a1b"},                   // the name that runs out first
      {"ReelB.tif", "reelb.tif"},      // folded alike: ties by the raw bytes
      {"x99999999999999999999.tif", "x100000000000000000000.tif"},  // past any integer
  };
  for (const auto& names : ordered) {
    for (size_t i = 0; i + 1 < names.size(); ++i) {
      EXPECT_TRUE(naturalLess(names[i], names[i + 1])) << names[i] << " < " << names[i + 1];
      EXPECT_FALSE(naturalLess(names[i + 1], names[i])) << names[i + 1] << " !< " << names[i];
    }
  }
  EXPECT_FALSE(naturalLess("a.tif", "a.tif"));
}

TEST(FrameListingTest, MissingDirectoryIsEmpty) {
  EXPECT_EQ(FrameListing::open("/no/such/place").size(), 0);
}

TEST(JobDirectoryTest, UpToTheLastSeparator) {
  EXPECT_EQ(JobDirectory("/films/reel/a.tif", 17), "/films/reel/");
  EXPECT_EQ(JobDirectory("/films/reel/", 12), "/films/reel/");
  EXPECT_EQ(JobDirectory("a.tif", 5), "./");
  EXPECT_EQ(JobDirectory("/x/y/z.tif", 3), "/x/");
}

TEST(AllFramesTest, CountsTheScansAndDisablesTheBoxes) {
  TempDir dir;
  for (int i = 1000; i < 1137; ++i) touch(dir.file(std::to_string(i).append(".tif")));
  RecordingControls controls;
  EXPECT_EQ(countScansForAll(controls, dir.file("1000.tif")), 137);
  EXPECT_EQ(controls.calls(),
            (std::vector<std::string>{"setText(StartEdit,1)", "setText(StopEdit,137)",
                                      "enable(StartEdit,0)", "enable(StopEdit,0)"}));
}

TEST(AllFramesTest, ADirectoryPathOrAMissingFileCountsTheDirectory) {
  TempDir dir;
  touch(dir.file("a.tif"));
  touch(dir.file("b.tif"));
  RecordingControls controls;
  EXPECT_EQ(countScansForAll(controls, dir.path().string()), 2);
  EXPECT_EQ(countScansForAll(controls, dir.file("gone.tif")), 2);
}

TEST(AllFramesTest, NoScansSaysSoAndKeepsTheText) {
  TempDir dir;
  RecordingControls controls;
  EXPECT_EQ(countScansForAll(controls, dir.path().string()), 0);
  EXPECT_EQ(controls.calls(),
            (std::vector<std::string>{"setText(Status,No *.tif files in current directory!)",
                                      "enable(StartEdit,0)", "enable(StopEdit,0)"}));
}

}  // namespace
}  // namespace kelvora
