#include "precise/film_splices.h"

#include <algorithm>
#include <cmath>

#include <opencv2/core.hpp>

#include "precise/row_light.h"
#include "precise/track_strip.h"
#include "signal/side_by_side.h"

namespace kelvora {

namespace {

// A splice's band takes this much of the light at least.
constexpr double kDarker = 0.85;
// ...and leaves this much of it: the clear film beyond a track closed by the sound, or
// beside a negative's track, is no clear film at all.
constexpr double kCement = 0.5;
// The picture beside a positive's track darkens by this much at least.
constexpr double kPictureDarker = 0.9;

}  // namespace

std::vector<double> runningMedians(const std::vector<double>& v, int reach, int stride) {
  const int rows = static_cast<int>(v.size());
  stride = std::max(1, stride);
  std::vector<double> around(v.size());
  // Where every level is a number and no zero is negative, levels that compare equal are
  // the same: the rows left and reached are taken out and put in all at once, in order.
  const bool plain = std::none_of(v.begin(), v.end(), [](double level) {
    return std::isnan(level) || (level == 0.0 && std::signbit(level));
  });
  // Each stretch's median is its own, so the stretches are taken in stripes side by side.
  // A stripe keeps its stretch's levels in order as it moves along, the rows it leaves
  // taken out and those it reaches put in.
  sideBySide((rows + stride - 1) / stride, [&](int first, int end) {
    std::vector<double> sorted, kept, leaving, reached;
    int from = 0, to = 0;  // the rows in `sorted`
    for (int y = first * stride; y < std::min(rows, end * stride); y += stride) {
      const int a = std::max(0, y - reach), b = std::min(rows, y + reach + 1);
      bool moved = !sorted.empty() && a < to;
      if (moved && plain) {
        leaving.assign(v.begin() + from, v.begin() + std::max(from, a));
        std::sort(leaving.begin(), leaving.end());
        kept.clear();
        size_t j = 0;
        for (const double level : sorted) {
          if (j < leaving.size() && level == leaving[j])
            ++j;
          else
            kept.push_back(level);
        }
        moved = j == leaving.size();
        if (moved) {
          reached.assign(v.begin() + std::min(to, b), v.begin() + b);
          std::sort(reached.begin(), reached.end());
          sorted.resize(kept.size() + reached.size());
          std::merge(kept.begin(), kept.end(), reached.begin(), reached.end(), sorted.begin());
        }
      } else {
        for (int i = from; moved && i < a; ++i) {
          const auto at = std::lower_bound(sorted.begin(), sorted.end(), v[static_cast<size_t>(i)]);
          moved = at != sorted.end() && *at == v[static_cast<size_t>(i)];  // else not a number
          if (moved) sorted.erase(at);
        }
        for (int i = to; moved && i < b; ++i) {
          const double level = v[static_cast<size_t>(i)];
          sorted.insert(std::upper_bound(sorted.begin(), sorted.end(), level), level);
        }
      }
      if (!moved) {
        sorted.assign(v.begin() + a, v.begin() + b);
        std::sort(sorted.begin(), sorted.end());
      }
      from = a;
      to = b;
      const double m = sorted[sorted.size() / 2];
      for (int i = y; i < std::min(rows, y + stride); ++i) around[static_cast<size_t>(i)] = m;
    }
  });
  return around;
}

std::vector<int> spliceCrossings(const cv::Mat& strip, int columns, int bandRows, bool clearBeside,
                                 int framePitch) {
  std::vector<int> middles;
  const int cols = std::min(columns, strip.cols);
  const int band = std::max(bandRows, 3);
  const int rows = strip.rows;
  if (cols < 8 || rows < 8 * band || strip.channels() != 1) return middles;
  const std::vector<double> together = rowLight(strip, cols);
  const double brightest = *std::max_element(together.begin(), together.end());
  if (!(brightest > 0.0)) return middles;

  // Each row against the film around it, four bands either way: a band darkens a few
  // of those rows only.
  const auto aroundOf = [&](const std::vector<double>& v) {
    return runningMedians(v, 4 * band, std::max(1, band / 4));
  };
  const std::vector<double> around = aroundOf(together);
  // A variable-area positive's track can close, leaving little clear film beside it:
  // there the picture must darken too. A negative's clear base (what prints opaque) is
  // never short, nor is the plain film beside a variable-density track.
  std::vector<double> picture, pictureAround;
  if (!clearBeside && strip.cols - cols >= 4) {
    picture = rowMeans(strip.colRange(cols, strip.cols));
    pictureAround = aroundOf(picture);
  }
  const auto pictureDarker = [&](int a, int b) {
    if (picture.empty()) return true;
    double in = 0.0, out = 0.0;
    for (int y = a; y < b; ++y) {
      in += picture[static_cast<size_t>(y)];
      out += pictureAround[static_cast<size_t>(y)];
    }
    if (in < kPictureDarker * out) return true;
    // Splices are made at a frame line, whose dark bar makes the picture around the
    // band no measure. The same rows a frame before or after are, give or take the
    // film's shrinkage: the bar repeats there, the cement does not.
    for (const int step : {-framePitch, framePitch}) {
      if (framePitch <= 0 || a + step < 0 || b + step > rows) continue;
      double there = 0.0;
      for (int y = a; y < b; ++y) there += picture[static_cast<size_t>(y + step)];
      if (in < kPictureDarker * there) return true;
    }
    return false;
  };
  const auto darker = [&](int y) {
    const double ref = around[static_cast<size_t>(y)];
    return ref > 0.05 * brightest && together[static_cast<size_t>(y)] < kDarker * ref;
  };
  for (int y = 0; y < rows;) {
    if (!darker(y)) {
      ++y;
      continue;
    }
    const int a = y;
    int closed = 0;  // rows keeping less than the cement leaves
    for (; y < rows && darker(y); ++y)
      closed += together[static_cast<size_t>(y)] < kCement * around[static_cast<size_t>(y)];
    const int length = y - a;
    // A track whose clear area closes takes nearly all of the light, a splice a part;
    // the sound's bump at the splice may close the track on a few rows of the band.
    if (4 * closed < length && 3 * length >= band && length <= 4 * band && pictureDarker(a, y))
      middles.push_back((a + y - 1) / 2);
  }
  return middles;
}

}  // namespace kelvora
