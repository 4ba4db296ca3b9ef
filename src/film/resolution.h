#pragma once

#include <opencv2/core.hpp>

#include "film/film_geometry.h"

namespace kelvora {

// Measures the scan resolution of a turned scan (film running top to bottom, the
// soundtrack along the left edge for UP, the right edge for DOWN) and snaps both
// values to a standard scanner resolution (450 ... 14400 dpi). `x` follows from the
// scan width, which spans a fixed width of film; `y` from the distance between the
// two sharpest falls of brightness, one frame pitch apart, in the picture band.
// When no frame line is found, `y` takes `x` (square pixels). Scans narrower than
// 2 columns or lower than 4 rows give 450 x 450. Returns 0.
int resolution(const cv::Mat& reimg, int filmType, Resolution& res, bool longstrip, bool direction);

// The standard resolution nearest to a measured value; halfway goes up.
int snapResolution(int measured);

}  // namespace kelvora
