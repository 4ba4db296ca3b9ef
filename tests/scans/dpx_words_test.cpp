// The scanners' 10-bit colour words: the vector unit's conversion gives exactly the
// samples of the word-by-word one, and both the jobs' bytes by the 16-bit TIFF rule.
#include "scans/dpx_words.h"

#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "scans/sample_depth.h"

namespace kelvora {
namespace {

TEST(DpxWordsTest, EveryTenBitSampleBecomesTheByteOfItsSixteenBitValue) {
  for (std::uint32_t v = 0; v < 1024; ++v)
    ASSERT_EQ(colourByteOfTen(v), colourBytes()[sixteenOfTen(v)]) << v;
  EXPECT_EQ(sixteenOfTen(1023), 65535);
  EXPECT_EQ(sixteenOfTen(0), 0);
}

TEST(DpxWordsTest, TheVectorUnitGivesWhatWordByWordGives) {
  if (!vectorWordsAvailable()) GTEST_SKIP() << "no AVX2 on this processor";
  std::mt19937 rng(7);
  for (const bool big : {true, false})
    for (const bool padLow : {true, false})
      for (int count = 0; count <= 41; ++count) {
        SCOPED_TRACE(std::to_string(count) + (big ? " big" : " little") + (padLow ? " A" : " B"));
        std::vector<std::uint8_t> words(4 * static_cast<size_t>(count) + 1);
        for (auto& b : words) b = static_cast<std::uint8_t>(rng());
        // Output one sample longer than asked for: nothing may be written there.
        const size_t samples = 3 * static_cast<size_t>(count);
        std::vector<std::uint8_t> bytes(samples + 1, 0x5a), oneByOne(samples + 1, 0x5a);
        colourWordsToBytesVector(words.data() + 1, count, big, padLow, bytes.data());
        colourWordsToBytesOneByOne(words.data() + 1, count, big, padLow, oneByOne.data());
        EXPECT_EQ(bytes, oneByOne);
        std::vector<std::uint16_t> deep(samples + 1, 0x5a5a), deepOneByOne(samples + 1, 0x5a5a);
        colourWordsToSixteenVector(words.data() + 1, count, big, padLow, deep.data());
        colourWordsToSixteenOneByOne(words.data() + 1, count, big, padLow, deepOneByOne.data());
        EXPECT_EQ(deep, deepOneByOne);
      }
}

// Every 10-bit value in every channel, each byte order and padding: the vector unit's
// arithmetic has no sample it rounds differently.
TEST(DpxWordsTest, TheVectorUnitRoundsEverySampleAsWordByWord) {
  if (!vectorWordsAvailable()) GTEST_SKIP() << "no AVX2 on this processor";
  for (const bool big : {true, false})
    for (const bool padLow : {true, false}) {
      std::vector<std::uint8_t> words;
      for (std::uint32_t v = 0; v < 1024; ++v) {
        // Blue v, green and red running the other ways, in the file's layout.
        std::uint32_t w = v | ((1023 - v) << 10) | (((v * 7) & 1023) << 20);
        if (padLow) w <<= 2;
        for (int b = 0; b < 4; ++b)
          words.push_back(static_cast<std::uint8_t>(w >> (big ? 24 - 8 * b : 8 * b)));
      }
      std::vector<std::uint8_t> bytes(3 * 1024), oneByOne(3 * 1024);
      colourWordsToBytesVector(words.data(), 1024, big, padLow, bytes.data());
      colourWordsToBytesOneByOne(words.data(), 1024, big, padLow, oneByOne.data());
      EXPECT_EQ(bytes, oneByOne) << (big ? "big" : "little") << (padLow ? ", A" : ", B");
    }
}

}  // namespace
}  // namespace kelvora
