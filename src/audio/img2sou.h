#pragma once

#include <opencv2/core.hpp>

#include "signal/profile.h"

namespace kelvora {

// Returns one sample per row of the single-channel `sound_image`, top row first: the
// row's mean brightness across the track. With `DC` the frame's mean level is taken
// off and the samples are lowered by half the 8-bit range, so they lie around -128.
Profile img2sou(const cv::Mat& sound_image, bool DC);

}  // namespace kelvora
