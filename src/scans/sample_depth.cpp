#include "scans/sample_depth.h"

#include <array>
#include <cmath>

#include <opencv2/imgproc.hpp>

namespace kelvora {

const std::array<std::uint8_t, 65536>& colourBytes() {
  static const std::array<std::uint8_t, 65536> table = [] {
    std::array<std::uint8_t, 65536> t{};
    for (int s = 0; s < 65536; ++s) t[s] = static_cast<std::uint8_t>(std::lround(s / 257.0));
    return t;
  }();
  return table;
}

cv::Mat bgrOrderOf(const cv::Mat& rgb) {
  if (rgb.channels() != 3) return rgb;
  cv::Mat bgr;
  cv::cvtColor(rgb, bgr, cv::COLOR_RGB2BGR);
  return bgr;
}

cv::Mat eightBitBgrOfSixteen(const cv::Mat& rgb16) {
  const int channels = rgb16.channels();
  cv::Mat out(rgb16.rows, rgb16.cols, CV_8UC(channels));
  for (int y = 0; y < rgb16.rows; ++y) {
    const auto& table = colourBytes();
    const auto* in = rgb16.ptr<std::uint16_t>(y);
    std::uint8_t* o = out.ptr<std::uint8_t>(y);
    if (channels == 1) {
      for (int x = 0; x < rgb16.cols; ++x) o[x] = greyByteOf(in[x]);
    } else {
      for (int i = 0; i < rgb16.cols * 3; i += 3) {
        o[i] = table[in[i + 2]];
        o[i + 1] = table[in[i + 1]];
        o[i + 2] = table[in[i]];
      }
    }
  }
  return out;
}

}  // namespace kelvora
