#pragma once

#include <vector>

#include <opencv2/core.hpp>

namespace kelvora {

// The track side of a scan as loaded, for the precise reader: turned so that rows run
// along the film in the order the classic reader takes them and columns across it
// from the track-side edge (the top edge for UP, the bottom for DOWN). One colour
// element (see ColorElement) at the scan's own depth, 8 or 16 bits: it is turned
// into levels (see stripLevels) only where it is read. `columns` rows of the scan are
// taken, at most all.
cv::Mat trackStrip(const cv::Mat& scan, int colorElement, bool direction, int columns);

// How a strip's samples become levels: float on the 8-bit scale (a 16-bit sample of
// 257 is level 1.0), turned over for a sound negative so that clear film is bright.
struct StripLevels {
  double scale = 1.0;
  bool inverted = false;
  double of(double sample) const {
    const double level = scale * sample;
    return inverted ? 255.0 - level : level;
  }
};

// The levels of a strip of this depth.
StripLevels levelsOf(const cv::Mat& strip, bool inverted = false);

// `strip` (or part of it) as levels, a float image of its own.
cv::Mat stripLevels(const cv::Mat& strip, const StripLevels& levels);

// The level of each column of `strip`, averaged along it.
std::vector<float> columnMeans(const cv::Mat& strip, const StripLevels& levels = {});

// The levels below which each of `shares` (0 to 1) of the levels in `levels`, a float
// image, lie; to a quarter of a level.
std::vector<float> levelShares(const cv::Mat& levels, const std::vector<double>& shares);

// The level of each row of `strip`, averaged across it.
std::vector<double> rowMeans(const cv::Mat& strip, const StripLevels& levels = {});

}  // namespace kelvora
