#include "jobs/frame_loop.h"

#include <utility>

#include "jobs/first_scan.h"
#include "jobs/frame_listing.h"
#include "jobs/notifications.h"
#include "jobs/scan_reader.h"
#include "jobs/status_log.h"
#include "scans/scan_loader.h"

namespace kelvora {

namespace {

// The status lines, texts and notifications of each kind of job.
struct KindOfJob {
  const char* frameLine;
  const char* finished;
  const char* cannotWrite;   // before the first frame
  const char* cannotFinish;  // after the last
  int (*start)(Controls&, int, int);
  int (*unreadable)(Controls&);
  int (*stopped)(Controls&);
  int (*ended)(Controls&);
};

constexpr KindOfJob kSoundJob{"Translating frame number : %d...",
                              "Pictures were tranlated succesfully!",
                              "Cannot write the sound file!",
                              "Cannot write the sound file!",
                              initThreadSound,
                              errorReadPic,
                              killThreadPic,
                              ThreadEndPic};
constexpr KindOfJob kMovieJob{"Cutting frame number : %d...",
                              "Film was made succesfully!!!\r\n",
                              "Cannot create the movie file!",
                              "Cannot create the movie file!\r\n",
                              initThreadImage,
                              errorReadIm,
                              killThreadIm,
                              ThreadEndIm};

// The scan as each need has it; its images are handed on (shared, or with `handOver`
// given away).
std::vector<ScanInput> inputsOf(LoadedScans& scans, int frame, const std::string& name,
                                bool handOver) {
  std::vector<ScanInput> inputs;
  for (cv::Mat& image : scans.images)
    inputs.push_back(ScanInput{frame, name, handOver ? std::move(image) : image, scans.scanSize});
  return inputs;
}

std::string fileName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

FrameLoop::FrameLoop(JobKind kind, const JobRequest& request, const FilmSettings& film,
                     JobReport& report)
    : kind_(kind), request_(request), film_(film), report_(report) {}

void FrameLoop::warn(const std::string& text) {
  if (holding_) {
    held_.push_back(text);
    return;
  }
  report_.warnings.push_back(text);
  request_.controls->showWarning(text);
}

JobOutcome FrameLoop::run(FrameConsumer& consumer) {
  const KindOfJob& kind = kind_ == JobKind::Sound ? kSoundJob : kMovieJob;
  Controls& controls = *request_.controls;
  StatusLog statusLog(controls);
  const int start = request_.startFrame;
  const int stop = request_.stopFrame;
  kind.start(controls, start, stop);

  // An output that cannot be written is found out before any frame is read.
  if (const std::string problem = consumer.ready(); !problem.empty()) {
    report_.failure = problem;
    statusLog.replace(kind.cannotWrite);
    kind.ended(controls);
    return JobOutcome::WriteFailed;
  }

  const auto stopRequested = [this] {
    return request_.stopRequested != nullptr && request_.stopRequested->load();
  };
  const auto stopped = [&] {
    consumer.stopped();
    statusLog.replace("Operation stopped !!!!");
    kind.stopped(controls);
    return JobOutcome::Stopped;
  };
  const auto unreadable = [&](int frame, const std::string& path, const std::string& cause) {
    consumer.unreadable();
    report_.failedFrame = frame;
    report_.failedPath = path;
    report_.failure = cause;
    kind.unreadable(controls);
    return JobOutcome::Unreadable;
  };

  const FrameListing listing = FrameListing::open(
      JobDirectory(request_.inputPath, static_cast<int>(request_.inputPath.size())));
  ScanReader reader(listing, start, stop, consumer.needs());
  bool measured = false;
  cv::Size firstSize;  // of the first scan read, as the file holds it
  for (int n = start; n <= stop; ++n) {
    controls.show(Control::Progress, true);
    controls.stepProgress();
    statusLog.addLine(statusLine(kind.frameLine, n));

    LoadedScans scan = reader.load(n);
    if (scan.ok())
      scan.error =
          measured ? notOfTheReel(scan.scanSize, firstSize) : tooSmallForAFrame(scan.scanSize);
    if (!scan.ok() && request_.bridgeUnreadable) {
      report_.bridged.push_back(BridgedScan{n, scan.path, scan.error});
      consumer.gap(n);
      if (stopRequested()) return stopped();
      continue;
    }
    if (!scan.ok()) return unreadable(n, scan.path, scan.error);

    const std::string name = fileName(scan.path);
    if (!measured) {
      measured = true;
      FirstScanCheck check = checkFirstScan(scan.path, film_);
      if (!check.error.empty()) return unreadable(n, scan.path, check.error);
      report_.firstScan = check.header;
      holding_ = true;
      for (const std::string& w : check.warnings) warn(w);
      const Resolution res = consumer.first(inputsOf(scan, n, name, false), check.scan);
      holding_ = false;
      report_.resolution = res;
      firstSize = scan.scanSize;
      // A typed resolution is the user's word; a measured one on a snippet is not.
      if (!film_.manualResolution)
        if (std::string e = tooShortForAFrame(firstSize, film_.track, res); !e.empty())
          return unreadable(n, scan.path, e);
      for (const std::string& w : std::exchange(held_, {})) warn(w);
      statusLog.addLine(statusLine("Picture resolution (dpi) x=%d,y=%d", res.x, res.y));
    }

    if (stopRequested()) return stopped();

    const ReaderFailure failure = consumer.next(inputsOf(scan, n, name, true));
    if (failure.failed())
      return unreadable(failure.frame, listing.path(failure.frame).value_or(""), failure.cause);
  }

  if (!measured) {
    // Not one scan of the range could be read.
    const BridgedScan& last = report_.bridged.back();
    return unreadable(last.frame, last.path, last.cause);
  }

  const Finish finish = consumer.finish();
  if (finish.outcome == JobOutcome::Unreadable) {
    const int frame = finish.unreadable.frame;
    return unreadable(frame, listing.path(frame).value_or(""), finish.unreadable.cause);
  }
  const bool written = finish.outcome == JobOutcome::Finished;
  report_.failure = finish.writeError;
  controls.setProgressPosition(0);
  statusLog.finish(written ? kind.finished : kind.cannotFinish);
  kind.ended(controls);
  return written ? JobOutcome::Finished : JobOutcome::WriteFailed;
}

}  // namespace kelvora
