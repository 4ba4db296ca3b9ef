#include "readers/classic_reader.h"

#include <algorithm>
#include <cmath>

#include "audio/gap.h"
#include "audio/img2sou.h"
#include "audio/join.h"
#include "audio/signal_values.h"
#include "audio/splice.h"
#include "film/orientation.h"
#include "film/soundtrack_area.h"
#include "readers/picture_parameters.h"
#include "readers/sound_geometry.h"
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

// The classic functions over one reel. Scans are read as loaded, film running side to
// side: the rows of the turned frame (rows along the film) are the scan's columns.
// Frames are joined in runs of readable scans: a job ends at a scan it cannot read, so
// its one run spans the whole range; a job that bridges such scans ends the run there
// and stands silence in for each missing scan.
class ClassicReader : public SoundReader {
 public:
  ClassicReader(const Picture_Parameters& record, Warn warn)
      : record_(record), warn_(std::move(warn)), runStart_(record.startFrame) {
    signal_.firstFrame = record_.startFrame;
    signal_.lastFrame = record_.stopFrame;
    signal_.crossfade = record_.crossfade ? 1 : 0;
  }

  ScanNeeds needs() const override {
    ScanNeeds needs;
    // Each scan is trimmed on the loading thread while the one before is analysed.
    if (record_.frameCorrection)
      needs.prepare = [filmType = record_.filmType,
                       longstrip = record_.longstrip](const cv::Mat& scan) {
        return frameCorrection(scan, filmType, longstrip);
      };
    return needs;
  }

  SoundGeometry first(const ScanInput& scan, const FirstScan&) override {
    const SoundGeometry g = soundGeometry(scan.image, record_);
    filPar_ = g.parameters;
    return g;
  }

  bool measuresRate() const override { return false; }

  ReaderFailure next(ScanInput scan) override {
    const int n = scan.frame;
    const bool first = n == runStart_;
    cv::Mat frame = std::move(scan.image);
    const cv::Mat soundImage = record_.cutBySoundtrack
                                   ? preprocessingOfScan(frame, record_.filmType, filPar_,
                                                         record_.colorElement, record_.direction)
                                   : preprocessingBWOfScan(frame, record_.filmType, filPar_,
                                                           record_.colorElement, record_.direction);
    if (!first) {
      previous_ = std::move(present_);
      signal_.previousLength = signal_.presentLength;
    }
    signal_.presentLength = soundImage.rows;
    present_ = img2sou(soundImage, record_.removeDC);
    if (first && missingScans_ > 0) {
      // A new run after a gap: the silence first, then the run's frames joined anew.
      appendSilence(missingScans_, advanceOfAScan(),
                    soundBeforeGap_ ? levelBeforeGap_ : restingLevel(present_), sampleSequence_);
      missingScans_ = 0;
      const Signal_Values settings = signal_;
      signal_ = Signal_Values{};
      signal_.firstFrame = n;
      signal_.lastFrame = settings.lastFrame;
      signal_.crossfade = settings.crossfade;
      signal_.presentLength = soundImage.rows;
    }
    if (first && n == record_.stopFrame)
      sampleSequence_.insert(sampleSequence_.end(), present_.begin(), present_.end());

    if (!first) previousPicture_ = std::move(presentPicture_);
    presentPicture_ = pictureProfile(frame, record_.direction);
    frame.release();

    FrameReading reading;
    reading.frame = n;
    reading.name = scan.name;
    reading.samples = signal_.presentLength;
    if (!first) {
      const int cut =
          record_.cutBySoundtrack
              ? cuttingPointSound(signal_, present_, previous_, record_.filmType, record_.longstrip)
              : cuttingPoint(signal_, present_, previous_, presentPicture_, previousPicture_,
                             record_.filmType, record_.longstrip);
      if (n == runStart_ + 1) signal_.cutPoint = 0;
      signal_.previousCutPoint = signal_.cutPoint;
      signal_.cutPoint = cut;
      signal_.frameNumber = n;
      join(present_, previous_, signal_, sampleSequence_);
      reading.cutPoint = cut;
      reading.overlapMatch = overlapMatch(previous_, present_, cut);
      if (reading.overlapMatch < leastAlike_.match) keepLeastAlike(reading);
      // The classic cut is placed to a row or two, so quiet sound matches loosely; film
      // that does not continue matches hardly at all.
      reading.join = std::isnan(reading.overlapMatch) ? JoinKind::Quiet
                     : reading.overlapMatch < 0.3     ? JoinKind::Unmatched
                                                      : JoinKind::Clean;
      if (reading.join == JoinKind::Unmatched)
        warn_("the sound does not continue where " + frameAndFile(n, scan.name) +
              " takes over: a scan missing before it, or a splice?");
    }
    frames_.push_back(std::move(reading));
    return {};
  }

  void gap(int frame) override {
    if (frame > runStart_) {
      // The run before the gap ends where the missing scan would have taken over.
      appendLastFrame(present_, signal_, advanceOfAScan(), sampleSequence_);
      levelBeforeGap_ = restingLevel(present_);
      soundBeforeGap_ = true;
    }
    ++missingScans_;
    runStart_ = frame + 1;
  }

  SoundReading finish() override {
    if (missingScans_ > 0)
      appendSilence(missingScans_, advanceOfAScan(), levelBeforeGap_, sampleSequence_);
    SoundReading reading;
    reading.samples = std::move(sampleSequence_);
    reading.filmRate = record_.fps * filPar_.framePitch;
    reading.film.framePitch = filPar_.framePitch;
    reading.film.typicalAdvance = advanceOfAScan();
    reading.film.flaggedJoins =
        static_cast<int>(std::count_if(frames_.begin(), frames_.end(), [](const FrameReading& f) {
          return f.join == JoinKind::Unmatched;
        }));
    reading.frames = std::move(frames_);
    reading.leastAlike = std::move(leastAlike_);
    return reading;
  }

 private:
  // How far the film advances from one scan to the next: the median cut so far.
  int advanceOfAScan() const {
    std::vector<int> cuts;
    for (const FrameReading& f : frames_)
      if (f.cutPoint >= 0) cuts.push_back(f.cutPoint);
    return typicalAdvance(
        cuts, record_.longstrip ? static_cast<int>(present_.size()) : filPar_.framePitch);
  }

  void keepLeastAlike(const FrameReading& reading) {
    const int cut = reading.cutPoint;
    const size_t shared =
        std::min(previous_.size() - std::min<size_t>(cut, previous_.size()), present_.size());
    leastAlike_.frame = reading.frame;
    leastAlike_.name = reading.name;
    leastAlike_.match = reading.overlapMatch;
    leastAlike_.previous.assign(previous_.begin() + cut, previous_.begin() + cut + shared);
    leastAlike_.present.assign(present_.begin(), present_.begin() + shared);
  }

  const Picture_Parameters record_;
  Warn warn_;
  Signal_Values signal_;
  Parameters filPar_;
  Profile present_;
  Profile previous_;
  Profile presentPicture_;
  Profile previousPicture_;
  std::vector<float> sampleSequence_;
  std::vector<FrameReading> frames_;
  LeastAlikeJoin leastAlike_;
  int runStart_;
  int missingScans_ = 0;
  float levelBeforeGap_ = 0.0f;
  bool soundBeforeGap_ = false;
};

}  // namespace

std::unique_ptr<SoundReader> makeClassicReader(const FilmSettings& film, const SoundSettings& sound,
                                               int startFrame, int stopFrame, Warn warn) {
  return std::make_unique<ClassicReader>(pictureParametersFor(film, sound, startFrame, stopFrame),
                                         std::move(warn));
}

}  // namespace kelvora
