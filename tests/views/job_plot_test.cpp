// The plot of a finished sound: a reel with a scan taken out shows that join flagged,
// at its place on the waveform; a whole reel shows none.
#include "views/job_plot.h"

#include <filesystem>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include "reel/reel.h"
#include "support/cli_run.h"
#include "support/temp_dir.h"

namespace kelvora {
namespace {

// Columns of the waveform panel where a flagged join's mark is.
std::vector<int> flaggedColumns(const cv::Mat& plot) {
  std::vector<int> columns;
  const cv::Vec3b red(kFlaggedJoin[0], kFlaggedJoin[1], kFlaggedJoin[2]);
  for (int x = 0; x < plot.cols; ++x)
    if (plot.at<cv::Vec3b>(400, x) == red) columns.push_back(x);
  return columns;
}

TEST(JobPlotTest, AMissingScanIsAFlaggedJoinAtItsPlace) {
  test::TempDir dir;
  reel::ReelOptions o;
  o.scans = 12;
  const reel::Reel r = reel::writeReel(o, dir.file("reel"));
  for (const bool missing : {false, true}) {
    SCOPED_TRACE(missing ? "scan 7 missing" : "whole reel");
    if (missing) std::filesystem::remove(r.scanPaths[6]);
    const test::CliResult run = test::runCli("sound " + dir.file("reel") + " -o " +
                                             dir.file("s.wav") + " --plot " + dir.file("p.png"));
    ASSERT_EQ(run.status, 0) << run.output;
    const cv::Mat plot = cv::imread(dir.file("p.png"), cv::IMREAD_COLOR);
    ASSERT_EQ(plot.cols, 1600);
    const std::vector<int> flagged = flaggedColumns(plot);
    if (!missing) {
      EXPECT_TRUE(flagged.empty());
      EXPECT_EQ(run.output.find("does not continue"), std::string::npos) << run.output;
      continue;
    }
    // Scan 8 became frame 7: it takes over six advances into the sound.
    const int samples = 10 * r.geometry.advance + r.geometry.scanLength + 19;
    const int expected = 6 * r.geometry.advance * 1600 / samples;
    ASSERT_FALSE(flagged.empty());
    EXPECT_NEAR(flagged.front(), expected, 3);
    EXPECT_NE(run.output.find(
                  "warning: the sound does not continue where frame 7 (scan_0008.tif) takes over"),
              std::string::npos)
        << run.output;
  }
}

}  // namespace
}  // namespace kelvora
