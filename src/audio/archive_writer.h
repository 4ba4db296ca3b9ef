#pragma once

#include <string>
#include <vector>

#include "audio/sound_format.h"

namespace kelvora {

// What a sound file says about itself: the Broadcast WAV "bext" chunk of a WAV file,
// the Vorbis comments of a FLAC file.
struct SoundMetadata {
  std::string description;    // the reel and the settings it was read with
  std::string originator;     // "Kelvora" and its version
  std::string codingHistory;  // one line per step, as broadcast archives write it
  std::string date;           // yyyy-mm-dd, local time of writing
  std::string time;           // hh:mm:ss
};

// The metadata for a sound read now from `reelDirectory`: description, originator,
// date and time. The caller adds the coding history.
SoundMetadata metadataNow(const std::string& reelDirectory, const std::string& settings);

// Writes full-scale mono samples (-1 to 1) at `rate` to `path` in `format` with the
// sound-file library: integer formats dithered or rounded by `quantise`, float as it
// is. A WAV file carries the "bext" chunk (none for 8 bits, which is a plain WAV) and
// is written as RF64 when its data would pass 4 GB; a float WAV's format chunk carries
// its extension size, and a fact chunk its sample count. Returns "" on success, or the
// cause of the failure.
std::string writeArchiveSound(const std::vector<float>& samples, int rate, SoundFormat format,
                              const SoundMetadata& metadata, const std::string& path);

// The samples of a sound file (its first channel) at full scale, and its rate.
// Returns "" or why it could not be read.
std::string readSoundSamples(const std::string& path, std::vector<float>& samples, int& rate);

// How many samples of the sound file at `path` decode, reading it to its end; -1 when
// it does not open. A file whose write failed unseen (the FLAC encoder does not pass
// every failed write on) reads short.
long long readableSamples(const std::string& path);

}  // namespace kelvora
