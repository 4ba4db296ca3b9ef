#pragma once

#include <optional>
#include <string>

namespace kelvora {

// How the finished sound is stored. `Wav8` at the film's own rate is the classic
// 8-bit file; every other choice goes through the archive writer.
enum class SoundFormat { Wav8, Wav16, Wav24, Float, Flac };

// The format and rate of the sound file a job writes.
struct SoundOutput {
  SoundFormat format = SoundFormat::Wav8;
  int rate = 0;  // samples per second; 0 keeps the film's own rate (a sample a row)

  bool classic() const { return format == SoundFormat::Wav8 && rate == 0; }
};

// "wav8", "wav16", "wav24", "float" or "flac"; nothing for any other text.
std::optional<SoundFormat> parseSoundFormat(const std::string& name);
std::string formatName(SoundFormat format);

// The rate option's text: "film" (0), or a whole number of samples per second from
// 8000 to 384000. Nothing for any other text.
std::optional<int> parseSoundRate(const std::string& text);

// The file name ending the format is written with: ".flac" or ".wav".
std::string extensionOf(SoundFormat format);

// Bits per sample in the file; 32 for float.
int bitsOf(SoundFormat format);

}  // namespace kelvora
