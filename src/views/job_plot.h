#pragma once

#include <string>
#include <vector>

#include <opencv2/core.hpp>

namespace kelvora {

// A join between two scans as the plot marks it.
struct JoinMark {
  int frame = 0;           // the scan that takes over
  std::string file;        // its file's name, "" when not known
  size_t position = 0;     // sample of the finished sound where it takes over
  double deviation = 0.0;  // how far its advance is from the reel's typical one, a share
  double match = 1.0;      // how alike the overlapping film of the two scans is
  bool flagged = false;    // to be checked by ear
};

// The joins of a classic job from its cut points: each scan takes over where its cut
// point says, and its advance is held against the median advance of the reel. A share
// of 5 % or more is flagged, and so is a join where the two scans do not hold the same
// film (a missing scan, a splice). Joins run from the end for a reel read the other way.
struct CutPoint {
  int frame = 0;
  std::string file;           // the scan's file name, "" when not known
  int cutPoint = -1;          // -1 for the first scan of a run
  double overlapMatch = 1.0;  // below a half the sound does not continue: flagged too
};
std::vector<JoinMark> classicJoins(const std::vector<CutPoint>& cuts, bool inverse, size_t samples);

// The level of a sound, for the meter.
struct SoundLevel {
  double peakDb = -200.0;  // dB below full scale
  double rmsDb = -200.0;
  size_t atFullScale = 0;  // samples at either end of the range
};
SoundLevel measureLevel(const std::vector<float>& samples);

// Colours of the join marks, blue-green-red.
inline const cv::Scalar kCleanJoin(0, 170, 0);
inline const cv::Scalar kDoubtfulJoin(0, 140, 255);
inline const cv::Scalar kFlaggedJoin(0, 0, 230);

// What two scans hold of the same film at a join: the previous frame's samples from
// its cut point on, the present frame's first samples.
struct JoinOverlap {
  int frame = 0;  // the scan that takes over; 0 for none
  std::string file;
  double match = 0.0;
  std::vector<float> previous;
  std::vector<float> present;
};

// Seconds at a round step (1, 2 or 5 times a power of ten) from the first multiple of
// the step at or after `from` to `to`, no more than `most` of them; empty when `to` is
// not after `from`.
std::vector<double> timeTicks(double from, double to, int most = 10);

// Colours of the level bars, blue-green-red.
inline const cv::Scalar kPeakLevel(0, 140, 255);
inline const cv::Scalar kRmsLevel(0, 170, 0);

// The whole sound's waveform (its min/max envelope) over a time axis in seconds, with
// every join marked in the colour of its deviation (explained in a legend), flagged
// joins labelled with their frame numbers and files, the level bars with their legend,
// and drawn large either the two scans' overlapping samples at `overlap` (when it has a
// frame) or the finished sound around the worst join, on its own time axis. `samples`
// are full scale (-1..1) at `rate`.
cv::Mat plotSound(const std::vector<float>& samples, int rate, const std::vector<JoinMark>& joins,
                  const std::string& title, const JoinOverlap& overlap = JoinOverlap{},
                  int width = 1600);

// The overlap a soundtrack job kept of its least alike join.
struct SoundJobReport;
JoinOverlap overlapOf(const SoundJobReport& report);

// The joins of a finished classic job, placed on its sound file of `samples` samples
// at `rate` (the joins were made at the film's rate).
std::vector<JoinMark> joinsOfSoundJob(const SoundJobReport& report, bool inverse, size_t samples,
                                      int rate);

// Colours of the two scans' samples in the large view, blue-green-red.
inline const cv::Scalar kPreviousScan(0, 160, 255);
inline const cv::Scalar kPresentScan(255, 200, 0);

}  // namespace kelvora
