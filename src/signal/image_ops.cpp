#include "signal/image_ops.h"

#include <opencv2/core.hpp>

namespace kelvora {

cv::Mat rot90(const cv::Mat& reimg, int s) {
  cv::Mat out;
  if (reimg.empty()) return out;
  switch (s) {
    case 1:
      cv::rotate(reimg, out, cv::ROTATE_90_COUNTERCLOCKWISE);
      break;
    case 2:
      cv::rotate(reimg, out, cv::ROTATE_180);
      break;
    case 3:
      cv::rotate(reimg, out, cv::ROTATE_90_CLOCKWISE);
      break;
    default:
      break;
  }
  return out;
}

cv::Mat flipud(const cv::Mat& reimg) {
  cv::Mat out;
  if (!reimg.empty()) cv::flip(reimg, out, 0);
  return out;
}

}  // namespace kelvora
