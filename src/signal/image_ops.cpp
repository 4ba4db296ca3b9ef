#include "signal/image_ops.h"

#include <algorithm>

namespace kelvora {

cv::Mat turnQuarter(const cv::Mat& img, bool mirrorBefore, bool mirrorAfter) {
  if (img.empty()) return cv::Mat();
  cv::Mat out(img.cols, img.rows, img.type());
  const int w = img.cols;
  // A plain transpose leaves output row r at input column r and output column c at
  // input row c; the turn reverses the rows, each mirror reverses one of the two.
  const bool reverseRows = !mirrorAfter;
  const bool reverseColumns = mirrorBefore;
  const int flipCode = reverseRows ? (reverseColumns ? -1 : 0) : 1;
  // Stripes of about 128 output rows, each a small transpose that stays in cache and
  // is mirrored in place; the stripes run side by side.
  const int stripes = std::max(1, w / 128);
  cv::parallel_for_(cv::Range(0, stripes), [&](const cv::Range& range) {
    for (int k = range.start; k < range.end; ++k) {
      const int r0 = w * k / stripes;
      const int r1 = w * (k + 1) / stripes;
      cv::Mat dst = out.rowRange(r0, r1);
      cv::transpose(reverseRows ? img.colRange(w - r1, w - r0) : img.colRange(r0, r1), dst);
      if (reverseRows || reverseColumns) cv::flip(dst, dst, flipCode);
    }
  });
  return out;
}

cv::Mat rot90(const cv::Mat& reimg, int s) {
  cv::Mat out;
  if (reimg.empty()) return out;
  switch (s) {
    case 1:
      return turnQuarter(reimg, false, false);
    case 2:
      cv::rotate(reimg, out, cv::ROTATE_180);
      break;
    case 3:
      return turnQuarter(reimg, true, true);
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
