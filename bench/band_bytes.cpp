#include "band_bytes.h"

#include <fcntl.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <filesystem>

#include "scans/dpx_layout.h"
#include "scans/open_file.h"

namespace {

using kelvora::OpenFile;

void add(std::vector<ByteRange>& ranges, std::uint64_t offset, std::uint64_t length) {
  if (!ranges.empty() && ranges.back().offset + ranges.back().length == offset) {
    ranges.back().length += length;
  } else {
    ranges.push_back({offset, length});
  }
}

std::vector<ByteRange> dpxBytes(const std::string& path, const kelvora::RowBand& band) {
  const OpenFile file(path);
  std::array<std::uint8_t, kelvora::kDpxHeaderBytes> header{};
  if (file.fd() < 0 ||
      ::pread(file.fd(), header.data(), header.size(), 0) != static_cast<ssize_t>(header.size()))
    return {};
  kelvora::DpxLayout layout;
  std::string error;
  if (kelvora::readDpxLayout(header, std::filesystem::file_size(path), layout, error) !=
      kelvora::DirectRead::Done)
    return {};
  const cv::Range rows = band.of(layout.height);
  const kelvora::DpxBytes bytes = kelvora::dpxRowBytes(layout, rows.start, rows.end);
  return {{layout.dataOffset + bytes.from, bytes.to - bytes.from}};
}

std::vector<ByteRange> tiffBytes(const std::string& path, const kelvora::RowBand& band) {
  TIFF* tiff = TIFFOpen(path.c_str(), "r");
  if (tiff == nullptr) return {};
  std::uint32_t height = 0;
  TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
  const cv::Range rows = band.of(static_cast<int>(height));
  std::vector<ByteRange> ranges;
  const bool tiled = TIFFIsTiled(tiff) != 0;
  const std::uint32_t pieces = tiled ? TIFFNumberOfTiles(tiff) : TIFFNumberOfStrips(tiff);
  std::uint64_t* offsets = nullptr;
  std::uint64_t* counts = nullptr;
  TIFFGetField(tiff, tiled ? TIFFTAG_TILEOFFSETS : TIFFTAG_STRIPOFFSETS, &offsets);
  TIFFGetField(tiff, tiled ? TIFFTAG_TILEBYTECOUNTS : TIFFTAG_STRIPBYTECOUNTS, &counts);
  std::uint32_t rowsPer = 0;
  TIFFGetFieldDefaulted(tiff, tiled ? TIFFTAG_TILELENGTH : TIFFTAG_ROWSPERSTRIP, &rowsPer);
  const std::uint32_t across =
      tiled ? pieces / std::max<std::uint32_t>(1, (height + rowsPer - 1) / rowsPer) : 1;
  for (std::uint32_t k = 0; offsets != nullptr && counts != nullptr && k < pieces; ++k) {
    const std::uint32_t first = k / across * rowsPer;
    if (first + rowsPer > static_cast<std::uint32_t>(rows.start) &&
        first < static_cast<std::uint32_t>(rows.end))
      add(ranges, offsets[k], counts[k]);
  }
  TIFFClose(tiff);
  return ranges;
}

}  // namespace

std::vector<ByteRange> bandBytes(const std::string& path, const kelvora::RowBand& band) {
  std::vector<ByteRange> ranges = dpxBytes(path, band);
  return ranges.empty() ? tiffBytes(path, band) : ranges;
}

std::uint64_t readRanges(const std::string& path, const std::vector<ByteRange>& ranges, bool cold) {
  const OpenFile file(path);
  if (file.fd() < 0) return 0;
  if (cold) ::posix_fadvise(file.fd(), 0, 0, POSIX_FADV_DONTNEED);
  static thread_local std::vector<std::uint8_t> buffer(256 << 10);
  std::uint64_t total = 0;
  for (const ByteRange& r : ranges)
    for (std::uint64_t at = 0; at < r.length;) {
      const auto want = static_cast<size_t>(std::min<std::uint64_t>(buffer.size(), r.length - at));
      const ssize_t n = ::pread(file.fd(), buffer.data(), want, static_cast<off_t>(r.offset + at));
      if (n <= 0) return total;
      at += static_cast<std::uint64_t>(n);
      total += static_cast<std::uint64_t>(n);
    }
  return total;
}

void warmFile(const std::string& path) {
  readRanges(path, {{0, std::filesystem::file_size(path)}}, false);
}
