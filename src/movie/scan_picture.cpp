#include "movie/scan_picture.h"

#include <opencv2/imgproc.hpp>

#include "movie/scaled_turn.h"
#include "signal/image_ops.h"

namespace kelvora {

cv::Mat upright(const ScanPicture& picture) {
  return picture.lying ? turnQuarter(picture.pixels, picture.mirrorBefore, picture.mirrorAfter)
                       : picture.pixels;
}

cv::Mat uprightScaled(const ScanPicture& picture, cv::Size size) {
  if (picture.pixels.empty()) return cv::Mat();
  if (picture.lying)
    return scaledTurn(picture.pixels, picture.mirrorBefore, picture.mirrorAfter, size);
  if (picture.pixels.size() == size) return picture.pixels;
  cv::Mat scaled;
  cv::resize(picture.pixels, scaled, size, 0, 0, cv::INTER_CUBIC);
  return scaled;
}

}  // namespace kelvora
