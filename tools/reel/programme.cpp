#include "reel/programme.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <stdexcept>

#include <sndfile.h>

#include "audio/resample.h"

namespace kelvora::reel {

namespace {

constexpr double kTwoPi = 6.283185307179586;

struct SoundFileCloser {
  void operator()(SNDFILE* f) const { sf_close(f); }
};
using SoundFile = std::unique_ptr<SNDFILE, SoundFileCloser>;

SoundFile openSound(const std::string& path, SF_INFO& info) {
  info = SF_INFO{};
  SoundFile file(sf_open(path.c_str(), SFM_READ, &info));
  if (!file)
    throw std::runtime_error("cannot read the sound file " + path + ": " + sf_strerror(nullptr));
  if (info.channels < 1 || info.samplerate < 1)
    throw std::runtime_error("the sound file " + path + " holds no sound");
  return file;
}

}  // namespace

std::vector<float> makeAudio(int samples, int sampleRate, unsigned seed, Programme programme,
                             double level) {
  std::vector<float> audio(static_cast<size_t>(std::max(samples, 0)));
  std::mt19937 rng(seed);
  std::normal_distribution<double> white(0.0, 1.0);
  const double rate = sampleRate;
  // Speech-like: noise between about 200 Hz and 3 kHz under a syllable-rate envelope,
  // as loud at any rate: the noise's power a hertz is the same.
  const double noise = std::sqrt(rate / 17000.0);
  const double fast = 1.0 - std::exp(-kTwoPi * 3000.0 / rate);
  const double slow = 1.0 - std::exp(-kTwoPi * 200.0 / rate);
  double lowFast = 0.0;
  double lowSlow = 0.0;
  for (size_t i = 0; i < audio.size(); ++i) {
    const double t = static_cast<double>(i) / rate;
    double v;
    if (programme == Programme::Tones) {
      const double envelope = 0.65 + 0.35 * std::sin(kTwoPi * 1.7 * t);
      v = envelope *
          (0.45 * std::sin(kTwoPi * 330.0 * t) + 0.25 * std::sin(kTwoPi * 1250.0 * t + 1.0) +
           0.1 * std::sin(kTwoPi * 97.0 * t + 0.3));
    } else {
      const double x = noise * white(rng);
      lowFast += fast * (x - lowFast);
      lowSlow += slow * (x - lowSlow);
      const double syllables = 0.35 + 0.65 * std::abs(std::sin(kTwoPi * 2.3 * t + 0.4));
      v = 0.4 * syllables * (lowFast - lowSlow) + 0.08 * std::sin(kTwoPi * 440.0 * t);
    }
    audio[i] = static_cast<float>(std::clamp(level * v, -1.0, 1.0));
  }
  return audio;
}

std::vector<float> readPrintedSound(const std::string& path, int rate, double level) {
  SF_INFO info;
  const SoundFile file = openSound(path, info);
  std::vector<float> frames(static_cast<size_t>(info.frames) * static_cast<size_t>(info.channels));
  const sf_count_t read = sf_readf_float(file.get(), frames.data(), info.frames);
  if (read < 0) throw std::runtime_error("cannot read the sound file " + path);
  std::vector<float> mono(static_cast<size_t>(read));
  for (size_t i = 0; i < mono.size(); ++i) {
    double sum = 0.0;
    for (int c = 0; c < info.channels; ++c)
      sum += frames[i * static_cast<size_t>(info.channels) + static_cast<size_t>(c)];
    mono[i] = static_cast<float>(sum / info.channels);
  }
  std::string error;
  std::vector<float> printed = resample(mono, info.samplerate, rate, &error);
  if (!error.empty()) throw std::runtime_error("cannot resample " + path + ": " + error);
  for (float& s : printed) s = static_cast<float>(std::clamp(level * s, -1.0, 1.0));
  return printed;
}

double audibleSeconds(const std::string& path) {
  SF_INFO info;
  const SoundFile file = openSound(path, info);
  std::vector<float> frames(static_cast<size_t>(info.frames) * static_cast<size_t>(info.channels));
  const sf_count_t read = sf_readf_float(file.get(), frames.data(), info.frames);
  if (read < 0) throw std::runtime_error("cannot read the sound file " + path);
  size_t last = 0;  // samples up to and with the last audible one
  for (size_t i = 0; i < frames.size(); ++i)
    if (std::abs(frames[i]) > 0.001f) last = i / static_cast<size_t>(info.channels) + 1;
  return static_cast<double>(last) / info.samplerate;
}

}  // namespace kelvora::reel
