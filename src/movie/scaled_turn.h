#pragma once

#include <opencv2/core.hpp>

namespace kelvora {

// Returns a picture lying sideways in a scan turned upright and scaled to `size` by
// bicubic interpolation: byte for byte cv::resize(turnQuarter(part, mirrorBefore,
// mirrorAfter), size, 0, 0, cv::INTER_CUBIC), without making the turned image. 8-bit
// pictures of one or three channels whose scaled rows hold a multiple of 16 values are
// scaled here; any other picture is turned and scaled by the image library. An empty
// part or size gives an empty image.
cv::Mat scaledTurn(const cv::Mat& part, bool mirrorBefore, bool mirrorAfter, cv::Size size);

}  // namespace kelvora
