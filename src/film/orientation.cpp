#include "film/orientation.h"

#include <algorithm>
#include <cmath>

#include "film/film_geometry.h"
#include "signal/image_ops.h"
#include "signal/profile.h"
#include "signal/rounding.h"

namespace kelvora {

cv::Mat frameCorrection(const cv::Mat& img, int filmType, int longstrip) {
  const int w = img.cols;
  const int h = img.rows;
  if (h < 4 || w < 1) return img.clone();

  const int r = roundToInt(0.15 * h);
  const Profile p = meanValue(img, 1, w, r, h - r, 1, true);
  const int k7 = static_cast<int>(std::floor(0.07 * w));
  const int k50 = static_cast<int>(std::floor(0.5 * w));
  const int k93 = static_cast<int>(std::floor(0.93 * w));
  const int k2 = static_cast<int>(std::floor(0.02 * w));
  const bool sixteenStrip = filmType == kVariableArea16 && longstrip != 0;

  int s = 0;
  if (sixteenStrip) {
    s = firstIndexOf(p, maxValue(p, 0, k2), 0, k2 + 1);
  } else if (minValue(p, 0, k7) < 2.0 * minValue(p, 0, k50)) {
    s = firstIndexOf(p, maxValue(p, 0, k7), 0, k7);
  }
  if (s < 0) s = 0;

  int e = w;
  if (sixteenStrip) {
    e = roundToInt(0.98 * w);
  } else if (minValue(p, k93, w) < 2.0 * minValue(p, k50, w)) {
    const Profile d = derivative(p);
    e = firstIndexOf(d, minValue(d, k93, w - 1), k93, w - 1);
    if (e < 0) e = w;
  }

  if (s == 0 && e == w) return img.clone();
  s = std::clamp(s, 0, w - 1);
  const int last = std::clamp(std::min(e, w - 1), s, w - 1);
  return img.colRange(s, last + 1).clone();
}

cv::Mat RotCor(const cv::Mat& reimg, int inverse, bool direction, bool correction, int filmType,
               int longstrip) {
  cv::Mat image = direction ? reimg : flipud(reimg);
  if (correction) image = frameCorrection(image, filmType, longstrip);
  image = rot90(image, 1);
  if (inverse != 0) image = flipud(image);
  return image;
}

}  // namespace kelvora
