#include "cli/reel_job.h"

#include <algorithm>

#include <chrono>
#include <deque>

#include "cli/job_reports.h"
#include "cli/reel_record.h"
#include "jobs/job_records.h"
#include "jobs/staged_file.h"

namespace kelvora {

namespace {

// A job's window in a batch: no window at all. Each frame's step counts on the
// batch's frame counter; the status text is kept for nobody to read.
class BatchControls : public Controls {
 public:
  explicit BatchControls(std::atomic<long>& framesDone) : framesDone_(framesDone) {}
  void enable(Control, bool) override {}
  void show(Control, bool) override {}
  void setText(Control c, const std::string& text) override {
    if (c == Control::Status) status_ = text;
  }
  std::string text(Control c) override { return c == Control::Status ? status_ : ""; }
  void redraw(Control) override {}
  bool isChecked(Control) override { return false; }
  void setProgressRange(int, int) override {}
  void setProgressStep(int) override {}
  void stepProgress() override { ++framesDone_; }
  void setProgressPosition(int) override {}

 private:
  std::atomic<long>& framesDone_;
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

// A reel whose film could not be told with --film auto fails before its job.
JobRun cannotTell(const std::string& why) {
  JobRun run;
  run.outcome = JobOutcome::Unreadable;
  run.failure = why;
  return run;
}

std::string failureOf(JobOutcome outcome, int failedFrame, const std::string& failedPath,
                      const std::string& readCause, const std::string& output,
                      const std::string& writeCause) {
  if (outcome == JobOutcome::Unreadable)
    return "cannot read frame " + std::to_string(failedFrame) + " (" + failedPath +
           "): " + readCause;
  if (outcome == JobOutcome::WriteFailed) return "cannot write " + output + ": " + writeCause;
  return "";
}

// Runs one job of a reel on its filled record: the reel's stop switch reaches it, and
// its report gives the run's measurements, bridged scans and warnings.
template <typename Record, typename Report>
JobRun runFilled(Record& job, StopSwitch& stop, JobOutcome (*thread)(Record&, Report*),
                 nlohmann::ordered_json (*measure)(const Report&), const std::string& chosen,
                 Report& report) {
  JobRun run;
  {
    const StopSwitch::Registration registered(stop, job.stopRequested);
    run.outcome = thread(job, &report);
  }
  run.measurements = measure(report);
  run.bridged = report.bridged;
  if (!chosen.empty()) run.warnings.push_back(chosen);
  run.warnings.insert(run.warnings.end(), report.warnings.begin(), report.warnings.end());
  return run;
}

// The reel's film settings, with `--film auto` measured on its first scan; `chosen`
// says what was taken. Returns "" or why the film could not be told.
std::string reelFilm(const ReelPlan& plan, FilmOptions& film, std::string& chosen) {
  film = plan.settings.film;
  film.input = plan.directory;
  return resolveAutoFilm(film, chosen);
}

// The settings were checked when the batch was planned.
JobRun runSoundJob(const ReelPlan& plan, const JobRequest& request, StopSwitch& stop) {
  SoundOptions options = plan.settings.sound;
  std::string chosen;
  if (const std::string why = reelFilm(plan, options.film, chosen); !why.empty())
    return cannotTell(why);
  JobSettings settings;
  soundJobSettings(options, settings);
  Picture_Parameters job;
  fillPictureParameters(job, settings, request);
  job.bridgeUnreadable = plan.bridgeUnreadable;
  SoundJobReport report;
  JobRun run = runFilled(job, stop, &ThreadPicture, &soundMeasurements, chosen, report);
  run.failure = failureOf(run.outcome, report.failedFrame, report.failedPath, report.failure,
                          plan.soundPath(), report.failure);
  return run;
}

JobRun runMovieJob(const ReelPlan& plan, const JobRequest& request, StopSwitch& stop) {
  MovieOptions options = plan.settings.movie;
  std::string chosen;
  if (const std::string why = reelFilm(plan, options.film, chosen); !why.empty())
    return cannotTell(why);
  JobSettings settings;
  movieJobSettings(options, settings);
  Image_Parameters job;
  fillImageParameters(job, settings, request);
  job.bridgeUnreadable = plan.bridgeUnreadable;
  MovieJobReport report;
  JobRun run = runFilled(job, stop, &ThreadMovie, &movieMeasurements, chosen, report);
  run.failure = failureOf(run.outcome, report.failedFrame, report.failedPath, report.failure,
                          plan.moviePath(), report.outputError);
  return run;
}

// An output a reel may ask for.
struct ReelOutput {
  const char* kind;       // its entry in the record
  const char* extension;  // also the end of its hidden file's name
  const char* filler;     // what stands in for a bridged scan
  std::string (ReelPlan::*path)() const;
  JobRun (*run)(const ReelPlan&, const JobRequest&, StopSwitch&);
};

constexpr ReelOutput kSound{"sound", ".wav", "silence", &ReelPlan::soundPath, runSoundJob};
constexpr ReelOutput kMovie{"movie", ".avi", "black pictures", &ReelPlan::moviePath, runMovieJob};

}  // namespace

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

ReelResult runReel(const ReelPlan& plan, bool force, StopSwitch& stop,
                   std::atomic<long>& framesDone) {
  const auto started = std::chrono::steady_clock::now();
  ReelResult result;
  nlohmann::ordered_json record;
  record["reel"] = plan.name;
  record["input"] = plan.directory;
  record["settings"] = describeSettings(plan);
  record["complete"] = false;

  std::vector<const ReelOutput*> outputs;
  if (plan.sound) outputs.push_back(&kSound);
  if (plan.movie) outputs.push_back(&kMovie);
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
    if (const std::string cause = writeJsonFile(plan.recordPath(), record); !cause.empty()) {
      result.outcome = ReelOutcome::Failed;
      result.error = "cannot write " + plan.recordPath() + ": " + cause;
    }
    return result;
  };

  if (!plan.error.empty()) return finish(ReelOutcome::Failed, plan.error);

  if (!force && whyNotDone(plan.recordPath(), record["settings"], kinds).empty()) {
    const nlohmann::ordered_json before = readRecord(plan.recordPath());
    result.outcome = ReelOutcome::Skipped;
    result.frames = before.value("frames", 0);
    for (const auto& w : before.value("warnings", nlohmann::ordered_json::array()))
      if (w.is_string()) result.warnings.push_back(w);
    return result;
  }

  const InputSelection input = selectInput(plan.directory);
  if (!input.error.empty()) return finish(ReelOutcome::Failed, input.error);
  int start = 0;
  int stopFrame = 0;
  if (const std::string e = selectRange(plan.settings.film, input.scans, start, stopFrame);
      !e.empty())
    return finish(ReelOutcome::Failed, e);
  result.frames = stopFrame - start + 1;

  // Each job writes into a hidden file beside its output.
  std::deque<StagedFile> staged;
  for (const ReelOutput* o : outputs) {
    const StagedFile& file = staged.emplace_back((plan.*o->path)(), o->extension);
    if (!file.ok())
      return finish(ReelOutcome::Failed, "cannot write " + file.path() + ": " + file.error());
  }

  BatchControls controls(framesDone);
  for (size_t k = 0; k < outputs.size(); ++k) {
    const ReelOutput& o = *outputs[k];
    const JobRun run = o.run(
        plan, JobRequest{&controls, input.inputPath, staged[k].tempPath(), start, stopFrame}, stop);
    for (const BridgedScan& b : run.bridged) result.warnings.push_back(bridgedWarning(b, o.filler));
    // The sound and the movie of a reel measure the same first scan: each warning once.
    for (const std::string& w : run.warnings)
      if (std::find(result.warnings.begin(), result.warnings.end(), w) == result.warnings.end())
        result.warnings.push_back(w);
    nlohmann::ordered_json entry;
    entry["file"] = plan.name + o.extension;
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
