#include "film/orientation.h"

#include <algorithm>
#include <cmath>

#include "film/film_geometry.h"
#include "signal/image_ops.h"
#include "signal/profile.h"
#include "signal/rounding.h"

namespace kelvora {

namespace {

// The columns [first, last + 1) of a raw scan that frameCorrection keeps. With
// `mirrored` they are those of the scan mirrored top to bottom, found without
// mirroring it.
cv::Range keptColumns(const cv::Mat& img, bool mirrored, int filmType, int longstrip) {
  const int w = img.cols;
  const int h = img.rows;
  if (h < 4 || w < 1) return cv::Range(0, w);

  const int r = roundToInt(0.15 * h);
  // Rows r .. h - r counted from 1 are, counted from the other end, rows r + 1 ..
  // h - r + 1. Integer column sums are the same in either order while they stay
  // below 2^24; beyond that the running float sums are taken in the mirrored order.
  const bool exactSums = static_cast<long long>(h - 2 * r + 1) * 255 < (1 << 24);
  const Profile p = !mirrored   ? meanValue(img, 1, w, r, h - r, 1, true)
                    : exactSums ? meanValue(img, 1, w, r + 1, h - r + 1, 1, true)
                                : meanValue(flipud(img), 1, w, r, h - r, 1, true);
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

  if (s == 0 && e == w) return cv::Range(0, w);
  s = std::clamp(s, 0, w - 1);
  const int last = std::clamp(std::min(e, w - 1), s, w - 1);
  return cv::Range(s, last + 1);
}

}  // namespace

cv::Mat frameCorrection(const cv::Mat& img, int filmType, int longstrip) {
  return img.colRange(keptColumns(img, false, filmType, longstrip)).clone();
}

cv::Mat trimmedScan(const cv::Mat& reimg, bool direction, bool correction, int filmType,
                    int longstrip) {
  if (reimg.empty() || !correction) return reimg;
  return reimg.colRange(keptColumns(reimg, !direction, filmType, longstrip));
}

cv::Mat RotCor(const cv::Mat& reimg, int inverse, bool direction, bool correction, int filmType,
               int longstrip) {
  if (reimg.empty()) return cv::Mat();
  // The trim is a view and both mirrors go into the turn: one pass over the scan.
  return turnQuarter(trimmedScan(reimg, direction, correction, filmType, longstrip), !direction,
                     inverse != 0);
}

}  // namespace kelvora
