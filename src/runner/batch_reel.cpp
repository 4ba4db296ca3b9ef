#include "runner/batch_reel.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <filesystem>

#include "jobs/frame_listing.h"
#include "jobs/movie_job.h"
#include "jobs/sound_job.h"
#include "jobs/staged_file.h"
#include "runner/job_reports.h"
#include "runner/reel_input.h"
#include "runner/reel_record.h"

namespace kelvora {

namespace {

// A job's window in a batch: no window at all. Each frame's step counts on the
// batch's frame counter; the status text is kept for nobody to read; warnings go to
// the batch.
class BatchControls : public Controls {
 public:
  BatchControls(std::atomic<long>& framesDone, std::function<void(const std::string&)> onWarning)
      : framesDone_(framesDone), onWarning_(std::move(onWarning)) {}
  void enable(Control, bool) override {}
  void show(Control, bool) override {}
  void setText(Control c, const std::string& text) override {
    if (c == Control::Status) status_ = text;
  }
  std::string text(Control c) override { return c == Control::Status ? status_ : ""; }
  void redraw(Control) override {}
  bool isChecked(Control) override { return false; }
  void showWarning(const std::string& text) override {
    if (onWarning_) onWarning_(text);
  }
  void setProgressRange(int, int) override {}
  void setProgressStep(int) override {}
  void stepProgress() override { ++framesDone_; }
  void setProgressPosition(int) override {}

 private:
  std::atomic<long>& framesDone_;
  std::function<void(const std::string&)> onWarning_;
  std::string status_;
};

std::string bridgedWarning(const BridgedScan& b, const char* filler) {
  return "frame " + std::to_string(b.frame) + " (" + b.path + ") could not be read (" + b.cause +
         "); bridged with " + filler;
}

// What one job of a reel did, in the words of the reel's record and summary.
struct JobRun {
  JobOutcome outcome = JobOutcome::Finished;
  nlohmann::ordered_json measurements;
  std::vector<BridgedScan> bridged;
  std::vector<std::string> warnings;  // what was measured against the settings
  std::string failure;                // why it did not finish, naming the scan or the output
};

// What a finished job's report gives the reel's run.
template <typename Report>
JobRun runOf(JobOutcome outcome, const Report& report, nlohmann::ordered_json measurements,
             const std::string& output, const std::string& writeCause) {
  JobRun run;
  run.outcome = outcome;
  run.measurements = std::move(measurements);
  run.bridged = report.bridged;
  run.warnings = report.warnings;
  if (outcome == JobOutcome::Unreadable)
    run.failure = "cannot read frame " + std::to_string(report.failedFrame) + " (" +
                  report.failedPath + "): " + report.failure;
  if (outcome == JobOutcome::WriteFailed)
    run.failure = "cannot write " + output + ": " + writeCause;
  return run;
}

// The settings were checked when the batch was planned.
JobRun runSoundJob(const BatchReel& reel, const JobRequest& request, const FilmSettings& film,
                   StagedFile& file) {
  const SoundOrigin origin{
      JobDirectory(request.inputPath, static_cast<int>(request.inputPath.size())), film,
      reel.soundSettings, request.startFrame, request.stopFrame};
  const std::unique_ptr<SoundSink> sink = soundFileSink(file, origin);
  SoundJobReport report;
  const JobOutcome outcome = ThreadPicture(request, film, reel.soundSettings, *sink, report);
  return runOf(outcome, report, soundMeasurements(report), reel.soundPath(), report.failure);
}

JobRun runMovieJob(const BatchReel& reel, const JobRequest& request, const FilmSettings& film,
                   StagedFile& file) {
  MovieOutput output;
  output.file = &file;
  MovieJobReport report;
  const JobOutcome outcome = ThreadMovie(request, film, reel.movieSettings, output, report);
  JobRun run = runOf(outcome, report, movieMeasurements(report), reel.moviePath(),
                     report.outputError.empty() ? report.failure : report.outputError);
  // In a batch a movie is whole or nothing.
  if (run.outcome == JobOutcome::Finished && !report.complete) {
    run.outcome = JobOutcome::WriteFailed;
    run.failure = "cannot write " + reel.moviePath() + ": " + report.outputError;
  }
  return run;
}

// An output a reel may ask for.
struct ReelOutput {
  const char* kind;    // its entry in the record
  const char* filler;  // what stands in for a bridged scan
  std::string (BatchReel::*path)() const;
  JobRun (*run)(const BatchReel&, const JobRequest&, const FilmSettings&, StagedFile&);
};

constexpr ReelOutput kSound{"sound", "silence", &BatchReel::soundPath, runSoundJob};
constexpr ReelOutput kMovie{"movie", "black pictures", &BatchReel::moviePath, runMovieJob};

std::string extensionOfPath(const std::string& path) {
  const size_t dot = path.rfind('.');
  return dot == std::string::npos ? "" : path.substr(dot);
}

}  // namespace

std::string BatchReel::soundPath() const {
  return outputDirectory + "/" + name + extensionOf(soundSettings.output.format);
}

void StopSwitch::stopAll() {
  std::lock_guard lock(mutex_);
  stopped_ = true;
  for (std::atomic<bool>* flag : flags_) *flag = true;
}

StopSwitch::Registration::Registration(StopSwitch& stop, std::atomic<bool>& flag)
    : stop_(stop), flag_(flag) {
  std::lock_guard lock(stop_.mutex_);
  stop_.flags_.insert(&flag_);
  if (stop_.stopped_) flag_ = true;
}

StopSwitch::Registration::~Registration() {
  std::lock_guard lock(stop_.mutex_);
  stop_.flags_.erase(&flag_);
}

const char* describe(ReelOutcome outcome) {
  switch (outcome) {
    case ReelOutcome::Done:
      return "done";
    case ReelOutcome::Skipped:
      return "skipped";
    case ReelOutcome::Failed:
      return "failed";
    case ReelOutcome::Stopped:
      return "stopped";
  }
  return "failed";
}

ReelResult runBatchReel(const BatchReel& reel, bool force, StopSwitch& stop,
                        std::atomic<long>& framesDone,
                        const std::function<void(const std::string&)>& onWarning) {
  const auto started = std::chrono::steady_clock::now();
  ReelResult result;
  nlohmann::ordered_json record;
  record["reel"] = reel.name;
  record["input"] = reel.directory;
  record["settings"] = reel.settingsLine;
  record["complete"] = false;

  std::vector<const ReelOutput*> outputs;
  if (reel.sound) outputs.push_back(&kSound);
  if (reel.movie) outputs.push_back(&kMovie);
  std::vector<std::string> kinds;
  for (const ReelOutput* o : outputs) kinds.push_back(o->kind);

  // Ends the reel: its record is written last, after every output is in place.
  const auto finish = [&](ReelOutcome outcome, const std::string& error) {
    result.outcome = outcome;
    result.error = error;
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    record["complete"] = outcome == ReelOutcome::Done;
    record["outcome"] = describe(outcome);
    record["frames"] = result.frames;
    record["seconds"] = result.seconds;
    record["warnings"] = result.warnings;
    if (!error.empty()) record["error"] = error;
    if (const std::string cause = writeJsonFile(reel.recordPath(), record); !cause.empty()) {
      result.outcome = ReelOutcome::Failed;
      result.error = "cannot write " + reel.recordPath() + ": " + cause;
    }
    return result;
  };

  if (!reel.error.empty()) return finish(ReelOutcome::Failed, reel.error);

  if (!force && whyNotDone(reel.recordPath(), reel.settingsLine, kinds).empty()) {
    const nlohmann::ordered_json before = readRecord(reel.recordPath());
    result.outcome = ReelOutcome::Skipped;
    result.frames = before.value("frames", 0);
    for (const auto& w : before.value("warnings", nlohmann::ordered_json::array()))
      if (w.is_string()) result.warnings.push_back(w);
    return result;
  }

  const InputSelection input = selectInput(reel.directory);
  if (!input.error.empty()) return finish(ReelOutcome::Failed, input.error);
  const int start = reel.start.value_or(1);
  const int stopFrame = reel.stop.value_or(std::max(input.scans, start));
  if (const std::string e = frameRangeProblem(input.scans, start, stopFrame); !e.empty())
    return finish(ReelOutcome::Failed, e);
  result.frames = stopFrame - start + 1;

  FilmSettings film = reel.film;
  if (reel.filmFromFirstScan) {
    std::string chosen;
    if (const std::string why = filmFromFirstScan(input.inputPath, start, film, chosen);
        !why.empty())
      return finish(ReelOutcome::Failed, why);
    result.warnings.push_back(chosen);
  }

  // Each job writes into a hidden file beside its output; they go into place together.
  std::deque<StagedFile> staged;
  for (const ReelOutput* o : outputs) {
    const std::string path = (reel.*o->path)();
    const StagedFile& file = staged.emplace_back(path, extensionOfPath(path));
    if (!file.ok())
      return finish(ReelOutcome::Failed, "cannot write " + file.path() + ": " + file.error());
  }

  BatchControls controls(framesDone, onWarning);
  std::atomic<bool> stopRequested{false};
  const StopSwitch::Registration registered(stop, stopRequested);
  JobRequest request;
  request.controls = &controls;
  request.inputPath = input.inputPath;
  request.startFrame = start;
  request.stopFrame = stopFrame;
  request.stopRequested = &stopRequested;
  request.bridgeUnreadable = reel.bridgeUnreadable;
  for (size_t k = 0; k < outputs.size(); ++k) {
    const ReelOutput& o = *outputs[k];
    const JobRun run = o.run(reel, request, film, staged[k]);
    for (const BridgedScan& b : run.bridged) result.warnings.push_back(bridgedWarning(b, o.filler));
    // The sound and the movie of a reel measure the same first scan: each warning once.
    for (const std::string& w : run.warnings)
      if (std::find(result.warnings.begin(), result.warnings.end(), w) == result.warnings.end())
        result.warnings.push_back(w);
    nlohmann::ordered_json entry;
    entry["file"] = std::filesystem::path(staged[k].path()).filename().string();
    entry.update(run.measurements);
    entry["bridged"] = bridgedScans(run.bridged);
    record[o.kind] = std::move(entry);
    if (run.outcome == JobOutcome::Stopped) return finish(ReelOutcome::Stopped, "stopped");
    if (run.outcome != JobOutcome::Finished) return finish(ReelOutcome::Failed, run.failure);
  }

  // Every output is complete: they go into place, and their fingerprints into the record.
  for (size_t k = 0; k < outputs.size(); ++k) {
    if (!staged[k].commit())
      return finish(ReelOutcome::Failed,
                    "cannot write " + staged[k].path() + ": " + staged[k].error());
    const Fingerprint f = fingerprintOf(staged[k].path());
    auto& entry = record[outputs[k]->kind];
    entry["bytes"] = f.bytes;
    entry["fnv1a64"] = f.hash;
  }
  return finish(ReelOutcome::Done, "");
}

}  // namespace kelvora
