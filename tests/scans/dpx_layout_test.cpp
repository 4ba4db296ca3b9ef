// The direct DPX reader on every layout scanners write: it gives the samples written,
// the same samples as the image library's own decoding wherever that reads the file,
// only the rows asked for, and the jobs' bytes by the rules of a 16-bit TIFF.
#include "scans/dpx_layout.h"

#include <OpenImageIO/imageio.h>

#include <fstream>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "scans/dpx_reader.h"
#include "scans/sample_depth.h"
#include "scans/scan_loader.h"
#include "support/dpx_file.h"
#include "support/temp_dir.h"

namespace kelvora {
namespace {

constexpr int kRows = 41;  // enough that lines run on differ in length from padded ones

// The image library's decoding of a file, all its samples at the file's depth, in the
// file's order; empty when it cannot read the file.
cv::Mat libraryDecode(const std::string& path, int bits) {
  OIIO::ImageSpec header;
  auto in = OIIO::ImageInput::create(path);
  if (!in || !in->open(path, header)) return {};
  cv::Mat out(header.height, header.width,
              CV_MAKETYPE(bits == 8 ? CV_8U : CV_16U, header.nchannels));
  if (!in->read_image(0, 0, 0, header.nchannels,
                      bits == 8 ? OIIO::TypeDesc::UINT8 : OIIO::TypeDesc::UINT16, out.data))
    return {};
  if (bits == 10 || bits == 12) {
    cv::Mat flat = out.reshape(1, 1);
    for (int i = 0; i < flat.cols; ++i) flat.ptr<std::uint16_t>(0)[i] >>= 16 - bits;
  }
  return out;
}

// The jobs' bytes of a picture at 16 bits, as a 16-bit TIFF is reduced.
cv::Mat reduced(const cv::Mat& picture) {
  if (picture.depth() == CV_8U) return picture;
  cv::Mat out(picture.size(), CV_8UC(picture.channels()));
  const cv::Mat in = picture.reshape(1, 1);
  cv::Mat o = out.reshape(1, 1);
  for (int i = 0; i < in.cols; ++i) {
    const std::uint16_t v = in.ptr<std::uint16_t>(0)[i];
    o.ptr<std::uint8_t>(0)[i] = picture.channels() == 1 ? greyByteOf(v) : colourBytes()[v];
  }
  return out;
}

bool same(const cv::Mat& a, const cv::Mat& b) {
  return a.size() == b.size() && a.type() == b.type() &&
         (a.empty() || cv::norm(a, b, cv::NORM_INF) == 0);
}

struct Case {
  test::DpxFileLayout layout;
  int channels;
  int width;
};

// Every depth and packing, both byte orders, one to four samples a pixel, widths that
// leave none, one and two samples over a 10-bit word, lines run on, and lines padded
// where the header says so.
std::vector<Case> everyLayout() {
  std::vector<Case> cases;
  for (const int bits : {8, 10, 12, 16})
    for (const DpxPacking packing : {DpxPacking::FilledA, DpxPacking::FilledB, DpxPacking::Packed})
      for (const bool runOn : {false, true}) {
        const bool wordStream = bits == 10 || packing == DpxPacking::Packed;
        if ((bits == 8 || bits == 16) && packing != DpxPacking::FilledA) continue;
        if (runOn && !wordStream) continue;
        for (const bool big : {true, false})
          for (const int channels : {1, 2, 3, 4})
            for (const int width : {36, 37, 38}) {
              test::DpxFileLayout l;
              l.bits = bits;
              l.packing = packing;
              l.runOn = runOn;
              l.bigEndian = big;
              cases.push_back({l, channels, width});
            }
      }
  // Line padding the header declares, to be skipped.
  for (const int bits : {8, 10, 12, 16})
    for (const int padding : {1, 6, 64})
      cases.push_back({{.bits = bits, .linePadding = padding}, 3, 37});
  return cases;
}

// Where the image library decodes a file to the samples written: it reads no pixel of
// two samples and no lines run on, and a filled 10-bit line that leaves one sample over
// its last word (or, single-channel, any) loses that word.
bool libraryReads(const Case& c) {
  const test::DpxFileLayout& l = c.layout;
  if (c.channels == 2) return false;
  if (l.runOn) return false;
  if (l.bits == 10 && l.packing != DpxPacking::Packed) {
    const int over = (c.width * c.channels) % 3;
    if (over == 1 || (c.channels == 1 && over != 0)) return false;
  }
  return true;
}

TEST(DpxLayoutTest, EveryLayoutReadsAsWrittenAndAsTheLibraryDecodesIt) {
  test::TempDir dir;
  int n = 0;
  int heldAgainstLibrary = 0;
  for (const Case& c : everyLayout()) {
    const std::string name = test::nameOf(c.layout, c.channels) + " w" + std::to_string(c.width) +
                             " +" + std::to_string(c.layout.linePadding);
    SCOPED_TRACE(name);
    cv::Mat samples(kRows, c.width, CV_MAKETYPE(c.layout.bits == 8 ? CV_8U : CV_16U, c.channels));
    cv::randu(samples, 0, 1 << c.layout.bits);
    const std::string path = dir.file(std::to_string(n++) + ".dpx");
    test::writeDpxFile(path, samples, c.layout);
    const cv::Mat picture = test::pictureOf(samples, c.layout.bits);

    cv::Mat own;
    std::string error;
    ASSERT_EQ(readDpxDirect(path, own, error, SampleDepth::Own), DirectRead::Done) << error;
    EXPECT_TRUE(same(own, picture));
    const LoadedScan bytes = loadScan(path);
    ASSERT_TRUE(bytes.ok()) << bytes.error;
    EXPECT_TRUE(same(bytes.image, reduced(picture)));
    // Bands along either edge, which in lines run on start inside a word.
    for (const bool top : {true, false}) {
      const RowBand band{0.37, top};
      const LoadedScan side = loadFullDepth(path, band);
      ASSERT_TRUE(side.ok()) << side.error;
      EXPECT_EQ(side.scanSize, picture.size());
      EXPECT_TRUE(same(side.image, picture.rowRange(band.of(kRows)))) << (top ? "top" : "bottom");
    }
    // One colour element alone, at either depth, is that element of the whole picture;
    // a grey picture is itself.
    for (const int element : {0, 1, 2}) {
      const auto elementOf = [&](const cv::Mat& image) {
        if (image.channels() == 1) return image;
        cv::Mat one;
        cv::extractChannel(image, one, element);
        return one;
      };
      const RowBand band{0.37, element != 1};
      const LoadedScan side = loadFullDepth(path, band, element);
      ASSERT_TRUE(side.ok()) << side.error;
      EXPECT_TRUE(same(side.image, elementOf(picture.rowRange(band.of(kRows)))))
          << "element " << element;
      cv::Mat one;
      ASSERT_EQ(readDpxDirect(path, one, error, SampleDepth::Bytes, {}, nullptr, element),
                DirectRead::Done);
      EXPECT_TRUE(same(one, elementOf(reduced(picture)))) << "element " << element << " bytes";
    }
    if (libraryReads(c)) {
      ++heldAgainstLibrary;
      EXPECT_TRUE(same(libraryDecode(path, c.layout.bits), samples));
    }
  }
  EXPECT_GT(heldAgainstLibrary, 100);
}

// What the image library writes, in every layout it writes, the direct reader decodes
// as the library decodes it.
TEST(DpxLayoutTest, FilesTheLibraryWritesDecodeAsItDecodesThem) {
  test::TempDir dir;
  const std::string path = dir.file("scan.dpx");
  for (const int bits : {8, 10, 12, 16})
    for (const char* packing : {"Filled, method A", "Filled, method B", "Packed"})
      for (const char* endian : {"big", "little"})
        for (const int channels : {1, 3, 4})
          for (const int width : {36, 37, 38}) {
            SCOPED_TRACE(std::to_string(bits) + " " + packing + " " + endian + " " +
                         std::to_string(channels) + "ch w" + std::to_string(width));
            cv::Mat written(kRows, width, CV_16UC(channels));
            cv::randu(written, 0, 65536);
            OIIO::ImageSpec layout(width, kRows, channels,
                                   bits == 8 ? OIIO::TypeDesc::UINT8 : OIIO::TypeDesc::UINT16);
            layout.attribute("oiio:BitsPerSample", bits);
            layout.attribute("dpx:Packing", packing);
            layout.attribute("oiio:Endian", endian);
            const auto out = OIIO::ImageOutput::create(path);
            ASSERT_TRUE(out && out->open(path, layout) &&
                        out->write_image(OIIO::TypeDesc::UINT16, written.data) && out->close());
            const cv::Mat decoded = libraryDecode(path, 16);
            cv::Mat want;
            if (channels == 1) {
              want = decoded;
            } else {
              cv::cvtColor(decoded, want, channels == 4 ? cv::COLOR_RGBA2BGR : cv::COLOR_RGB2BGR);
            }
            if (bits == 8) want.convertTo(want, CV_8U, 1.0 / 257.0);
            cv::Mat own;
            std::string error;
            ASSERT_EQ(readDpxDirect(path, own, error, SampleDepth::Own), DirectRead::Done) << error;
            EXPECT_TRUE(same(own, want));
          }
}

// A writer may leave the header's file size undefined (all ones), as DPX marks unset
// numbers: the picture is read all the same.
TEST(DpxLayoutTest, AFileSizeLeftUndefinedIsNoCutShortCopy) {
  test::TempDir dir;
  const std::string path = dir.file("scan.dpx");
  cv::Mat samples(kRows, 37, CV_16UC3);
  cv::randu(samples, 0, 1024);
  test::writeDpxFile(path, samples, {});
  std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
  file.seekp(16);
  file.write("\xff\xff\xff\xff", 4);
  file.close();
  const LoadedScan scan = loadFullDepth(path);
  ASSERT_TRUE(scan.ok()) << scan.error;
  EXPECT_TRUE(same(scan.image, test::pictureOf(samples, 10)));
}

}  // namespace
}  // namespace kelvora
