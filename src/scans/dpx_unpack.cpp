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

// How each sample value of a depth becomes an output sample.
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

// The samples of a line in the order they are stored, one call each. Each stream
// starts at the word holding the line's first sample, `into` samples or bits in.

struct ByteSamples {
  const std::uint8_t* p;
  ByteSamples(const std::uint8_t* at, int, const DpxLayout&) : p(at) {}
  unsigned next() { return *p++; }
};

// 16 bits, or 12 bits filled to 16 with the padding low (method A) or high (B).
struct WordSamples {
  const std::uint8_t* p;
  bool big;
  int shift;
  unsigned mask;
  WordSamples(const std::uint8_t* at, int, const DpxLayout& l)
      : p(at),
        big(l.bigEndian),
        shift(l.bits == 12 && l.packing == DpxPacking::FilledA ? 4 : 0),
        mask(l.bits == 12 ? 0xfffu : 0xffffu) {}
  unsigned next() {
    const unsigned v = load16(p, big);
    p += 2;
    return (v >> shift) & mask;
  }
};

// 10 bits three to a 32-bit word.
struct FilledTenSamples {
  const std::uint8_t* p;
  bool big, lowFirst;
  int pad;
  std::uint32_t word = 0;
  int left = 0;  // samples still in `word`
  FilledTenSamples(const std::uint8_t* at, int into, const DpxLayout& l)
      : p(at),
        big(l.bigEndian),
        lowFirst(l.lowSampleFirst),
        pad(l.packing == DpxPacking::FilledA ? 2 : 0) {
    for (int i = 0; i < into; ++i) next();
  }
  unsigned next() {
    if (left == 0) {
      word = load32(p, big) >> pad;
      p += 4;
      left = 3;
    }
    --left;
    if (lowFirst) {
      const unsigned v = word & 0x3ff;
      word >>= 10;
      return v;
    }
    const unsigned v = (word >> 20) & 0x3ff;
    word <<= 10;
    return v;
  }
};

// 10 or 12 bits end to end through 32-bit words, the first in the low bits.
struct PackedSamples {
  const std::uint8_t* p;
  bool big;
  int bits;
  unsigned mask;
  std::uint64_t held = 0;
  int heldBits = 0;
  PackedSamples(const std::uint8_t* at, int into, const DpxLayout& l)
      : p(at), big(l.bigEndian), bits(l.bits), mask((1u << l.bits) - 1) {
    if (into > 0) {
      refill();
      held >>= into;
      heldBits -= into;
    }
  }
  void refill() {
    held |= std::uint64_t{load32(p, big)} << heldBits;
    p += 4;
    heldBits += 32;
  }
  unsigned next() {
    if (heldBits < bits) refill();
    const auto v = static_cast<unsigned>(held & mask);
    held >>= bits;
    heldBits -= bits;
    return v;
  }
};

// Converts a line of `width` pixels of `Channels` samples each, read from `samples`,
// into its picture samples (`Picture` of them, at `picture` in the pixel) through
// `table`, or as they are when there is none.
template <int Channels, int Picture, typename Stream, typename Out>
void convertLine(Stream samples, int width, const int* picture, const Out* table, Out* out) {
  // Held apart from the layout, which the bytes written through `out` might alias.
  int at[Picture];
  for (int k = 0; k < Picture; ++k) at[k] = picture[k];
  unsigned pixel[Channels];
  for (int x = 0; x < width; ++x) {
    for (int c = 0; c < Channels; ++c) pixel[c] = samples.next();
    for (int k = 0; k < Picture; ++k)
      out[Picture * x + k] =
          table != nullptr ? table[pixel[at[k]]] : static_cast<Out>(pixel[at[k]]);
  }
}

template <typename Stream, typename Out>
void convertLine(const std::uint8_t* p, int into, const DpxLayout& l, const Out* table, Out* out) {
  const Stream samples(p, into, l);
  const int* picture = l.picture;
  if (l.pictureChannels == 1) {
    switch (l.channels) {
      case 1:
        return convertLine<1, 1>(samples, l.width, picture, table, out);
      case 2:
        return convertLine<2, 1>(samples, l.width, picture, table, out);
      case 3:  // one element of a colour picture
        return convertLine<3, 1>(samples, l.width, picture, table, out);
      case 4:
        return convertLine<4, 1>(samples, l.width, picture, table, out);
      default:
        return;
    }
  }
  switch (l.channels) {
    case 3:
      return convertLine<3, 3>(samples, l.width, picture, table, out);
    case 4:
      return convertLine<4, 3>(samples, l.width, picture, table, out);
    default:
      return;
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

// One sample of each word of a filled 10-bit colour line (0 the first, in the high
// bits), at 16 bits or through `table` to bytes.
void elementWordsOfLine(const std::uint8_t* p, int width, const DpxLayout& l, int sample,
                        const std::uint16_t*, std::uint16_t* out) {
  const int shift = (l.packing == DpxPacking::FilledA ? 2 : 0) + 10 * (2 - sample);
  for (int x = 0; x < width; ++x, p += 4)
    out[x] = sixteenOfTen((load32(p, l.bigEndian) >> shift) & 0x3ffu);
}
void elementWordsOfLine(const std::uint8_t* p, int width, const DpxLayout& l, int sample,
                        const std::uint8_t* table, std::uint8_t* out) {
  const int shift = (l.packing == DpxPacking::FilledA ? 2 : 0) + 10 * (2 - sample);
  for (int x = 0; x < width; ++x, p += 4)
    out[x] = table[(load32(p, l.bigEndian) >> shift) & 0x3ffu];
}

template <typename Out>
void unpackRows(std::span<const std::uint8_t> bytes, std::uint64_t from, const DpxLayout& l,
                int first, const Out* table, cv::Mat& out) {
  const bool filled = l.packing != DpxPacking::Packed;
  // Three samples a pixel fill a word: every line starts on one, run on or not.
  const bool wordPerPixel = l.bits == 10 && filled && l.channels == 3 && !l.lowSampleFirst;
  for (int r = 0; r < out.rows; ++r) {
    const DpxRowStart start = dpxRowStart(l, first + r);
    const std::uint8_t* p = bytes.data() + (start.byte - from);
    Out* o = out.ptr<Out>(r);
    if (wordPerPixel && l.pictureChannels == 1) {
      elementWordsOfLine(p, l.width, l, l.picture[0], table, o);
    } else if (wordPerPixel) {
      colourWordsOfLine(p, l.width, l, o);
    } else if (l.bits == 8) {
      convertLine<ByteSamples>(p, start.into, l, table, o);
    } else if (l.bits == 16 || (l.bits == 12 && filled)) {
      convertLine<WordSamples>(p, start.into, l, table, o);
    } else if (l.bits == 10 && filled) {
      convertLine<FilledTenSamples>(p, start.into, l, table, o);
    } else {
      convertLine<PackedSamples>(p, start.into, l, table, o);
    }
  }
}

}  // namespace

namespace {

// A colour layout read as one of its elements: a picture of that one sample. Its
// samples still go by the colour rule.
DpxLayout elementOf(const DpxLayout& layout, int element) {
  DpxLayout one = layout;
  if (layout.pictureChannels == 3 && element >= 0 && element < 3) {
    one.pictureChannels = 1;
    one.picture[0] = layout.picture[element];
  }
  return one;
}

}  // namespace

int dpxImageType(const DpxLayout& layout, SampleDepth depth, int element) {
  const bool bytes = layout.bits == 8 || depth == SampleDepth::Bytes;
  return CV_MAKETYPE(bytes ? CV_8U : CV_16U, elementOf(layout, element).pictureChannels);
}

void unpackDpxRows(std::span<const std::uint8_t> bytes, std::uint64_t from, const DpxLayout& layout,
                   int first, cv::Mat& out, int element) {
  const bool colour = layout.pictureChannels == 3;
  const DpxLayout read = elementOf(layout, element);
  if (out.depth() == CV_8U) {
    const auto& t = byteTable(layout.bits);
    unpackRows<std::uint8_t>(bytes, from, read, first, (colour ? t.colour : t.grey).data(), out);
  } else if (layout.bits == 16) {
    unpackRows<std::uint16_t>(bytes, from, read, first, nullptr, out);
  } else {
    unpackRows<std::uint16_t>(bytes, from, read, first, sixteenTable(layout.bits).grey.data(), out);
  }
}

}  // namespace kelvora
