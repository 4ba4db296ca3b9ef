#include "readers/precise_reader.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "film/soundtrack_area.h"
#include "precise/film_splices.h"
#include "precise/gate_shadow.h"
#include "precise/overlap_light.h"
#include "precise/reel_level.h"
#include "precise/reel_track.h"
#include "precise/scan_joins.h"
#include "precise/scan_sound.h"
#include "precise/track_strip.h"
#include "readers/picture_parameters.h"
#include "readers/sound_geometry.h"
#include "scans/scan_names.h"
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
// Times a scan is read again with its track widened where its loudest rows ran into
// the window's end.
constexpr int kMostWidenings = 4;
constexpr double kDegreesPerRadian = 57.29577951308232;
// Rows beyond a splice's band (half of it either side of its middle) over which the
// places of its edges may err.
constexpr int kEdgeRowsAbout = 8;
// Film shrinks along its length by no more than this as it ages.
constexpr double kMostShrinkage = 0.05;

// The share of a scan, across the film, that holds the track, the film beside it and
// the picture's edge: a fixed share of the film's width for each gauge.
double stripShare(int filmType) { return isThirtyFiveMm(filmType) ? 0.25 : 0.5; }

// The scan's resolution along the film, in dpi: the file's tag where the frame lines or
// the classic reader's resolution (`classic`) bear it out, or where nothing else
// speaks; else the frame pitch the first scan's frame lines measure; else `classic`.
double filmDpi(const FirstScan& first, int filmType, int classic) {
  const FilmMeasurement& m = first.measured;
  const int gauge = isThirtyFiveMm(filmType) ? 35 : 16;
  const double measured = m.measured && m.sureOfGauge && m.gauge == gauge ? m.dpi : 0.0;
  const double tagged = first.tagged.y;
  const auto near = [](double a, double b) { return a > 0 && b > 0 && std::abs(a - b) < 0.1 * b; };
  if (tagged > 0 && (near(tagged, measured) || near(tagged, classic) || measured <= 0))
    return tagged;
  if (measured > 0) return measured;
  return classic;
}

// The scan's resolution across the film, in dpi, for one of `along` dpi along it: the
// file's tag where its resolution along the film is the one taken; else the classic
// reader's, in the proportion its two resolutions keep.
double acrossDpi(const Resolution& classic, const Resolution& tagged, double along) {
  if (tagged.x > 0 && std::abs(tagged.y - along) < 0.5) return tagged.x;
  return classic.x * along / std::max(classic.y, 1);
}

std::string joinWarning(const ScanJoin& join, int frame, const std::string& file) {
  if (join.kind == JoinKind::Missing) {
    const bool one = join.missing == 1;
    return std::to_string(join.missing) + (one ? " scan" : " scans") + " missing before " +
           frameAndFile(frame, file) + ": silence stands in for " + (one ? "it" : "them");
  }
  return "the sound does not continue where " + frameAndFile(frame, file) +
         " takes over: it is placed by the reel's usual advance; a scan missing before it?";
}

class PreciseReader : public SoundReader {
 public:
  PreciseReader(const Picture_Parameters& record, Warn warn)
      : record_(record), warn_(std::move(warn)) {}

  ScanNeeds needs() const override {
    // The loading thread reads the track side of each scan at its own depth, and turns it.
    ScanNeeds needs;
    needs.band = RowBand{stripShare(record_.filmType), record_.direction};
    needs.ownDepth = true;
    // Only the colour element the track is read in is unpacked; luma takes all three.
    if (record_.colorElement != kLuma) needs.element = std::clamp(record_.colorElement, 0, 2);
    needs.prepare = [colorElement = record_.colorElement,
                     direction = record_.direction](const cv::Mat& side) {
      return trackStrip(side, colorElement, direction, side.rows);
    };
    return needs;
  }

  // The settings and the resolution are measured on the first scan as the classic
  // reader sees it.
  SoundGeometry first(const ScanInput&, const FirstScan& first) override {
    const SoundGeometry g = soundGeometry(first.asLoaded, record_);
    filPar_ = g.parameters;
    tagged_ = first.tagged;
    // The reader's own sizes: the classic reader's resolution is one of six, and may be
    // half or twice the scan's; the file's tag and the frame lines say better.
    if (!record_.manualResolution) {
      const double dpi = filmDpi(first, record_.filmType, g.resolution.y);
      if (std::abs(dpi - g.resolution.y) > 0.03 * dpi) {
        const double across = acrossDpi(g.resolution, first.tagged, dpi);
        filParametersT(record_.filmType, Resolution{roundToInt(across), roundToInt(dpi)}, filPar_);
      }
    }
    return g;
  }

  bool measuresRate() const override { return true; }

  ReaderFailure next(ScanInput scan) override {
    missingBefore_.push_back(
        missing_ + (previousName_.empty() ? 0 : numbersSkipped(previousName_, scan.name)));
    missing_ = 0;
    previousName_ = scan.name;
    frames_.push_back(scan.frame);
    names_.push_back(scan.name);
    // Rows in the gate's shadow hold no sound. The gate shades every scan at both ends:
    // whether it does is judged on the first scans, so that loud sound darkening a
    // scan's end is never taken for it.
    const LitRows lit = litRows(scan.image);
    lits_.push_back(lit);
    if (judgedScans_ < kLocatingScans) {
      ++judgedScans_;
      judgedRows_.push_back(scan.image.rows);
      const bool head = lit.first > 0 || !lit.head.empty();
      const bool tail = lit.end < scan.image.rows || !lit.tail.empty();
      if (head && tail) ++shadedScans_;
    }
    waitingRows_ += scan.image.rows;
    waitingBytes_ += scan.image.total() * scan.image.elemSize();
    waiting_.push_back(std::move(scan.image));
    if (track_.found || static_cast<int>(waiting_.size()) - triedScans_ >= kLocatingScans ||
        waitingRows_ - triedRows_ >= kLocatingScans * filPar_.framePitch)
      readWaiting();
    if (!track_.found && waitingBytes_ > kMostWaitingBytes) return noTrack();
    return {};
  }

  void gap(int) override { ++missing_; }

  SoundReading finish() override {
    SoundReading reading;
    if (static_cast<int>(waiting_.size()) > triedScans_) readWaiting();
    if (!track_.found) {
      reading.failure = noTrack();
      return reading;
    }
    // A variable-density track's scans are lit along their length as the whole reel
    // shows the gate's light, now that all of it is read.
    if (track_.variableDensity) relightAlongScans(scans_, track_);
    // A turned scan's rows are read at one column of the gate; the film weaves about
    // its middle path through the gate, and every scan's rows are timed where the track
    // runs on that path, the mean of the scans' places.
    double middlePath = 0.0;
    for (const ScanSound& s : scans_) middlePath += s.offset / static_cast<double>(scans_.size());
    for (ScanSound& s : scans_) retimeScan(s, middlePath - s.timedShift);
    const JoinPlan plan = planJoins(scans_, filPar_.framePitch, missingBefore_, leads_);
    // The overlaps read the same film at both ends of the scans: they show how much
    // deeper the light falls along the track than beside it.
    if (track_.variableDensity) relightByOverlaps(scans_, plan);
    if (track_.variableDensity && track_.negative) {
      matchOverlapLevels(scans_, plan);
      relightPenumbra(scans_, plan, readLits_);
    }
    // A variable-density track's overlaps are read from both scans alike, each with its
    // own grain, a negative's brought to one level across them above; a negative's scans
    // find only the splice bands they hold whole. A reel read backwards plays from its
    // last scan: its rows are the sound's.
    const bool darkBeside = track_.variableDensity && track_.negative;
    const std::vector<float> assembled =
        assembleScans(scans_, plan, record_.crossfade, track_.variableDensity,
                      darkBeside ? spliceBandRows() + kEdgeRowsAbout : 0, record_.inverse,
                      track_.variableDensity);
    // The first scan's rows before its lit ones and the last's after them hold sound
    // too: kept at the resting level, the sound starts with the first row, in step
    // with the pictures.
    std::vector<float> samples =
        withShadowedEnds(assembled, leads_.empty() ? 0 : leads_.front(), lastTail_);

    // The rate the film's rows play at: frames per second times the frame pitch the
    // scans' advance measures, not the pitch the resolution gives.
    const int framesPerScan =
        record_.longstrip ? std::max(1, roundToInt(static_cast<double>(plan.typicalAdvance) /
                                                   std::max(filPar_.framePitch, 1)))
                          : 1;
    const double pitch = plan.meanAdvance / framesPerScan;
    const int filmRate = std::max(1, roundToInt(record_.fps * pitch));
    // Film shrinks by a per cent or two; a pitch further off the resolution's is a
    // measure that went wrong, or a resolution that is.
    if (std::abs(pitch / std::max(filPar_.framePitch, 1) - 1.0) > kMostShrinkage) {
      char text[200];
      std::snprintf(text, sizeof text,
                    "the scans' advance measures a frame pitch of %.1f rows, %.0f %% off the %d "
                    "rows the resolution gives: the sound may play off its speed",
                    pitch, 100.0 * std::abs(pitch / std::max(filPar_.framePitch, 1) - 1.0),
                    filPar_.framePitch);
      warn_(text);
    }
    // A variable-density track's level is the print's density and the lamp's light
    // themselves, which wander faster than a variable-area track's clear width does.
    removeReelLevel(samples, filmRate, track_.variableDensity ? 5.0 : 2.0);
    const float silence = record_.removeDC ? -128.0f : 128.0f;
    for (float& s : samples)
      s = silence + 256.0f * s;  // the clear share: half the track is full scale

    FilmReading& r = reading.film;
    r.framePitch = pitch;
    Parameters nominal = filPar_;
    if (tagged_.y > 0) filParametersT(record_.filmType, tagged_, nominal);
    r.shrinkage = nominal.framePitch > 0 ? 1.0 - pitch / nominal.framePitch : 0.0;
    r.typicalAdvance = plan.typicalAdvance;
    r.negative = track_.negative;
    int unplaced = 0;  // joins the sound could not place
    for (size_t k = 0; k < scans_.size(); ++k) {
      const ScanSound& s = scans_[k];
      r.largestWeave = std::max(r.largestWeave, std::abs(s.offset));
      const double degrees = std::atan(s.skew) * kDegreesPerRadian;
      if (std::abs(degrees) > std::abs(r.skewDegrees)) r.skewDegrees = degrees;
      r.scratchColumns = std::max(r.scratchColumns, s.scratchColumns);
      FrameReading f;
      f.frame = frames_[k];
      f.name = names_[k];
      f.samples = static_cast<int>(s.samples.size());
      if (k > 0) {
        const ScanJoin& join = plan.joins[k];
        // The advance between the scans' first rows, shadowed or not.
        f.cutPoint = join.advance + leads_[k - 1] - leads_[k];
        f.overlapMatch = join.confidence;
        f.join = join.kind;
        if (join.kind == JoinKind::Missing || join.kind == JoinKind::Unmatched) {
          ++r.flaggedJoins;
          // Joins the sound cannot place are said once, the first of them by name.
          if (join.kind == JoinKind::Missing || ++unplaced == 1)
            warn_(joinWarning(join, frames_[k], names_[k]));
        }
        if (join.kind != JoinKind::Missing && !std::isnan(join.confidence) &&
            join.confidence < reading.leastAlike.match)
          keepLeastAlike(k, join, reading.leastAlike);
      }
      reading.frames.push_back(std::move(f));
    }
    if (unplaced > 1)
      warn_(std::to_string(unplaced - 1) + " more " + (unplaced == 2 ? "join" : "joins") +
            " where the sound does not continue, placed by the reel's usual advance");
    reportSplices(plan, samples.size(), filmRate, r);
    scans_.clear();
    reading.samples = std::move(samples);
    reading.filmRate = filmRate;
    return reading;
  }

 private:
  ReaderFailure noTrack() const {
    return ReaderFailure{frames_.empty() ? record_.startFrame : frames_.front(),
                         "no soundtrack found on the first scans: the film settings may be wrong"};
  }

  // The track is looked for on the latest scans waiting, again each time as many more
  // have come, until it is found: a reel may open on a long silent leader.
  void locateOnLatest() {
    std::vector<cv::Mat> latest;
    int rows = 0;
    for (auto s = waiting_.rbegin(); s != waiting_.rend(); ++s) {
      latest.insert(latest.begin(), *s);
      rows += s->rows;
      if (static_cast<int>(latest.size()) >= kLocatingScans ||
          rows >= kLocatingScans * filPar_.framePitch)
        break;
    }
    track_ = locateReelTrack(latest, record_.filmType == kVariableDensity35, filPar_.trackWidth);
    triedScans_ = static_cast<int>(waiting_.size());
    triedRows_ = waitingRows_;
  }

  void readWaiting() {
    if (waiting_.empty()) return;
    if (!track_.found) locateOnLatest();
    if (!track_.found) return;
    const bool shaded = 2 * shadedScans_ > judgedScans_;
    // The rows of waiting scan `k` lit, more than half or fully.
    const size_t first = scans_.size();
    const auto litOf = [&](size_t k) {
      const cv::Mat& whole = waiting_[k];
      LitRows lit = lits_[first + k];
      if (!shaded) {
        lit = LitRows{};
        lit.end = whole.rows;
      }
      // A variable-density negative's rows lit fully are set by its track's own film,
      // the clearest it has, which the sound moves: the penumbra is taken as reaching as
      // far on every scan as on any of the first.
      if (track_.variableDensity && track_.negative) lit = reachingPenumbra(lit, whole.rows);
      return lit;
    };
    // The penumbra's rows more than half lit are read too, given their light back, and
    // the fainter ones set aside, to bridge two scans whose shadows the overlap does not
    // hold; the film is measured on the rows lit fully.
    const auto dimmedOf = [](const LitRows& read, int rows) {
      return DimmedRows{static_cast<int>(read.head.size()),
                        static_cast<int>(read.tail.size()),
                        read.first,
                        rows - read.end,
                        read.head,
                        read.tail};
    };
    // Scans read together, the first ones, are each read knowing how the next few drift,
    // which tells a small turn of the gate as well as the drifts of scans before do.
    std::vector<double> waitingDrifts;
    if (waiting_.size() > 1)
      for (size_t k = 0; k < std::min<size_t>(waiting_.size(), kLocatingScans); ++k) {
        const LitRows read = withFaintRows(litOf(k));
        waitingDrifts.push_back(
            scanDrift(litStrip(waiting_[k], read), track_, dimmedOf(read, waiting_[k].rows)));
      }
    for (size_t k = 0; k < waiting_.size(); ++k) {
      const cv::Mat& whole = waiting_[k];
      const LitRows lit = litOf(k);
      readLits_.push_back(lit);
      leads_.push_back(lit.first);
      lastTail_ = whole.rows - lit.end;
      const LitRows read = withFaintRows(lit);
      const cv::Mat strip = litStrip(whole, read);
      const DimmedRows dimmed = dimmedOf(read, whole.rows);
      const std::vector<double> later(waitingDrifts.begin() + std::min(k + 1, waitingDrifts.size()),
                                      waitingDrifts.end());
      const bool scratchUnknown = track_.hidden.empty();
      ScanSound sound = readStrip(strip, dimmed, drifts_, later);
      keepHidden(sound);
      // Where the sound first reaches past a dark scratch in its swing, its edge may lie
      // under the scratch on any row: this scan is read again with the scratch's columns
      // known, and the one before it, whose loudest rows may have reached under it (or
      // past the window then read) too seldom to show it.
      if (scratchUnknown && !track_.hidden.empty()) {
        sound = readStrip(strip, dimmed, drifts_, later);
        keepHidden(sound);
        if (!before_.strip.empty() && !scans_.empty()) {
          const std::vector<double> earlier(drifts_.begin(), drifts_.end() - 1);
          std::vector<double> after{sound.skew};
          after.insert(after.end(), later.begin(), later.end());
          ScanSound again = readStrip(before_.strip, before_.dimmed, earlier, after);
          keepHidden(again);
          setFaintAside(again, before_.faintHead, before_.faintTail);
          scans_.back() = std::move(again);
        }
      }
      before_ = track_.hidden.empty() && !track_.variableDensity
                    ? Before{strip, dimmed, static_cast<int>(lit.faintHead.size()),
                             static_cast<int>(lit.faintTail.size())}
                    : Before{};
      setFaintAside(sound, static_cast<int>(lit.faintHead.size()),
                    static_cast<int>(lit.faintTail.size()));
      drifts_.push_back(sound.skew);
      poolLight(track_, sound);
      scans_.push_back(std::move(sound));
    }
    waiting_.clear();
    waitingRows_ = 0;
    waitingBytes_ = 0;
  }

  // A dark scratch runs on along the film: the columns it hid stay known.
  void keepHidden(const ScanSound& sound) {
    for (const int c : sound.hidden)
      if (std::find(track_.hidden.begin(), track_.hidden.end(), c) == track_.hidden.end())
        track_.hidden.push_back(c);
  }

  // One scan's sound (`strip`, its rows `dimmed`), read with the track as far as it is
  // known, which the scan widens where its sound reaches past it, and its splices;
  // `drifts` are the scans' before it, `later` those measured of the scans after it.
  ScanSound readStrip(const cv::Mat& strip, const DimmedRows& dimmed,
                      const std::vector<double>& drifts, const std::vector<double>& later) {
    const int fullFirst = std::min(dimmed.head, strip.rows);
    const cv::Mat fullyLit =
        strip.rowRange(fullFirst, std::max(fullFirst, strip.rows - dimmed.tail));
    ScanSound sound = readScanSound(strip, track_, filPar_.trackWidth, dimmed, drifts, later);
    // Sound louder than the first scans held reaches past the track found on them.
    if (sound.rowsPastTrack >= kRowsPastTrack &&
        growTrack(track_, fullyLit, sound.offset, filPar_.trackWidth))
      sound = readScanSound(strip, track_, filPar_.trackWidth, dimmed, drifts, later);
    // The loudest moments may swing past it on a row or two, too few to widen it by:
    // where a row's clear part runs into the window's end, it is widened a little there
    // and the scan read again, as long as one still does, a few times at most.
    for (int k = 0; k < kMostWidenings &&
                    widenTrack(track_, sound.rowsAtFirstColumn > 0, sound.rowsAtLastColumn > 0,
                               strip.cols, filPar_.trackWidth);
         ++k)
      sound = readScanSound(strip, track_, filPar_.trackWidth, dimmed, drifts, later);
    // A splice darkens the film's clear base across its whole width, a positive's or
    // a negative's; a speck of dust a few pixels of it. A variable-density negative
    // has no clear base beside its track: the film beside it tells there.
    if (!(track_.variableDensity && track_.negative)) {
      const int columns = static_cast<int>(std::lround(track_.besideLast + sound.offset)) + 1;
      sound.spliceRows =
          spliceCrossings(fullyLit, columns, spliceBandRows(),
                          track_.negative || track_.variableDensity, filPar_.framePitch);
      for (int& row : sound.spliceRows) row += fullFirst;
    }
    return sound;
  }

  // `lit` with its penumbra reaching as far at both ends of `rows` as at either end of
  // any of the first scans judged (the gate shades both ends alike), the rows added
  // given back no light.
  LitRows reachingPenumbra(const LitRows& lit, int rows) const {
    int reach = 0;
    for (int k = 0; k < judgedScans_ && k < static_cast<int>(lits_.size()); ++k) {
      const LitRows& l = lits_[static_cast<size_t>(k)];
      reach =
          std::max({reach, l.first + static_cast<int>(l.head.size()),
                    judgedRows_[static_cast<size_t>(k)] - l.end + static_cast<int>(l.tail.size())});
    }
    LitRows wider = lit;
    const auto room = [&wider] {
      return wider.first + static_cast<int>(wider.head.size() + wider.tail.size()) < wider.end;
    };
    while (wider.first + static_cast<int>(wider.head.size()) < reach && room())
      wider.head.push_back(1.0f);
    while (wider.end - static_cast<int>(wider.tail.size()) > rows - reach && room())
      wider.tail.push_back(1.0f);
    return wider;
  }

  // Rows of the band a cement splice's overlap darkens, about half a millimetre.
  int spliceBandRows() const {
    const double pitchCm = isThirtyFiveMm(record_.filmType) ? 1.919 : 0.762;
    return std::max(3, roundToInt(filPar_.framePitch * 0.05 / pitchCm));
  }

  void keepLeastAlike(size_t k, const ScanJoin& join, LeastAlikeJoin& worst) const {
    const auto& previous = scans_[k - 1].samples;
    const auto& present = scans_[k].samples;
    const size_t from = std::min<size_t>(join.advance, previous.size());
    const size_t shared = std::min(previous.size() - from, present.size());
    worst.frame = frames_[k];
    worst.name = names_[k];
    worst.match = join.confidence;
    worst.previous.assign(previous.begin() + from, previous.begin() + from + shared);
    worst.present.assign(present.begin(), present.begin() + shared);
  }

  // Where the splices the scans show lie in the finished sound, in seconds: each
  // scan's rows placed at its start, one splice seen by two overlapping scans counted
  // once, its band's middle moved by up to half its length where a scan's end cuts it.
  void reportSplices(const JoinPlan& plan, size_t total, int rate, FilmReading& r) const {
    const long apart = 2 * spliceBandRows();
    std::vector<long> seen;
    long start = leads_.empty() ? 0 : leads_.front();  // the sound starts on the first row
    for (size_t k = 0; k < scans_.size(); ++k) {
      if (k > 0) start += plan.joins[k].advance;
      for (const int row : scans_[k].spliceRows) {
        const long at = start + row;
        if (std::any_of(seen.begin(), seen.end(),
                        [at, apart](long s) { return std::abs(s - at) < apart; }))
          continue;
        seen.push_back(at);
        const long played = record_.inverse ? static_cast<long>(total) - 1 - at : at;
        const double seconds = rate > 0 ? static_cast<double>(played) / rate : 0.0;
        r.spliceSeconds.push_back(seconds);
        char when[32];
        std::snprintf(when, sizeof when, ", at %.3f s", seconds);
        warn_("a film splice crosses the track in " + frameAndFile(frames_[k], names_[k]) + when);
      }
    }
  }

  const Picture_Parameters record_;
  Warn warn_;
  Parameters filPar_;
  Resolution tagged_;  // what the first scan's file says, for the shrinkage
  ReelTrack track_;
  std::vector<cv::Mat> waiting_;  // strips read before the track is located
  int waitingRows_ = 0;
  size_t waitingBytes_ = 0;
  int triedScans_ = 0;
  int triedRows_ = 0;
  std::vector<ScanSound> scans_;
  std::vector<double> drifts_;  // each scan's sideways drift per row, for the gate's turn
  std::vector<int> frames_;     // frame number of each scan read
  std::vector<std::string> names_;
  std::vector<int> missingBefore_;  // scans known missing before each one
  std::vector<LitRows> lits_;       // each scan's rows out of the gate's shadow
  std::vector<LitRows> readLits_;   // and those of each scan read
  // The latest scan read, kept while a unilateral track shows no dark scratch, to be
  // read again should the next one find one.
  struct Before {
    cv::Mat strip;
    DimmedRows dimmed;
    int faintHead = 0, faintTail = 0;
  };
  Before before_;
  int judgedScans_ = 0;  // the first scans, and how many of them the gate shades
  int shadedScans_ = 0;
  std::vector<int> judgedRows_;  // the rows of each of them
  std::vector<int> leads_;       // rows of each scan left unread before its lit ones
  int lastTail_ = 0;             // rows of the latest scan left unread after its lit ones
  int missing_ = 0;
  std::string previousName_;
};

}  // namespace

std::unique_ptr<SoundReader> makePreciseReader(const FilmSettings& film, const SoundSettings& sound,
                                               int startFrame, int stopFrame, Warn warn) {
  return std::make_unique<PreciseReader>(pictureParametersFor(film, sound, startFrame, stopFrame),
                                         std::move(warn));
}

}  // namespace kelvora
