#include "support/wav_file.h"

#include <cstring>
#include <fstream>
#include <iterator>

namespace kelvora::test {

namespace {

std::uint32_t u32(const std::vector<std::uint8_t>& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) |
         (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

std::uint16_t u16(const std::vector<std::uint8_t>& b, size_t at) {
  return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

bool tagAt(const std::vector<std::uint8_t>& b, size_t at, const char* tag) {
  return at + 4 <= b.size() && std::memcmp(&b[at], tag, 4) == 0;
}

}  // namespace

std::vector<std::uint8_t> readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

WavFile readWav(const std::string& path) {
  WavFile wav;
  const std::vector<std::uint8_t> b = readBytes(path);
  wav.fileSize = b.size();
  if (b.size() < 12 || !tagAt(b, 0, "RIFF") || !tagAt(b, 8, "WAVE")) return wav;
  wav.riffSize = u32(b, 4);
  size_t at = 12;
  bool haveFmt = false;
  while (at + 8 <= b.size()) {
    const std::uint32_t size = u32(b, at + 4);
    const size_t body = at + 8;
    if (body + size > b.size()) return wav;
    if (tagAt(b, at, "fmt ")) {
      if (size < 16) return wav;
      wav.fmtSize = size;
      wav.format = u16(b, body);
      wav.channels = u16(b, body + 2);
      wav.sampleRate = u32(b, body + 4);
      wav.byteRate = u32(b, body + 8);
      wav.blockAlign = u16(b, body + 12);
      wav.bitsPerSample = u16(b, body + 14);
      haveFmt = true;
    } else if (tagAt(b, at, "data")) {
      wav.data.assign(b.begin() + static_cast<long>(body),
                      b.begin() + static_cast<long>(body + size));
      wav.valid = haveFmt && wav.riffSize + 8 == b.size();
      return wav;
    }
    at = body + size + (size % 2);
  }
  return wav;
}

}  // namespace kelvora::test
