#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kelvora::test {

// A WAV file as a player would read it, with the header's own claims.
struct WavFile {
  bool valid = false;  // RIFF/WAVE/fmt/data found and sizes consistent
  std::uint32_t riffSize = 0;
  std::uint32_t fmtSize = 0;
  std::uint16_t format = 0;
  std::uint16_t channels = 0;
  std::uint32_t sampleRate = 0;
  std::uint32_t byteRate = 0;
  std::uint16_t blockAlign = 0;
  std::uint16_t bitsPerSample = 0;
  std::vector<std::uint8_t> data;
  size_t fileSize = 0;
};

WavFile readWav(const std::string& path);
std::vector<std::uint8_t> readBytes(const std::string& path);

}  // namespace kelvora::test
