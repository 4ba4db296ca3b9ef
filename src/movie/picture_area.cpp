#include "movie/picture_area.h"

#include <algorithm>

#include <opencv2/imgproc.hpp>

#include "signal/profile.h"
#include "signal/rounding.h"

namespace kelvora {

namespace {

// First index of the largest rising value of `d` over [from, to); `from` itself when
// no value matches.
int strongestRise(const Profile& d, int from, int to) {
  const int i = firstIndexOf(d, maxValue(d, from, to), from, to);
  return i < 0 ? from : i;
}

int measuredCutHeight(const cv::Mat& reimg) {
  const int h = reimg.rows;
  const float brightness = scanBrightness(reimg);
  const double fraction = brightness < 32.0f ? 0.015 : 0.2;
  const int k = std::clamp(singleRounded(0.2f, h), 0, h);
  const cv::Mat lower = reimg.rowRange(k, h);
  if (lower.empty()) return 4;
  const cv::Mat binary = binaryAbove(lower, 255.0 * fraction);
  const Profile p = meanValue(binary, 1, binary.cols, 1, binary.rows, 1, false);
  const Profile d = derivative(p);
  const int a = singleRounded(0.25f, h);
  const int c = singleRounded(0.7f, h);
  const int e1 = strongestRise(d, 1, a);
  const int e2 = strongestRise(d, c, static_cast<int>(d.size()));
  return 4 * ((e2 - e1) / 3 + 1);
}

}  // namespace

float scanBrightness(const cv::Mat& reimg) {
  const Profile columns = meanValue(reimg, 1, reimg.cols, 1, reimg.rows, 1, true);
  return mean(columns);
}

cv::Mat binaryAbove(const cv::Mat& reimg, double level) {
  cv::Mat binary;
  if (reimg.channels() != 3) {
    cv::threshold(reimg, binary, level, 1, cv::THRESH_BINARY);
    return binary;
  }
  // Colour is made grey a band of rows at a time, which stays in the cache for the
  // threshold, rather than as a grey copy of the whole scan.
  constexpr int kBandRows = 32;
  binary.create(reimg.size(), CV_8UC1);
  cv::Mat grey;
  for (int y = 0; y < reimg.rows; y += kBandRows) {
    const cv::Range rows(y, std::min(y + kBandRows, reimg.rows));
    cv::cvtColor(reimg.rowRange(rows), grey, cv::COLOR_BGR2GRAY);
    cv::Mat out = binary.rowRange(rows);
    cv::threshold(grey, out, level, 1, cv::THRESH_BINARY);
  }
  return binary;
}

int filParametersM(const cv::Mat& reimg, int filmType, const Resolution& res, ParametersM& filParM,
                   int image_sound) {
  const bool cut = image_sound != 0;
  switch (filmType) {
    case kVariableArea35:
    case kVariableDensity35:
      filParM.margin_x = cmToPixels(res.x, 0.2);
      filParM.cut_height = cmToPixels(res.y, cut ? 1.52 : 1.9);
      filParM.cut_width = cut ? cmToPixels(res.x, filmType == kVariableArea35 ? 2.1 : 2.05) : 0;
      break;
    case kVariableArea16:
      filParM.margin_x = cmToPixels(res.x, 0.254);
      filParM.cut_width = cmToPixels(res.x, 0.7);
      filParM.cut_height = measuredCutHeight(reimg);
      break;
    default:
      break;
  }
  return 0;
}

}  // namespace kelvora
