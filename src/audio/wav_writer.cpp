#include "audio/wav_writer.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>

namespace kelvora {

namespace {

constexpr long kRiffSizeOffset = 4;
constexpr long kDataSizeOffset = 42;
constexpr std::uint32_t kFmtSize = 18;

void put16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v & 0xff);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}

void put32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>((v >> (8 * i)) & 0xff);
}

bool patch32(std::FILE* f, long offset, std::uint32_t v) {
  std::array<std::uint8_t, 4> b{};
  put32(b.data(), v);
  return std::fseek(f, offset, SEEK_SET) == 0 && std::fwrite(b.data(), 1, 4, f) == 4;
}

}  // namespace

void Plik::fail() {
  if (!failed_ && errorNumber_ == 0) errorNumber_ = errno != 0 ? errno : EIO;
  failed_ = true;
}

int Plik::CreateWaveFile(const std::string& nazwa) {
  file_.reset();
  dataBytes_ = 0;
  failed_ = false;
  errorNumber_ = 0;
  errno = 0;
  std::FILE* f = std::fopen(nazwa.c_str(), "wb");
  if (f == nullptr) {
    fail();
    return 1;
  }
  file_.reset(f);

  const auto rate = static_cast<std::uint32_t>(sampleRate);
  const auto bits = static_cast<std::uint32_t>(bitsPerSample);
  std::array<std::uint8_t, 46> h{};
  const auto tag = [&](int at, const char* s) { std::copy(s, s + 4, h.begin() + at); };
  tag(0, "RIFF");
  put32(&h[4], 0);  // patched on close
  tag(8, "WAVE");
  tag(12, "fmt ");
  put32(&h[16], kFmtSize);
  put16(&h[20], 1);  // PCM
  put16(&h[22], 1);  // mono
  put32(&h[24], rate);
  put32(&h[28], (bits * rate) >> 3);
  put16(&h[32], static_cast<std::uint16_t>(bits >> 3));
  put16(&h[34], static_cast<std::uint16_t>(bits & 0xffff));
  put16(&h[36], 0);  // no extra format bytes
  tag(38, "data");
  // Until closing, the data size still says the size of the "fmt " chunk.
  put32(&h[42], kFmtSize);
  if (std::fwrite(h.data(), 1, h.size(), f) != h.size()) fail();
  return 0;
}

size_t Plik::WriteSamples(std::span<const std::uint8_t> bytes) {
  if (!file_ || bytes.empty()) return 0;
  errno = 0;
  const size_t written = std::fwrite(bytes.data(), 1, bytes.size(), file_.get());
  dataBytes_ += static_cast<std::uint32_t>(written);
  if (written != bytes.size()) fail();
  return written;
}

int Plik::CloseSoundFile() {
  if (!file_) return 0;
  std::FILE* f = file_.get();
  errno = 0;
  const auto check = [this](bool done) {
    if (!done) fail();
  };
  if (dataBytes_ % 2 == 1) check(std::fputc(0, f) != EOF);
  const std::uint32_t riffSize = 38 + dataBytes_ + (dataBytes_ % 2);
  check(patch32(f, kDataSizeOffset, dataBytes_));
  check(patch32(f, kRiffSizeOffset, riffSize));
  check(std::fflush(f) == 0);
  check(std::fclose(file_.release()) == 0);
  return failed_ ? 1 : 0;
}

std::uint8_t sampleToByte(float s, bool removeDC) {
  if (std::isnan(s)) return 128;
  double v = std::trunc(static_cast<double>(s));
  if (removeDC) v += 256.0;
  return static_cast<std::uint8_t>(std::clamp(v, 0.0, 255.0));
}

}  // namespace kelvora
