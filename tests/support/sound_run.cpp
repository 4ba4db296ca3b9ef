#include "support/sound_run.h"

#include <cmath>
#include <filesystem>
#include <system_error>
#include <thread>

namespace kelvora::test {

JobSettings settingsForReel(const reel::ReelOptions& options) {
  JobSettings s;
  s.soundtrackType = options.filmType - 1;
  s.speedIndex = options.fps - 24;
  s.longStrip = options.longStrip ? 1 : 0;
  s.directionUp = options.directionUp;
  s.inverse = options.inverse ? 1 : 0;
  return s;
}

SoundRun runSoundJob(const std::string& inputPath, const std::string& outputPath,
                     const JobSettings& settings, int start, int stop,
                     const std::function<void(Picture_Parameters&, RecordingControls&)>& prepare) {
  RecordingControls controls;
  Picture_Parameters record;
  fillPictureParameters(record, settings,
                        JobRequest{&controls, inputPath, outputPath, start, stop});
  if (prepare) prepare(record, controls);
  SoundRun run;
  std::thread worker([&] { run.outcome = ThreadPicture(record, &run.report); });
  worker.join();
  std::error_code ec;
  run.outputExists = std::filesystem::exists(outputPath, ec);
  if (run.outputExists) run.wav = readWav(outputPath);
  run.status = controls.statusHistory();
  run.calls = controls.calls();
  return run;
}

double snrDb(const std::vector<float>& decoded, const std::vector<float>& reference, size_t offset,
             size_t edge) {
  const size_t n =
      std::min(decoded.size(), reference.size() > offset ? reference.size() - offset : 0);
  if (n < 2 * edge + 2) return -100.0;
  const std::vector<float> inner(decoded.begin() + edge, decoded.begin() + (n - edge));
  return snrDb(inner, reference, offset + edge);
}

double snrDb(const std::vector<float>& decoded, const std::vector<float>& reference,
             size_t offset) {
  const size_t n =
      std::min(decoded.size(), reference.size() > offset ? reference.size() - offset : 0);
  if (n < 2) return -100.0;
  double mx = 0, my = 0;
  for (size_t i = 0; i < n; ++i) {
    mx += reference[offset + i];
    my += decoded[i];
  }
  mx /= n;
  my /= n;
  double sxx = 0, sxy = 0, syy = 0;
  for (size_t i = 0; i < n; ++i) {
    const double x = reference[offset + i] - mx, y = decoded[i] - my;
    sxx += x * x;
    sxy += x * y;
    syy += y * y;
  }
  if (sxx == 0) return -100.0;
  const double gain = sxy / sxx;
  const double signal = gain * gain * sxx;
  const double noise = syy - signal;
  if (noise <= 0) return 100.0;
  return 10.0 * std::log10(signal / noise);
}

std::vector<float> asFloats(const std::vector<std::uint8_t>& bytes) {
  return std::vector<float>(bytes.begin(), bytes.end());
}

}  // namespace kelvora::test
