#pragma once

#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

#include "film/film_geometry.h"

namespace kelvora {

// Fills the track width and frame pitch for `filmType` at resolution `res`. Unknown
// film types leave `filPar` as it was. Returns 1.
int filParametersT(int filmType, const Resolution& res, Parameters& filPar);

// Colour elements of the Sound Parameters list.
enum ColorElement : int { kBlue = 0, kGreen = 1, kRed = 2, kLuma = 3 };

// Cuts the soundtrack area out of a turned scan (track along the left edge for UP,
// the right edge for DOWN), locating it by the steepest brightening of the scan's
// red column profile near the track-side edge. Returns a new single-channel 8-bit
// image with the scan's rows; the cut is clamped to the scan and at least one
// column wide.
cv::Mat preprocessing(const cv::Mat& reimg, int filmType, const Parameters& filPar, int image,
                      bool direction);

// As `preprocessing`, but locates the track on a thresholded copy of the scan: the
// edges of the track's bright part for variable area, the steepest brightening in
// the first fifth of the width for variable density.
cv::Mat preprocessingBW(const cv::Mat& reimg, int filmType, const Parameters& filPar, int image,
                        bool direction);

// The same images as `preprocessing` and `preprocessingBW` give for rot90(scan, 1),
// read from the scan as it was loaded (film running side to side), so the whole
// scan never has to be turned.
cv::Mat preprocessingOfScan(const cv::Mat& scan, int filmType, const Parameters& filPar, int image,
                            bool direction);
cv::Mat preprocessingBWOfScan(const cv::Mat& scan, int filmType, const Parameters& filPar,
                              int image, bool direction);

// The rows [first, last] of a scan as loaded that the sound job cuts as the
// soundtrack (by `preprocessingOfScan` with `cutBySoundtrack`, otherwise by
// `preprocessingBWOfScan`), clamped as they are.
struct ScanRows {
  int first = 0;
  int last = -1;
};
ScanRows soundtrackRowsOfScan(const cv::Mat& scan, int filmType, const Parameters& filPar,
                              bool direction, bool cutBySoundtrack);

// The number of pixels in each row of a grey or colour scan whose grey value is above
// half scale (128 and up), colour taken to grey exactly as cv::cvtColor rounds it.
std::vector<std::uint32_t> brightInRows(const cv::Mat& scan);

// Copies columns [s, e] of the scan into a single-channel image, taking the colour
// element `image` of a colour scan (B, G or R byte, or luma). Bounds are clamped.
cv::Mat cutSoundtrack(const cv::Mat& reimg, int s, int e, int image);

}  // namespace kelvora
