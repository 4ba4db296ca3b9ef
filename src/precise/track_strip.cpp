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
  cv::Mat strip;
  if (direction) {
    cv::rotate(element, strip, cv::ROTATE_90_COUNTERCLOCKWISE);
  } else {
    cv::transpose(element, strip);  // the track-side edge first, the film as when up
    cv::flip(strip, strip, -1);
  }
  return strip;
}

StripLevels levelsOf(const cv::Mat& strip, bool inverted) {
  return StripLevels{strip.depth() == CV_16U ? 1.0 / 257.0 : 1.0, inverted};
}

cv::Mat stripLevels(const cv::Mat& strip, const StripLevels& levels) {
  cv::Mat out;
  if (levels.inverted) {
    strip.convertTo(out, CV_32F, -levels.scale, 255.0);
  } else {
    strip.convertTo(out, CV_32F, levels.scale);
  }
  return out;
}

std::vector<float> columnMeans(const cv::Mat& strip, const StripLevels& levels) {
  cv::Mat sums;
  cv::reduce(strip, sums, 0, cv::REDUCE_AVG, CV_32F);
  std::vector<float> means(sums.begin<float>(), sums.end<float>());
  for (float& m : means) m = static_cast<float>(levels.of(m));
  return means;
}

std::vector<float> levelShares(const cv::Mat& levels, const std::vector<double>& shares) {
  constexpr int kSteps = 4;  // bins a level
  constexpr int kTop = 256 * kSteps;
  std::vector<long> count(kTop + 1, 0);
  for (int y = 0; y < levels.rows; ++y) {
    const float* row = levels.ptr<float>(y);
    for (int x = 0; x < levels.cols; ++x)
      ++count[static_cast<size_t>(std::clamp(static_cast<int>(row[x] * kSteps), 0, kTop))];
  }
  const long total = static_cast<long>(levels.total());
  std::vector<float> at;
  for (const double share : shares) {
    const long want = static_cast<long>(share * static_cast<double>(std::max(total - 1, 0L)));
    long seen = 0;
    int bin = 0;
    while (bin < kTop && seen + count[static_cast<size_t>(bin)] <= want)
      seen += count[static_cast<size_t>(bin++)];
    at.push_back(static_cast<float>(bin) / kSteps);
  }
  return at;
}

std::vector<double> rowMeans(const cv::Mat& strip, const StripLevels& levels) {
  cv::Mat sums;
  cv::reduce(strip, sums, 1, cv::REDUCE_AVG, CV_64F);
  std::vector<double> means(sums.begin<double>(), sums.end<double>());
  for (double& m : means) m = levels.of(m);
  return means;
}

}  // namespace kelvora
