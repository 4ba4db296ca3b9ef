#include "scans/dpx_words.h"

#include <cstring>

namespace kelvora {

namespace {

std::uint32_t wordAt(const std::uint8_t* p, bool big) {
  std::uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return big ? __builtin_bswap32(v) : v;
}

}  // namespace

void colourWordsToBytesOneByOne(const std::uint8_t* words, int count, bool big, bool padLow,
                                std::uint8_t* out) {
  const int pad = padLow ? 2 : 0;
  for (int x = 0; x < count; ++x) {
    const std::uint32_t w = wordAt(words + 4 * x, big) >> pad;
    out[3 * x] = colourByteOfTen(w & 0x3ff);
    out[3 * x + 1] = colourByteOfTen((w >> 10) & 0x3ff);
    out[3 * x + 2] = colourByteOfTen((w >> 20) & 0x3ff);
  }
}

void colourWordsToSixteenOneByOne(const std::uint8_t* words, int count, bool big, bool padLow,
                                  std::uint16_t* out) {
  const int pad = padLow ? 2 : 0;
  for (int x = 0; x < count; ++x) {
    const std::uint32_t w = wordAt(words + 4 * x, big) >> pad;
    out[3 * x] = sixteenOfTen(w & 0x3ff);
    out[3 * x + 1] = sixteenOfTen((w >> 10) & 0x3ff);
    out[3 * x + 2] = sixteenOfTen((w >> 20) & 0x3ff);
  }
}

bool vectorWordsAvailable() {
  static const bool available = __builtin_cpu_supports("avx2") != 0;
  return available;
}

void colourWordsToBytes(const std::uint8_t* words, int count, bool big, bool padLow,
                        std::uint8_t* out) {
  if (vectorWordsAvailable()) {
    colourWordsToBytesVector(words, count, big, padLow, out);
  } else {
    colourWordsToBytesOneByOne(words, count, big, padLow, out);
  }
}

void colourWordsToSixteen(const std::uint8_t* words, int count, bool big, bool padLow,
                          std::uint16_t* out) {
  if (vectorWordsAvailable()) {
    colourWordsToSixteenVector(words, count, big, padLow, out);
  } else {
    colourWordsToSixteenOneByOne(words, count, big, padLow, out);
  }
}

}  // namespace kelvora
