#include "reel/ideal_reader.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "precise/reel_level.h"
#include "precise/scan_joins.h"
#include "precise/track_strip.h"
#include "scans/dpx_reader.h"

namespace kelvora::reel {

std::vector<float> idealSound(const Reel& reel) {
  const ReelOptions& o = reel.options;
  const ReelGeometry& g = reel.geometry;
  const int n = static_cast<int>(reel.scanPaths.size());
  std::vector<ScanSound> scans(static_cast<size_t>(n));
  JoinPlan plan;
  plan.joins.resize(static_cast<size_t>(n));
  const double kTwoPi = 6.283185307179586;
  for (int index = 0; index < n; ++index) {
    // The scans in playing order, whichever way the film went through the scanner.
    const int k = o.inverse ? n - 1 - index : index;
    cv::Mat scan;
    if (const std::string e = readFullDepth(reel.scanPaths[static_cast<size_t>(k)], scan);
        !e.empty())
      throw std::runtime_error(e);
    const cv::Mat turned = trackStrip(scan, 2, o.directionUp, scan.rows);
    cv::Mat strip = stripLevels(turned, levelsOf(turned));
    if (o.inverse) cv::flip(strip, strip, 0);
    std::vector<float>& samples = scans[static_cast<size_t>(index)].samples;
    samples.resize(static_cast<size_t>(strip.rows));
    for (int y = 0; y < strip.rows; ++y) {
      const double shift = reel.weave[static_cast<size_t>(index)] +
                           0.1 * o.weave * std::sin(0.5 * kTwoPi * y / g.scanLength + index);
      const double lo = g.trackStart + shift;
      const double hi = lo + g.trackWidth;
      const float* row = strip.ptr<float>(y);
      double sum = 0.0;
      for (int u = std::max(0, static_cast<int>(std::floor(lo)));
           u < std::min(strip.cols, static_cast<int>(std::ceil(hi))); ++u)
        sum += row[u] *
               std::clamp(std::min(hi, u + 1.0) - std::max(lo, static_cast<double>(u)), 0.0, 1.0);
      samples[static_cast<size_t>(y)] = static_cast<float>(sum / g.trackWidth);
    }
    if (index > 0) {
      const double advance = g.scanPlace(index) - g.scanPlace(index - 1);
      ScanJoin& join = plan.joins[static_cast<size_t>(index)];
      join.advance = static_cast<int>(std::lround(advance));
      join.part = advance - join.advance;
    }
  }
  std::vector<float> sound = assembleScans(scans, plan, true);
  removeReelLevel(sound, g.trueRate);
  return sound;
}

}  // namespace kelvora::reel
