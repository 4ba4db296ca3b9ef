#include "audio/img2sou.h"

namespace kelvora {

Profile img2sou(const cv::Mat& sound_image, bool DC) {
  // Row means taken directly: each equals the column mean of the turned image.
  Profile samples = meanValue(sound_image, 1, sound_image.cols, 1, sound_image.rows, 1, false);
  if (DC && !samples.empty()) {
    removeMean(samples);
    const double halfScale = 128.0;  // 2^8 x 0.5: scans are read 8 bits deep
    for (float& s : samples) s = static_cast<float>(static_cast<double>(s) - halfScale);
  }
  return samples;
}

}  // namespace kelvora
