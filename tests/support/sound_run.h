#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "jobs/frame_loop.h"
#include "jobs/movie_job.h"
#include "jobs/settings.h"
#include "jobs/sound_job.h"
#include "reel/reel.h"
#include "support/movie_file.h"
#include "support/recording_controls.h"
#include "support/wav_file.h"

namespace kelvora::test {

struct SoundRun {
  JobOutcome outcome = JobOutcome::Finished;
  SoundJobReport report;
  WavFile wav;
  bool outputExists = false;
  std::vector<std::string> status;  // every text the status box showed
  std::vector<std::string> calls;
  std::vector<std::string> warnings;  // as shown
  std::vector<size_t> warningsAfter;  // how many status texts came before each
};

// The settings a user would choose for a generated reel: its film type, speed,
// strips, direction and Inverse.
JobSettings settingsForReel(const reel::ReelOptions& options);

// What a test may change of a job before it starts: its request (bridging), the
// controls and the Stop flag the window would set.
using PrepareJob = std::function<void(JobRequest&, RecordingControls&, std::atomic<bool>& stop)>;

// Runs the soundtrack job the way Start does, on a worker thread, with recording
// controls, into a file staged beside `outputPath` and put in place when the job
// finishes.
SoundRun runSoundJob(const std::string& inputPath, const std::string& outputPath,
                     const JobSettings& settings, int start, int stop,
                     const PrepareJob& prepare = {});

struct MovieRun {
  JobOutcome outcome = JobOutcome::Finished;
  MovieJobReport report;
  MovieFile movie;
  std::vector<std::string> status;
  std::vector<std::string> calls;
};

// Runs the classic movie job likewise; the movie is put in place whenever it holds
// the frames it wrote.
MovieRun runMovieJob(const std::string& inputPath, const std::string& outputPath,
                     const JobSettings& settings, int start, int stop,
                     const PrepareJob& prepare = {});

// The signal-to-noise ratio in dB of `decoded` against `reference[offset + i]`,
// after the best gain and offset: what a listener hears of the source.
double snrDb(const std::vector<float>& decoded, const std::vector<float>& reference,
             size_t offset = 0);

// The same over all but `edge` samples at either end, where the output filter builds
// up and decays.
double snrDb(const std::vector<float>& decoded, const std::vector<float>& reference, size_t offset,
             size_t edge);

std::vector<float> asFloats(const std::vector<std::uint8_t>& bytes);

}  // namespace kelvora::test
