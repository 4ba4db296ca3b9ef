#include "precise/film_splices.h"

#include <algorithm>

#include <opencv2/core.hpp>

#include "precise/row_light.h"

namespace kelvora {

namespace {

// A splice's band takes this much of the light at least.
constexpr double kDarker = 0.85;
// ...and leaves this much of it: the clear film beyond a track closed by the sound, or
// beside a negative's track, is no clear film at all.
constexpr double kCement = 0.5;
// Rows beside a band that keep less light than this are its soft edges.
constexpr double kSoftEdge = 0.99;
// The picture beside a positive's track darkens by this much at least.
constexpr double kPictureDarker = 0.9;

double median(std::vector<double> v) {
  if (v.empty()) return 0.0;
  std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
  return v[v.size() / 2];
}

}  // namespace

std::vector<int> spliceCrossings(const cv::Mat& strip, int columns, int bandRows, bool clearBeside,
                                 int framePitch, std::vector<double>* shade) {
  std::vector<int> middles;
  if (shade) shade->assign(static_cast<size_t>(strip.rows), 1.0);
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
    const int reach = 4 * band;
    const int stride = std::max(1, band / 4);
    std::vector<double> around(v.size());
    for (int y = 0; y < rows; y += stride) {
      const int a = std::max(0, y - reach), b = std::min(rows, y + reach + 1);
      const double m = median(std::vector<double>(v.begin() + a, v.begin() + b));
      for (int i = y; i < std::min(rows, y + stride); ++i) around[static_cast<size_t>(i)] = m;
    }
    return around;
  };
  const std::vector<double> around = aroundOf(together);
  // A variable-area positive's track can close, leaving little clear film beside it:
  // there the picture must darken too. A negative's clear base (what prints opaque) is
  // never short, nor is the plain film beside a variable-density track.
  std::vector<double> picture, pictureAround;
  if (!clearBeside && strip.cols - cols >= 4) {
    cv::Mat means;
    cv::reduce(strip.colRange(cols, strip.cols), means, 1, cv::REDUCE_AVG, CV_64F);
    picture.assign(means.begin<double>(), means.end<double>());
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
    bool clearLeft = true;
    for (; y < rows && darker(y); ++y)
      clearLeft =
          clearLeft && together[static_cast<size_t>(y)] >= kCement * around[static_cast<size_t>(y)];
    const int length = y - a;
    // A track whose clear area closes takes nearly all of the light, a splice a part.
    if (clearLeft && 3 * length >= band && length <= 4 * band && pictureDarker(a, y)) {
      middles.push_back((a + y - 1) / 2);
      if (shade) {
        // With the band's soft edges, where a row keeps most of its light but not all.
        const auto dimmed = [&](int i) {
          return together[static_cast<size_t>(i)] / around[static_cast<size_t>(i)];
        };
        int first = a, end = y;
        while (first > 0 && a - first < band / 2 && dimmed(first - 1) < kSoftEdge) --first;
        while (end < rows && end - y < band / 2 && dimmed(end) < kSoftEdge) ++end;
        for (int i = first; i < end; ++i)
          (*shade)[static_cast<size_t>(i)] = std::min(1.0, dimmed(i));
      }
    }
  }
  return middles;
}

double darkShare(const cv::Mat& strip, int columns) {
  const int cols = std::min(columns, strip.cols);
  if (cols < 1 || strip.rows < 1 || strip.channels() != 1) return 0.0;
  cv::Mat darkest, clearest;
  cv::reduce(strip.colRange(0, cols), darkest, 1, cv::REDUCE_MIN);
  cv::reduce(strip.colRange(0, cols), clearest, 1, cv::REDUCE_MAX);
  darkest.convertTo(darkest, CV_64F);
  clearest.convertTo(clearest, CV_64F);
  // Specks of dust, dark or bright, touch a few rows: the medians pass them by.
  const double o = median(std::vector<double>(darkest.begin<double>(), darkest.end<double>()));
  const double c = median(std::vector<double>(clearest.begin<double>(), clearest.end<double>()));
  return c > o ? o / (c - o) : 0.0;
}

}  // namespace kelvora
