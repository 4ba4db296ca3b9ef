// Whole soundtrack jobs on generated reels whose audio is known.
#include "jobs/sound_job.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include "audio/filter.h"
#include "jobs/status_log.h"
#include "reel/reel.h"
#include "support/damage.h"
#include "support/sound_file.h"
#include "support/sound_run.h"
#include "support/temp_dir.h"

namespace kelvora {
namespace {

using reel::ReelOptions;
using test::asFloats;
using test::runSoundJob;
using test::snrDb;
using test::TempDir;

// Thresholds sit a few dB under what each reel measures. Two are low by design of the
// algorithms: without -DC each frame keeps the level of its own variable-area cut,
// whose width follows that frame's loudest passages, so the level steps at every
// join; and on 16 mm the colour cut looks for the track edge only in the first 7 %
// of the width, which this track's swing reaches past, so loud passages are clipped.
struct Case {
  std::string name;
  double minSnrDb;
  ReelOptions reel;
  void (*tweak)(SoundSettings&) = nullptr;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class SoundReelTest : public ::testing::TestWithParam<Case> {};

TEST_P(SoundReelTest, DecodesTheKnownAudioWithoutDroppingOrRepeatingSamples) {
  const Case& c = GetParam();
  TempDir dir;
  const reel::Reel r = reel::writeReel(c.reel, dir.file("scans"));
  JobSettings settings = test::settingsForReel(c.reel);
  if (c.tweak) c.tweak(settings.sound);
  const auto run = runSoundJob(r.scanPaths.front(), dir.file("out.wav"), settings, 1, c.reel.scans);
  ASSERT_EQ(run.outcome, JobOutcome::Finished);
  EXPECT_EQ(run.status.back().substr(run.status.back().rfind('\n') + 1),
            "Pictures were tranlated succesfully!");

  // A player sees 8-bit mono PCM at one sample per row of film.
  ASSERT_TRUE(run.wav.valid);
  EXPECT_EQ(run.wav.format, 1);
  EXPECT_EQ(run.wav.channels, 1);
  EXPECT_EQ(run.wav.bitsPerSample, 8);
  EXPECT_EQ(run.wav.fmtSize, 18u);
  EXPECT_EQ(run.report.parameters.framePitch, r.geometry.pitch);
  EXPECT_EQ(static_cast<int>(run.wav.sampleRate), r.geometry.sampleRate);
  EXPECT_EQ(run.wav.byteRate, run.wav.sampleRate);

  // Every join lands where the scans really overlap.
  ASSERT_EQ(run.report.frames.size(), static_cast<size_t>(c.reel.scans));
  for (size_t i = 1; i < run.report.frames.size(); ++i)
    EXPECT_EQ(run.report.frames[i].cutPoint, r.geometry.advance) << "frame " << i + 1;
  const size_t filterTail = settings.sound.aChain ? 19 : 0;
  EXPECT_EQ(run.wav.data.size(), static_cast<size_t>(r.geometry.totalRows) + filterTail);

  // The source audio, through the same output filter when A-Chain is on.
  std::vector<float> expected = r.audio;
  if (settings.sound.aChain) filter(expected);
  const double snr = snrDb(asFloats(run.wav.data), expected, 0, 19);
  std::printf("[ reel     ] %-28s SNR %.1f dB\n", c.name.c_str(), snr);
  RecordProperty("snr_db", std::to_string(snr));
  EXPECT_GT(snr, c.minSnrDb);
}

INSTANTIATE_TEST_SUITE_P(
    Reels, SoundReelTest,
    ::testing::Values(
        Case{"va35_defaults", 24},
        Case{"va35_no_crossfade_no_filter",
             24,
             {},
             [](SoundSettings& s) { s.crossfade = s.aChain = false; }},
        Case{"va35_cut_by_soundtrack", 24, {}, [](SoundSettings& s) { s.cutBySoundtrack = true; }},
        Case{"va35_no_dc", 17, {}, [](SoundSettings& s) { s.removeDC = false; }},
        Case{"va35_down", 24, {.directionUp = false}}, Case{"va35_inverse", 24, {.inverse = true}},
        Case{"va35_grey_24fps", 20, {.fps = 24, .colour = false}},
        Case{"va35_luma", 24, {}, [](SoundSettings& s) { s.color = kLuma; }},
        Case{"va35_16bit", 24, {.sixteenBit = true}}, Case{"va35_alpha", 24, {.alpha = true}},
        Case{"vd35_defaults", 24, {.filmType = 2}},
        Case{"vd35_cut_by_soundtrack_down",
             24,
             {.filmType = 2, .directionUp = false},
             [](SoundSettings& s) { s.cutBySoundtrack = true; }},
        Case{"va16_defaults", 24, {.filmType = 3, .dpi = 1800}},
        Case{"va16_cut_by_soundtrack",
             14,
             {.filmType = 3, .dpi = 1800},
             [](SoundSettings& s) { s.cutBySoundtrack = true; }},
        Case{"va35_tones_picture_guided", 20, {.programme = reel::Programme::Tones}},
        Case{"va35_long_strip", 24, {.scans = 4, .longStrip = true}},
        Case{"va16_long_strip", 24, {.filmType = 3, .dpi = 1800, .scans = 4, .longStrip = true}}),
    [](const ::testing::TestParamInfo<Case>& info) { return info.param.name; });

// Every way a job can fail ends it honestly: the right ending and status text, the
// cause for the user, and an older take of the same name left exactly as it was.
struct Ending {
  std::string name;
  std::function<void(const reel::Reel&)> damage;
  int start = 1;
  int stop = 5;
  int stopAtFrame = 0;  // Stop pressed while this frame loads
  std::string output = "out.wav";
  JobOutcome outcome = JobOutcome::Unreadable;
  int failedFrame = 0;
  std::string lastStatus = "Wrong file format !!!";
  std::string cause;
};

void PrintTo(const Ending& e, std::ostream* os) { *os << e.name; }

class SoundJobEndingTest : public ::testing::TestWithParam<Ending> {};

TEST_P(SoundJobEndingTest, EndsHonestlyAndKeepsTheOlderTake) {
  const Ending& e = GetParam();
  TempDir dir;
  ReelOptions options;
  options.scans = 6;
  const reel::Reel r = reel::writeReel(options, dir.file("scans"));
  if (e.damage) e.damage(r);
  test::writeText(dir.file("out.wav"), "an earlier take");
  const auto run = runSoundJob(
      r.scanPaths.front(), dir.file(e.output), JobSettings{}, e.start, e.stop,
      [&e](JobRequest&, test::RecordingControls& controls, std::atomic<bool>& stop) {
        controls.stopWhenShown(stop, statusLine("Translating frame number : %d...", e.stopAtFrame));
      });
  EXPECT_EQ(run.outcome, e.outcome);
  EXPECT_EQ(run.report.failedFrame, e.failedFrame);
  EXPECT_EQ(run.status.back(), e.lastStatus);
  EXPECT_NE(run.report.failure.find(e.cause), std::string::npos) << run.report.failure;
  EXPECT_TRUE(test::fileText(dir.file("out.wav")) == "an earlier take");
  EXPECT_EQ(test::hiddenFiles(dir.path().string()), 0);
  // An output that cannot be written is found out before any frame is decoded.
  if (e.outcome == JobOutcome::WriteFailed) {
    EXPECT_TRUE(run.report.frames.empty());
    EXPECT_EQ(run.status, std::vector<std::string>{e.lastStatus});
  }
}

INSTANTIATE_TEST_SUITE_P(
    Failures, SoundJobEndingTest,
    ::testing::Values(
        Ending{.name = "not_an_image",
               .damage = [](const reel::Reel& r) { test::replaceWithText(r.scanPaths[2]); },
               .failedFrame = 3},
        Ending{.name = "truncated",
               .damage = [](const reel::Reel& r) { test::truncateToAThird(r.scanPaths[1]); },
               .failedFrame = 2},
        Ending{.name = "corrupt_strip",
               .damage = [](const reel::Reel& r) { test::corruptImageData(r.scanPaths[1]); },
               .failedFrame = 2,
               .cause = "corrupt image data"},
        Ending{.name = "past_the_last_scan", .start = 5, .stop = 9, .failedFrame = 7},
        Ending{.name = "tiny_first_scan",
               .damage =
                   [](const reel::Reel& r) { test::replaceWithTinyScan(r.scanPaths[0], 908, 1); },
               .failedFrame = 1,
               .cause = "too small to hold a frame"},
        Ending{.name = "stopped",
               .stop = 6,
               .stopAtFrame = 3,
               .outcome = JobOutcome::Stopped,
               .lastStatus = "Operation stopped !!!!"},
        Ending{.name = "missing_directory",
               .output = "missing/out.wav",
               .outcome = JobOutcome::WriteFailed,
               .lastStatus = "Cannot write the sound file!",
               .cause = "No such file or directory"},
        Ending{.name = "name_too_long",
               .output = std::string(300, 'n') + ".wav",
               .outcome = JobOutcome::WriteFailed,
               .lastStatus = "Cannot write the sound file!",
               .cause = "File name too long"}),
    [](const ::testing::TestParamInfo<Ending>& info) { return info.param.name; });

class SoundJobTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ReelOptions options;
    options.scans = 6;
    reel_ = reel::writeReel(options, dir_.file("scans"));
  }
  std::string output() const { return dir_.file("out.wav"); }

  TempDir dir_;
  reel::Reel reel_;
};

// One frame keeps its whole scan; a range keeps its scans in listing order, joined.
TEST_F(SoundJobTest, StartAndStopFramesSelectScansByListingOrder) {
  JobSettings s;
  s.sound.aChain = false;
  const reel::ReelGeometry& g = reel_.geometry;
  for (const auto& [start, stop] : {std::pair{4, 4}, std::pair{2, 3}}) {
    const auto run = runSoundJob(reel_.scanPaths.front(), output(), s, start, stop);
    ASSERT_EQ(run.outcome, JobOutcome::Finished);
    EXPECT_EQ(run.wav.data.size(), static_cast<size_t>((stop - start) * g.advance + g.scanLength));
    EXPECT_EQ(run.report.frames[0].cutPoint, -1);
    EXPECT_GT(snrDb(asFloats(run.wav.data), reel_.audio, (start - 1) * g.advance), 25.0);
  }
}

TEST_F(SoundJobTest, ManualResolutionSetsTheSampleRate) {
  JobSettings s;
  s.film.manualResolution = Resolution{2000, 2000};
  auto run = runSoundJob(reel_.scanPaths.front(), output(), s, 1, 2);
  ASSERT_EQ(run.outcome, JobOutcome::Finished);
  EXPECT_EQ(run.wav.sampleRate, 25u * 1511u);
  EXPECT_NE(run.status[1].find("Picture resolution (dpi) x=2000,y=2000"), std::string::npos);
  s.film.fps = 24;
  s.film.track = Track::VariableArea16;
  run = runSoundJob(reel_.scanPaths.front(), output(), s, 1, 1);
  EXPECT_EQ(run.wav.sampleRate, 24u * 600u);
}

TEST_F(SoundJobTest, StatusShowsSixLinesAtMost) {
  const auto run = runSoundJob(reel_.scanPaths.front(), output(), JobSettings{}, 1, 6);
  ASSERT_EQ(run.outcome, JobOutcome::Finished);
  // Two lines for frame 1, one per later frame: frame 6 is the seventh line.
  EXPECT_EQ(run.status[0], "Translating frame number : 1...\r\n");
  EXPECT_EQ(run.status[1],
            "Translating frame number : 1...\r\nPicture resolution (dpi) x=900,y=900\r\n");
  EXPECT_EQ(run.status[6], "Translating frame number : 6...\r\n");
  EXPECT_EQ(run.status.back(),
            "Translating frame number : 6...\r\nPictures were tranlated succesfully!");
}

// After a first scan that holds a frame, later scans cut short along the film (the
// end of a reel) give odd sound, never a crash or a read outside an image.
TEST(SoundJobInputTest, OddLaterScans) {
  TempDir dir;
  ReelOptions options;
  options.scans = 1;
  const reel::Reel r = reel::writeReel(options, dir.file("odd"));
  const int across = r.geometry.filmWidth;
  const std::vector<cv::Mat> scans = {cv::Mat(across, 1, CV_8UC1, cv::Scalar(9)),
                                      cv::Mat(across, 3, CV_8UC3, cv::Scalar(1, 2, 3)),
                                      cv::Mat(across + 10, 2, CV_8UC1, cv::Scalar(200)),
                                      cv::Mat(across - 5, 13, CV_8UC3, cv::Scalar(90, 20, 250))};
  for (size_t i = 0; i < scans.size(); ++i)
    ASSERT_TRUE(cv::imwrite(dir.file("odd/z" + std::to_string(i) + ".tif"), scans[i]));
  for (bool cutBySoundtrack : {false, true}) {
    for (int type : {0, 1, 2}) {
      JobSettings s;
      s.sound.cutBySoundtrack = cutBySoundtrack;
      s.film.track = static_cast<Track>(type);
      s.film.frameCorrection = type == 1;
      const auto run = runSoundJob(dir.file("odd/"), dir.file("odd.wav"), s, 1, 5);
      EXPECT_EQ(run.outcome, JobOutcome::Finished);
      EXPECT_TRUE(run.wav.valid);
    }
  }
}

// A reel the classic reader will play off its speed says so before its second frame is
// read, by how much; the precise reader, which measures its rate on the film, does not.
TEST(SoundJobWarningTest, AWrongSpeedIsSaidBeforeTheSecondFrame) {
  const struct {
    int dpi;
    double shrinkage;
    Reader reader;
    const char* said;  // "" for nothing
  } cases[] = {{1200, 0.0, Reader::Classic, "the sound will play 25.0 % slow"},
               {1800, 0.01, Reader::Classic, "the sound will play 1.0 % fast"},
               {1200, 0.0, Reader::Precise, ""},
               {900, 0.0, Reader::Classic, ""}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.dpi) + " dpi " + readerName(c.reader));
    TempDir dir;
    ReelOptions o;
    o.scans = 3;
    o.dpi = c.dpi;
    o.shrinkage = c.shrinkage;
    const reel::Reel r = reel::writeReel(o, dir.file("scans"));
    JobSettings s = test::settingsForReel(o);
    s.sound.reader = c.reader;
    const auto run = runSoundJob(r.scanPaths.front(), dir.file("out.wav"), s, 1, 3);
    ASSERT_EQ(run.outcome, JobOutcome::Finished);
    if (std::string(c.said).empty()) {
      EXPECT_TRUE(run.warnings.empty()) << run.warnings.front();
      continue;
    }
    ASSERT_EQ(run.warnings.size(), 1u);
    EXPECT_EQ(run.warnings[0].find(c.said), 0u) << run.warnings[0];
    EXPECT_EQ(run.report.warnings, run.warnings);
    // Before the second frame's status line.
    ASSERT_GE(run.status.size(), 3u);
    EXPECT_NE(run.status[2].find("Translating frame number : 2..."), std::string::npos);
    EXPECT_LE(run.warningsAfter[0], 2u);
  }
}

// Speech has pauses where the film holds nothing but the scanner's noise: a join there
// cannot be judged and is no warning. A scan repeated out of its place still is one.
TEST(SoundJobWarningTest, PausesInSpeechAreNoBrokenFilm) {
  TempDir dir;
  // Syllables of noise a tenth of a second long, each followed by as long a pause of
  // true silence: several joins fall in a pause.
  const int rate = 17000;
  std::vector<float> speech;
  unsigned noise = 12345;
  for (int syllable = 0; syllable < 6; ++syllable) {
    for (int i = 0; i < rate / 10; ++i) {
      noise = noise * 1664525u + 1013904223u;
      speech.push_back(0.5f * (static_cast<float>(noise >> 8) / 8388608.0f - 1.0f));
    }
    speech.insert(speech.end(), static_cast<size_t>(rate / 10), 0.0f);
  }
  ASSERT_TRUE(test::writeFloatWav(dir.file("speech.wav"), speech, rate));

  ReelOptions o;
  o.soundFile = dir.file("speech.wav");
  o.scans = 12;
  const reel::Reel r = reel::writeReel(o, dir.file("scans"));
  const JobSettings s = test::settingsForReel(o);
  const auto plain = runSoundJob(r.scanPaths.front(), dir.file("out.wav"), s, 1, o.scans);
  ASSERT_EQ(plain.outcome, JobOutcome::Finished);
  EXPECT_TRUE(plain.warnings.empty()) << plain.warnings.front();

  // The second scan again in the fifth's place: the film does not continue there.
  std::filesystem::copy_file(r.scanPaths[1], r.scanPaths[4],
                             std::filesystem::copy_options::overwrite_existing);
  const auto repeated = runSoundJob(r.scanPaths.front(), dir.file("out.wav"), s, 1, o.scans);
  ASSERT_EQ(repeated.outcome, JobOutcome::Finished);
  // Said where the stranger scan takes over, or where the film goes on after it when
  // the first of those joins falls in a pause.
  ASSERT_EQ(repeated.warnings.size(), 1u);
  const std::string& said = repeated.warnings.front();
  EXPECT_TRUE(said.find("does not continue where frame 5 ") != std::string::npos ||
              said.find("does not continue where frame 6 ") != std::string::npos)
      << said;
}

// Scans numbered without padding play in the order of their numbers, and the hidden
// companions a Mac copy leaves are no scans: the sound is that of the plain reel.
TEST(SoundJobInputTest, NaturalOrderAndHiddenFiles) {
  TempDir dir;
  ReelOptions options;
  options.scans = 12;
  const reel::Reel r = reel::writeReel(options, dir.file("scans"));
  std::filesystem::create_directory(dir.file("renamed"));
  for (size_t i = 0; i < r.scanPaths.size(); ++i) {
    const std::string name = std::to_string(i + 1) + ".tif";
    std::filesystem::copy_file(r.scanPaths[i], dir.file("renamed/" + name));
    test::writeText(dir.file("renamed/._" + name), "Mac resource fork");
  }
  const auto plain = runSoundJob(dir.file("scans/"), dir.file("plain.wav"), JobSettings{}, 1, 12);
  const auto renamed =
      runSoundJob(dir.file("renamed/"), dir.file("renamed.wav"), JobSettings{}, 1, 12);
  ASSERT_EQ(renamed.outcome, JobOutcome::Finished);
  EXPECT_EQ(renamed.wav.data, plain.wav.data);
}

}  // namespace
}  // namespace kelvora
