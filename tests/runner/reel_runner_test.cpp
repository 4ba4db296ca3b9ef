// Whole reels through the runner that archives hold and a tool must not take for film:
// scans of two sizes, snippets too short to hold a frame, a movie whose sound does not
// last as long as its pictures.
#include "runner/reel_runner.h"

#include <cmath>
#include <filesystem>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include "audio/archive_writer.h"
#include "movie/muxed_movie.h"
#include "reel/reel.h"
#include "support/damage.h"
#include "support/recording_controls.h"
#include "support/temp_dir.h"

namespace kelvora {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

ReelRequest reelOf(const std::string& directory, int scans, test::RecordingControls& controls) {
  ReelRequest reel;
  reel.controls = &controls;
  reel.inputPath = directory + "/";
  reel.startFrame = 1;
  reel.stopFrame = scans;
  return reel;
}

// Scans 1-5 at one resolution, 6-10 at another, of the same film: nothing tells the
// classic reader that the second half is twice the size, so it must be refused.
TEST(ReelRunnerTest, ScansOfAnotherSizeAcrossTheFilmEndTheJobNamingBothSizes) {
  const struct {
    const char* name;
    int secondDpi;
    int dpxBits;
    JobOutcome outcome;
  } cases[] = {{"tiff twice the size", 1800, 0, JobOutcome::Unreadable},
               {"dpx twice the size", 1800, 10, JobOutcome::Unreadable},
               {"tiff of one size", 900, 0, JobOutcome::Finished}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    reel::ReelOptions o;
    o.scans = 5;
    o.dpxBits = c.dpxBits;
    const reel::Reel first = reel::writeReel(o, dir.file("a"));
    o.dpi = c.secondDpi;
    o.seed = 2;
    const reel::Reel second = reel::writeReel(o, dir.file("b"));
    fs::create_directory(dir.file("reel"));
    const std::string ext = c.dpxBits > 0 ? ".dpx" : ".tif";
    for (int k = 0; k < 5; ++k) {
      fs::copy_file(first.scanPaths[k], dir.file("reel/" + std::to_string(k + 1) + ext));
      fs::copy_file(second.scanPaths[k], dir.file("reel/" + std::to_string(k + 6) + ext));
    }
    test::RecordingControls controls;
    SoundRequest request;
    request.output = dir.file("out.wav");
    const SoundResult r = decodeSound(reelOf(dir.file("reel"), 10, controls), request);
    EXPECT_EQ(r.outcome, c.outcome) << r.error;
    if (c.outcome == JobOutcome::Unreadable) {
      EXPECT_EQ(r.report.failedFrame, 6);
      const cv::Size small(first.geometry.scanLength, first.geometry.filmWidth);
      const cv::Size large(second.geometry.scanLength, second.geometry.filmWidth);
      for (const cv::Size size : {small, large})
        EXPECT_NE(r.error.find(std::to_string(size.width) + "x" + std::to_string(size.height)),
                  std::string::npos)
            << r.error;
      EXPECT_NE(r.error.find("6" + ext), std::string::npos) << r.error;
      EXPECT_FALSE(fs::exists(dir.file("out.wav")));
      EXPECT_EQ(test::hiddenFiles(dir.path().string()), 0);
    }
  }
}

// Snippets of film shorter than a frame are no reel: refused as a tiny scan is, for
// the sound and the movie alike, naming the length, and without warnings on settings.
TEST(ReelRunnerTest, ScansTooShortToHoldAFrameAreRefused) {
  TempDir dir;
  reel::ReelOptions o;
  o.scans = 3;
  const reel::Reel r = reel::writeReel(o, dir.file("reel"));
  for (const std::string& path : r.scanPaths) {
    const cv::Mat scan = cv::imread(path, cv::IMREAD_UNCHANGED);
    ASSERT_TRUE(cv::imwrite(path, scan.colRange(0, 40)));
  }
  test::RecordingControls controls;
  SoundRequest sound;
  sound.output = dir.file("out.wav");
  const SoundResult s = decodeSound(reelOf(dir.file("reel"), 3, controls), sound);
  EXPECT_EQ(s.outcome, JobOutcome::Unreadable);
  EXPECT_NE(s.error.find("40 pixels along the film, too short to hold a frame"), std::string::npos)
      << s.error;
  // Its speed is not judged: the scan holds no frame to judge it by.
  EXPECT_TRUE(s.report.warnings.empty()) << s.report.warnings.front();
  EXPECT_FALSE(fs::exists(dir.file("out.wav")));
  MovieRequest movie;
  movie.output = dir.file("out.avi");
  const MovieResult m = makeMovie(reelOf(dir.file("reel"), 3, controls), movie);
  EXPECT_EQ(m.outcome, JobOutcome::Unreadable);
  EXPECT_FALSE(fs::exists(dir.file("out.avi")));
}

// A sound far shorter or longer than the pictures is muxed so that both end together,
// the shorter padded, and the difference said.
TEST(ReelRunnerTest, AMovieWhoseSoundDiffersInLengthIsPaddedAndSaysSo) {
  TempDir dir;
  reel::ReelOptions o;
  o.scans = 10;  // 0.4 s of pictures at 25 frames a second
  reel::writeReel(o, dir.file("reel"));
  const struct {
    double seconds;
    std::string said;  // "" for nothing
  } cases[] = {{0.03, "the sound is 0.37 s shorter than the pictures (0.40 s)"},
               {12.0, "the sound is 11.60 s longer than the pictures (0.40 s)"},
               {0.41, ""}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.seconds);
    const std::vector<float> tone(static_cast<size_t>(48000 * c.seconds), 0.25f);
    ASSERT_EQ(
        writeArchiveSound(tone, 48000, SoundFormat::Wav24, SoundMetadata{}, dir.file("sound.wav")),
        "");
    test::RecordingControls controls;
    MovieRequest request;
    request.movie.codec = MovieCodec::H264;
    request.sound.source = MovieSound::Source::File;
    request.sound.file = dir.file("sound.wav");
    request.output = dir.file("out.mkv");
    const MovieResult r = makeMovie(reelOf(dir.file("reel"), 10, controls), request);
    ASSERT_EQ(r.outcome, JobOutcome::Finished) << r.error;
    const std::vector<std::string> warnings = controls.warnings();
    if (c.said.empty()) {
      EXPECT_TRUE(warnings.empty());
    } else {
      ASSERT_EQ(warnings.size(), 1u);
      EXPECT_NE(warnings[0].find(c.said), std::string::npos) << warnings[0];
    }
    const MuxedMovieContents m = readMuxedMovie(dir.file("out.mkv"), true);
    const double soundSeconds = static_cast<double>(m.sound.size()) / m.audioRate;
    EXPECT_NEAR(m.videoSeconds, std::max(0.4, c.seconds), 1.0 / 25);
    EXPECT_NEAR(soundSeconds, m.videoSeconds, 1.0 / 25);
  }
}

}  // namespace
}  // namespace kelvora
