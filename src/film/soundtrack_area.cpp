#include "film/soundtrack_area.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "signal/image_ops.h"
#include "signal/profile.h"
#include "signal/rounding.h"

namespace kelvora {

namespace {

struct CutRange {
  int s;
  int e;
};

// A range found on the reversed profile of a DOWN scan, mapped back to the scan.
CutRange orient(CutRange r, int width, bool direction) {
  if (direction) return r;
  return CutRange{width - 1 - r.e, width - 1 - r.s};
}

// The column profile as seen from the track-side edge, differentiated.
Profile edgeDerivative(Profile p, bool direction) {
  if (!direction) inv(p);
  return derivative(p);
}

bool isSharpPeak(const Profile& d, int i, bool rising) {
  for (int k = i - 5; k <= i + 5; ++k) {
    if (k == i) continue;
    if (rising ? !(d[i] > d[k]) : !(d[i] < d[k])) return false;
  }
  return true;
}

CutRange variableAreaEdges(const Profile& d, int width, int t) {
  const int n = roundToInt(0.01 * width);
  const int len = static_cast<int>(d.size());

  // Search start: the first place after n + 1 columns of equal brightness.
  int q = n;
  for (int i = n; i < t && i <= len; ++i) {
    bool flat = true;
    for (int k = i - n; k < i && flat; ++k) flat = d[k] == 0.0f;
    if (flat) {
      q = i;
      break;
    }
  }

  // Only indices whose ten neighbours lie inside d are tested.
  const int lo = 5;
  const int hi = len - 6;
  int r = -1;
  for (int i = std::max(q, lo); i < t && i <= hi; ++i) {
    if (d[i] > 0.033 && isSharpPeak(d, i, true)) {
      r = i;
      break;
    }
  }
  int f = -1;
  for (int i = std::max(r >= 0 ? r : t, lo); i < t - 6 && i <= hi; ++i) {
    if (d[i] < -0.033 && isSharpPeak(d, i, false)) f = i;
  }

  const int margin = roundToInt(0.1 * t);
  return CutRange{r >= 0 ? r - margin : margin, f >= 0 ? f + margin : roundToInt(0.9 * t)};
}

CutRange variableDensityEdge(const Profile& d, int width) {
  const int n = roundToInt(0.2 * width);
  const float m = maxValue(d, 1, n);
  const int i = std::max(lastIndexOf(d, m, 0, n), 0);
  return CutRange{roundToInt(0.1 * i), roundToInt(0.85 * i)};
}

}  // namespace

int filParametersT(int filmType, const Resolution& res, Parameters& filPar) {
  switch (filmType) {
    case kVariableArea35:
      filPar.trackWidth = cmToPixels(res.x, 0.24);
      filPar.framePitch = cmToPixels(res.y, 1.919);
      break;
    case kVariableDensity35:
      filPar.trackWidth = cmToPixels(res.x, 0.254);
      filPar.framePitch = cmToPixels(res.y, 1.919);
      break;
    case kVariableArea16:
      filPar.trackWidth = cmToPixels(res.x, 0.24);
      filPar.framePitch = cmToPixels(res.y, 0.762);
      break;
    default:
      break;
  }
  return 1;
}

namespace {

// One colour element of every pixel of `area`, as a single-channel image.
cv::Mat soundChannel(const cv::Mat& area, int image) {
  cv::Mat out(area.rows, area.cols, CV_8UC1);
  const int channels = area.channels();
  if (channels == 1) {
    area.copyTo(out);
    return out;
  }
  for (int y = 0; y < area.rows; ++y) {
    const std::uint8_t* in = area.ptr<std::uint8_t>(y);
    std::uint8_t* o = out.ptr<std::uint8_t>(y);
    for (int x = 0; x < area.cols; ++x) {
      const std::uint8_t* px = in + x * channels;
      switch (image) {
        case kBlue:
          o[x] = px[0];
          break;
        case kGreen:
          o[x] = px[1];
          break;
        case kLuma:
          o[x] = static_cast<std::uint8_t>(
              truncToInt((0.587 * px[1] + 0.114 * px[0]) + 0.299 * px[2]));
          break;
        default:
          o[x] = px[2];
          break;
      }
    }
  }
  return out;
}

// Where `preprocessing` cuts, from the red column profile of the turned scan.
CutRange colourCut(const Profile& redMeans, int w, int filmType, const Parameters& filPar,
                   bool direction) {
  const Profile d = edgeDerivative(redMeans, direction);
  const int n = roundToInt((filmType == kVariableArea16 ? 0.07 : 0.02) * w);
  const float m = maxValue(d, 1, n);
  const int s0 = std::max(lastIndexOf(d, m, 0, n), 0);

  const int t = filPar.trackWidth;
  CutRange r{s0, s0 + t};
  if (filmType == kVariableDensity35) {
    r.s = s0 + roundToInt(0.04 * t);
    r.e = r.s + t - roundToInt(0.26 * t);
  } else if (filmType == kVariableArea16) {
    r.e = s0 + t + roundToInt(0.1 * t);
  }
  return orient(r, w, direction);
}

// Where `preprocessingBW` cuts, from the count of bright pixels in each column of the
// turned scan, which has `h` rows.
CutRange brightCut(const std::vector<std::uint32_t>& bright, int h, int filmType,
                   const Parameters& filPar, bool direction) {
  const int w = static_cast<int>(bright.size());
  // The share of pixels above half scale in each column: the column means of the
  // thresholded (0 or 1) image.
  Profile p(static_cast<size_t>(w));
  for (int x = 0; x < w; ++x) p[x] = static_cast<float>(bright[x]) / static_cast<float>(h);
  const Profile d = edgeDerivative(std::move(p), direction);
  const CutRange r = filmType == kVariableDensity35 ? variableDensityEdge(d, w)
                                                    : variableAreaEdges(d, w, filPar.trackWidth);
  return orient(r, w, direction);
}

const std::uint8_t kHalfScale = 127;  // grey values of 128 and above count as bright

cv::Mat greyOf(const cv::Mat& scan) {
  if (scan.channels() != 3) return scan;
  cv::Mat grey;
  cv::cvtColor(scan, grey, cv::COLOR_BGR2GRAY);
  return grey;
}

// The band of rows [s, e] of a scan lying as loaded, clamped like `cutSoundtrack`,
// turned as the turned scan's columns [s, e] would be.
cv::Mat cutScanBand(const cv::Mat& scan, int s, int e, int image) {
  const int w = scan.rows;
  s = std::clamp(s, 0, w - 1);
  e = std::clamp(e, s, w - 1);
  return rot90(soundChannel(scan.rowRange(s, e + 1), image), 1);
}

}  // namespace

std::vector<std::uint32_t> brightInRows(const cv::Mat& scan) {
  std::vector<std::uint32_t> bright(static_cast<size_t>(scan.rows), 0);
  // A colour scan is made grey a row at a time, into a row that stays in the cache.
  cv::Mat greyRow;
  for (int y = 0; y < scan.rows; ++y) {
    const std::uint8_t* row = scan.ptr<std::uint8_t>(y);
    if (scan.channels() == 3) {
      cv::cvtColor(scan.row(y), greyRow, cv::COLOR_BGR2GRAY);
      row = greyRow.ptr<std::uint8_t>();
    }
    std::uint32_t count = 0;
    for (int i = 0; i < scan.cols; ++i) count += row[i] > kHalfScale ? 1u : 0u;
    bright[y] = count;
  }
  return bright;
}

cv::Mat cutSoundtrack(const cv::Mat& reimg, int s, int e, int image) {
  const int w = reimg.cols;
  const int h = reimg.rows;
  if (w < 1 || h < 1) return cv::Mat();
  s = std::clamp(s, 0, w - 1);
  e = std::clamp(e, s, w - 1);
  return soundChannel(reimg.colRange(s, e + 1), image);
}

cv::Mat preprocessing(const cv::Mat& reimg, int filmType, const Parameters& filPar, int image,
                      bool direction) {
  const int w = reimg.cols;
  const int h = reimg.rows;
  const CutRange r =
      colourCut(meanValue(reimg, 1, w, 1, h, 3, true), w, filmType, filPar, direction);
  return cutSoundtrack(reimg, r.s, r.e, image);
}

cv::Mat preprocessingBW(const cv::Mat& reimg, int filmType, const Parameters& filPar, int image,
                        bool direction) {
  const int w = reimg.cols;
  const int h = reimg.rows;
  if (w < 1 || h < 1) return cv::Mat();
  const cv::Mat grey = greyOf(reimg);
  std::vector<std::uint32_t> bright(static_cast<size_t>(w), 0);
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* row = grey.ptr<std::uint8_t>(y);
    for (int x = 0; x < w; ++x) bright[x] += row[x] > kHalfScale ? 1u : 0u;
  }
  const CutRange r = brightCut(bright, h, filmType, filPar, direction);
  return cutSoundtrack(reimg, r.s, r.e, image);
}

cv::Mat preprocessingOfScan(const cv::Mat& scan, int filmType, const Parameters& filPar, int image,
                            bool direction) {
  if (scan.empty()) return cv::Mat();
  const CutRange r = colourCut(turnedColumnMeans(scan, 3), scan.rows, filmType, filPar, direction);
  return cutScanBand(scan, r.s, r.e, image);
}

ScanRows soundtrackRowsOfScan(const cv::Mat& scan, int filmType, const Parameters& filPar,
                              bool direction, bool cutBySoundtrack) {
  if (scan.empty()) return ScanRows{};
  const CutRange r =
      cutBySoundtrack
          ? colourCut(turnedColumnMeans(scan, 3), scan.rows, filmType, filPar, direction)
          : brightCut(brightInRows(scan), scan.cols, filmType, filPar, direction);
  const int s = std::clamp(r.s, 0, scan.rows - 1);
  return ScanRows{s, std::clamp(r.e, s, scan.rows - 1)};
}

cv::Mat preprocessingBWOfScan(const cv::Mat& scan, int filmType, const Parameters& filPar,
                              int image, bool direction) {
  if (scan.empty()) return cv::Mat();
  const CutRange r = brightCut(brightInRows(scan), scan.cols, filmType, filPar, direction);
  return cutScanBand(scan, r.s, r.e, image);
}

}  // namespace kelvora
