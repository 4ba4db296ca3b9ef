#pragma once

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "audio/join_kind.h"
#include "film/film_settings.h"
#include "film/settings_check.h"
#include "readers/sound_geometry.h"
#include "readers/sound_settings.h"
#include "scans/scan_needs.h"

namespace kelvora {

// A scan as the frame loop hands it to a reader.
struct ScanInput {
  int frame = 0;      // its frame number
  std::string name;   // its file name, for messages
  cv::Mat image;      // loaded and prepared as the reader's needs say
  cv::Size scanSize;  // the whole scan as the file holds it
};

// The first readable scan of a reel, as the classic functions see it.
struct FirstScan {
  cv::Mat asLoaded;   // the whole scan at 8 bits a channel, trimmed when frame correction is on
  Resolution tagged;  // the resolution its file gives, rounded; 0 when it gives none
  FilmMeasurement measured;  // what it shows of the film (see measureFilm)
};

// How one scan of a finished reading takes over from the one before it.
struct FrameReading {
  int frame = 0;
  std::string name;
  int samples = 0;    // rows the reader took from it
  int cutPoint = -1;  // rows from the previous scan's first to where this one takes
                      // over; -1 for the first scan of a run
  double overlapMatch = std::nan("");  // how alike the film both scans hold there is
  JoinKind join = JoinKind::Clean;
};

// What a reader measured of the film as a whole; the classic reader takes the frame
// pitch from the resolution and measures nothing else.
struct FilmReading {
  double framePitch = 0.0;    // rows from frame to frame on the film
  double shrinkage = 0.0;     // against the pitch the resolution gives (0.01: 1 % short)
  int typicalAdvance = 0;     // rows from scan to scan
  double largestWeave = 0.0;  // the film's largest sideways offset, columns
  double skewDegrees = 0.0;   // the largest turn of a scan in the gate
  bool negative = false;
  int scratchColumns = 0;             // the most left out of one scan
  int flaggedJoins = 0;               // joins that are not clean
  std::vector<double> spliceSeconds;  // where film splices cross the track, in the sound
};

// The join whose scans hold the least alike film, with what each holds there: the
// previous scan's samples from where the present one takes over, and the present
// scan's first ones.
struct LeastAlikeJoin {
  int frame = 0;  // the scan that takes over; 0 when no join was measured
  std::string name;
  double match = 2.0;
  std::vector<float> previous;
  std::vector<float> present;
};

// Why a reader cannot go on: the frame it names, and the cause.
struct ReaderFailure {
  int frame = 0;
  std::string cause;  // empty when nothing failed
  bool failed() const { return !cause.empty(); }
};

// A reel's sound as a reader finished it.
struct SoundReading {
  // One sample a row of film on the classic scale: a byte's worth a sample, resting
  // near -128 with -DC and near 128 without; not yet reversed for Inverse or filtered.
  std::vector<float> samples;
  int filmRate = 0;  // samples a second the film's rows play at
  std::vector<FrameReading> frames;
  FilmReading film;
  LeastAlikeJoin leastAlike;
  ReaderFailure failure;  // why the reel could not be read, if it could not
};

// "frame 7 (scan_0008.tif)": a frame named by its number and its file, which differ
// wherever a scan is missing.
inline std::string frameAndFile(int frame, const std::string& file) {
  return "frame " + std::to_string(frame) + (file.empty() ? "" : " (" + file + ")");
}

// Called with each warning as soon as a reader finds it.
using Warn = std::function<void(const std::string& text)>;

// How a reel's scans become its sound. The frame loop hands a reader the first
// readable scan to measure, then every scan in order (the first again included), and
// says where a scan could not be read; the reader lays the sound end to end at the end.
class SoundReader {
 public:
  virtual ~SoundReader() = default;

  // What the reader reads of each scan.
  virtual ScanNeeds needs() const = 0;
  // Measures the first readable scan, given both as the reader loads it and as the
  // classic functions see it; returns the resolution taken (dots per inch across and
  // along the film) and the track's geometry at it.
  virtual SoundGeometry first(const ScanInput& scan, const FirstScan& first) = 0;
  // True when the sample rate comes from the film's own frame pitch, not from the
  // resolution taken.
  virtual bool measuresRate() const = 0;
  // Reads one scan, or says why the reel cannot be read on (the job then ends as if
  // the frame named could not be read).
  virtual ReaderFailure next(ScanInput scan) = 0;
  // Frame `frame` could not be read; silence will stand in for it.
  virtual void gap(int frame) = 0;
  // Reads what is left and lays the reel's sound end to end.
  virtual SoundReading finish() = 0;
};

// The reader the settings choose, for frames startFrame..stopFrame; `warn` hears of
// joins that do not match, scans missing and splices as they are found.
std::unique_ptr<SoundReader> makeSoundReader(const FilmSettings& film, const SoundSettings& sound,
                                             int startFrame, int stopFrame, Warn warn);

}  // namespace kelvora
