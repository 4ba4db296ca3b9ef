#pragma once

#include <array>
#include <cstdint>

#include <opencv2/core.hpp>

namespace kelvora {

// How a 16-bit sample becomes one of the jobs' bytes, the way the general TIFF decoder
// reduces it: a grey sample keeps its high byte, a colour one the nearest of 255 steps.
inline std::uint8_t greyByteOf(std::uint16_t v) { return static_cast<std::uint8_t>(v >> 8); }
const std::array<std::uint8_t, 65536>& colourBytes();  // indexed by the 16-bit sample

// An image of the file's channel order (grey or RGB) in the jobs' order (grey or
// blue-green-red), at its own depth.
cv::Mat bgrOrderOf(const cv::Mat& rgb);

// A 16-bit grey or RGB image reduced to the jobs' 8-bit grey or blue-green-red.
cv::Mat eightBitBgrOfSixteen(const cv::Mat& rgb16);

}  // namespace kelvora
