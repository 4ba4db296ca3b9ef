#pragma once

#include <string>
#include <vector>

#include "reel/reel_options.h"

namespace kelvora::reel {

// `samples` of the programme at `sampleRate`, -1..1: `level` scales it before it is
// limited to -1..1. The same seed gives the same sound.
std::vector<float> makeAudio(int samples, int sampleRate, unsigned seed, Programme programme,
                             double level = 1.0);

// The sound of the file at `path` (WAV, FLAC or any kind the sound library reads), its
// channels mixed to one, resampled to `rate` and scaled by `level`, limited to -1..1.
// Throws std::runtime_error naming the file when it cannot be read.
std::vector<float> readPrintedSound(const std::string& path, int rate, double level = 1.0);

// Seconds of the sound file at `path` up to its last sample above -60 dB full scale (a
// speaker's silence at the end not counted); throws std::runtime_error when it cannot be
// read.
double audibleSeconds(const std::string& path);

}  // namespace kelvora::reel
