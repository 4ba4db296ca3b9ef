#include "cli/reel_job.h"

#include <chrono>
#include <optional>

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

// An output of the reel, written by its job into a hidden file beside it.
struct StagedOutput {
  StagedOutput(const std::string& path, const std::string& suffix, std::string file)
      : staged(path, suffix), file(std::move(file)) {}
  StagedFile staged;
  std::string file;  // its name in the output directory
};

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

  std::vector<std::string> kinds;
  if (plan.sound) kinds.push_back("sound");
  if (plan.movie) kinds.push_back("movie");

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

  std::optional<StagedOutput> sound;
  std::optional<StagedOutput> movie;
  if (plan.sound) sound.emplace(plan.soundPath(), ".wav", plan.name + ".wav");
  if (plan.movie) movie.emplace(plan.moviePath(), ".avi", plan.name + ".avi");
  for (const auto* output : {&sound, &movie}) {
    if (*output && !(*output)->staged.ok())
      return finish(ReelOutcome::Failed,
                    "cannot write " + (*output)->staged.path() + ": " + (*output)->staged.error());
  }

  BatchControls controls(framesDone);
  if (sound) {
    SoundOptions options = plan.settings.sound;
    options.film = plan.settings.film;
    JobSettings settings;
    if (const std::string e = soundJobSettings(options, settings); !e.empty())
      return finish(ReelOutcome::Failed, e);
    Picture_Parameters job;
    fillPictureParameters(
        job, settings,
        JobRequest{&controls, input.inputPath, sound->staged.tempPath(), start, stopFrame});
    job.bridgeUnreadable = plan.bridgeUnreadable;
    SoundJobReport report;
    JobOutcome outcome;
    {
      const StopSwitch::Registration registered(stop, job.stopRequested);
      outcome = ThreadPicture(job, &report);
    }
    for (const BridgedScan& b : report.bridged)
      result.warnings.push_back(bridgedWarning(b, "silence"));
    nlohmann::ordered_json entry;
    entry["file"] = sound->file;
    entry.update(soundMeasurements(report));
    entry["bridged"] = bridgedScans(report.bridged);
    record["sound"] = std::move(entry);
    if (outcome == JobOutcome::Stopped) return finish(ReelOutcome::Stopped, "stopped");
    if (outcome == JobOutcome::Unreadable)
      return finish(ReelOutcome::Failed, "cannot read frame " + std::to_string(report.failedFrame) +
                                             " (" + report.failedPath + "): " + report.failure);
    if (outcome == JobOutcome::WriteFailed)
      return finish(ReelOutcome::Failed,
                    "cannot write " + plan.soundPath() + ": " + report.failure);
  }
  if (movie) {
    MovieOptions options = plan.settings.movie;
    options.film = plan.settings.film;
    JobSettings settings;
    if (const std::string e = movieJobSettings(options, settings); !e.empty())
      return finish(ReelOutcome::Failed, e);
    Image_Parameters job;
    fillImageParameters(
        job, settings,
        JobRequest{&controls, input.inputPath, movie->staged.tempPath(), start, stopFrame});
    job.bridgeUnreadable = plan.bridgeUnreadable;
    MovieJobReport report;
    JobOutcome outcome;
    {
      const StopSwitch::Registration registered(stop, job.stopRequested);
      outcome = ThreadMovie(job, &report);
    }
    for (const BridgedScan& b : report.bridged)
      result.warnings.push_back(bridgedWarning(b, "black pictures"));
    nlohmann::ordered_json entry;
    entry["file"] = movie->file;
    entry.update(movieMeasurements(report));
    entry["bridged"] = bridgedScans(report.bridged);
    record["movie"] = std::move(entry);
    if (outcome == JobOutcome::Stopped) return finish(ReelOutcome::Stopped, "stopped");
    if (outcome == JobOutcome::Unreadable)
      return finish(ReelOutcome::Failed, "cannot read frame " + std::to_string(report.failedFrame) +
                                             " (" + report.failedPath + "): " + report.failure);
    if (outcome == JobOutcome::WriteFailed)
      return finish(ReelOutcome::Failed,
                    "cannot write " + plan.moviePath() + ": " + report.outputError);
  }

  // Every output is complete: they go into place, and their fingerprints into the record.
  for (auto* output : {&sound, &movie}) {
    if (!*output) continue;
    StagedOutput& o = **output;
    if (!o.staged.commit())
      return finish(ReelOutcome::Failed,
                    "cannot write " + o.staged.path() + ": " + o.staged.error());
    const Fingerprint f = fingerprintOf(o.staged.path());
    auto& entry = record[output == &sound ? "sound" : "movie"];
    entry["bytes"] = f.bytes;
    entry["fnv1a64"] = f.hash;
  }
  return finish(ReelOutcome::Done, "");
}

}  // namespace kelvora
