#include "jobs/tiff_reader.h"

#include <tiffio.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include <opencv2/imgproc.hpp>

namespace kelvora {

namespace {

// The general decoder's own limit: larger scans are left to it, and it refuses them.
constexpr std::uint64_t kMostPixels = std::uint64_t{1} << 30;

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

// What the general decoder makes of a 16-bit colour sample: the nearest of 255 steps.
const std::array<std::uint8_t, 65536>& colourSixteenToEight() {
  static const std::array<std::uint8_t, 65536> table = [] {
    std::array<std::uint8_t, 65536> t{};
    for (int v = 0; v < 65536; ++v) t[v] = static_cast<std::uint8_t>(std::lround(v / 257.0));
    return t;
  }();
  return table;
}

// Decodes every strip or tile into `raw` (rows of the file's own samples). Returns false
// when libtiff reports a decoding error.
bool decode(TIFF* tiff, cv::Mat& raw) {
  const tmsize_t rowBytes = static_cast<tmsize_t>(raw.step[0]);
  if (TIFFIsTiled(tiff) != 0) {
    const auto tileWidth = tag<std::uint32_t>(tiff, TIFFTAG_TILEWIDTH, 0);
    const auto tileHeight = tag<std::uint32_t>(tiff, TIFFTAG_TILELENGTH, 0);
    if (tileWidth == 0 || tileHeight == 0) return false;
    std::vector<std::uint8_t> tile(static_cast<size_t>(TIFFTileSize(tiff)));
    const size_t pixelBytes = raw.elemSize();
    const size_t tileRowBytes = tileWidth * pixelBytes;
    for (int y = 0; y < raw.rows; y += static_cast<int>(tileHeight)) {
      for (int x = 0; x < raw.cols; x += static_cast<int>(tileWidth)) {
        const ttile_t index = TIFFComputeTile(tiff, static_cast<std::uint32_t>(x),
                                              static_cast<std::uint32_t>(y), 0, 0);
        if (TIFFReadEncodedTile(tiff, index, tile.data(), static_cast<tmsize_t>(tile.size())) < 0)
          return false;
        const int rows = std::min(static_cast<int>(tileHeight), raw.rows - y);
        const size_t bytes =
            std::min(tileWidth, static_cast<std::uint32_t>(raw.cols - x)) * pixelBytes;
        for (int r = 0; r < rows; ++r)
          std::copy_n(tile.data() + r * tileRowBytes, bytes, raw.ptr(y + r) + x * pixelBytes);
      }
    }
    return true;
  }
  const auto rowsPerStrip =
      std::min(tag<std::uint32_t>(tiff, TIFFTAG_ROWSPERSTRIP, static_cast<std::uint32_t>(raw.rows)),
               static_cast<std::uint32_t>(raw.rows));
  if (rowsPerStrip == 0) return false;
  for (int y = 0; y < raw.rows; y += static_cast<int>(rowsPerStrip)) {
    const tstrip_t strip = TIFFComputeStrip(tiff, static_cast<std::uint32_t>(y), 0);
    const int rows = std::min(static_cast<int>(rowsPerStrip), raw.rows - y);
    const tmsize_t want = rowBytes * rows;
    if (TIFFReadEncodedStrip(tiff, strip, raw.ptr(y), want) != want) return false;
  }
  return true;
}

}  // namespace

DirectRead readTiffDirect(const std::string& path, cv::Mat& image, std::string& error) {
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
  const bool grey = samples == 1 && photometric == PHOTOMETRIC_MINISBLACK;
  const bool colour = samples == 3 && photometric == PHOTOMETRIC_RGB;
  if (!(grey || colour) || (bits != 8 && bits != 16) || planar != PLANARCONFIG_CONTIG ||
      format != SAMPLEFORMAT_UINT || orientation != ORIENTATION_TOPLEFT ||
      TIFFIsCODECConfigured(compression) == 0 || width == 0 || height == 0 ||
      static_cast<std::uint64_t>(width) * height > kMostPixels)
    return DirectRead::NotHandled;
  // The general decoder reduces tiled 16-bit grey by a rule of its own; leave it to it
  // so the bytes stay the same.
  if (grey && bits == 16 && TIFFIsTiled(t) != 0) return DirectRead::NotHandled;

  cv::Mat raw;
  try {
    raw.create(static_cast<int>(height), static_cast<int>(width),
               CV_MAKETYPE(bits == 8 ? CV_8U : CV_16U, samples));
  } catch (const cv::Exception&) {
    return DirectRead::NotHandled;
  }
  if (!decode(t, raw)) {
    error = "a strip or tile does not decode";
    return DirectRead::Failed;
  }
  if (bits == 16) {
    cv::Mat eight(raw.size(), CV_MAKETYPE(CV_8U, samples));
    const auto& table = colourSixteenToEight();
    for (int y = 0; y < raw.rows; ++y) {
      const std::uint16_t* in = raw.ptr<std::uint16_t>(y);
      std::uint8_t* out = eight.ptr<std::uint8_t>(y);
      const int n = raw.cols * samples;
      if (grey) {
        for (int i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>(in[i] >> 8);
      } else {
        for (int i = 0; i < n; ++i) out[i] = table[in[i]];
      }
    }
    raw = eight;
  }
  if (colour) {
    // Swapped into a second image: several times faster than in place.
    cv::Mat bgr;
    cv::cvtColor(raw, bgr, cv::COLOR_RGB2BGR);
    raw = bgr;
  }
  image = raw;
  return DirectRead::Done;
}

}  // namespace kelvora
