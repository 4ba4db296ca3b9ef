#include "reel/sound_quality.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

namespace kelvora::reel {

namespace {

struct Fit {
  double residual = std::numeric_limits<double>::infinity();
  double signal = 0.0;
  double gain = 0.0;
  double offset = 0.0;
};

// Least squares of sound[i0..i0+n) against gain x reference[i0+lag..] + offset.
Fit fitAt(const std::vector<float>& s, const std::vector<float>& r, long i0, long n, long lag) {
  Fit f;
  if (i0 + lag < 0 || i0 + lag + n > static_cast<long>(r.size())) return f;
  double sr = 0, ss = 0, rr = 0, sx = 0, rx = 0;
  for (long i = 0; i < n; ++i) {
    const double a = s[i0 + i], b = r[i0 + lag + i];
    sx += a;
    rx += b;
    sr += a * b;
    ss += a * a;
    rr += b * b;
  }
  const double vs = ss - sx * sx / n, vr = rr - rx * rx / n, cov = sr - sx * rx / n;
  if (vr <= 0.0) return f;
  f.gain = cov / vr;
  f.offset = (sx - f.gain * rx) / n;
  f.signal = f.gain * f.gain * vr;
  f.residual = std::max(0.0, vs - f.gain * cov);
  return f;
}

// Visits each block of the sound at its best lag: `visit(i0, lag, fit)`.
void trackBlocks(const std::vector<float>& sound, const std::vector<float>& reference, int block,
                 int reach, int skip, const std::function<void(long, long, const Fit&)>& visit) {
  const long n = static_cast<long>(sound.size());
  long lag = 0;
  bool first = true;
  for (long i0 = skip; i0 + block <= n - skip; i0 += block) {
    const long centre = first ? 0 : lag;
    const long wide = first ? 4 * reach : reach;
    Fit best;
    long bestLag = centre;
    for (long l = centre - wide; l <= centre + wide; ++l) {
      const Fit f = fitAt(sound, reference, i0, block, l);
      if (f.residual < best.residual) {
        best = f;
        bestLag = l;
      }
    }
    if (!std::isfinite(best.residual)) continue;
    visit(i0, bestLag, best);
    lag = bestLag;
    first = false;
  }
}

}  // namespace

SoundQuality trackedQuality(const std::vector<float>& sound, const std::vector<float>& reference,
                            int block, int reach, int skip) {
  SoundQuality q;
  double signal = 0.0, residual = 0.0;
  long last = 0;
  trackBlocks(sound, reference, block, reach, skip, [&](long, long lag, const Fit& fit) {
    if (q.blocks == 0) q.firstLag = static_cast<int>(lag);
    if (q.blocks > 0 && lag != last) ++q.lagChanges;
    last = lag;
    signal += fit.signal;
    residual += fit.residual;
    ++q.blocks;
  });
  q.snrDb = residual > 0.0 ? 10.0 * std::log10(signal / residual) : 200.0;
  return q;
}

std::vector<float> trackedResidual(const std::vector<float>& sound,
                                   const std::vector<float>& reference, int block, int reach,
                                   int skip) {
  std::vector<float> out(reference.size(), std::numeric_limits<float>::quiet_NaN());
  trackBlocks(sound, reference, block, reach, skip, [&](long i0, long lag, const Fit& fit) {
    if (std::abs(fit.gain) < 1e-9) return;
    for (long i = 0; i < block; ++i) {
      const size_t at = static_cast<size_t>(i0 + lag + i);
      out[at] = static_cast<float>((sound[static_cast<size_t>(i0 + i)] - fit.offset) / fit.gain -
                                   reference[at]);
    }
  });
  return out;
}

std::vector<int> clicksIn(const std::vector<float>& residual, double factor, double least,
                          int gap) {
  std::vector<float> sizes;
  for (const float r : residual)
    if (!std::isnan(r)) sizes.push_back(std::abs(r));
  std::vector<int> clicks;
  if (sizes.empty()) return clicks;
  std::nth_element(sizes.begin(), sizes.begin() + static_cast<long>(sizes.size() / 2), sizes.end());
  const double typical = 1.4826 * sizes[sizes.size() / 2];
  const double threshold = std::max(factor * typical, least);
  int end = -gap - 1;
  double peak = 0.0;
  for (size_t i = 0; i < residual.size(); ++i) {
    const double r = std::abs(residual[i]);
    if (std::isnan(r) || r <= threshold) continue;
    const int at = static_cast<int>(i);
    if (at - end > gap) {
      clicks.push_back(at);
      peak = r;
    } else if (r > peak) {
      clicks.back() = at;
      peak = r;
    }
    end = at;
  }
  return clicks;
}

}  // namespace kelvora::reel
