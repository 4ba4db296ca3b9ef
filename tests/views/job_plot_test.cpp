// The plot of a finished sound: a reel with a scan taken out shows that join flagged,
// at its place on the waveform; a whole reel shows none.
#include "views/job_plot.h"

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include "jobs/sound_job.h"
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

// The time axis steps by a round number of seconds, from a half-second sample reel to
// an hour, and a zoom that starts part way into the sound starts at its first tick.
TEST(JobPlotTest, TimeTicksFallOnRoundSeconds) {
  const struct {
    double from, to;
    std::vector<double> expected;
  } cases[] = {
      {0.0, 0.49, {0.0, 0.05, 0.1, 0.15, 0.2, 0.25, 0.3, 0.35, 0.4, 0.45}},
      {0.0, 10.0, {0, 2, 4, 6, 8, 10}},
      {0.0, 95.0, {0, 10, 20, 30, 40, 50, 60, 70, 80, 90}},
      {0.0, 3600.0, {0, 500, 1000, 1500, 2000, 2500, 3000, 3500}},
      {12.23, 12.43, {12.25, 12.3, 12.35, 12.4}},
      {5.0, 5.0, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.from) + " to " + std::to_string(c.to));
    const std::vector<double> ticks = timeTicks(c.from, c.to);
    ASSERT_EQ(ticks.size(), c.expected.size());
    for (size_t i = 0; i < ticks.size(); ++i) EXPECT_NEAR(ticks[i], c.expected[i], 1e-9);
  }
}

// A flagged join carries the name of the file that takes over, which differs from its
// number once a scan is missing.
TEST(JobPlotTest, JoinsAreNamedWithTheirFiles) {
  SoundJobReport r;
  r.filmRate = 1000;
  const char* files[] = {"scan_0001.tif", "scan_0002.tif", "scan_0003.tif", "scan_0005.tif",
                         "scan_0006.tif"};
  const int cuts[] = {-1, 400, 400, 800, 400};
  for (int i = 0; i < 5; ++i) {
    FrameReading f;
    f.frame = i + 1;
    f.name = files[i];
    f.cutPoint = cuts[i];
    r.frames.push_back(f);
  }
  const std::vector<JoinMark> joins = joinsOfSoundJob(r, false, 2500, 1000);
  ASSERT_EQ(joins.size(), 4u);
  for (const JoinMark& j : joins) {
    SCOPED_TRACE(j.frame);
    EXPECT_EQ(j.file, files[j.frame - 1]);
    EXPECT_EQ(j.flagged, j.frame == 4);
  }
}

}  // namespace
}  // namespace kelvora
