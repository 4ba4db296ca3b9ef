#include "jobs/sound_job.h"

#include <algorithm>
#include <cstdio>

#include "audio/filter.h"
#include "audio/gap.h"
#include "audio/img2sou.h"
#include "audio/join.h"
#include "audio/signal_values.h"
#include "audio/splice.h"
#include "film/orientation.h"
#include "film/soundtrack_area.h"
#include "jobs/first_scan.h"
#include "jobs/notifications.h"
#include "jobs/precise_sound_job.h"
#include "jobs/scan_reader.h"
#include "jobs/sound_output.h"
#include "jobs/staged_file.h"
#include "jobs/status_log.h"
#include "signal/rounding.h"

namespace kelvora {

namespace {

// The mean of each row of the turned frame over its picture side, read from the scan
// as loaded. The margin left out on the soundtrack side is a tenth of the turned
// frame's rows (the scan's columns), not of its columns.
Profile pictureProfile(const cv::Mat& scan, bool direction) {
  const int turnedRows = scan.cols;
  const int turnedCols = scan.rows;
  const int m = roundToInt(turnedRows / 10.0);
  const int startW = direction ? m : 1;
  const int stopW = direction ? turnedCols : turnedCols - m;
  return turnedRowMeans(scan, startW, stopW, 3);
}

}  // namespace

JobOutcome ThreadPicture(Picture_Parameters& record, SoundJobReport* report) {
  SoundJobReport scratch;
  SoundJobReport& out = report != nullptr ? *report : scratch;
  out = SoundJobReport{};
  if (record.reader == Reader::Precise) return preciseSoundJob(record, out);

  Controls& controls = *record.controls;
  std::vector<float> sampleSequence;
  StatusLog statusLog(controls);

  initThreadSound(record);

  // The sound is written aside and put in place when complete; an output that
  // cannot be written is found out before any frame is decoded.
  StagedFile staged(record.outputPath, extensionOf(record.output.format));
  if (!staged.ok()) return soundCannotBeWritten(staged, record, statusLog, out);

  Signal_Values signal;
  signal.firstFrame = record.startFrame;
  signal.lastFrame = record.stopFrame;
  signal.crossfade = record.crossfade ? 1 : 0;

  const FrameListing listing =
      FrameListing::open(JobDirectory(record.inputPath, record.inputPathLength));
  // Each scan is trimmed with frame correction on the reader's thread while the one
  // before is analysed. The analysis reads a scan as it lies, film running side to
  // side: the rows of the turned frame (rows along the film) are the scan's columns.
  const int filmType = record.filmType;
  const bool longstrip = record.longstrip;
  ScanReader::Prepare trim;
  if (record.frameCorrection)
    trim = [filmType, longstrip](const cv::Mat& scan) {
      return frameCorrection(scan, filmType, longstrip);
    };
  ScanReader reader(listing, record.startFrame, record.stopFrame, trim);

  Resolution res;
  Parameters filPar;
  Profile present;
  Profile previous;
  Profile presentPicture;
  Profile previousPicture;

  // Frames are joined in runs of readable scans. A job ends at a scan it cannot read,
  // so its one run spans the whole range; a job that bridges such scans ends the run
  // there and stands silence in for each missing scan.
  int runStart = record.startFrame;
  bool measured = false;
  int missingScans = 0;
  float levelBeforeGap = 0.0f;
  bool soundBeforeGap = false;
  const auto advanceOfAScan = [&] {
    std::vector<int> cuts;
    for (const auto& f : out.frames)
      if (f.cutPoint >= 0) cuts.push_back(f.cutPoint);
    return typicalAdvance(cuts,
                          record.longstrip ? static_cast<int>(present.size()) : filPar.framePitch);
  };

  for (int n = record.startFrame; n <= record.stopFrame; ++n) {
    controls.show(Control::Progress, true);
    controls.stepProgress();
    statusLog.addLine(statusLine("Translating frame number : %d...", n));

    LoadedScan scan = reader.load(n);
    if (!measured) requireAFrame(scan);
    if (!scan.ok() && record.bridgeUnreadable) {
      if (n > runStart) {
        // The run before the gap ends where the missing scan would have taken over.
        appendLastFrame(present, signal, advanceOfAScan(), sampleSequence);
        levelBeforeGap = restingLevel(present);
        soundBeforeGap = true;
      }
      out.bridged.push_back(BridgedScan{n, scan.path, scan.error});
      ++missingScans;
      runStart = n + 1;
      if (record.stopRequested) {
        statusLog.replace("Operation stopped !!!!");
        killThreadPic(record);
        return JobOutcome::Stopped;
      }
      continue;
    }
    if (!scan.ok()) {
      return soundScanUnreadable(record, out, n, scan.path, scan.error);
    }

    cv::Mat frame = std::move(scan.image);  // as loaded (and trimmed), not turned

    const bool first = n == runStart;
    if (!measured) {
      measured = true;
      const FirstScan measures = measureFirstScan(frame, scan.path, record, statusLog, out);
      res = measures.resolution;
      filPar = measures.parameters;
    }

    if (record.stopRequested) {
      statusLog.replace("Operation stopped !!!!");
      killThreadPic(record);
      return JobOutcome::Stopped;
    }

    const cv::Mat soundImage = record.cutBySoundtrack
                                   ? preprocessingOfScan(frame, record.filmType, filPar,
                                                         record.colorElement, record.direction)
                                   : preprocessingBWOfScan(frame, record.filmType, filPar,
                                                           record.colorElement, record.direction);
    if (!first) {
      previous = std::move(present);
      signal.previousLength = signal.presentLength;
    }
    signal.presentLength = soundImage.rows;
    present = img2sou(soundImage, record.removeDC);
    if (first && missingScans > 0) {
      // A new run after a gap: the silence first, then the run's frames joined anew.
      appendSilence(missingScans, advanceOfAScan(),
                    soundBeforeGap ? levelBeforeGap : restingLevel(present), sampleSequence);
      missingScans = 0;
      const Signal_Values settings = signal;
      signal = Signal_Values{};
      signal.firstFrame = n;
      signal.lastFrame = settings.lastFrame;
      signal.crossfade = settings.crossfade;
      signal.presentLength = soundImage.rows;
    }
    if (first && n == record.stopFrame) {
      sampleSequence.insert(sampleSequence.end(), present.begin(), present.end());
    }

    if (!first) previousPicture = std::move(presentPicture);
    presentPicture = pictureProfile(frame, record.direction);
    frame.release();

    SoundJobReport::Frame frameReport{n, signal.presentLength, -1};
    if (!first) {
      const int cut =
          record.cutBySoundtrack
              ? cuttingPointSound(signal, present, previous, record.filmType, record.longstrip)
              : cuttingPoint(signal, present, previous, presentPicture, previousPicture,
                             record.filmType, record.longstrip);
      if (n == runStart + 1) signal.cutPoint = 0;
      signal.previousCutPoint = signal.cutPoint;
      signal.cutPoint = cut;
      signal.frameNumber = n;
      join(present, previous, signal, sampleSequence);
      frameReport.cutPoint = cut;
      frameReport.overlapMatch = overlapMatch(previous, present, cut);
      if (frameReport.overlapMatch < out.leastAlikeJoin.match) {
        auto& worst = out.leastAlikeJoin;
        const size_t shared =
            std::min(previous.size() - std::min<size_t>(cut, previous.size()), present.size());
        worst.frame = n;
        worst.match = frameReport.overlapMatch;
        worst.previous.assign(previous.begin() + cut, previous.begin() + cut + shared);
        worst.present.assign(present.begin(), present.begin() + shared);
      }
      if (frameReport.overlapMatch < 0.5)
        out.warnings.push_back("the sound does not continue where frame " + std::to_string(n) +
                               " takes over: a scan missing before it, or a splice?");
    }
    out.frames.push_back(frameReport);
  }

  if (!measured) {
    // Not one scan of the range could be read.
    const BridgedScan& last = out.bridged.back();
    return soundScanUnreadable(record, out, last.frame, last.path, last.cause);
  }
  if (missingScans > 0)
    appendSilence(missingScans, advanceOfAScan(), levelBeforeGap, sampleSequence);

  if (record.inverse) std::reverse(sampleSequence.begin(), sampleSequence.end());
  if (record.aChain) filter(sampleSequence);

  return finishSoundJob(sampleSequence, record, record.fps * filPar.framePitch, staged, statusLog,
                        out);
}

}  // namespace kelvora
