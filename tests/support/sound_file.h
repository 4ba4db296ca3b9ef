#pragma once

#include <string>
#include <vector>

namespace kelvora::test {

// A sound file as the sound-file library reads it back.
struct SoundFile {
  bool opened = false;
  int format = 0;  // the library's major format and subtype
  int rate = 0;
  int channels = 0;
  std::vector<float> samples;  // full scale -1..1
  bool hasBext = false;
  std::string description;  // of the "bext" chunk
  std::string originator;
  std::string originationDate;
  std::string codingHistory;
  std::string title;  // the Vorbis comments of FLAC
  std::string software;
  std::string comment;
};

SoundFile readSound(const std::string& path);

// Writes samples of `channels` interleaved channels as a float WAV; false
// when the file cannot be opened.
bool writeFloatWav(const std::string& path, const std::vector<float>& interleaved, int rate,
                   int channels = 1);

// A pure tone as a test signal.
std::vector<float> tone(double frequency, double rate, double seconds, double amplitude);

// The frequency of a pure tone, from the interpolated instants of its first and last
// rising zero crossings.
double toneFrequency(const std::vector<float>& samples, double rate);

double rmsDb(const std::vector<float>& samples);

// The strongest component of the spectrum (Kaiser window, beta 20) more than
// `guardHz` from every frequency in `keep`, in dB below the strongest component.
double strongestOtherDb(const std::vector<float>& samples, double rate,
                        const std::vector<double>& keep, double guardHz);

}  // namespace kelvora::test
