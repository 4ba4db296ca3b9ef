// DPX reels from a film scanner: they decode as their TIFF twins do, their headers are
// read, and a damaged or mixed reel is refused with its cause.
#include "scans/dpx_reader.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "jobs/frame_listing.h"
#include "scans/scan_header.h"
#include "scans/scan_loader.h"
#include "support/cli_run.h"
#include "support/damage.h"
#include "support/sound_run.h"
#include "support/temp_dir.h"
#include "support/wav_file.h"

namespace kelvora {
namespace {

struct Twin {
  int dpxBits;
  bool colour;
  int filmType;
};

reel::ReelOptions optionsOf(const Twin& t) {
  reel::ReelOptions o;
  o.scans = 5;
  o.colour = t.colour;
  o.filmType = t.filmType;
  o.dpi = t.filmType == 3 ? 1800 : 900;
  o.sixteenBit = t.dpxBits > 8;
  return o;
}

TEST(DpxTest, ReelsDecodeLikeTheirTiffTwins) {
  const Twin twins[] = {{8, true, 1}, {10, true, 1}, {12, false, 2}, {16, true, 3}, {16, false, 1}};
  test::TempDir dir;
  for (const Twin& t : twins) {
    SCOPED_TRACE(std::to_string(t.dpxBits) + " bits, film " + std::to_string(t.filmType));
    reel::ReelOptions o = optionsOf(t);
    const reel::Reel tiff = reel::writeReel(o, dir.file("tiff"));
    o.dpxBits = t.dpxBits;
    const reel::Reel dpx = reel::writeReel(o, dir.file("dpx"));
    const JobSettings s = test::settingsForReel(o);
    const auto fromTiff = test::runSoundJob(tiff.scanPaths[0], dir.file("t.wav"), s, 1, o.scans);
    const auto fromDpx = test::runSoundJob(dpx.scanPaths[0], dir.file("d.wav"), s, 1, o.scans);
    ASSERT_EQ(fromDpx.outcome, JobOutcome::Finished);
    EXPECT_TRUE(fromDpx.wav.data == fromTiff.wav.data);
    EXPECT_EQ(fromDpx.status, fromTiff.status);

    // Full depth: what the file holds, 10 and 12 bits taken to 16.
    cv::Mat deep, twin;
    ASSERT_EQ(readFullDepth(dpx.scanPaths[0], deep), "");
    ASSERT_EQ(readFullDepth(tiff.scanPaths[0], twin), "");
    EXPECT_EQ(deep.depth(), t.dpxBits > 8 ? CV_16U : CV_8U);
    EXPECT_EQ(deep.channels(), t.colour ? 3 : 1);
    const double step = t.dpxBits > 8 ? 65535.0 / ((1 << t.dpxBits) - 1) : 0.0;
    EXPECT_LE(cv::norm(deep, twin, cv::NORM_INF), step);

    const ScanHeader h = readScanHeader(dpx.scanPaths[0]);
    EXPECT_EQ(h.format, "dpx");
    EXPECT_EQ(h.bits, t.dpxBits);
    EXPECT_EQ(h.frameRate, 25.0);
    EXPECT_EQ(h.filmType, t.filmType == 3 ? "16mm" : "Academy");
    EXPECT_EQ(h.keycode, "0102001234561000");
    EXPECT_EQ(readScanHeader(tiff.scanPaths[0]).dpiX, o.dpi);
    std::filesystem::remove_all(dir.file("tiff"));
    std::filesystem::remove_all(dir.file("dpx"));
  }
}

TEST(DpxTest, ADamagedOrMixedReelIsRefusedWithItsCause) {
  test::TempDir dir;
  reel::ReelOptions o;
  o.scans = 4;
  o.dpxBits = 10;
  const reel::Reel r = reel::writeReel(o, dir.file("reel"));
  const struct {
    void (*damage)(const std::string&);
    const char* cause;
  } cases[] = {{test::truncateToAThird, "corrupt image data"},
               {test::replaceWithText, "could not be decoded"}};
  for (const auto& c : cases) {
    const std::string backup = test::fileText(r.scanPaths[2]);
    c.damage(r.scanPaths[2]);
    const LoadedScan scan = loadScan(r.scanPaths[2]);
    EXPECT_FALSE(scan.ok());
    EXPECT_NE(scan.error.find(c.cause), std::string::npos) << scan.error;
    const auto run = test::runSoundJob(r.scanPaths[0], dir.file("s.wav"), JobSettings{}, 1, 4);
    EXPECT_EQ(run.outcome, JobOutcome::Unreadable);
    EXPECT_EQ(run.report.failedFrame, 3);
    test::writeText(r.scanPaths[2], backup);
  }

  test::writeText(dir.file("reel/scan_0005.tif"), "");
  const FrameListing mixed = FrameListing::open(dir.file("reel"));
  EXPECT_EQ(mixed.size(), 0);
  EXPECT_NE(mixed.problem().find("both .tif and .dpx"), std::string::npos);
  const test::CliResult cli =
      test::runCli("sound " + dir.file("reel") + " -o " + dir.file("s.wav"));
  EXPECT_EQ(cli.status, 2);
  EXPECT_NE(cli.output.find("both .tif and .dpx scans (1 and 4)"), std::string::npos) << cli.output;
}

}  // namespace
}  // namespace kelvora
