#pragma once

#include <opencv2/core.hpp>

namespace kelvora {

// Returns a new image turned `s` quarter turns counter-clockwise (1: the right edge
// becomes the top, 2: half a turn, 3: the left edge becomes the top). Any other `s`
// gives an empty image. Depth and channels are kept.
cv::Mat rot90(const cv::Mat& reimg, int s);

// Returns a new image turned a quarter turn counter-clockwise, mirrored top to bottom
// before the turn when `mirrorBefore` and after it when `mirrorAfter`, in one pass: the
// same pixels as flipud, rot90(..., 1) and flipud done in turn. Any pixel type; an
// empty image gives an empty image.
cv::Mat turnQuarter(const cv::Mat& img, bool mirrorBefore, bool mirrorAfter);

// Returns a new image mirrored top to bottom.
cv::Mat flipud(const cv::Mat& reimg);

}  // namespace kelvora
