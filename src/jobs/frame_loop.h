#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "film/film_settings.h"
#include "jobs/bridged_scan.h"
#include "jobs/controls.h"
#include "jobs/job_outcome.h"
#include "readers/sound_reader.h"
#include "scans/scan_header.h"

namespace kelvora {

// What a job is asked to do besides its settings.
struct JobRequest {
  Controls* controls = nullptr;  // the window's controls (or a terminal's), not owned
  std::string inputPath;         // a scan of the input directory, or the directory ending in '/'
  int startFrame = 1;
  int stopFrame = 1;
  const std::atomic<bool>* stopRequested = nullptr;  // Stop, read once a frame; none: never
  bool bridgeUnreadable = false;  // batch work: a scan that cannot be read is bridged (see
                                  // BridgedScan) instead of ending the job
};

// What every job reports of its run.
struct JobReport {
  Resolution resolution;              // taken on the first scan
  ScanHeader firstScan;               // what the first readable scan says of itself
  std::vector<std::string> warnings;  // in the order they were found
  std::vector<BridgedScan> bridged;
  int failedFrame = 0;  // the frame that could not be read, if any
  std::string failedPath;
  std::string failure;  // why the job did not finish: a scan, or the output
};

// The two kinds of job, each with its own status lines and notifications.
enum class JobKind { Sound, Movie };

// How a job's outputs ended once every frame was fed.
struct Finish {
  JobOutcome outcome = JobOutcome::Finished;  // Finished, Unreadable or WriteFailed
  ReaderFailure unreadable;                   // with Unreadable: the frame and the cause
  std::string writeError;                     // with WriteFailed: the cause
};

// What the frame loop feeds scan by scan: a sound reader with its sound output, the
// movie, or both at once.
class FrameConsumer {
 public:
  virtual ~FrameConsumer() = default;

  // What it reads of each scan; the loop loads one image a need.
  virtual std::vector<ScanNeeds> needs() const = 0;
  // Why its output cannot be written, found before any frame is read; "" when it can.
  virtual std::string ready() = 0;
  // Measures the first readable scan (`scans` one a need); returns the resolution its
  // status line shows.
  virtual Resolution first(const std::vector<ScanInput>& scans, const FirstScan& first) = 0;
  // Takes one scan, or says why the job cannot go on.
  virtual ReaderFailure next(std::vector<ScanInput> scans) = 0;
  // Frame `frame` could not be read and is bridged.
  virtual void gap(int frame) = 0;
  // Completes the outputs after the last frame.
  virtual Finish finish() = 0;
  // The job ends early: stopped, or at a scan it cannot read.
  virtual void stopped() = 0;
  virtual void unreadable() = 0;
};

// The one frame loop of every job: frames startFrame..stopFrame of the request's input
// directory, in order. It owns the progress bar, the status lines, the Stop check
// (once a frame, after the scan is loaded and, on the first, measured), scans that
// cannot be read (the job ends, or with bridgeUnreadable they are bridged), the
// first scan's measurements and settings check, and the three endings with their
// notifications; `consumer` owns what the frames become. Warnings go to the report
// and to the controls as they are found; `warn` is how a consumer adds its own.
class FrameLoop {
 public:
  FrameLoop(JobKind kind, const JobRequest& request, const FilmSettings& film, JobReport& report);

  // Adds a warning: kept in the report and shown at once (while the first scan is
  // measured, once it is found to hold a frame).
  void warn(const std::string& text);
  Warn warner() {
    return [this](const std::string& text) { warn(text); };
  }

  JobOutcome run(FrameConsumer& consumer);

 private:
  JobKind kind_;
  const JobRequest& request_;
  const FilmSettings& film_;
  JobReport& report_;
  // Warnings about the first scan wait until it is known to hold a frame: a scan
  // refused as a snippet is not also judged for its speed.
  bool holding_ = false;
  std::vector<std::string> held_;
};

}  // namespace kelvora
