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

__m256i sixteen(__m256i v) {
  return _mm256_or_si256(_mm256_slli_epi32(v, 6), _mm256_srli_epi32(v, 4));
}

}  // namespace

void colourWordsToBytesVector(const std::uint8_t* words, int count, bool big, bool padLow,
                              std::uint8_t* out) {
  // The byte of a 10-bit sample v is (1021 v + 2041) >> 12, which is the high half of
  // (v + 2) * 16 * 1021 in 16 bits: 1021 (v + 2) is never a multiple of 4096, so taking
  // one from it does not change its quotient. Sixteen samples go through at once as
  // 16-bit halves: blue and red of a pixel in one word, green in another.
  const __m256i swap = _mm256_setr_epi8(3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12, 3, 2,
                                        1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12);
  const __m256i blueAt4 = _mm256_set1_epi32(0x3ff0);
  const __m256i redAt20 = _mm256_set1_epi32(0x3ff00000);
  const __m256i two = _mm256_set1_epi16(32);  // 2, sixteen times
  const __m256i scale = _mm256_set1_epi16(1021);
  // Four pixels of a 128-bit half, blue-green-red-0 each, closed up to 12 bytes; then
  // the two halves' twelve closed up to 24.
  const __m256i close = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, 0,
                                         1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  const __m256i together = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7);
  int x = 0;
  for (; x + kLanes <= count; x += kLanes) {
    // Blue in bits 2-11, green 12-21, red 22-31.
    __m256i w = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(words + 4 * x));
    if (big) w = _mm256_shuffle_epi8(w, swap);
    if (!padLow) w = _mm256_slli_epi32(w, 2);
    const __m256i blueRed = _mm256_or_si256(_mm256_and_si256(_mm256_slli_epi32(w, 2), blueAt4),
                                            _mm256_and_si256(_mm256_srli_epi32(w, 2), redAt20));
    const __m256i green = _mm256_and_si256(_mm256_srli_epi32(w, 8), blueAt4);
    const __m256i blueRedBytes = _mm256_mulhi_epu16(_mm256_add_epi16(blueRed, two), scale);
    const __m256i greenBytes = _mm256_mulhi_epu16(_mm256_add_epi16(green, two), scale);
    __m256i pixels = _mm256_or_si256(blueRedBytes, _mm256_slli_epi32(greenBytes, 8));
    pixels = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(pixels, close), together);
    std::uint8_t* o = out + 3 * x;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm256_castsi256_si128(pixels));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(o + 16), _mm256_extracti128_si256(pixels, 1));
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
