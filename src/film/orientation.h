#pragma once

#include <opencv2/core.hpp>

namespace kelvora {

// Trims the two ends of a raw scan (film running side to side) where they show a
// dark frame boundary, so the scan starts and ends at a frame. 16 mm long strips are
// trimmed by fixed fractions instead. Returns a new image of at least one column;
// an untrimmed scan, or one fewer than 4 rows high, comes back as a copy.
cv::Mat frameCorrection(const cv::Mat& img, int filmType, int longstrip);

// The columns of a raw scan that the orientation chain keeps, as a view into it: the
// whole scan unless `correction`, else the columns frameCorrection keeps of the scan
// mirrored top to bottom for DOWN (`direction` false). Turning the view with
// turnQuarter(view, !direction, inverse != 0) gives what RotCor gives.
cv::Mat trimmedScan(const cv::Mat& reimg, bool direction, bool correction, int filmType,
                    int longstrip);

// The movie job's orientation chain: mirror top to bottom for DOWN, trim if
// `correction`, turn a quarter turn counter-clockwise, mirror top to bottom for
// `inverse`. Afterwards the film runs from top to bottom with the soundtrack along
// the left edge.
cv::Mat RotCor(const cv::Mat& reimg, int inverse, bool direction, bool correction, int filmType,
               int longstrip);

}  // namespace kelvora
