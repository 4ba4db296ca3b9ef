#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>

namespace kelvora {

// Writes one mono PCM WAV file: RIFF header with an 18-byte "fmt " chunk, then a
// "data" chunk whose size, like the RIFF size, is patched when the file is closed.
// An odd number of sample bytes is followed by a zero pad byte. An existing file of
// the same name is replaced.
class Plik {
 public:
  Plik() = default;
  Plik(const Plik&) = delete;
  Plik& operator=(const Plik&) = delete;
  virtual ~Plik() = default;

  // Creates `nazwa` and writes the header up to the first sample byte. Returns 0 on
  // success, 1 when the file cannot be created (nothing is then open).
  int CreateWaveFile(const std::string& nazwa);

  // Appends sample bytes to the data chunk. Returns how many were stored; 0 when no
  // file is open.
  size_t WriteSamples(std::span<const std::uint8_t> bytes);

  // Pads the data chunk, patches both chunk sizes and closes the file. Returns 0 on
  // success or when no file is open, 1 when the file could not be completed.
  int CloseSoundFile();

  bool isOpen() const { return file_ != nullptr; }
  // The system's error number of the first failure (0 when none), such as ENOSPC.
  int errorNumber() const { return errorNumber_; }

  std::int32_t sampleRate = 22050;
  std::int32_t bitsPerSample = 16;

 private:
  struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::unique_ptr<std::FILE, FileCloser> file_;
  std::uint32_t dataBytes_ = 0;
  bool failed_ = false;
  int errorNumber_ = 0;
  void fail();
};

// The WAV byte for one finished sample: truncated toward zero and saturated, never
// wrapped. With `removeDC` the samples lie around -128 and are lifted by 256.
std::uint8_t sampleToByte(float s, bool removeDC);

}  // namespace kelvora
