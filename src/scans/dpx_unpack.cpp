#include "scans/dpx_unpack.h"

#include <array>
#include <cstring>
#include <vector>

#include "scans/dpx_words.h"
#include "scans/sample_depth.h"

namespace kelvora {

namespace {

std::uint32_t load32(const std::uint8_t* p, bool big) {
  std::uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return big ? __builtin_bswap32(v) : v;
}

std::uint16_t load16(const std::uint8_t* p, bool big) {
  std::uint16_t v;
  std::memcpy(&v, p, sizeof v);
  return big ? __builtin_bswap16(v) : v;
}

// A 10- or 12-bit sample taken to 16 bits: its high bits repeated below it, so that
// full scale stays full scale.
std::uint16_t sixteenOf(unsigned v, int bits) {
  return static_cast<std::uint16_t>(bits == 10 ? (v << 6) | (v >> 4) : (v << 4) | (v >> 8));
}

// How each sample value of a depth becomes an output sample, for the depths read
// through a table (8, 10 and 12 bits; 16 only when reduced).
template <typename Out>
struct SampleTable {
  std::vector<Out> grey;
  std::vector<Out> colour;
};

SampleTable<std::uint8_t> makeByteTable(int bits) {
  SampleTable<std::uint8_t> t;
  const size_t n = size_t{1} << bits;
  t.grey.resize(n);
  t.colour.resize(n);
  for (size_t v = 0; v < n; ++v) {
    const std::uint16_t s =
        bits == 16 ? static_cast<std::uint16_t>(v) : sixteenOf(static_cast<unsigned>(v), bits);
    t.grey[v] = bits == 8 ? static_cast<std::uint8_t>(v) : greyByteOf(s);
    t.colour[v] = bits == 8 ? static_cast<std::uint8_t>(v) : colourBytes()[s];
  }
  return t;
}

SampleTable<std::uint16_t> makeSixteenTable(int bits) {
  SampleTable<std::uint16_t> t;
  const size_t n = size_t{1} << bits;
  t.grey.resize(n);
  for (size_t v = 0; v < n; ++v) t.grey[v] = sixteenOf(static_cast<unsigned>(v), bits);
  t.colour = t.grey;
  return t;
}

const SampleTable<std::uint8_t>& byteTable(int bits) {
  static const std::array<SampleTable<std::uint8_t>, 4> tables = {
      makeByteTable(8), makeByteTable(10), makeByteTable(12), makeByteTable(16)};
  return tables[bits == 8 ? 0 : bits == 10 ? 1 : bits == 12 ? 2 : 3];
}

const SampleTable<std::uint16_t>& sixteenTable(int bits) {
  static const std::array<SampleTable<std::uint16_t>, 2> tables = {makeSixteenTable(10),
                                                                   makeSixteenTable(12)};
  return tables[bits == 10 ? 0 : 1];
}

// Reads the `count` samples of a line that starts `into` samples (filled 10 bits) or
// bits (packed) into the word at `p`, as they are stored.
void samplesOfLine(const std::uint8_t* p, int into, int count, const DpxLayout& l,
                   std::uint16_t* raw) {
  const bool big = l.bigEndian;
  if (l.bits == 8) {
    for (int i = 0; i < count; ++i) raw[i] = p[i];
  } else if (l.bits == 16) {
    for (int i = 0; i < count; ++i) raw[i] = load16(p + 2 * i, big);
  } else if (l.bits == 12 && l.packing != DpxPacking::Packed) {
    const bool a = l.packing == DpxPacking::FilledA;
    for (int i = 0; i < count; ++i) {
      const std::uint16_t v = load16(p + 2 * i, big);
      raw[i] = a ? v >> 4 : v & 0xfff;
    }
  } else if (l.bits == 10 && l.packing != DpxPacking::Packed) {
    const int pad = l.packing == DpxPacking::FilledA ? 2 : 0;
    for (int i = 0; i < count; ++i) {
      const int slot = into + i;
      const std::uint32_t word = load32(p + 4 * (slot / 3), big);
      const int place = l.lowSampleFirst ? slot % 3 : 2 - slot % 3;
      raw[i] = static_cast<std::uint16_t>((word >> (10 * place + pad)) & 0x3ff);
    }
  } else {
    const std::uint32_t mask = (1u << l.bits) - 1;
    for (int i = 0; i < count; ++i) {
      const std::uint64_t bit = static_cast<std::uint64_t>(into) + std::uint64_t(i) * l.bits;
      const std::uint8_t* w = p + 4 * (bit / 32);
      const int shift = static_cast<int>(bit % 32);
      std::uint64_t v = load32(w, big);
      if (shift + l.bits > 32) v |= std::uint64_t{load32(w + 4, big)} << 32;
      raw[i] = static_cast<std::uint16_t>((v >> shift) & mask);
    }
  }
}

// Puts the picture samples of `width` pixels of `raw` into `out` through `table`
// (none: as they are).
template <typename Out, int PictureChannels>
void pictureOfLine(const std::uint16_t* raw, int width, const DpxLayout& l, const Out* table,
                   Out* out) {
  const int c = l.channels;
  for (int x = 0; x < width; ++x) {
    const std::uint16_t* pixel = raw + x * c;
    for (int k = 0; k < PictureChannels; ++k) {
      const std::uint16_t v = pixel[l.picture[k]];
      out[x * PictureChannels + k] = table != nullptr ? table[v] : static_cast<Out>(v);
    }
  }
}

// Filled 10-bit colour, a pixel to a word, the first sample high: each word goes
// straight to its output pixel.
void colourWordsOfLine(const std::uint8_t* p, int width, const DpxLayout& l, std::uint8_t* out) {
  colourWordsToBytes(p, width, l.bigEndian, l.packing == DpxPacking::FilledA, out);
}
void colourWordsOfLine(const std::uint8_t* p, int width, const DpxLayout& l, std::uint16_t* out) {
  colourWordsToSixteen(p, width, l.bigEndian, l.packing == DpxPacking::FilledA, out);
}

template <typename Out>
void unpackRows(std::span<const std::uint8_t> bytes, std::uint64_t from, const DpxLayout& l,
                int first, const Out* table, cv::Mat& out) {
  // Three samples a pixel fill a word: every line starts on one, run on or not.
  const bool wordPerPixel =
      l.bits == 10 && l.packing != DpxPacking::Packed && l.channels == 3 && !l.lowSampleFirst;
  std::vector<std::uint16_t> raw(wordPerPixel ? 0 : static_cast<size_t>(l.width) * l.channels);
  for (int r = 0; r < out.rows; ++r) {
    const DpxRowStart start = dpxRowStart(l, first + r);
    const std::uint8_t* p = bytes.data() + (start.byte - from);
    Out* o = out.ptr<Out>(r);
    if (wordPerPixel) {
      colourWordsOfLine(p, l.width, l, o);
      continue;
    }
    samplesOfLine(p, start.into, l.width * l.channels, l, raw.data());
    if (l.pictureChannels == 3) {
      pictureOfLine<Out, 3>(raw.data(), l.width, l, table, o);
    } else {
      pictureOfLine<Out, 1>(raw.data(), l.width, l, table, o);
    }
  }
}

}  // namespace

int dpxImageType(const DpxLayout& layout, SampleDepth depth) {
  const bool bytes = layout.bits == 8 || depth == SampleDepth::Bytes;
  return CV_MAKETYPE(bytes ? CV_8U : CV_16U, layout.pictureChannels);
}

void unpackDpxRows(std::span<const std::uint8_t> bytes, std::uint64_t from, const DpxLayout& layout,
                   int first, cv::Mat& out) {
  const bool colour = layout.pictureChannels == 3;
  if (out.depth() == CV_8U) {
    const auto& t = byteTable(layout.bits);
    unpackRows<std::uint8_t>(bytes, from, layout, first, (colour ? t.colour : t.grey).data(), out);
  } else if (layout.bits == 16) {
    unpackRows<std::uint16_t>(bytes, from, layout, first, nullptr, out);
  } else {
    unpackRows<std::uint16_t>(bytes, from, layout, first, sixteenTable(layout.bits).grey.data(),
                              out);
  }
}

}  // namespace kelvora
