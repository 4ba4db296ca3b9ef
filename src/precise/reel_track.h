#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "precise/track_strip.h"

namespace kelvora {

// A level along a scan, summed row by row for the least-squares parabola through it in
// t, the row's place along the whole scan from -0.5 to 0.5.
struct AlongSums {
  cv::Matx33d a = cv::Matx33d::zeros();
  cv::Vec3d b{0.0, 0.0, 0.0};

  void add(double t, double level) {
    const cv::Vec3d p(1.0, t, t * t);
    a += p * p.t();
    b += level * p;
  }
  AlongSums& operator+=(const AlongSums& o) {
    a += o.a;
    b += o.b;
    return *this;
  }
  // The parabola (1, t, t^2) through the rows summed: false where they are too few or
  // lie too close together along the scan to bend one.
  bool parabola(cv::Vec3d& c) const;
};

// Where the soundtrack runs on a reel, found once from its first scans' track strips
// (see trackStrip) and followed from scan to scan after that.
struct ReelTrack {
  bool found = false;
  bool variableDensity = false;
  bool negative = false;  // clear and opaque swapped: read the right way up
  int first = 0;          // strip columns the modulation reaches on the first scans
  int last = -1;
  int margin = 0;              // columns read beyond them for weave and skew
  int besideFirst = 0;         // a band of plain film beside the track, on the picture side:
  int besideLast = -1;         // the light and density reference
  std::vector<float> profile;  // the mean level of each strip column, for following weave
  double level = 0.0;          // variable density: the track's mean against the film beside it
  double light = 1.0;          // variable density: the mean level of the film beside the track
  std::vector<int> hidden;     // variable area: strip columns, at the first scans' place, that
                               // a dark scratch along the film hid on the scans read so far
  // Variable density: the light along a scan, against each scan's mean, of the scans
  // read so far: a negative's film beside its track is dark and grainy, too grainy to
  // show it on one scan alone, and the gate's field lights every scan alike (see
  // ScanSound::besideAlong).
  AlongSums besideAlong;
  // ...and the track's own level along them, summed alike (see ScanSound::trackAlong).
  AlongSums trackAlong;

  // The levels of a strip of this reel, a variable-area negative turned over.
  StripLevels levels(const cv::Mat& strip) const {
    return levelsOf(strip, negative && !variableDensity);
  }
};

// Locates the track on `strips` (the first scans of a reel) for a track of nominal
// `trackWidth` columns.
ReelTrack locateReelTrack(const std::vector<cv::Mat>& strips, bool variableDensity, int trackWidth);

// Widens a variable-area track where a later scan, `strip`, lying `offset` columns from
// the first scans, swings further than they did (they began quietly: a leader, a
// pause), up to the nominal `trackWidth`. Returns whether it grew.
bool growTrack(ReelTrack& track, const cv::Mat& strip, double offset, int trackWidth);

// Widens a variable-area track by half its margin at its first and/or last column,
// where a row's clear part ran into the window read (a peak louder than any the track
// was located on), up to the nominal `trackWidth`, the film beside it moved along for a
// strip `stripColumns` wide. Returns whether it grew.
bool widenTrack(ReelTrack& track, bool atFirst, bool atLast, int stripColumns, int trackWidth);

// Each column of `levels` (a float image, rows along the film) summed up by the levels
// below which evenly spaced shares of its rows lie, from 0.5 to 99.5 %, 25 of them, one
// row each: how far and how often the sound moves it, without the few rows a speck of
// dust covers.
cv::Mat columnShares(const cv::Mat& levels);

// How far (columns, sub-column) the film in `profile` lies from `reference`, within
// `reach` columns either way of `around`: the lag of their best correlation.
double lateralOffset(const std::vector<float>& reference, const std::vector<float>& profile,
                     int reach, int around = 0);

}  // namespace kelvora
