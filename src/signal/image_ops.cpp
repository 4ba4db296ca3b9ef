#include "signal/image_ops.h"

#include <algorithm>

namespace kelvora {

namespace {

// A quarter turn done in stripes of about 128 output rows, each one a small
// transpose that stays in cache; the stripes run side by side.
cv::Mat quarterTurn(const cv::Mat& in, bool counterClockwise) {
  cv::Mat out(in.cols, in.rows, in.type());
  const int w = in.cols;
  const int stripes = std::max(1, w / 128);
  cv::parallel_for_(cv::Range(0, stripes), [&](const cv::Range& range) {
    for (int k = range.start; k < range.end; ++k) {
      const int r0 = w * k / stripes;
      const int r1 = w * (k + 1) / stripes;
      cv::Mat dst = out.rowRange(r0, r1);
      // Output row r holds input column w - 1 - r (counter-clockwise) or r (clockwise).
      if (counterClockwise) {
        cv::rotate(in.colRange(w - r1, w - r0), dst, cv::ROTATE_90_COUNTERCLOCKWISE);
      } else {
        cv::rotate(in.colRange(r0, r1), dst, cv::ROTATE_90_CLOCKWISE);
      }
    }
  });
  return out;
}

}  // namespace

cv::Mat rot90(const cv::Mat& reimg, int s) {
  cv::Mat out;
  if (reimg.empty()) return out;
  switch (s) {
    case 1:
      return quarterTurn(reimg, true);
    case 2:
      cv::rotate(reimg, out, cv::ROTATE_180);
      break;
    case 3:
      return quarterTurn(reimg, false);
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
