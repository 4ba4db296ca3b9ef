#pragma once

#include <memory>
#include <string>
#include <vector>

#include "film/film_settings.h"
#include "jobs/staged_file.h"
#include "readers/sound_settings.h"

namespace kelvora {

// What became of a finished sound.
struct SoundStored {
  std::string error;  // "" when it was stored, or the cause in the system's words
  int rate = 0;       // samples a second as stored
  size_t samples = 0;
};

// Where a soundtrack job's finished sound goes.
class SoundSink {
 public:
  virtual ~SoundSink() = default;
  // Why the sound cannot be stored, found before any frame is read; "" when it can.
  virtual std::string problem() const { return ""; }
  // Stores the finished sound: samples on the classic scale (see SoundReading),
  // reversed and filtered as asked, at `filmRate`.
  virtual SoundStored store(const std::vector<float>& samples, int filmRate) = 0;
};

// What a sound file says of where its sound came from.
struct SoundOrigin {
  std::string reelDirectory;
  FilmSettings film;
  SoundSettings sound;
  int startFrame = 1;
  int stopFrame = 1;
};

// The sound written into `file`'s temporary file and flushed to disk (the caller puts
// it in place): the classic 8-bit WAV at the film's own rate, a byte a sample, or the
// archive format and rate the settings ask for, with the reel's description and coding
// history.
std::unique_ptr<SoundSink> soundFileSink(StagedFile& file, const SoundOrigin& origin);

// The sound kept in memory at full scale (-1 to 1), resampled to `rate` (0 keeps the
// film's own).
class SoundInMemory : public SoundSink {
 public:
  SoundInMemory(bool removeDC, int rate) : removeDC_(removeDC), rate_(rate) {}
  SoundStored store(const std::vector<float>& samples, int filmRate) override;
  std::vector<float> samples;
  int rate = 0;

 private:
  bool removeDC_;
  int rate_;
};

// A classic sample (see SoundReading) at full scale, as its 8-bit byte would lie (128 is
// silence) but without the byte's truncation.
float fullScaleOf(float sample, bool removeDC);

// The sound settings in one line, for a file's description.
std::string describeSoundSettings(const SoundOrigin& origin);

}  // namespace kelvora
