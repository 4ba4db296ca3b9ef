#include "support/sound_file.h"

#include <sndfile.h>

#include <cmath>
#include <cstring>
#include <numbers>

#include <opencv2/core.hpp>

namespace kelvora::test {

namespace {

std::string field(const char* text, size_t size) { return std::string(text, strnlen(text, size)); }

std::string stringOf(SNDFILE* f, int kind) {
  const char* s = sf_get_string(f, kind);
  return s != nullptr ? s : "";
}

// The zeroth-order modified Bessel function, by its series.
double besselI0(double x) {
  double sum = 1.0, term = 1.0;
  for (int k = 1; k < 60; ++k) {
    term *= (x / (2.0 * k)) * (x / (2.0 * k));
    sum += term;
  }
  return sum;
}

}  // namespace

SoundFile readSound(const std::string& path) {
  SoundFile out;
  SF_INFO info{};
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
  if (f == nullptr) return out;
  out.opened = true;
  out.format = info.format;
  out.rate = info.samplerate;
  out.channels = info.channels;
  out.samples.resize(static_cast<size_t>(info.frames * info.channels));
  sf_read_float(f, out.samples.data(), static_cast<sf_count_t>(out.samples.size()));
  SF_BROADCAST_INFO_VAR(4096) bext;
  std::memset(&bext, 0, sizeof bext);
  if (sf_command(f, SFC_GET_BROADCAST_INFO, &bext, sizeof bext) == SF_TRUE) {
    out.hasBext = true;
    out.description = field(bext.description, sizeof bext.description);
    out.originator = field(bext.originator, sizeof bext.originator);
    out.originationDate = field(bext.origination_date, sizeof bext.origination_date);
    out.codingHistory = field(bext.coding_history, bext.coding_history_size);
  }
  out.title = stringOf(f, SF_STR_TITLE);
  out.software = stringOf(f, SF_STR_SOFTWARE);
  out.comment = stringOf(f, SF_STR_COMMENT);
  sf_close(f);
  return out;
}

bool writeFloatWav(const std::string& path, const std::vector<float>& interleaved, int rate,
                   int channels) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = channels;
  info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (file == nullptr) return false;
  sf_writef_float(file, interleaved.data(), static_cast<sf_count_t>(interleaved.size()) / channels);
  return sf_close(file) == 0;
}

std::vector<float> tone(double frequency, double rate, double seconds, double amplitude) {
  std::vector<float> s(static_cast<size_t>(seconds * rate));
  for (size_t i = 0; i < s.size(); ++i)
    s[i] = static_cast<float>(amplitude * std::sin(2 * std::numbers::pi * frequency * i / rate));
  return s;
}

double toneFrequency(const std::vector<float>& s, double rate) {
  double first = -1, last = -1;
  int crossings = 0;
  for (size_t i = 1; i < s.size(); ++i) {
    if (s[i - 1] < 0 && s[i] >= 0) {
      const double at = (i - 1) + s[i - 1] / (s[i - 1] - s[i]);
      if (first < 0) first = at;
      last = at;
      ++crossings;
    }
  }
  return crossings > 1 ? (crossings - 1) * rate / (last - first) : 0.0;
}

double rmsDb(const std::vector<float>& s) {
  double sum = 0;
  for (const float v : s) sum += static_cast<double>(v) * v;
  return 10 * std::log10(sum / static_cast<double>(s.size()));
}

double strongestOtherDb(const std::vector<float>& s, double rate, const std::vector<double>& keep,
                        double guardHz) {
  const int n = static_cast<int>(s.size());
  cv::Mat windowed(1, n, CV_64F);
  const double beta = 20.0, norm = besselI0(beta);
  for (int i = 0; i < n; ++i) {
    const double r = 2.0 * i / (n - 1) - 1.0;
    windowed.at<double>(i) = s[i] * besselI0(beta * std::sqrt(1 - r * r)) / norm;
  }
  cv::Mat spectrum;
  cv::dft(windowed, spectrum, cv::DFT_COMPLEX_OUTPUT);
  double strongest = 0, other = 0;
  for (int k = 1; k < n / 2; ++k) {
    const cv::Vec2d c = spectrum.at<cv::Vec2d>(k);
    const double power = c[0] * c[0] + c[1] * c[1];
    strongest = std::max(strongest, power);
    const double hz = k * rate / n;
    bool near = hz < guardHz;  // the lowest bins hold the window's own DC leakage
    for (const double f : keep) near = near || std::abs(hz - f) < guardHz;
    if (!near) other = std::max(other, power);
  }
  return 10 * std::log10(std::max(other, 1e-300) / strongest);
}

}  // namespace kelvora::test
