#include "support/sound_run.h"

#include <cmath>
#include <filesystem>
#include <system_error>
#include <thread>

#include "jobs/frame_listing.h"
#include "jobs/staged_file.h"

namespace kelvora::test {

JobSettings settingsForReel(const reel::ReelOptions& options) {
  JobSettings s;
  s.film.track = trackOf(options.filmType);
  s.film.fps = options.fps;
  s.film.longStrip = options.longStrip;
  s.film.direction = options.directionUp ? Direction::Up : Direction::Down;
  s.film.inverse = options.inverse;
  return s;
}

namespace {

JobRequest requestFor(RecordingControls& controls, const std::atomic<bool>& stop,
                      const std::string& inputPath, int start, int stopFrame) {
  JobRequest request;
  request.controls = &controls;
  request.inputPath = inputPath;
  request.startFrame = start;
  request.stopFrame = stopFrame;
  request.stopRequested = &stop;
  return request;
}

}  // namespace

SoundRun runSoundJob(const std::string& inputPath, const std::string& outputPath,
                     const JobSettings& settings, int start, int stop, const PrepareJob& prepare) {
  RecordingControls controls;
  std::atomic<bool> stopRequested{false};
  JobRequest request = requestFor(controls, stopRequested, inputPath, start, stop);
  if (prepare) prepare(request, controls, stopRequested);
  SoundRun run;
  {
    StagedFile file(outputPath, extensionOf(settings.sound.output.format));
    const SoundOrigin origin{JobDirectory(inputPath, static_cast<int>(inputPath.size())),
                             settings.film, settings.sound, start, stop};
    const std::unique_ptr<SoundSink> sink = soundFileSink(file, origin);
    std::thread worker([&] {
      run.outcome = ThreadPicture(request, settings.film, settings.sound, *sink, run.report);
    });
    worker.join();
    if (run.outcome == JobOutcome::Finished) file.commit();
  }
  std::error_code ec;
  run.outputExists = std::filesystem::exists(outputPath, ec);
  if (run.outputExists) run.wav = readWav(outputPath);
  run.status = controls.statusHistory();
  run.calls = controls.calls();
  run.warnings = controls.warnings();
  run.warningsAfter = controls.warningsAfter();
  return run;
}

MovieRun runMovieJob(const std::string& inputPath, const std::string& outputPath,
                     const JobSettings& settings, int start, int stop, const PrepareJob& prepare) {
  RecordingControls controls;
  std::atomic<bool> stopRequested{false};
  JobRequest request = requestFor(controls, stopRequested, inputPath, start, stop);
  if (prepare) prepare(request, controls, stopRequested);
  MovieRun run;
  {
    StagedFile file(outputPath, ".avi");
    MovieOutput output;
    output.file = &file;
    std::thread worker([&] {
      run.outcome = ThreadMovie(request, settings.film, settings.movie, output, run.report);
    });
    worker.join();
    if (run.report.complete) file.commit();
  }
  std::error_code ec;
  if (std::filesystem::exists(outputPath, ec)) run.movie = readMovie(outputPath);
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
