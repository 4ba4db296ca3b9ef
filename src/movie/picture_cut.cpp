#include "movie/picture_cut.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "film/film_geometry.h"
#include "signal/image_ops.h"
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

// The left edge of the picture from the column means of the binary turned scan,
// `w` x `h` pixels.
int leftEdge(const Profile& columnMeans, int w, int h, int filmType, float brightness) {
  Profile e = derivative(columnMeans);
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

cv::Rect clipped(cv::Size scan, int top, int bottom, int left, int right) {
  top = std::clamp(top, 0, scan.height - 1);
  bottom = std::clamp(bottom, top, scan.height - 1);
  left = std::clamp(left, 0, scan.width - 1);
  right = std::clamp(right, left, scan.width - 1);
  return cv::Rect(left, top, right - left + 1, bottom - top + 1);
}

// What the search for the picture reads of a turned scan of `w` x `h` pixels: its
// brightness, the row means of its binary image right of the soundtrack, and the
// column means of that image (only when the soundtrack is cut away).
struct PictureProfiles {
  int w = 0;
  int h = 0;
  float brightness = 0.0f;
  Profile pictureRows;
  Profile binaryColumns;
};

// The first row of the picture side below the search's first column, counted from 1.
int pictureSideStart(int w) { return std::max(singleRounded(0.2f, w), 1); }

PictureRect pictureFrom(const PictureProfiles& p, const ParametersM& filParM, int filmType,
                        int longstrip, int image_sound) {
  const int h = p.h;
  const Profile d = derivative(p.pictureRows);
  const bool sixteenStrip = filmType == kVariableArea16 && longstrip != 0;
  const int lo = truncToInt((sixteenStrip ? 0.01 : 0.05) * h);
  const int hi = truncToInt((sixteenStrip ? 0.18 : 0.35) * h);
  const int step = firstIndexOf(d, maxValue(d, lo, hi), lo, hi);

  PictureRect rect;
  rect.top = step < 0 ? 1 : step + 1;
  rect.bottom = rect.top + filParM.cut_height - 1;
  if (image_sound != 0) {
    rect.left = leftEdge(p.binaryColumns, p.w, h, filmType, p.brightness);
    rect.right = rect.left + filParM.cut_width;
  } else {
    rect.left = 0;
    rect.right = p.w - 1;
  }
  return rect;
}

// The share of each column of `grey` above `threshold`, last column first: the means
// turnedRowMeans gives of its binary image, counted without making one.
Profile turnedShareAbove(const cv::Mat& grey, int threshold) {
  const int cols = grey.cols;
  std::vector<std::uint32_t> counts(static_cast<size_t>(cols), 0);
  if (threshold < 0) std::fill(counts.begin(), counts.end(), grey.rows);
  if (threshold >= 0 && threshold < 255) {
    // Counted in bytes, each widened before 256 rows could overflow it.
    const auto level = static_cast<std::uint8_t>(threshold);
    std::vector<std::uint8_t> partial(static_cast<size_t>(cols));
    constexpr int kRowsPerPartial = 255;
    for (int y0 = 0; y0 < grey.rows; y0 += kRowsPerPartial) {
      std::fill(partial.begin(), partial.end(), 0);
      for (int y = y0; y < std::min(y0 + kRowsPerPartial, grey.rows); ++y) {
        const std::uint8_t* g = grey.ptr<std::uint8_t>(y);
        for (int x = 0; x < cols; ++x)
          partial[x] = static_cast<std::uint8_t>(partial[x] + (g[x] > level ? 1 : 0));
      }
      for (int x = 0; x < cols; ++x) counts[x] += partial[x];
    }
  }
  Profile shares(static_cast<size_t>(cols));
  const float count = static_cast<float>(grey.rows);
  for (int i = 0; i < cols; ++i)
    shares[i] = static_cast<float>(counts[static_cast<size_t>(cols - 1 - i)]) / count;
  return shares;
}

// The profiles of turnQuarter(scan, mirrorBefore, mirrorAfter), read from the scan as
// loaded: a turned row is a column of the scan and a turned column one of its rows,
// each run backwards or forwards as the turn and the mirrors place them.
PictureProfiles unturnedProfiles(const cv::Mat& scan, bool mirrorBefore, bool mirrorAfter,
                                 int filmType, int image_sound) {
  PictureProfiles p;
  p.w = scan.rows;
  p.h = scan.cols;
  // The turned columns run over the scan's rows, last row first when mirrored before.
  const auto alongColumns = [&](Profile v) {
    if (mirrorBefore) std::reverse(v.begin(), v.end());
    return v;
  };
  // The turned rows run over the scan's columns, last column first unless mirrored
  // after; turnedRowMeans gives them last column first.
  const auto alongRows = [&](Profile v) {
    if (mirrorAfter) std::reverse(v.begin(), v.end());
    return v;
  };
  // The picture side's rows of the scan (counted from 1), right of the soundtrack once
  // turned.
  const int from = pictureSideStart(p.w);
  const int first = mirrorBefore ? 1 : from;
  const int last = mirrorBefore ? p.w - from + 1 : p.w;
  const int channels = scan.channels();
  if (image_sound == 0 && first <= last && scan.depth() == CV_8U &&
      (channels == 1 || channels == 3)) {
    // One pass over the scan, a band of rows at a time while they are in the cache:
    // each row's brightness and the picture side's grey; then the grey is counted
    // against the level the brightness sets.
    constexpr int kBandRows = 32;
    Profile rowBrightness;
    rowBrightness.reserve(static_cast<size_t>(scan.rows));
    const cv::Mat side = scan.rowRange(first - 1, last);
    cv::Mat grey = channels == 1 ? side : cv::Mat(side.size(), CV_8UC1);
    for (int y = 0; y < scan.rows; y += kBandRows) {
      const int end = std::min(y + kBandRows, scan.rows);
      const Profile band = meanValue(scan.rowRange(y, end), 1, scan.cols, 1, end - y, 1, false);
      rowBrightness.insert(rowBrightness.end(), band.begin(), band.end());
      const int g0 = std::max(y, first - 1);
      const int g1 = std::min(end, last);
      if (channels == 3 && g0 < g1) {
        cv::Mat out = grey.rowRange(g0 - (first - 1), g1 - (first - 1));
        cv::cvtColor(scan.rowRange(g0, g1), out, cv::COLOR_BGR2GRAY);
      }
    }
    p.brightness = mean(alongColumns(rowBrightness));
    const double level = 255.0 * thresholdFraction(filmType, p.brightness);
    p.pictureRows = alongRows(turnedShareAbove(grey, cvFloor(level)));
    return p;
  }
  p.brightness = mean(alongColumns(meanValue(scan, 1, scan.cols, 1, scan.rows, 1, false)));
  const double level = 255.0 * thresholdFraction(filmType, p.brightness);
  const cv::Mat binary = binaryAbove(scan, level);
  p.pictureRows = alongRows(turnedRowMeans(binary, first, last, 1));
  if (image_sound != 0)
    p.binaryColumns = alongColumns(meanValue(binary, 1, scan.cols, 1, scan.rows, 1, false));
  return p;
}

// Whether every sum the search takes is exact in single precision whichever way it
// runs, so that it can be read from the scan as loaded.
bool exactEitherWay(const cv::Mat& scan) {
  constexpr long long kExact = 1 << 24;
  return static_cast<long long>(scan.rows) * 255 < kExact &&
         static_cast<long long>(scan.cols) * 255 < kExact;
}

// The part of the scan that turns into `turned`, a rectangle of
// turnQuarter(scan, mirrorBefore, mirrorAfter).
cv::Rect scanRectOf(const cv::Rect& turned, const cv::Mat& scan, bool mirrorBefore,
                    bool mirrorAfter) {
  const int x = mirrorAfter ? turned.y : scan.cols - turned.y - turned.height;
  const int y = mirrorBefore ? scan.rows - turned.x - turned.width : turned.x;
  return cv::Rect(x, y, turned.height, turned.width);
}

// The picture or pictures of a scan, given the picture rectangle of the turned scan, a
// way to make the turned pixels of any rectangle of it (`pixels`) and the same scaled to
// a size (`scaled`).
template <typename Pixels, typename Scaled>
auto cutPictures(cv::Size turned, const PictureRect& r, Pixels pixels, Scaled scaled,
                 FrameSink& writer, const ParametersM& filParM, int filmType, int longstrip,
                 int film_width, int film_height) {
  if (filmType == kVariableArea16 && longstrip != 0) {
    const int q = filParM.cut_height / 4;
    for (int k = 0; k < 4; ++k) {
      const int top = r.top + k * (q - 1);
      cv::Mat frame = scaled(clipped(turned, top, top + q - 1, r.left, r.right),
                             cv::Size(film_width, film_height));
      cv::flip(frame, frame, 1);
      writer.write(frame);
    }
    return decltype(pixels(cv::Rect()))();
  }
  return pixels(clipped(turned, r.top, r.bottom, r.left, r.right));
}

cv::Mat scaledCubic(const cv::Mat& frame, cv::Size size) {
  cv::Mat scaled;
  cv::resize(frame, scaled, size, 0, 0, cv::INTER_CUBIC);
  return scaled;
}

}  // namespace

PictureRect findPicture(const cv::Mat& reimg, const ParametersM& filParM, int filmType,
                        int longstrip, int image_sound) {
  PictureProfiles p;
  p.w = reimg.cols;
  p.h = reimg.rows;
  p.brightness = scanBrightness(reimg);
  const cv::Mat binary = binaryAbove(reimg, 255.0 * thresholdFraction(filmType, p.brightness));
  // Rows across the picture side only: the soundtrack lies on the left.
  p.pictureRows = meanValue(binary, pictureSideStart(p.w), p.w, 1, p.h, 1, false);
  if (image_sound != 0) p.binaryColumns = meanValue(binary, 1, p.w, 1, p.h, 1, true);
  return pictureFrom(p, filParM, filmType, longstrip, image_sound);
}

cv::Mat cutBW(const cv::Mat& reimg, FrameSink& writer, const ParametersM& filParM, int filmType,
              int longstrip, int image_sound, int film_width, int film_height) {
  if (reimg.empty() || filmType < kVariableArea35 || filmType > kVariableArea16) return cv::Mat();
  const PictureRect r = findPicture(reimg, filParM, filmType, longstrip, image_sound);
  // A view into the scan: it shares the pixels and keeps them alive as long as needed.
  const auto view = [&](const cv::Rect& rect) { return reimg(rect); };
  const auto scaled = [&](const cv::Rect& rect, cv::Size size) {
    return scaledCubic(reimg(rect), size);
  };
  return cutPictures(reimg.size(), r, view, scaled, writer, filParM, filmType, longstrip,
                     film_width, film_height);
}

ScanPicture cutUnturned(const cv::Mat& scan, bool mirrorBefore, bool mirrorAfter, FrameSink& writer,
                        const ParametersM& filParM, int filmType, int longstrip, int image_sound,
                        int film_width, int film_height) {
  if (scan.empty() || filmType < kVariableArea35 || filmType > kVariableArea16) return {};
  if (!exactEitherWay(scan))
    return {cutBW(turnQuarter(scan, mirrorBefore, mirrorAfter), writer, filParM, filmType,
                  longstrip, image_sound, film_width, film_height)};
  const PictureRect r =
      pictureFrom(unturnedProfiles(scan, mirrorBefore, mirrorAfter, filmType, image_sound), filParM,
                  filmType, longstrip, image_sound);
  const auto lying = [&](const cv::Rect& rect) {
    return ScanPicture{scan(scanRectOf(rect, scan, mirrorBefore, mirrorAfter)), true, mirrorBefore,
                       mirrorAfter};
  };
  const auto scaled = [&](const cv::Rect& rect, cv::Size size) {
    return uprightScaled(lying(rect), size);
  };
  return cutPictures(cv::Size(scan.rows, scan.cols), r, lying, scaled, writer, filParM, filmType,
                     longstrip, film_width, film_height);
}

}  // namespace kelvora
