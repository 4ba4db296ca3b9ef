#include "scans/tiff_reader.h"

#include <sys/stat.h>
#include <tiffio.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "scans/mapped_file.h"
#include "scans/sample_depth.h"

namespace kelvora {

namespace {

struct TiffCloser {
  void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};
using TiffFile = std::unique_ptr<TIFF, TiffCloser>;

template <typename T>
T tag(TIFF* tiff, ttag_t which, T fallback) {
  T value = fallback;
  if (TIFFGetFieldDefaulted(tiff, which, &value) != 1) return fallback;
  return value;
}

// How the file's samples become the jobs' bytes.
struct Samples {
  int channels;        // 1 grey, 3 RGB
  int bits;            // 8 or 16
  bool reduce = true;  // 16 bits to the jobs' 8, or kept
};

// Converts `rows` rows of `pixels` pixels of the file's samples (rows `inStep` bytes
// apart) into the image `out` at (x, y): colour to blue-green-red and, when reduced,
// 16-bit grey to its high byte, 16-bit colour to the nearest of 255 steps.
void convert(const std::uint8_t* in, size_t inStep, int rows, int pixels, const Samples& kind,
             cv::Mat& out, int x, int y) {
  cv::Mat dst = out(cv::Rect(x, y, pixels, rows));
  if (kind.bits == 8 || !kind.reduce) {
    const int type = kind.bits == 8 ? CV_8UC(kind.channels) : CV_16UC(kind.channels);
    const cv::Mat src(rows, pixels, type, const_cast<std::uint8_t*>(in), inStep);
    if (kind.channels == 3) {
      cv::cvtColor(src, dst, cv::COLOR_RGB2BGR);
    } else {
      src.copyTo(dst);
    }
    return;
  }
  const auto& table = colourBytes();
  const int n = pixels * kind.channels;
  for (int r = 0; r < rows; ++r) {
    const auto* samples = reinterpret_cast<const std::uint16_t*>(in + r * inStep);
    std::uint8_t* o = dst.ptr<std::uint8_t>(r);
    if (kind.channels == 1) {
      for (int i = 0; i < n; ++i) o[i] = greyByteOf(samples[i]);
    } else {
      for (int i = 0; i < n; i += 3) {
        o[i] = table[samples[i + 2]];
        o[i + 1] = table[samples[i + 1]];
        o[i + 2] = table[samples[i]];
      }
    }
  }
}

// Uncompressed 8-bit colour strips are swapped to blue-green-red straight from the
// file's pages, without a copy in between. Returns false, having written nothing,
// when the file is not laid out so (the strips are then decoded the usual way).
bool swapUncompressedStrips(TIFF* tiff, const Samples& kind, int rowsPerStrip, int first,
                            cv::Mat& out) {
  if (kind.channels != 3 || kind.bits != 8 ||
      tag<std::uint16_t>(tiff, TIFFTAG_COMPRESSION, COMPRESSION_NONE) != COMPRESSION_NONE)
    return false;
  std::uint64_t* offsets = nullptr;
  std::uint64_t* counts = nullptr;
  if (TIFFGetField(tiff, TIFFTAG_STRIPOFFSETS, &offsets) != 1 ||
      TIFFGetField(tiff, TIFFTAG_STRIPBYTECOUNTS, &counts) != 1 || offsets == nullptr ||
      counts == nullptr)
    return false;
  const size_t rowBytes = static_cast<size_t>(out.cols) * 3;
  const tstrip_t strips = TIFFNumberOfStrips(tiff);
  const int end = first + out.rows;
  // Every strip read must lie inside the file, as far as it is read, before any is used;
  // only the bytes read are mapped.
  struct stat st {};
  if (::fstat(TIFFFileno(tiff), &st) != 0 || st.st_size <= 0) return false;
  const auto fileSize = static_cast<std::uint64_t>(st.st_size);
  std::uint64_t lowest = fileSize, highest = 0;
  for (int y = first - first % rowsPerStrip; y < end; y += rowsPerStrip) {
    const tstrip_t index = TIFFComputeStrip(tiff, static_cast<std::uint32_t>(y), 0);
    const size_t want = rowBytes * static_cast<size_t>(std::min(rowsPerStrip, end - y));
    if (index >= strips || counts[index] < want || offsets[index] > fileSize ||
        fileSize - offsets[index] < want)
      return false;
    const std::uint64_t skip = y < first ? rowBytes * static_cast<size_t>(first - y) : 0;
    lowest = std::min(lowest, offsets[index] + skip);
    highest = std::max(highest, offsets[index] + want);
  }
  const MappedFile file(TIFFFileno(tiff), lowest, highest);
  if (!file.ok()) return false;
  // Strips that follow one another in the file are swapped in one go.
  int y = first;
  while (y < end) {
    const tstrip_t start = TIFFComputeStrip(tiff, static_cast<std::uint32_t>(y), 0);
    const int skip = y - static_cast<int>(start) * rowsPerStrip;  // rows of it before y
    int rows = std::min(rowsPerStrip - skip, end - y);
    tstrip_t index = start;
    while (y + rows < end && index + 1 < strips &&
           offsets[index + 1] == offsets[index] + rowBytes * static_cast<size_t>(rowsPerStrip)) {
      ++index;
      rows += std::min(rowsPerStrip, end - y - rows);
    }
    convert(file.at(offsets[start] + rowBytes * static_cast<size_t>(skip)), rowBytes, rows,
            out.cols, kind, out, 0, y - first);
    y += rows;
  }
  return true;
}

// Decodes every strip or tile that holds rows `first` to `first + out.rows` of an image
// `height` rows high, one at a time into a small buffer that stays in cache, and
// converts those rows into `out`. Returns false when libtiff reports a decoding error.
bool decode(TIFF* tiff, const Samples& kind, int height, int first, cv::Mat& out) {
  const size_t pixelBytes = static_cast<size_t>(kind.channels) * (kind.bits / 8);
  const int end = first + out.rows;
  if (TIFFIsTiled(tiff) != 0) {
    const auto tileWidth = tag<std::uint32_t>(tiff, TIFFTAG_TILEWIDTH, 0);
    const auto tileHeight = tag<std::uint32_t>(tiff, TIFFTAG_TILELENGTH, 0);
    if (tileWidth == 0 || tileHeight == 0) return false;
    std::vector<std::uint8_t> tile(static_cast<size_t>(TIFFTileSize(tiff)));
    if (tile.size() < tileWidth * tileHeight * pixelBytes) return false;
    const int th = static_cast<int>(tileHeight);
    for (int y = first - first % th; y < end; y += th) {
      for (int x = 0; x < out.cols; x += static_cast<int>(tileWidth)) {
        const ttile_t index = TIFFComputeTile(tiff, static_cast<std::uint32_t>(x),
                                              static_cast<std::uint32_t>(y), 0, 0);
        if (TIFFReadEncodedTile(tiff, index, tile.data(), static_cast<tmsize_t>(tile.size())) < 0)
          return false;
        const int from = std::max(y, first);
        const int rows = std::min(y + th, end) - from;
        const int pixels = std::min(static_cast<int>(tileWidth), out.cols - x);
        const size_t tileStep = tileWidth * pixelBytes;
        convert(tile.data() + tileStep * static_cast<size_t>(from - y), tileStep, rows, pixels,
                kind, out, x, from - first);
      }
    }
    return true;
  }
  const auto rowsPerStrip =
      std::min(tag<std::uint32_t>(tiff, TIFFTAG_ROWSPERSTRIP, static_cast<std::uint32_t>(height)),
               static_cast<std::uint32_t>(height));
  if (rowsPerStrip == 0) return false;
  const int rps = static_cast<int>(rowsPerStrip);
  if (swapUncompressedStrips(tiff, kind, rps, first, out)) return true;
  const size_t rowBytes = static_cast<size_t>(out.cols) * pixelBytes;
  // Grey that stays at its depth is already what the jobs take: whole strips go
  // straight into place.
  const bool direct = kind.channels == 1 && (kind.bits == 8 || !kind.reduce);
  const bool partial = first > 0 || end < height;
  std::vector<std::uint8_t> strip(direct && !partial ? 0 : rowBytes * rowsPerStrip);
  for (int y = first - first % rps; y < end; y += rps) {
    const tstrip_t index = TIFFComputeStrip(tiff, static_cast<std::uint32_t>(y), 0);
    const int rows = std::min(rps, height - y);
    const auto want = static_cast<tmsize_t>(rowBytes * rows);
    const int from = std::max(y, first);
    const int to = std::min(y + rows, end);
    const bool inPlace = direct && from == y && to == y + rows;
    std::uint8_t* into = inPlace ? out.ptr(y - first) : strip.data();
    if (TIFFReadEncodedStrip(tiff, index, into, want) != want) return false;
    if (!inPlace)
      convert(strip.data() + rowBytes * static_cast<size_t>(from - y), rowBytes, to - from,
              out.cols, kind, out, 0, from - first);
  }
  return true;
}

}  // namespace

DirectRead readTiffDirect(const std::string& path, cv::Mat& image, std::string& error,
                          TiffDepth depth, const RowBand& band, cv::Size* scanSize) {
  const TiffFile tiff(TIFFOpen(path.c_str(), "r"));
  if (!tiff) return DirectRead::NotHandled;
  TIFF* t = tiff.get();

  const auto width = tag<std::uint32_t>(t, TIFFTAG_IMAGEWIDTH, 0);
  const auto height = tag<std::uint32_t>(t, TIFFTAG_IMAGELENGTH, 0);
  const auto bits = tag<std::uint16_t>(t, TIFFTAG_BITSPERSAMPLE, 1);
  const auto samples = tag<std::uint16_t>(t, TIFFTAG_SAMPLESPERPIXEL, 1);
  const auto photometric = tag<std::uint16_t>(t, TIFFTAG_PHOTOMETRIC, 0xffff);
  const auto planar = tag<std::uint16_t>(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  const auto format = tag<std::uint16_t>(t, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_UINT);
  const auto orientation = tag<std::uint16_t>(t, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
  const auto compression = tag<std::uint16_t>(t, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
  // A scan this large is refused before anything is allocated for it.
  if (static_cast<std::uint64_t>(width) * height > kMostScanPixels) {
    error = "the TIFF declares " + std::to_string(width) + "x" + std::to_string(height) +
            " pixels, too large to load (at most " + std::to_string(kMostScanPixels) + " pixels)";
    return DirectRead::Failed;
  }
  const bool grey = samples == 1 && photometric == PHOTOMETRIC_MINISBLACK;
  const bool colour = samples == 3 && photometric == PHOTOMETRIC_RGB;
  if (!(grey || colour) || (bits != 8 && bits != 16) || planar != PLANARCONFIG_CONTIG ||
      format != SAMPLEFORMAT_UINT || orientation != ORIENTATION_TOPLEFT ||
      TIFFIsCODECConfigured(compression) == 0 || width == 0 || height == 0)
    return DirectRead::NotHandled;
  const bool reduce = depth == TiffDepth::Bytes;
  // The general decoder reduces tiled 16-bit grey by a rule of its own; leave it to it
  // so the bytes stay the same.
  if (reduce && grey && bits == 16 && TIFFIsTiled(t) != 0) return DirectRead::NotHandled;

  const cv::Range rows = band.of(static_cast<int>(height));
  cv::Mat out;
  try {
    const int type = bits == 16 && !reduce ? CV_16UC(samples) : CV_8UC(samples);
    out.create(rows.size(), static_cast<int>(width), type);
  } catch (const cv::Exception&) {
    return DirectRead::NotHandled;
  }
  if (!decode(t, Samples{samples, bits, reduce}, static_cast<int>(height), rows.start, out)) {
    error = "corrupt image data (a strip or tile does not decode)";
    return DirectRead::Failed;
  }
  image = out;
  if (scanSize != nullptr) *scanSize = cv::Size(static_cast<int>(width), static_cast<int>(height));
  return DirectRead::Done;
}

ScanHeader readTiffHeader(const std::string& path) {
  ScanHeader h;
  const TiffFile tiff(TIFFOpen(path.c_str(), "r"));
  if (!tiff) return h;
  TIFF* t = tiff.get();
  h.read = true;
  h.format = "tiff";
  h.width = static_cast<int>(tag<std::uint32_t>(t, TIFFTAG_IMAGEWIDTH, 0));
  h.height = static_cast<int>(tag<std::uint32_t>(t, TIFFTAG_IMAGELENGTH, 0));
  h.channels = tag<std::uint16_t>(t, TIFFTAG_SAMPLESPERPIXEL, 1);
  h.bits = tag<std::uint16_t>(t, TIFFTAG_BITSPERSAMPLE, 1);
  float x = 0.0f;
  float y = 0.0f;
  if (TIFFGetField(t, TIFFTAG_XRESOLUTION, &x) != 1) x = 0.0f;
  if (TIFFGetField(t, TIFFTAG_YRESOLUTION, &y) != 1) y = 0.0f;
  const auto unit = tag<std::uint16_t>(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
  const double perInch = unit == RESUNIT_CENTIMETER ? 2.54 : unit == RESUNIT_INCH ? 1.0 : 0.0;
  h.dpiX = x * perInch;
  h.dpiY = y * perInch;
  return h;
}

}  // namespace kelvora
