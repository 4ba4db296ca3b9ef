#pragma once

#include <opencv2/core.hpp>

namespace kelvora {

// A picture as it lies in the scan: upright already, or lying as loaded and stood upright
// by turnQuarter(pixels, mirrorBefore, mirrorAfter).
struct ScanPicture {
  cv::Mat pixels;
  bool lying = false;
  bool mirrorBefore = false;
  bool mirrorAfter = false;
};

// Returns the picture upright at its own size; empty when there is none.
cv::Mat upright(const ScanPicture& picture);

// Returns the picture upright and scaled to `size` with bicubic interpolation, the same
// bytes as scaling upright(picture), made without turning the picture's own pixels.
cv::Mat uprightScaled(const ScanPicture& picture, cv::Size size);

}  // namespace kelvora
