// A scan that cannot be read is refused with its cause, before anything of the size
// it declares is allocated.
#include <tiffio.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "scans/scan_loader.h"
#include "support/cli_run.h"
#include "support/damage.h"
#include "support/dpx_file.h"
#include "support/temp_dir.h"

namespace kelvora {
namespace {

// Sets header fields of a DPX file (big-endian) to `value`.
void setFields(const std::string& path,
               std::initializer_list<std::pair<int, std::uint32_t>> fields) {
  std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
  for (const auto& [at, value] : fields) {
    const char big[4] = {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
                         static_cast<char>(value >> 8), static_cast<char>(value)};
    file.seekp(at);
    file.write(big, 4);
  }
}

// Writes a 10-bit DPX, then sets the size its header declares.
void writeDpxDeclaring(const std::string& path, std::uint32_t width, std::uint32_t height) {
  test::writeDpxFile(path, cv::Mat(40, 40, CV_16UC3, cv::Scalar(1, 2, 3)), {});
  setFields(path, {{772, width}, {776, height}});
}

// Writes a 10-bit DPX of 40x40 pixels cut short after `bytes`, its header's total
// left as it was or made to agree.
void writeDpxCutShort(const std::string& path, std::uint32_t bytes, bool agreeing) {
  test::writeDpxFile(path, cv::Mat(40, 40, CV_16UC3, cv::Scalar(1, 2, 3)), {});
  std::filesystem::resize_file(path, bytes);
  if (agreeing) setFields(path, {{16, bytes}});
}

// A grey TIFF declaring `width` x `height` pixels and holding one short strip.
void writeTiffDeclaring(const std::string& path, std::uint32_t width, std::uint32_t height) {
  TIFF* tiff = TIFFOpen(path.c_str(), "w");
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, width);
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, height);
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
  TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, 1);
  std::vector<std::uint8_t> row(64, 128);
  TIFFWriteRawStrip(tiff, 0, row.data(), static_cast<tmsize_t>(row.size()));
  TIFFClose(tiff);
}

TEST(ScanMessagesTest, EachScanThatCannotBeReadNamesItsCause) {
  const struct {
    const char* name;
    void (*make)(const std::string&);
    const char* cause;
  } cases[] = {
      {"empty.dpx", [](const std::string& p) { writeDpxDeclaring(p, 0, 0); },
       "the DPX header gives a picture of 0x0 pixels"},
      {"no_rows.dpx", [](const std::string& p) { writeDpxDeclaring(p, 2048, 0); },
       "the DPX header gives a picture of 2048x0 pixels"},
      {"huge.dpx", [](const std::string& p) { writeDpxDeclaring(p, 100000, 100000); },
       "the DPX header gives a picture of 100000x100000 pixels, too large to load"},
      {"long.dpx", [](const std::string& p) { writeDpxDeclaring(p, 20000000, 2); },
       "the DPX header gives a picture of 20000000x2 pixels, too large to load"},
      {"huge.tif", [](const std::string& p) { writeTiffDeclaring(p, 100000, 100000); },
       "the TIFF declares 100000x100000 pixels, too large to load"},
      {"wide.tif", [](const std::string& p) { writeTiffDeclaring(p, 4000000, 4000); },
       "the TIFF declares 4000000x4000 pixels, too large to load"},
      {"cut.dpx", [](const std::string& p) { writeDpxCutShort(p, 2148, false); },
       "corrupt image data (the file holds 2148 of the 8448 bytes its header gives"},
      {"short.dpx", [](const std::string& p) { writeDpxCutShort(p, 2148, true); },
       "corrupt image data (the file holds 100 bytes of picture where its 40x40 pixels at 10 "
       "bits need 6400"},
      {"header.dpx", [](const std::string& p) { test::writeText(p, "SDPX and then nothing"); },
       "too short for a DPX header"},
  };
  test::TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.file(c.name);
    c.make(path);
    for (const LoadedScan& scan : {loadScan(path), loadFullDepth(path, RowBand{0.25, true})}) {
      EXPECT_FALSE(scan.ok());
      EXPECT_NE(scan.error.find(c.cause), std::string::npos) << scan.error;
    }
  }
}

// The cause reaches the person running the job.
TEST(ScanMessagesTest, TheCommandLineSaysWhyTheFirstScanCannotBeRead) {
  test::TempDir dir;
  std::filesystem::create_directories(dir.file("reel"));
  writeDpxDeclaring(dir.file("reel/scan_0001.dpx"), 0, 0);
  const test::CliResult r = test::runCli("sound " + dir.file("reel") + " -o " + dir.file("s.wav"));
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_NE(r.output.find("the DPX header gives a picture of 0x0 pixels"), std::string::npos)
      << r.output;
}

}  // namespace
}  // namespace kelvora
