#include "precise/track_strip.h"

#include <algorithm>

#include <opencv2/imgproc.hpp>

#include "film/soundtrack_area.h"

namespace kelvora {

cv::Mat trackStrip(const cv::Mat& scan, int colorElement, bool direction, int columns) {
  if (scan.empty()) return {};
  const int n = std::clamp(columns, 1, scan.rows);
  cv::Mat band = direction ? scan.rowRange(0, n) : scan.rowRange(scan.rows - n, scan.rows);
  cv::Mat element;
  const int channels = band.channels();
  if (channels == 1) {
    element = band;
  } else if (colorElement == kLuma) {
    cv::cvtColor(band, element, channels == 4 ? cv::COLOR_BGRA2GRAY : cv::COLOR_BGR2GRAY);
  } else {
    cv::extractChannel(band, element, std::clamp(colorElement, 0, 2));
  }
  cv::Mat levels;
  element.convertTo(levels, CV_32F, element.depth() == CV_16U ? 1.0 / 257.0 : 1.0);
  if (!direction) cv::flip(levels, levels, 0);  // the track-side edge first
  cv::Mat strip;
  cv::rotate(levels, strip, cv::ROTATE_90_COUNTERCLOCKWISE);
  return strip;
}

}  // namespace kelvora
