// DPX reels from a film scanner: they decode as their TIFF twins do, their headers are
// read, and a damaged or mixed reel is refused with its cause.
#include "scans/dpx_reader.h"

#include <cmath>
#include <filesystem>

#include <gtest/gtest.h>

#include "jobs/frame_listing.h"
#include "scans/general_decoder.h"
#include "scans/header_text.h"
#include "scans/scan_header.h"
#include "scans/scan_loader.h"
#include "support/cli_run.h"
#include "support/damage.h"
#include "support/dpx_file.h"
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

// A header field as reports show it: the fill of an unused field dropped, valid UTF-8.
std::string shown(const std::string& text) {
  const size_t end = text.find_last_not_of(std::string("\xff\0", 2));
  return validUtf8(std::string_view(text).substr(0, end == std::string::npos ? 0 : end + 1));
}

// The direct reader reads a DPX header as the general decoder does, whoever wrote it.
TEST(DpxTest, TheHeaderReadsAsTheGeneralDecoderReadsIt) {
  std::string why;
  const GeneralDecoder* general = generalDecoder(why);
  ASSERT_NE(general, nullptr) << why;
  test::TempDir dir;
  std::vector<std::string> files;
  // As the general library writes them, the film header filled in.
  for (const int bits : {8, 10, 12, 16}) {
    reel::ReelOptions o;
    o.scans = 1;
    o.colour = bits != 12;
    o.sixteenBit = bits > 8;
    o.dpxBits = bits;
    o.filmType = bits == 16 ? 3 : 1;
    files.push_back(reel::writeReel(o, dir.file(std::to_string(bits) + "-bit")).scanPaths[0]);
  }
  // As scanners of other makes write them: either byte order, packed or filled, grey to
  // four samples a pixel, the film header's text Latin-1 or unset (NUL or 0xFF).
  const struct {
    int channels;
    test::DpxFileLayout layout;
  } written[] = {
      {3, {10, DpxPacking::FilledA, true, false, 0, 0, "Academy", "01"}},
      {1, {10, DpxPacking::Packed, false, true, 0, 0, "Acad\xE9mie", "\xE9\xE9"}},
      {4, {16, DpxPacking::FilledA, true, false, 0, 0, "", "", true}},
      {1, {12, DpxPacking::FilledB, false, false, 0, 8, "Vision\xFF\xFF 3", ""}},
      {3, {8, DpxPacking::FilledA, true, false, 0, 0, "", ""}},
  };
  for (const auto& w : written) {
    const cv::Mat samples(24, 30, CV_MAKETYPE(w.layout.bits == 8 ? CV_8U : CV_16U, w.channels),
                          cv::Scalar::all(200));
    files.push_back(dir.file(test::nameOf(w.layout, w.channels) + ".dpx"));
    test::writeDpxFile(files.back(), samples, w.layout);
  }
  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    const ScanHeader ours = readScanHeader(file);
    const ScanHeader theirs = general->readHeader(file);
    ASSERT_TRUE(ours.read && theirs.read);
    EXPECT_EQ(ours.format, theirs.format);
    EXPECT_EQ(ours.width, theirs.width);
    EXPECT_EQ(ours.height, theirs.height);
    EXPECT_EQ(ours.channels, theirs.channels);
    EXPECT_EQ(ours.bits, theirs.bits);
    EXPECT_EQ(ours.dpiX, theirs.dpiX);
    EXPECT_EQ(ours.frameRate, std::isfinite(theirs.frameRate) ? theirs.frameRate : 0.0);
    EXPECT_EQ(ours.filmType, shown(theirs.filmType));
    // An edge code left all 0xFF is unset, where the general decoder makes numbers of it.
    if (file.ends_with("16-be-4ch.dpx"))
      EXPECT_EQ(ours.keycode, "");
    else
      EXPECT_EQ(ours.keycode, shown(theirs.keycode));
  }
}

}  // namespace
}  // namespace kelvora
