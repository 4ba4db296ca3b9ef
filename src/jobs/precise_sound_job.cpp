#include "jobs/precise_sound_job.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "audio/filter.h"
#include "film/orientation.h"
#include "film/soundtrack_area.h"
#include "jobs/first_scan.h"
#include "jobs/notifications.h"
#include "jobs/scan_reader.h"
#include "jobs/sound_output.h"
#include "precise/reel_level.h"
#include "precise/reel_track.h"
#include "precise/scan_sound.h"
#include "precise/track_strip.h"
#include "signal/rounding.h"

namespace kelvora {

namespace {

// The track is located over this many scans, or fewer that hold as many frames.
constexpr int kLocatingScans = 4;
// Scans waiting for the track to be found take no more memory than this.
constexpr size_t kMostWaitingBytes = size_t{1} << 30;
// Rows (of every fourth read) whose sound reaching past the track widens it: more than
// a speck of dust would give.
constexpr int kRowsPastTrack = 3;
constexpr double kDegreesPerRadian = 57.29577951308232;

// The share of a scan, across the film, that holds the track, the film beside it and
// the picture's edge: a fixed share of the film's width for each gauge.
double stripShare(int filmType) { return isThirtyFiveMm(filmType) ? 0.25 : 0.5; }

std::string joinWarning(const ScanJoin& join, int frame) {
  char text[160];
  if (join.kind == JoinKind::Missing) {
    std::snprintf(text, sizeof text, "%d scan%s missing before frame %d: silence stands in for %s",
                  join.missing, join.missing == 1 ? "" : "s", frame,
                  join.missing == 1 ? "it" : "them");
    return text;
  }
  return "the sound does not continue where frame " + std::to_string(frame) +
         " takes over: a scan missing before it, or a splice?";
}

// Where the splices the scans show lie in the finished sound, in seconds: each
// scan's rows placed at its start, one splice seen by two overlapping scans counted
// once. `frames` are the scans' frame numbers, for the warnings.
void reportSplices(const std::vector<ScanSound>& scans, const JoinPlan& plan,
                   const std::vector<int>& frames, size_t total, int rate, bool inverse,
                   SoundJobReport& out) {
  std::vector<long> seen;
  long start = 0;
  for (size_t k = 0; k < scans.size(); ++k) {
    if (k > 0) start += plan.joins[k].advance;
    for (const int row : scans[k].spliceRows) {
      const long at = start + row;
      if (std::any_of(seen.begin(), seen.end(), [at](long s) { return std::abs(s - at) < 32; }))
        continue;
      seen.push_back(at);
      const long played = inverse ? static_cast<long>(total) - 1 - at : at;
      const double seconds = rate > 0 ? static_cast<double>(played) / rate : 0.0;
      out.reading.spliceSeconds.push_back(seconds);
      char text[120];
      std::snprintf(text, sizeof text, "a film splice crosses the track in frame %d, at %.3f s",
                    frames[k], seconds);
      out.warnings.push_back(text);
    }
  }
}

}  // namespace

JobOutcome preciseSoundJob(Picture_Parameters& record, SoundJobReport& out) {
  Controls& controls = *record.controls;
  StatusLog statusLog(controls);
  out.reader = Reader::Precise;
  initThreadSound(record);

  StagedFile staged(record.outputPath, extensionOf(record.output.format));
  if (!staged.ok()) return soundCannotBeWritten(staged, record, statusLog, out);

  const FrameListing listing =
      FrameListing::open(JobDirectory(record.inputPath, record.inputPathLength));
  // The reader's thread loads the track side of each scan at its own depth, and turns it.
  const int colorElement = record.colorElement;
  const bool direction = record.direction;
  const RowBand trackSide{stripShare(record.filmType), direction};
  ScanReader reader(
      listing, record.startFrame, record.stopFrame,
      [colorElement, direction](const cv::Mat& side) {
        return trackStrip(side, colorElement, direction, side.rows);
      },
      [trackSide](const std::string& path) { return loadFullDepth(path, trackSide); });

  Parameters filPar;
  bool measured = false;
  ReelTrack track;
  std::vector<cv::Mat> waiting;  // strips read before the track is located
  int waitingRows = 0;
  std::vector<ScanSound> scans;
  std::vector<int> frames;         // frame number of each scan read
  std::vector<int> missingBefore;  // scans known missing before each one
  int missing = 0;
  std::string previousName;

  const auto stopped = [&] {
    statusLog.replace("Operation stopped !!!!");
    killThreadPic(record);
    return JobOutcome::Stopped;
  };
  // The track is looked for on the latest scans waiting, again each time as many more
  // have come, until it is found: a reel may open on a long silent leader.
  int triedScans = 0, triedRows = 0;
  size_t waitingBytes = 0;
  const auto locateOnLatest = [&] {
    std::vector<cv::Mat> latest;
    int rows = 0;
    for (auto s = waiting.rbegin(); s != waiting.rend(); ++s) {
      latest.insert(latest.begin(), *s);
      rows += s->rows;
      if (static_cast<int>(latest.size()) >= kLocatingScans ||
          rows >= kLocatingScans * filPar.framePitch)
        break;
    }
    track = locateReelTrack(latest, record.filmType == kVariableDensity35, filPar.trackWidth);
    triedScans = static_cast<int>(waiting.size());
    triedRows = waitingRows;
  };
  const auto readWaiting = [&] {
    if (waiting.empty()) return;
    if (!track.found) locateOnLatest();
    if (!track.found) return;
    for (const cv::Mat& strip : waiting) {
      ScanSound sound = readScanSound(strip, track, filPar.trackWidth);
      // Sound louder than the first scans held reaches past the track found on them.
      if (sound.rowsPastTrack >= kRowsPastTrack &&
          growTrack(track, strip, sound.offset, filPar.trackWidth))
        sound = readScanSound(strip, track, filPar.trackWidth);
      scans.push_back(std::move(sound));
    }
    waiting.clear();
    waitingRows = 0;
    waitingBytes = 0;
  };
  const auto noTrack = [&] {
    return soundScanUnreadable(
        record, out, frames.front(), listing.path(frames.front()).value_or(""),
        "no soundtrack found on the first scans: the film settings may be wrong");
  };

  for (int n = record.startFrame; n <= record.stopFrame; ++n) {
    controls.show(Control::Progress, true);
    controls.stepProgress();
    statusLog.addLine(statusLine("Translating frame number : %d...", n));

    LoadedScan scan = reader.load(n);
    if (!measured) requireAFrame(scan);
    if (!scan.ok() && record.bridgeUnreadable) {
      out.bridged.push_back(BridgedScan{n, scan.path, scan.error});
      ++missing;
      if (record.stopRequested) return stopped();
      continue;
    }
    if (!scan.ok()) {
      return soundScanUnreadable(record, out, n, scan.path, scan.error);
    }

    if (!measured) {
      // The settings and the resolution are measured on the first scan as the classic
      // reader sees it.
      LoadedScan first = loadScan(scan.path);
      if (!first.ok()) {
        return soundScanUnreadable(record, out, n, scan.path, first.error);
      }
      const cv::Mat frame = record.frameCorrection
                                ? frameCorrection(first.image, record.filmType, record.longstrip)
                                : first.image;
      measured = true;
      filPar = measureFirstScan(frame, scan.path, record, statusLog, out).parameters;
    }
    if (record.stopRequested) return stopped();

    const std::string name = listing.names()[static_cast<size_t>(n - 1)];
    missingBefore.push_back(missing +
                            (previousName.empty() ? 0 : numbersSkipped(previousName, name)));
    missing = 0;
    previousName = name;
    frames.push_back(n);
    waitingRows += scan.image.rows;
    waitingBytes += scan.image.total() * scan.image.elemSize();
    waiting.push_back(std::move(scan.image));
    if (track.found || static_cast<int>(waiting.size()) - triedScans >= kLocatingScans ||
        waitingRows - triedRows >= kLocatingScans * filPar.framePitch)
      readWaiting();
    if (!track.found && waitingBytes > kMostWaitingBytes) return noTrack();
  }

  if (!measured) {
    const BridgedScan& last = out.bridged.back();
    return soundScanUnreadable(record, out, last.frame, last.path, last.cause);
  }
  if (static_cast<int>(waiting.size()) > triedScans) readWaiting();
  if (!track.found) return noTrack();

  const JoinPlan plan = planJoins(scans, filPar.framePitch, missingBefore);
  std::vector<float> samples = assembleScans(scans, plan, record.crossfade);

  // The rate the film's rows play at: frames per second times the frame pitch the
  // scans' advance measures, not the pitch the resolution gives.
  const int framesPerScan = record.longstrip
                                ? std::max(1, roundToInt(static_cast<double>(plan.typicalAdvance) /
                                                         std::max(filPar.framePitch, 1)))
                                : 1;
  const double pitch = plan.meanAdvance / framesPerScan;
  const int filmRate = std::max(1, roundToInt(record.fps * pitch));
  removeReelLevel(samples, filmRate);
  const float silence = record.removeDC ? -128.0f : 128.0f;
  for (float& s : samples)
    s = silence + 256.0f * s;  // the clear share: half the track is full scale
  if (record.inverse) std::reverse(samples.begin(), samples.end());
  if (record.aChain) filter(samples);

  auto& r = out.reading;
  r.framePitch = pitch;
  Parameters nominal = filPar;
  if (out.firstScan.dpiY > 0)
    filParametersT(record.filmType,
                   Resolution{roundToInt(out.firstScan.dpiX), roundToInt(out.firstScan.dpiY)},
                   nominal);
  r.shrinkage = nominal.framePitch > 0 ? 1.0 - pitch / nominal.framePitch : 0.0;
  r.typicalAdvance = plan.typicalAdvance;
  r.negative = track.negative;
  for (size_t k = 0; k < scans.size(); ++k) {
    const ScanSound& s = scans[k];
    r.largestWeave = std::max(r.largestWeave, std::abs(s.offset));
    const double degrees = std::atan(s.skew) * kDegreesPerRadian;
    if (std::abs(degrees) > std::abs(r.skewDegrees)) r.skewDegrees = degrees;
    r.scratchColumns = std::max(r.scratchColumns, s.scratchColumns);
    SoundJobReport::Frame f{frames[k], static_cast<int>(s.samples.size()), -1};
    if (k > 0) {
      const ScanJoin& join = plan.joins[k];
      f.cutPoint = join.advance;
      f.overlapMatch = join.confidence;
      f.join = join.kind;
      if (join.kind == JoinKind::Missing || join.kind == JoinKind::Unmatched) {
        ++r.flaggedJoins;
        out.warnings.push_back(joinWarning(join, frames[k]));
      }
      if (join.kind != JoinKind::Missing && !std::isnan(join.confidence) &&
          join.confidence < out.leastAlikeJoin.match) {
        const auto& previous = scans[k - 1].samples;
        const size_t from = std::min<size_t>(join.advance, previous.size());
        const size_t shared = std::min(previous.size() - from, s.samples.size());
        auto& worst = out.leastAlikeJoin;
        worst.frame = frames[k];
        worst.match = join.confidence;
        worst.previous.assign(previous.begin() + from, previous.begin() + from + shared);
        worst.present.assign(s.samples.begin(), s.samples.begin() + shared);
      }
    }
    out.frames.push_back(f);
  }
  reportSplices(scans, plan, frames, samples.size(), filmRate, record.inverse, out);
  scans.clear();

  return finishSoundJob(samples, record, filmRate, staged, statusLog, out);
}

}  // namespace kelvora
