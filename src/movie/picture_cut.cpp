#include "movie/picture_cut.h"

#include <algorithm>
#include <cmath>

#include <opencv2/imgproc.hpp>

#include "film/film_geometry.h"
#include "signal/profile.h"
#include "signal/rounding.h"

namespace kelvora {

namespace {

// The threshold fraction by brightness; a brightness on a bound takes the middle band.
double thresholdFraction(int filmType, float brightness) {
  const float low = filmType == kVariableArea16 ? 40.0f : 2.5f;
  if (brightness < low) return 0.015;
  if (brightness > 100.0f) return 0.25;
  return 0.2;
}

struct EdgeSearch {
  double from;  // fractions of the width, inclusive
  double to;
  bool falling;
  double level;
};

EdgeSearch leftEdgeSearch(int filmType, bool dark) {
  switch (filmType) {
    case kVariableDensity35:
      return dark ? EdgeSearch{0.06, 0.3, true, -0.005} : EdgeSearch{0.06, 0.12, false, 0.2};
    case kVariableArea16:
      return dark ? EdgeSearch{0.06, 0.34, true, -0.005} : EdgeSearch{0.06, 0.33, false, 0.09};
    default:
      return dark ? EdgeSearch{0.03, 0.2, true, -0.01} : EdgeSearch{0.03, 0.2, false, 0.15};
  }
}

int leftEdge(const cv::Mat& binary, int filmType, float brightness) {
  const int w = binary.cols;
  const int h = binary.rows;
  Profile e = derivative(meanValue(binary, 1, w, 1, h, 1, true));
  const int s = singleRounded(0.05f, h);
  float m = 0.0f;
  for (int j = std::max(s, 0); j < static_cast<int>(e.size()); ++j) m = std::max(m, std::abs(e[j]));
  if (m == 0.0f) return 0;
  for (float& v : e) v = v / m;

  const EdgeSearch search = leftEdgeSearch(filmType, brightness < 32.0f);
  const int from = std::max(roundToInt(search.from * w), 0);
  const int to = std::min(roundToInt(search.to * w), static_cast<int>(e.size()) - 1);
  int left = 0;
  for (int j = from; j <= to; ++j) {
    if (search.falling ? e[j] < search.level : e[j] > search.level) left = j;
  }
  return left;
}

cv::Rect clipped(const cv::Mat& scan, int top, int bottom, int left, int right) {
  top = std::clamp(top, 0, scan.rows - 1);
  bottom = std::clamp(bottom, top, scan.rows - 1);
  left = std::clamp(left, 0, scan.cols - 1);
  right = std::clamp(right, left, scan.cols - 1);
  return cv::Rect(left, top, right - left + 1, bottom - top + 1);
}

}  // namespace

PictureRect findPicture(const cv::Mat& reimg, const ParametersM& filParM, int filmType,
                        int longstrip, int image_sound) {
  const int w = reimg.cols;
  const int h = reimg.rows;
  const float brightness = scanBrightness(reimg);
  const cv::Mat binary = binaryAbove(reimg, 255.0 * thresholdFraction(filmType, brightness));

  // Rows across the picture side only: the soundtrack lies on the left.
  const int c0 = singleRounded(0.2f, w);
  const Profile d = derivative(meanValue(binary, std::max(c0, 1), w, 1, h, 1, false));
  const bool sixteenStrip = filmType == kVariableArea16 && longstrip != 0;
  const int lo = truncToInt((sixteenStrip ? 0.01 : 0.05) * h);
  const int hi = truncToInt((sixteenStrip ? 0.18 : 0.35) * h);
  const int step = firstIndexOf(d, maxValue(d, lo, hi), lo, hi);

  PictureRect rect;
  rect.top = step < 0 ? 1 : step + 1;
  rect.bottom = rect.top + filParM.cut_height - 1;
  if (image_sound != 0) {
    rect.left = leftEdge(binary, filmType, brightness);
    rect.right = rect.left + filParM.cut_width;
  } else {
    rect.left = 0;
    rect.right = w - 1;
  }
  return rect;
}

cv::Mat cutBW(const cv::Mat& reimg, FrameSink& writer, const ParametersM& filParM, int filmType,
              int longstrip, int image_sound, int film_width, int film_height) {
  if (reimg.empty() || filmType < kVariableArea35 || filmType > kVariableArea16) return cv::Mat();
  const PictureRect r = findPicture(reimg, filParM, filmType, longstrip, image_sound);

  if (filmType == kVariableArea16 && longstrip != 0) {
    const int q = filParM.cut_height / 4;
    for (int k = 0; k < 4; ++k) {
      const int top = r.top + k * (q - 1);
      const cv::Mat frame = reimg(clipped(reimg, top, top + q - 1, r.left, r.right));
      cv::Mat scaled;
      cv::resize(frame, scaled, cv::Size(film_width, film_height), 0, 0, cv::INTER_CUBIC);
      cv::flip(scaled, scaled, 1);
      writer.write(scaled);
    }
    return cv::Mat();
  }
  // A view into the scan: it shares the pixels and keeps them alive as long as needed.
  return reimg(clipped(reimg, r.top, r.bottom, r.left, r.right));
}

}  // namespace kelvora
