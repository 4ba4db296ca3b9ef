// Whole movie jobs on generated reels whose pictures carry their frame numbers.
#include "jobs/movie_job.h"

#include <filesystem>
#include <thread>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "jobs/status_log.h"
#include "reel/reel.h"
#include "signal/rounding.h"
#include "support/damage.h"
#include "support/movie_file.h"
#include "support/recording_controls.h"
#include "support/sound_run.h"
#include "support/temp_dir.h"

namespace kelvora {
namespace {

using reel::ReelOptions;
using test::RecordingControls;
using test::TempDir;

using test::MovieRun;
using test::runMovieJob;

// Reads the frame number the reel drew into a movie frame, from where the job's cut
// and scaling put the code blocks.
int readCode(const cv::Mat& frame, const reel::Reel& r, const JobSettings& s) {
  const reel::ReelGeometry& g = r.geometry;
  const int dpi = r.options.dpi;
  const bool sixteenStrip = r.options.filmType == 3 && r.options.longStrip;
  const bool cut = s.movie.cutSoundtrack;
  const int top = g.lineStart + g.lineHeight;
  int rectHeight;
  if (sixteenStrip) {
    rectHeight = g.pitch + 1;
  } else {
    const int cutHeight = cmToPixels(dpi, cut && r.options.filmType != 3 ? 1.52 : 1.9);
    rectHeight = std::min(top + cutHeight - 1, g.scanLength - 1) - top + 1;
  }
  // The variable-density edge search (6 to 12 % of the width) does not reach this
  // reel's picture edge, so its cut keeps the track side.
  const int left = cut && r.options.filmType != 2 ? g.pictureStart - 1 : 0;
  const int cutWidth = cmToPixels(dpi, r.options.filmType == 2 ? 2.05 : 2.1);
  const int right = cut ? std::min(left + cutWidth, g.filmWidth - 1) : g.filmWidth - 1;
  const int rectWidth = right - left + 1;

  const int pictureHeight = g.pitch - g.lineHeight;
  const int pictureWidth = g.filmWidth - g.pictureStart;
  const double codeRow =
      (static_cast<int>(0.4 * pictureHeight) + static_cast<int>(0.6 * pictureHeight)) / 2.0;
  const int codeLeft = g.pictureStart + static_cast<int>(0.5 * pictureWidth);
  const int codeRight = g.pictureStart + static_cast<int>(0.95 * pictureWidth);

  cv::Mat grey;
  cv::cvtColor(frame, grey, cv::COLOR_BGR2GRAY);
  const double y = (codeRow + 0.5) * frame.rows / rectHeight - 0.5;
  int code = 0;
  for (int i = 0; i < 8; ++i) {
    const double u = codeLeft + (i + 0.5) * (codeRight - codeLeft) / 8.0;
    double x = (u - left + 0.5) * frame.cols / rectWidth - 0.5;
    if (sixteenStrip) x = frame.cols - 1 - x;
    const cv::Rect spot(static_cast<int>(x) - 1, static_cast<int>(y) - 1, 3, 3);
    const double value = cv::mean(grey(spot & cv::Rect(0, 0, grey.cols, grey.rows)))[0];
    if (value < 135) code |= 1 << (7 - i);
  }
  return code;
}

struct Case {
  std::string name;
  ReelOptions reel;
  void (*tweak)(MovieSettings&) = nullptr;
  std::string fourcc = "MP42";
  cv::Size size = {640, 480};
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class MovieReelTest : public ::testing::TestWithParam<Case> {};

TEST_P(MovieReelTest, ShowsConsecutiveFilmFramesNoneMissingOrRepeated) {
  const Case& c = GetParam();
  TempDir dir;
  const reel::Reel r = reel::writeReel(c.reel, dir.file("scans"));
  JobSettings s = test::settingsForReel(c.reel);
  if (c.tweak) c.tweak(s.movie);
  const MovieRun run = runMovieJob(r.scanPaths[0], dir.file("out.avi"), s, 1, c.reel.scans);
  ASSERT_EQ(run.outcome, JobOutcome::Finished);
  EXPECT_EQ(run.status.back().substr(run.status.back().rfind("Film")),
            "Film was made succesfully!!!\r\n");

  ASSERT_TRUE(run.movie.opened);
  EXPECT_EQ(run.movie.fourcc, c.fourcc);
  EXPECT_DOUBLE_EQ(run.movie.fps, c.reel.fps);
  EXPECT_EQ(run.movie.size, c.size);
  const bool sixteenStrip = c.reel.filmType == 3 && c.reel.longStrip;
  const size_t perScan = sixteenStrip ? 4 : 1;
  ASSERT_EQ(run.movie.frames.size(), perScan * c.reel.scans);

  // Film frames advance by one per movie frame, or by a whole strip for 35 mm strips
  // (one picture per scan); backwards when the reel was scanned tail first.
  const int framesPerPicture = sixteenStrip ? 1 : r.geometry.framesPerScan;
  const int step = (c.reel.inverse ? -1 : 1) * framesPerPicture;
  std::vector<int> codes;
  for (const cv::Mat& frame : run.movie.frames) codes.push_back(readCode(frame, r, s));
  for (size_t i = 1; i < codes.size(); ++i)
    EXPECT_EQ(codes[i] - codes[i - 1], step)
        << "movie frame " << i << " codes " << codes[i - 1] << " then " << codes[i];
}

// Five scans of a frame each, three of a strip.
INSTANTIATE_TEST_SUITE_P(
    Reels, MovieReelTest,
    ::testing::Values(
        Case{"va35_mp42", {.scans = 5}},
        Case{"va35_cut_soundtrack", {.scans = 5}, [](MovieSettings& s) { s.cutSoundtrack = true; }},
        Case{"va35_down", {.scans = 5, .directionUp = false}},
        Case{"va35_inverse", {.scans = 5, .inverse = true}},
        Case{"va35_grey", {.scans = 5, .colour = false}},
        Case{"va35_divx_320_24fps",
             {.scans = 5, .fps = 24},
             [](MovieSettings& s) {
               s.codec = MovieCodec::Divx;
               s.size = FrameSize::Small;
             },
             "DIV3",
             {320, 240}},
        Case{"vd35_xvid_cut",
             {.filmType = 2, .scans = 5},
             [](MovieSettings& s) {
               s.codec = MovieCodec::Xvid;
               s.cutSoundtrack = true;
             },
             "XVID"},
        Case{"va16_per_frame", {.filmType = 3, .dpi = 1800, .scans = 5}},
        Case{"va35_long_strip", {.scans = 3, .longStrip = true}},
        Case{"va16_long_strip", {.filmType = 3, .dpi = 1800, .scans = 3, .longStrip = true}},
        Case{"va16_long_strip_down_inverse",
             {.filmType = 3,
              .dpi = 1800,
              .scans = 3,
              .longStrip = true,
              .directionUp = false,
              .inverse = true}}),
    [](const ::testing::TestParamInfo<Case>& info) { return info.param.name; });

class MovieJobTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ReelOptions options;
    options.scans = 5;
    reel_ = reel::writeReel(options, dir_.file("scans"));
  }
  std::string output() const { return dir_.file("out.avi"); }
  TempDir dir_;
  reel::Reel reel_;
};

// A stopped job, or one that meets an unreadable scan, keeps the frames written so
// far as a playable movie; one that wrote none, or failed to write, leaves an older
// movie of the same name exactly as it was. Nothing half-written is left behind.
struct Ending {
  std::string name;
  std::function<void(const reel::Reel&)> damage;
  int stopAtFrame = 0;  // Stop pressed while this frame loads
  std::string output = "out.avi";
  JobOutcome outcome = JobOutcome::Unreadable;
  std::string lastStatus = "Wrong file format !!!";
  int framesKept = 0;  // 0: the older movie stays
};

void PrintTo(const Ending& e, std::ostream* os) { *os << e.name; }

class MovieJobEndingTest : public ::testing::TestWithParam<Ending> {};

TEST_P(MovieJobEndingTest, KeepsWhatWasWrittenOrTheOlderMovie) {
  const Ending& e = GetParam();
  TempDir dir;
  ReelOptions options;
  options.scans = 5;
  const reel::Reel r = reel::writeReel(options, dir.file("scans"));
  if (e.damage) e.damage(r);
  test::writeText(dir.file("out.avi"), "an earlier cut");
  const MovieRun run = runMovieJob(
      r.scanPaths[0], dir.file(e.output), JobSettings{}, 1, 5,
      [&e](JobRequest&, RecordingControls& controls, std::atomic<bool>& stop) {
        controls.stopWhenShown(stop, statusLine("Cutting frame number : %d...", e.stopAtFrame));
      });
  EXPECT_EQ(run.outcome, e.outcome);
  EXPECT_EQ(run.status.back(), e.lastStatus);
  EXPECT_EQ(run.report.complete, e.framesKept > 0);
  if (e.framesKept > 0) {
    ASSERT_TRUE(run.movie.opened);
    EXPECT_EQ(run.movie.frames.size(), static_cast<size_t>(e.framesKept));
  } else {
    EXPECT_TRUE(test::fileText(dir.file("out.avi")) == "an earlier cut");
  }
  EXPECT_EQ(test::hiddenFiles(dir.path().string()), 0);
  if (e.outcome == JobOutcome::WriteFailed) {
    EXPECT_EQ(run.status, std::vector<std::string>{e.lastStatus});
    EXPECT_EQ(run.calls.back(), "enable(StopEdit,1)");  // ended through ThreadEndIm
  }
}

INSTANTIATE_TEST_SUITE_P(
    Failures, MovieJobEndingTest,
    ::testing::Values(
        Ending{.name = "stopped_at_frame_4",
               .stopAtFrame = 4,
               .outcome = JobOutcome::Stopped,
               .lastStatus = "Operation stopped !!!!",
               .framesKept = 3},
        Ending{.name = "unreadable_frame_3",
               .damage = [](const reel::Reel& r) { test::truncateToAThird(r.scanPaths[2]); },
               .framesKept = 2},
        Ending{.name = "stopped_at_frame_1",
               .stopAtFrame = 1,
               .outcome = JobOutcome::Stopped,
               .lastStatus = "Operation stopped !!!!"},
        Ending{.name = "corrupt_frame_1",
               .damage = [](const reel::Reel& r) { test::corruptImageData(r.scanPaths[0]); }},
        Ending{.name = "tiny_first_scan",
               .damage =
                   [](const reel::Reel& r) { test::replaceWithTinyScan(r.scanPaths[0], 31, 600); }},
        Ending{.name = "missing_directory",
               .output = "missing/out.avi",
               .outcome = JobOutcome::WriteFailed,
               .lastStatus = "Cannot create the movie file!"}),
    [](const ::testing::TestParamInfo<Ending>& info) { return info.param.name; });

TEST_F(MovieJobTest, OneFrameAndManualResolution) {
  JobSettings s;
  s.film.manualResolution = Resolution{900, 900};
  const MovieRun run = runMovieJob(reel_.scanPaths[0], output(), s, 3, 3);
  ASSERT_EQ(run.outcome, JobOutcome::Finished);
  EXPECT_EQ(run.movie.frames.size(), 1u);
  EXPECT_EQ(run.movie.fps, 25.0);
  EXPECT_EQ(readCode(run.movie.frames[0], reel_, s), reel::frameCode(2));
  EXPECT_NE(run.status[1].find("Picture resolution (dpi) x=900,y=900"), std::string::npos);
}

}  // namespace
}  // namespace kelvora
