#include "precise/reel_track.h"

#include <algorithm>
#include <cmath>

#include "film/track_bounds.h"
#include "precise/scan_sound.h"

namespace kelvora {

std::vector<float> columnMeans(const cv::Mat& strip) {
  cv::Mat means;
  cv::reduce(strip, means, 0, cv::REDUCE_AVG, CV_32F);
  return std::vector<float>(means.begin<float>(), means.end<float>());
}

double lateralOffset(const std::vector<float>& reference, const std::vector<float>& profile,
                     int reach) {
  const int n = static_cast<int>(std::min(reference.size(), profile.size()));
  if (n <= 2 * reach + 4) return 0.0;
  std::vector<double> score(static_cast<size_t>(2 * reach + 1));
  for (int s = -reach; s <= reach; ++s) {
    // Squared difference of the two profiles' slopes: edges count, plain levels do not.
    double sum = 0.0;
    for (int u = reach + 1; u < n - reach; ++u) {
      const double a = reference[u] - reference[u - 1];
      const double b = profile[u + s] - profile[u + s - 1];
      sum += (a - b) * (a - b);
    }
    score[static_cast<size_t>(s + reach)] = sum;
  }
  const auto best = std::min_element(score.begin(), score.end()) - score.begin();
  double offset = static_cast<double>(best - reach);
  if (best > 0 && best < static_cast<long>(score.size()) - 1) {
    const double l = score[best - 1], c = score[best], r = score[best + 1];
    const double bend = l - 2.0 * c + r;
    if (bend > 0.0) offset += 0.5 * (l - r) / bend;
  }
  return offset;
}

ReelTrack locateReelTrack(const std::vector<cv::Mat>& strips, bool variableDensity,
                          int trackWidth) {
  ReelTrack track;
  if (strips.empty() || strips.front().empty()) return track;
  cv::Mat film;
  cv::vconcat(strips, film);
  const int width = film.cols;
  track.variableDensity = variableDensity;
  track.margin = std::max(4, trackWidth / 12);

  // Levels of the track side, from every seventh row of film.
  std::vector<float> levels;
  const int side = std::min(width, trackWidth * 14 / 10);
  for (int y = 0; y < film.rows; y += 7) {
    const float* row = film.ptr<float>(y);
    levels.insert(levels.end(), row, row + side);
  }
  const auto at = [&levels](double share) {
    auto k = levels.begin() + static_cast<long>(share * (levels.size() - 1));
    std::nth_element(levels.begin(), k, levels.end());
    return *k;
  };
  const float dark = at(0.02), bright = at(0.98), middle = at(0.5);
  // Variable-area film is mostly opaque around its clear area; a negative of it is
  // mostly clear.
  if (!variableDensity && middle > 0.5f * (dark + bright)) {
    track.negative = true;
    film = 255.0f - film;
  }
  // locateTrack takes the film running side to side, as a scan is loaded. It looks
  // no further than the track and the plain film beside it, short of the picture, and
  // past any scratch.
  const int search = std::min(width, trackWidth * 27 / 20);
  cv::Mat mended = film.colRange(0, search).clone();
  mendScratches(mended, bright - dark, -1);
  const TrackBounds bounds = locateTrack(mended.t(), true, search);
  if (!bounds.found) return track;
  track.first = bounds.first;
  track.last = bounds.last;
  track.found = true;
  const int gap = 2 * track.margin;
  track.besideFirst = std::min(width - 1, track.last + gap);
  track.besideLast = std::min(width - 1, track.besideFirst + std::max(4, trackWidth / 6));
  track.profile = columnMeans(film);
  if (variableDensity) {
    const cv::Mat beside = film.colRange(track.besideFirst, track.besideLast + 1);
    const cv::Mat band = film.colRange(track.first, track.last + 1);
    const double reference = cv::mean(beside)[0];
    const double mean = cv::mean(band)[0];
    track.negative = reference < mean;  // the film beside a negative's track is dark
    track.light = reference > 1.0 ? reference : 1.0;
    track.level = mean / track.light;
  }
  return track;
}

}  // namespace kelvora
