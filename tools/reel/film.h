#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "reel/reel_options.h"

namespace kelvora::reel {

// The printed sound is held in this many steps a film row: the film is a function of
// its own coordinates, finer than the scanner's rows, and a scanned pixel is its
// integral over the pixel's area.
constexpr int kSubRows = 8;

// Brightness of the film as the scanner's full light shows it, before the light's
// unevenness and the scanner's noise.
constexpr double kOpaque = 20.0;        // black film: the track's surround, the isolation gap
constexpr double kClear = 225.0;        // the clear part of a variable-area track
constexpr double kGate = 8.0;           // the gate beyond the film's edges
constexpr double kDensitySwing = 70.0;  // a variable-density track's level for a full-scale sample

// A speck of dust or dirt lying on the film, in film coordinates: overlapping scans
// show it at the same place of the film.
struct Speck {
  double along = 0.0;     // film row of its centre (rows from the head, playing order)
  double across = 0.0;    // film column of its centre, from the track-side edge
  double diameter = 1.0;  // pixels
  bool bright = false;    // a pinhole where the emulsion is gone; else dirt, opaque
  double strength = 1.0;  // share of the way to clear (bright) or to black (dark)
};

// The film as printed and aged.
struct Film {
  std::vector<float> sound;     // kSubRows steps a row, -1..1: the printed sound
  std::vector<int> spliceRows;  // film rows where a splice joins two pieces
  std::vector<Speck> specks;
};

// Where a scan lies on the film: its first row's place along the film (playing
// order), its index in playing order and the film's sideways offset in it.
struct ScanPose {
  double start = 0.0;
  int index = 0;
  double weave = 0.0;
};

// The pose of scan `index` (playing order) of a reel of this geometry with these weaves.
ScanPose scanPose(const ReelGeometry& g, const std::vector<double>& weaves, int index);

// The film's sideways offset at row position `y` (continuous) of a turned scan:
// `across = u - sideShift(...)` for scan column u. Weave, its wander along the scan
// and a turned scan's drift across.
double sideShift(const ReelOptions& o, const ReelGeometry& g, const ScanPose& pose, double y);

// The film row that the top of turned scan row y shows in column u: the scan's
// start, plus the turn of a skewed scan about the middle of the track.
double alongAt(const ReelOptions& o, const ReelGeometry& g, const ScanPose& pose, double y,
               double u);

// The scanner's light on turned pixel (y, u) of scan `index` (playing order), as a
// share of its full light: the lamp's flicker, the fall towards the corners and the
// gate's shadow at both ends.
double sceneLight(const ReelOptions& o, const ReelGeometry& g, int index, double y, double u);

// The gate's shadow alone: the share of the light reaching turned row y (0 at the
// very ends for a full-strength shadow, 1 outside the bands).
double gateLight(const ReelOptions& o, const ReelGeometry& g, double y);

// Rows at either end of a scan that the gate's shadow darkens: none without one.
int gateShadowRows(const ReelOptions& o, const ReelGeometry& g);

// The clear and opaque levels of a positive print at film row `along`, and the
// variable-density track's resting level there: the print's density drift moves them.
struct FilmLevels {
  double opaque = kOpaque;
  double clear = kClear;
  double densityBase = 100.0;
};
FilmLevels filmLevels(const ReelOptions& o, const ReelGeometry& g, double along);

// The transmission of a splice's cement band over film rows [along, along + 1): 1 away
// from splices.
double spliceTransmission(const ReelOptions& o, const std::vector<int>& spliceRows, double along);

// The clear part of a variable-area track across it, in pixels from its first column,
// for the sound `a` (-1..1) after the modulation.
void clearInterval(const ReelOptions& o, double trackWidth, double a, double& lo, double& hi);

// The frame number drawn into picture `frame` (0-based along the film).
int frameCode(int frame);

// The printed film of the reel: its sound (a programme or `options.soundFile`, recorded
// a sample a row of the shrunk film, no faster than the film's band (8 kHz on 35 mm,
// 6 kHz on 16 mm) or 0.42 of the rows' rate, held smoothly between the rows, each row's
// steps centred on its sample), its splices, leader and click, and its dust. Throws
// std::runtime_error when the sound file cannot be read.
Film printFilm(const ReelOptions& options, const ReelGeometry& g);

// The sound each film row holds, the mean of its kSubRows steps: the reference the
// readers are held against.
std::vector<float> rowSound(const Film& film);

// The turned scan of the film at `pose` (film running top to bottom, soundtrack on the
// left), 8-bit BGR (float BGR for deep scans), without the scanner's noise: each pixel
// the film's integral over it, under the scanner's light.
cv::Mat renderTurnedScan(const ReelOptions& options, const ReelGeometry& g, const Film& film,
                         const ScanPose& pose);

}  // namespace kelvora::reel
