#include "reel/dust.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace kelvora::reel {

namespace {

double overlap(double a0, double a1, double lo, double hi) {
  return std::max(0.0, std::min(hi, a1) - std::max(lo, a0));
}

}  // namespace

std::vector<Speck> scatterDust(const ReelOptions& o, const ReelGeometry& g) {
  std::vector<Speck> specks;
  if (o.dust <= 0.0 || g.totalRows <= 0) return specks;
  std::mt19937 rng(o.seed * 2654435761u + 97u);
  const double frames = g.totalRows / std::max(g.rowsPerFrame, 1.0);
  std::poisson_distribution<int> count(o.dust * frames);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const int n = count(rng);
  for (int k = 0; k < n; ++k) {
    Speck s;
    s.along = unit(rng) * g.totalRows;
    s.across =
        unit(rng) < 1.0 / 3.0 ? g.trackStart + unit(rng) * g.trackWidth : unit(rng) * g.filmWidth;
    s.diameter = 1.0 + 5.0 * unit(rng);
    s.bright = unit(rng) < 0.4;
    s.strength = 0.5 + 0.5 * unit(rng);
    specks.push_back(s);
  }
  std::sort(specks.begin(), specks.end(),
            [](const Speck& a, const Speck& b) { return a.along < b.along; });
  return specks;
}

std::vector<SpeckPixel> speckPixels(const ReelOptions& o, const ReelGeometry& g,
                                    const std::vector<Speck>& specks, const ScanPose& pose) {
  std::vector<SpeckPixel> pixels;
  const double reach = 2.0 + std::abs(alongAt(o, g, pose, 0.0, g.filmWidth) - pose.start) +
                       std::abs(alongAt(o, g, pose, 0.0, 0.0) - pose.start);
  for (size_t k = 0; k < specks.size(); ++k) {
    const Speck& s = specks[k];
    const double radius = 0.5 * s.diameter;
    if (s.along + radius < pose.start - reach ||
        s.along - radius > pose.start + g.scanLength + reach)
      continue;
    // Where the speck's centre lies on the turned scan (the weave and the turn moving
    // it a little), found by a few steps of the film's mapping.
    double y = s.along - pose.start - 0.5;
    double u = s.across - 0.5;
    for (int step = 0; step < 4; ++step) {
      u = s.across - 0.5 + sideShift(o, g, pose, y + 0.5);
      y = s.along - 0.5 - alongAt(o, g, pose, 0.0, u + 0.5);
    }
    const int y0 = std::max(0, static_cast<int>(std::floor(y - radius)) - 2);
    const int y1 = std::min(g.scanLength - 1, static_cast<int>(std::ceil(y + radius)) + 2);
    const int u0 = std::max(0, static_cast<int>(std::floor(u - radius)) - 2);
    const int u1 = std::min(g.filmWidth - 1, static_cast<int>(std::ceil(u + radius)) + 2);
    for (int py = y0; py <= y1; ++py) {
      for (int pu = u0; pu <= u1; ++pu) {
        const double top = alongAt(o, g, pose, py, pu + 0.5);
        double share = 0.0;
        for (int j = 0; j < kSubRows; ++j) {
          const double step = (j + 0.5) / kSubRows;
          const double ds = top + step - s.along;
          if (std::abs(ds) >= radius) continue;
          const double half = std::sqrt(radius * radius - ds * ds);
          const double c0 = pu - sideShift(o, g, pose, py + step);
          share += overlap(c0, c0 + 1.0, s.across - half, s.across + half);
        }
        share /= kSubRows;
        if (share > 0.0) pixels.push_back(SpeckPixel{py, pu, share, static_cast<int>(k)});
      }
    }
  }
  return pixels;
}

RowRange trackRowsOf(const ReelGeometry& g, const Speck& s) {
  const double radius = 0.5 * s.diameter;
  if (s.across + radius < g.trackStart - 1.0 ||
      s.across - radius > g.trackStart + g.trackWidth + 1.0)
    return {};
  return RowRange{static_cast<int>(std::floor(s.along - radius)) - 1,
                  static_cast<int>(std::ceil(s.along + radius)) + 1};
}

}  // namespace kelvora::reel
