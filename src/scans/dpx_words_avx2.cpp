// Compiled for AVX2; called only where the processor has it.
#include <immintrin.h>

#include "scans/dpx_words.h"

namespace kelvora {

namespace {

constexpr int kLanes = 8;  // words a register holds

// Eight words as blue, green and red samples of 10 bits, one to a 32-bit lane.
struct Samples {
  __m256i blue, green, red;
};

Samples samplesOf(const std::uint8_t* words, bool big, bool padLow) {
  const __m256i swap = _mm256_setr_epi8(3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12, 3, 2,
                                        1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12);
  const __m256i mask = _mm256_set1_epi32(0x3ff);
  __m256i w = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(words));
  if (big) w = _mm256_shuffle_epi8(w, swap);
  if (padLow) w = _mm256_srli_epi32(w, 2);
  return {_mm256_and_si256(w, mask), _mm256_and_si256(_mm256_srli_epi32(w, 10), mask),
          _mm256_and_si256(_mm256_srli_epi32(w, 20), mask)};
}

__m256i colourBytes(__m256i v) {
  return _mm256_srli_epi32(
      _mm256_add_epi32(_mm256_mullo_epi32(v, _mm256_set1_epi32(1021)), _mm256_set1_epi32(2041)),
      12);
}

__m256i sixteen(__m256i v) {
  return _mm256_or_si256(_mm256_slli_epi32(v, 6), _mm256_srli_epi32(v, 4));
}

}  // namespace

void colourWordsToBytesVector(const std::uint8_t* words, int count, bool big, bool padLow,
                              std::uint8_t* out) {
  // Four pixels of a 128-bit half, blue-green-red-0 each, closed up to 12 bytes.
  const __m256i close = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, 0,
                                         1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  int x = 0;
  for (; x + kLanes <= count; x += kLanes) {
    const Samples s = samplesOf(words + 4 * x, big, padLow);
    __m256i pixels = _mm256_or_si256(colourBytes(s.blue),
                                     _mm256_or_si256(_mm256_slli_epi32(colourBytes(s.green), 8),
                                                     _mm256_slli_epi32(colourBytes(s.red), 16)));
    pixels = _mm256_shuffle_epi8(pixels, close);
    const __m128i low = _mm256_castsi256_si128(pixels);
    const __m128i high = _mm256_extracti128_si256(pixels, 1);
    std::uint8_t* o = out + 3 * x;
    _mm_storel_epi64(reinterpret_cast<__m128i*>(o), low);
    _mm_storeu_si32(o + 8, _mm_srli_si128(low, 8));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(o + 12), high);
    _mm_storeu_si32(o + 20, _mm_srli_si128(high, 8));
  }
  colourWordsToBytesOneByOne(words + 4 * x, count - x, big, padLow, out + 3 * x);
}

void colourWordsToSixteenVector(const std::uint8_t* words, int count, bool big, bool padLow,
                                std::uint16_t* out) {
  // Of each half's four pixels: blue and green in a lane, and the reds packed.
  const __m256i firstBlueGreen =
      _mm256_setr_epi8(0, 1, 2, 3, -1, -1, 4, 5, 6, 7, -1, -1, 8, 9, 10, 11, 0, 1, 2, 3, -1, -1, 4,
                       5, 6, 7, -1, -1, 8, 9, 10, 11);
  const __m256i firstRed =
      _mm256_setr_epi8(-1, -1, -1, -1, 0, 1, -1, -1, -1, -1, 2, 3, -1, -1, -1, -1, -1, -1, -1, -1,
                       0, 1, -1, -1, -1, -1, 2, 3, -1, -1, -1, -1);
  const __m256i restBlueGreen =
      _mm256_setr_epi8(-1, -1, 12, 13, 14, 15, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 12,
                       13, 14, 15, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  const __m256i restRed =
      _mm256_setr_epi8(4, 5, -1, -1, -1, -1, 6, 7, -1, -1, -1, -1, -1, -1, -1, -1, 4, 5, -1, -1, -1,
                       -1, 6, 7, -1, -1, -1, -1, -1, -1, -1, -1);
  int x = 0;
  for (; x + kLanes <= count; x += kLanes) {
    const Samples s = samplesOf(words + 4 * x, big, padLow);
    const __m256i blueGreen =
        _mm256_or_si256(sixteen(s.blue), _mm256_slli_epi32(sixteen(s.green), 16));
    const __m256i reds = _mm256_packus_epi32(sixteen(s.red), sixteen(s.red));
    const __m256i first = _mm256_or_si256(_mm256_shuffle_epi8(blueGreen, firstBlueGreen),
                                          _mm256_shuffle_epi8(reds, firstRed));
    const __m256i rest = _mm256_or_si256(_mm256_shuffle_epi8(blueGreen, restBlueGreen),
                                         _mm256_shuffle_epi8(reds, restRed));
    auto* o = reinterpret_cast<std::uint8_t*>(out + 3 * x);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm256_castsi256_si128(first));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(o + 16), _mm256_castsi256_si128(rest));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 24), _mm256_extracti128_si256(first, 1));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(o + 40), _mm256_extracti128_si256(rest, 1));
  }
  colourWordsToSixteenOneByOne(words + 4 * x, count - x, big, padLow, out + 3 * x);
}

}  // namespace kelvora
