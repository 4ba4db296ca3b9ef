#include "audio/wav_writer.h"

#include <cerrno>

#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "support/wav_file.h"

namespace kelvora {
namespace {

using test::readBytes;
using test::readWav;
using test::TempDir;

std::vector<std::uint8_t> writeWav(const std::string& path, const std::vector<std::uint8_t>& data,
                                   int rate = 24 * 1511, int bits = 8) {
  Plik plik;
  plik.sampleRate = rate;
  plik.bitsPerSample = bits;
  EXPECT_EQ(plik.CreateWaveFile(path), 0);
  EXPECT_EQ(plik.WriteSamples(data), data.size());
  EXPECT_EQ(plik.CloseSoundFile(), 0);
  return readBytes(path);
}

TEST(PlikTest, HeaderBytesForAnEvenCount) {
  TempDir dir;
  const auto bytes = writeWav(dir.file("a.wav"), {1, 2, 3, 4}, 24 * 1511);
  const std::vector<std::uint8_t> expected = {
      'R', 'I', 'F', 'F', 42,  0,   0,   0,    'W',  'A', 'V', 'E',  'f',  'm', 't', ' ', 18,
      0,   0,   0,   1,   0,   1,   0,   0xa8, 0x8d, 0,   0,   0xa8, 0x8d, 0,   0,   1,   0,
      8,   0,   0,   0,   'd', 'a', 't', 'a',  4,    0,   0,   0,    1,    2,   3,   4};
  EXPECT_EQ(bytes, expected);
}

// An odd count is padded to an even chunk; none at all is a 46-byte file. Either way a
// player reads back exactly the samples.
TEST(PlikTest, SizesAndPaddingReadBack) {
  const std::vector<std::vector<std::uint8_t>> samples = {{9, 8, 7}, {}, {1, 2}};
  for (const auto& data : samples) {
    TempDir dir;
    const auto bytes = writeWav(dir.file("a.wav"), data);
    EXPECT_EQ(bytes.size(), 46u + data.size() + data.size() % 2);
    if (data.size() % 2 == 1) {
      EXPECT_EQ(bytes.back(), 0);
    }
    const auto wav = readWav(dir.file("a.wav"));
    EXPECT_TRUE(wav.valid);
    EXPECT_EQ(wav.riffSize, 38u + data.size() + data.size() % 2);
    EXPECT_EQ(wav.data, data);
  }
}

TEST(PlikTest, UnwritablePathReportsFailure) {
  TempDir dir;
  Plik plik;
  EXPECT_EQ(plik.CreateWaveFile(dir.file("missing/dir/a.wav")), 1);
  EXPECT_EQ(plik.errorNumber(), ENOENT);
  EXPECT_FALSE(plik.isOpen());
  EXPECT_EQ(plik.WriteSamples(std::vector<std::uint8_t>{1, 2}), 0u);
  EXPECT_EQ(plik.CloseSoundFile(), 0);
}

TEST(PlikTest, ShortWriteIsReportedOnClose) {
  Plik plik;
  ASSERT_EQ(plik.CreateWaveFile("/dev/full"), 0);
  std::vector<std::uint8_t> lots(1 << 20, 1);
  plik.WriteSamples(lots);
  EXPECT_EQ(plik.CloseSoundFile(), 1);
  EXPECT_EQ(plik.errorNumber(), ENOSPC);
}

TEST(SampleToByteTest, SaturatesInsteadOfWrapping) {
  // -DC off: the plain row means.
  EXPECT_EQ(sampleToByte(37.9f, false), 37);
  EXPECT_EQ(sampleToByte(-0.5f, false), 0);
  EXPECT_EQ(sampleToByte(300.2f, false), 255);
  EXPECT_EQ(sampleToByte(-20.0f, false), 0);
  // -DC on: samples around -128 become unsigned PCM around 128.
  EXPECT_EQ(sampleToByte(-128.0f, true), 128);
  EXPECT_EQ(sampleToByte(-129.0f, true), 127);
  EXPECT_EQ(sampleToByte(-1.5f, true), 255);
  EXPECT_EQ(sampleToByte(-0.5f, true), 255);
  EXPECT_EQ(sampleToByte(37.9f, true), 255);
  EXPECT_EQ(sampleToByte(-200.7f, true), 56);
  EXPECT_EQ(sampleToByte(-300.0f, true), 0);
}

}  // namespace
}  // namespace kelvora
