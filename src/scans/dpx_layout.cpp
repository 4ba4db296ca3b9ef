#include "scans/dpx_layout.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>

namespace kelvora {

namespace {

constexpr std::uint32_t kUndefined32 = 0xffffffffu;
constexpr std::uint64_t kLongestScanSide = 1 << 24;

// The fields of the file and image headers, read in the file's byte order.
class HeaderFields {
 public:
  HeaderFields(std::span<const std::uint8_t> bytes, bool big) : bytes_(bytes), big_(big) {}
  std::uint32_t u32(size_t at) const {
    const std::uint8_t* b = bytes_.data() + at;
    return big_ ? (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) |
                      (std::uint32_t{b[2]} << 8) | b[3]
                : (std::uint32_t{b[3]} << 24) | (std::uint32_t{b[2]} << 16) |
                      (std::uint32_t{b[1]} << 8) | b[0];
  }
  std::uint16_t u16(size_t at) const {
    const std::uint8_t* b = bytes_.data() + at;
    return static_cast<std::uint16_t>(big_ ? (b[0] << 8) | b[1] : (b[1] << 8) | b[0]);
  }
  std::uint8_t u8(size_t at) const { return bytes_[at]; }

 private:
  std::span<const std::uint8_t> bytes_;
  bool big_;
};

// The first image element's fields.
constexpr size_t kElement = 780;
constexpr size_t kDescriptor = kElement + 20;
constexpr size_t kBitSize = kElement + 23;
constexpr size_t kPacking = kElement + 24;
constexpr size_t kEncoding = kElement + 26;
constexpr size_t kDataOffset = kElement + 28;
constexpr size_t kLinePadding = kElement + 32;

// Fills the channel count and where the picture lies in a pixel from the element's
// descriptor; false for descriptors the direct reader leaves alone (colour difference,
// composite video, more than four samples).
bool readDescriptor(std::uint8_t descriptor, DpxLayout& layout) {
  const auto colour = [&layout](int channels, int blue, int green, int red) {
    layout.channels = channels;
    layout.pictureChannels = 3;
    layout.picture[0] = blue;
    layout.picture[1] = green;
    layout.picture[2] = red;
    return true;
  };
  switch (descriptor) {
    case 0:  // user defined, one sample
    case 1:  // red
    case 2:  // green
    case 3:  // blue
    case 4:  // alpha
    case 6:  // luma
    case 8:  // depth
      layout.channels = 1;
      return true;
    case 150:  // two samples of the user's: the first is the picture
      layout.channels = 2;
      return true;
    case 50:  // RGB
    case 151:
      return colour(3, 2, 1, 0);
    case 51:  // RGBA
    case 152:
      return colour(4, 2, 1, 0);
    case 52:  // ABGR
      return colour(4, 1, 2, 3);
    default:
      return false;
  }
}

std::uint64_t ceilDiv(std::uint64_t a, std::uint64_t b) { return (a + b - 1) / b; }

bool filledTen(const DpxLayout& l) { return l.bits == 10 && l.packing != DpxPacking::Packed; }
bool packed(const DpxLayout& l) {
  return (l.bits == 10 || l.bits == 12) && l.packing == DpxPacking::Packed;
}

// The bytes one line's samples take, with the padding that ends them on a whole word.
std::uint64_t lineBytesOf(const DpxLayout& l) {
  const std::uint64_t samples = std::uint64_t(l.width) * l.channels;
  if (filledTen(l)) return ceilDiv(samples, 3) * 4;
  if (packed(l)) return ceilDiv(samples * l.bits, 32) * 4;
  return samples * (l.bits == 8 ? 1 : 2);
}

// The bytes of all lines run on without padding, to the end of the last word.
std::uint64_t runOnBytes(const DpxLayout& l) {
  const std::uint64_t samples = std::uint64_t(l.width) * l.channels * l.height;
  return filledTen(l) ? ceilDiv(samples, 3) * 4 : ceilDiv(samples * l.bits, 32) * 4;
}

std::string size(std::uint64_t width, std::uint64_t height) {
  return std::to_string(width) + "x" + std::to_string(height);
}

}  // namespace

DirectRead readDpxLayout(std::span<const std::uint8_t> header, std::uint64_t fileBytes,
                         DpxLayout& layout, std::string& error) {
  if (header.size() < 4) return DirectRead::NotHandled;
  const bool big = std::memcmp(header.data(), "SDPX", 4) == 0;
  if (!big && std::memcmp(header.data(), "XPDS", 4) != 0) return DirectRead::NotHandled;
  if (header.size() < kDpxHeaderBytes) {
    error = "corrupt image data (the file is " + std::to_string(fileBytes) +
            " bytes, too short for a DPX header)";
    return DirectRead::Failed;
  }
  const HeaderFields f(header, big);
  DpxLayout l;
  l.bigEndian = big;
  // A copy cut short is told by its length against the total the file header gives,
  // where it gives one.
  const std::uint32_t givenTotal = f.u32(16);
  const std::uint64_t total = givenTotal == kUndefined32 ? 0 : givenTotal;
  if (fileBytes < total) {
    error = "corrupt image data (the file holds " + std::to_string(fileBytes) + " of the " +
            std::to_string(total) + " bytes its header gives: a copy cut short)";
    return DirectRead::Failed;
  }
  const std::uint64_t width = f.u32(772);
  const std::uint64_t height = f.u32(776);
  if (width == 0 || height == 0) {
    error = "the DPX header gives a picture of " + size(width, height) + " pixels";
    return DirectRead::Failed;
  }
  // A side longer than any scan's is refused too, so that a line's samples count in int.
  if (width * height > kMostScanPixels || std::max(width, height) > kLongestScanSide) {
    error = "the DPX header gives a picture of " + size(width, height) +
            " pixels, too large to load (at most " + std::to_string(kMostScanPixels) + " pixels, " +
            std::to_string(kLongestScanSide) + " a side)";
    return DirectRead::Failed;
  }
  l.width = static_cast<int>(width);
  l.height = static_cast<int>(height);
  const std::uint16_t elements = f.u16(770);
  const std::uint16_t encoding = f.u16(kEncoding);
  if (elements < 1 || elements > 8 || (encoding != 0 && encoding != 0xffff) ||
      !readDescriptor(f.u8(kDescriptor), l))
    return DirectRead::NotHandled;
  l.bits = f.u8(kBitSize);
  const std::uint16_t packing = f.u16(kPacking);
  if (l.bits == 10 || l.bits == 12) {
    if (packing > 2) return DirectRead::NotHandled;
    l.packing = packing == 0   ? DpxPacking::Packed
                : packing == 1 ? DpxPacking::FilledA
                               : DpxPacking::FilledB;
  } else if (l.bits != 8 && l.bits != 16) {
    return DirectRead::NotHandled;
  }
  l.lowSampleFirst = l.channels == 1;

  const std::uint32_t elementOffset = f.u32(kDataOffset);
  l.dataOffset = elementOffset != 0 && elementOffset != kUndefined32 ? elementOffset : f.u32(4);
  if (l.dataOffset < 768) return DirectRead::NotHandled;
  // What the picture may take: up to the end the header gives, else the file's end.
  const std::uint64_t end = total > l.dataOffset ? total : fileBytes;
  const std::uint64_t available = end > l.dataOffset ? end - l.dataOffset : 0;

  const std::uint32_t padding = f.u32(kLinePadding);
  const std::uint64_t line = lineBytesOf(l);
  l.lineBytes = line + (padding == kUndefined32 ? 0 : padding);
  const std::uint64_t padded = (height - 1) * l.lineBytes + line;
  if (available < padded) {
    // Some scanners run the lines on without padding them to a whole word.
    const bool runOn = (filledTen(l) || packed(l)) && l.lineBytes == line;
    if (runOn && available >= runOnBytes(l)) {
      l.lineBytes = 0;
    } else {
      error = "corrupt image data (the file holds " + std::to_string(available) +
              " bytes of picture where its " + size(width, height) + " pixels at " +
              std::to_string(l.bits) + " bits need " + std::to_string(padded) +
              ": a copy cut short)";
      return DirectRead::Failed;
    }
  }
  layout = l;
  return DirectRead::Done;
}

DpxRowStart dpxRowStart(const DpxLayout& l, std::int64_t row) {
  if (l.lineBytes > 0) return {static_cast<std::uint64_t>(row) * l.lineBytes, 0};
  const std::uint64_t samples = static_cast<std::uint64_t>(row) * l.width * l.channels;
  if (filledTen(l)) return {samples / 3 * 4, static_cast<int>(samples % 3)};
  const std::uint64_t bit = samples * l.bits;
  return {bit / 32 * 4, static_cast<int>(bit % 32)};
}

DpxBytes dpxRowBytes(const DpxLayout& l, int first, int end) {
  DpxBytes b;
  b.from = dpxRowStart(l, first).byte;
  if (l.lineBytes > 0) {
    b.to = static_cast<std::uint64_t>(end - 1) * l.lineBytes + lineBytesOf(l);
    return b;
  }
  const std::uint64_t samples = static_cast<std::uint64_t>(end) * l.width * l.channels;
  b.to = filledTen(l) ? ceilDiv(samples, 3) * 4 : ceilDiv(samples * l.bits, 32) * 4;
  return b;
}

DpxFilm readDpxFilm(std::span<const std::uint8_t> header, bool bigEndian) {
  DpxFilm film;
  if (header.size() < kDpxFilmHeaderEnd) return film;
  const auto text = [&](size_t at, size_t length) {
    const auto* first = reinterpret_cast<const char*>(header.data() + at);
    return std::string(first, strnlen(first, length));
  };
  // The edge code's five fields lie end to end, each padded with NULs if short.
  for (const auto& [at, length] : {std::pair{1664, 2}, {1666, 2}, {1668, 2}, {1670, 6}, {1676, 4}})
    film.edgeCode += text(static_cast<size_t>(at), static_cast<size_t>(length));
  film.format = text(1680, 32);
  film.frameRate = std::bit_cast<float>(HeaderFields(header, bigEndian).u32(1724));
  return film;
}

}  // namespace kelvora
