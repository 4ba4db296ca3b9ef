// The direct TIFF reader must hand the jobs exactly the bytes of the general decoder,
// and at full depth exactly the samples of the library reader; libtiff's reading of a
// header must say what the general decoder's says.
#include "scans/tiff_reader.h"

#include <tiffio.h>

#include <fstream>
#include <random>
#include <span>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include "scans/dpx_reader.h"
#include "scans/general_decoder.h"
#include "scans/scan_header.h"
#include "scans/scan_loader.h"
#include "support/temp_dir.h"

namespace kelvora {
namespace {

struct Layout {
  int channels;  // 1 grey, 3 RGB, 4 RGB with alpha
  int bits;
  std::uint16_t compression;
  bool tiled;
  int photometric = -1;  // -1: the natural one
};

// Writes a 301 x 97 scan of noise with libtiff, the way scanners store them.
cv::Mat writeScan(const std::string& path, const Layout& l, unsigned seed) {
  const int width = 301, height = 97;
  cv::Mat pixels(height, width, CV_MAKETYPE(l.bits == 8 ? CV_8U : CV_16U, l.channels));
  cv::theRNG().state = seed;
  cv::randu(pixels, 0, l.bits == 8 ? 256 : 65536);
  TIFF* tiff = TIFFOpen(path.c_str(), "w");
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, width);
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, height);
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, l.bits);
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, l.channels);
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC,
               l.photometric >= 0 ? l.photometric
                                  : (l.channels == 1 ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB));
  TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tiff, TIFFTAG_COMPRESSION, l.compression);
  if (l.channels == 4) {
    const std::uint16_t extra[] = {EXTRASAMPLE_UNASSALPHA};
    TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, extra);
  }
  if (l.tiled) {
    TIFFSetField(tiff, TIFFTAG_TILEWIDTH, 64);
    TIFFSetField(tiff, TIFFTAG_TILELENGTH, 32);
    std::vector<std::uint8_t> tile(static_cast<size_t>(TIFFTileSize(tiff)));
    const size_t pixelBytes = pixels.elemSize();
    for (int y = 0; y < height; y += 32)
      for (int x = 0; x < width; x += 64) {
        std::fill(tile.begin(), tile.end(), 0);
        for (int r = 0; r < 32 && y + r < height; ++r)
          std::copy_n(pixels.ptr(y + r) + x * pixelBytes, std::min(64, width - x) * pixelBytes,
                      tile.data() + r * 64 * pixelBytes);
        TIFFWriteTile(tiff, tile.data(), x, y, 0, 0);
      }
  } else {
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, 10);
    for (int y = 0; y < height; ++y) TIFFWriteScanline(tiff, pixels.ptr(y), y, 0);
  }
  TIFFClose(tiff);
  return pixels;
}

TEST(TiffReaderTest, GivesExactlyTheGeneralDecodersBytes) {
  const Layout handled[] = {
      {1, 8, COMPRESSION_NONE, false},      {3, 8, COMPRESSION_NONE, false},
      {1, 16, COMPRESSION_NONE, false},     {3, 16, COMPRESSION_NONE, false},
      {1, 8, COMPRESSION_LZW, false},       {3, 8, COMPRESSION_ADOBE_DEFLATE, false},
      {3, 16, COMPRESSION_LZW, false},      {1, 8, COMPRESSION_NONE, true},
      {3, 8, COMPRESSION_LZW, true},        {3, 16, COMPRESSION_NONE, true},
      {1, 16, COMPRESSION_PACKBITS, false},
  };
  const Layout general[] = {
      {4, 8, COMPRESSION_NONE, false},
      {4, 16, COMPRESSION_LZW, false},
      {1, 8, COMPRESSION_NONE, false, PHOTOMETRIC_MINISWHITE},
      {1, 16, COMPRESSION_NONE, true},
  };
  test::TempDir dir;
  unsigned seed = 1;
  for (const bool expectDirect : {true, false}) {
    for (const Layout& l :
         expectDirect ? std::span<const Layout>(handled) : std::span<const Layout>(general)) {
      const std::string path = dir.file("scan" + std::to_string(seed) + ".tif");
      writeScan(path, l, seed++);
      const cv::Mat expected = cv::imread(path, cv::IMREAD_ANYCOLOR);
      cv::Mat direct;
      std::string error;
      const DirectRead read = readTiffDirect(path, direct, error);
      EXPECT_EQ(read, expectDirect ? DirectRead::Done : DirectRead::NotHandled) << path;
      const LoadedScan loaded = loadScan(path);
      ASSERT_TRUE(loaded.ok()) << loaded.error;
      for (const cv::Mat& image : {expectDirect ? direct : expected, loaded.image}) {
        ASSERT_EQ(image.size(), expected.size()) << path;
        ASSERT_EQ(image.type(), expected.type()) << path;
        EXPECT_EQ(cv::norm(image, expected, cv::NORM_INF), 0) << path;
      }
      cv::Mat deep;
      ASSERT_EQ(readFullDepth(path, deep), "") << path;
      const LoadedScan full = loadFullDepth(path);
      ASSERT_TRUE(full.ok()) << full.error;
      ASSERT_EQ(full.image.type(), deep.type()) << path;
      EXPECT_EQ(cv::norm(full.image, deep, cv::NORM_INF), 0) << path;
      // A band along either edge that starts and ends inside a strip or tile.
      for (const bool top : {true, false}) {
        const RowBand band{0.37, top};
        const LoadedScan side = loadFullDepth(path, band);
        ASSERT_TRUE(side.ok()) << side.error;
        EXPECT_EQ(side.scanSize, deep.size()) << path;
        const cv::Mat want = deep.rowRange(band.of(deep.rows));
        ASSERT_EQ(side.image.size(), want.size()) << path;
        EXPECT_EQ(cv::norm(side.image, want, cv::NORM_INF), 0)
            << path << (top ? " top" : " bottom");
      }
    }
  }
}

// How a scanner may tag its resolution: a unit of inches, centimetres or none, or no
// unit at all (inches, by the format's default), or no resolution.
struct Tagged {
  float x, y;
  int unit;  // a RESUNIT_ value, or 0 for no unit tag
};

TEST(TiffReaderTest, ReadsTheHeaderAsTheGeneralDecoderDoes) {
  const Tagged tags[] = {{1800, 1800, RESUNIT_INCH},
                         {708.66f, 708.66f, RESUNIT_CENTIMETER},
                         {2000, 1000, RESUNIT_INCH},
                         {300, 300, RESUNIT_NONE},
                         {4000, 4000, 0},
                         {0, 0, 0}};
  const Layout layouts[] = {{1, 8, COMPRESSION_NONE, false},
                            {3, 16, COMPRESSION_LZW, false},
                            {4, 8, COMPRESSION_NONE, true}};
  std::string why;
  const GeneralDecoder* general = generalDecoder(why);
  ASSERT_NE(general, nullptr) << why;
  test::TempDir dir;
  unsigned seed = 1;
  for (const Layout& l : layouts)
    for (const Tagged& t : tags) {
      const std::string path = dir.file("scan" + std::to_string(seed) + ".tif");
      writeScan(path, l, seed++);
      if (t.x > 0) {
        TIFF* tiff = TIFFOpen(path.c_str(), "r+");
        ASSERT_NE(tiff, nullptr);
        TIFFSetField(tiff, TIFFTAG_XRESOLUTION, t.x);
        TIFFSetField(tiff, TIFFTAG_YRESOLUTION, t.y);
        if (t.unit != 0) TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, t.unit);
        TIFFRewriteDirectory(tiff);
        TIFFClose(tiff);
      }
      const ScanHeader ours = readScanHeader(path);
      const ScanHeader theirs = general->readHeader(path);
      SCOPED_TRACE(path + " unit " + std::to_string(t.unit));
      ASSERT_TRUE(ours.read && theirs.read);
      EXPECT_EQ(ours.format, theirs.format);
      EXPECT_EQ(ours.width, theirs.width);
      EXPECT_EQ(ours.height, theirs.height);
      EXPECT_EQ(ours.channels, theirs.channels);
      EXPECT_EQ(ours.bits, theirs.bits);
      EXPECT_NEAR(ours.dpiX, theirs.dpiX, 1e-3);
      EXPECT_NEAR(ours.dpiY, theirs.dpiY, 1e-3);
      EXPECT_EQ(ours.keycode, "");
    }
  // Not a TIFF inside: neither reads it.
  const std::string text = dir.file("notes.tif");
  { std::ofstream(text) << "not a scan"; }
  EXPECT_FALSE(readScanHeader(text).read);
}

}  // namespace
}  // namespace kelvora
