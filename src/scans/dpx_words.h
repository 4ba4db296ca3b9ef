#pragma once

#include <cstdint>

namespace kelvora {

// Filled 10-bit colour, one pixel a 32-bit word with red in its high bits: the layout
// film scanners write most. Each function converts `count` words from `words` (as the
// file holds them: big-endian when `big`, the padding in the low two bits when
// `padLow`) into `count` blue-green-red pixels of `out`.

// At the jobs' 8 bits, by the rule of a 16-bit colour TIFF (see sample_depth.h).
void colourWordsToBytes(const std::uint8_t* words, int count, bool big, bool padLow,
                        std::uint8_t* out);
// At 16 bits, each sample's high bits repeated below it.
void colourWordsToSixteen(const std::uint8_t* words, int count, bool big, bool padLow,
                          std::uint16_t* out);

// The same one word at a time, and with the machine's vector unit (only where
// vectorWordsAvailable() says it has one); for tests that hold them against each other.
void colourWordsToBytesOneByOne(const std::uint8_t* words, int count, bool big, bool padLow,
                                std::uint8_t* out);
void colourWordsToSixteenOneByOne(const std::uint8_t* words, int count, bool big, bool padLow,
                                  std::uint16_t* out);
bool vectorWordsAvailable();
void colourWordsToBytesVector(const std::uint8_t* words, int count, bool big, bool padLow,
                              std::uint8_t* out);
void colourWordsToSixteenVector(const std::uint8_t* words, int count, bool big, bool padLow,
                                std::uint16_t* out);

// The jobs' byte of a 10-bit colour sample: the nearest of 255 steps to the sample
// taken to 16 bits, in integer arithmetic.
inline std::uint8_t colourByteOfTen(std::uint32_t v) {
  return static_cast<std::uint8_t>((v * 1021 + 2041) >> 12);
}
// A 10-bit sample taken to 16 bits.
inline std::uint16_t sixteenOfTen(std::uint32_t v) {
  return static_cast<std::uint16_t>((v << 6) | (v >> 4));
}

}  // namespace kelvora
