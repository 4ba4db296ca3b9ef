#include "audio/sound_format.h"

#include <array>
#include <utility>

namespace kelvora {

namespace {

constexpr std::array<std::pair<SoundFormat, const char*>, 5> kNames{{
    {SoundFormat::Wav8, "wav8"},
    {SoundFormat::Wav16, "wav16"},
    {SoundFormat::Wav24, "wav24"},
    {SoundFormat::Float, "float"},
    {SoundFormat::Flac, "flac"},
}};

}  // namespace

std::optional<SoundFormat> parseSoundFormat(const std::string& name) {
  for (const auto& [format, text] : kNames)
    if (name == text) return format;
  return std::nullopt;
}

std::string formatName(SoundFormat format) {
  for (const auto& [f, text] : kNames)
    if (f == format) return text;
  return "wav8";
}

std::optional<int> parseSoundRate(const std::string& text) {
  if (text == "film") return 0;
  if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  const int rate = std::stoi(text);
  if (rate < 8000 || rate > 384000) return std::nullopt;
  return rate;
}

std::string extensionOf(SoundFormat format) {
  return format == SoundFormat::Flac ? ".flac" : ".wav";
}

int bitsOf(SoundFormat format) {
  switch (format) {
    case SoundFormat::Wav8:
      return 8;
    case SoundFormat::Wav16:
      return 16;
    case SoundFormat::Wav24:
    case SoundFormat::Flac:
      return 24;
    case SoundFormat::Float:
      return 32;
  }
  return 8;
}

}  // namespace kelvora
