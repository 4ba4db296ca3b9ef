#include "reel/sound_quality.h"

#include <cmath>
#include <limits>

namespace kelvora::reel {

namespace {

struct Fit {
  double residual = std::numeric_limits<double>::infinity();
  double signal = 0.0;
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
  const double gain = cov / vr;
  f.signal = gain * gain * vr;
  f.residual = std::max(0.0, vs - gain * cov);
  return f;
}

}  // namespace

SoundQuality trackedQuality(const std::vector<float>& sound, const std::vector<float>& reference,
                            int block, int reach, int skip) {
  SoundQuality q;
  const long n = static_cast<long>(sound.size());
  double signal = 0.0, residual = 0.0;
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
    if (first) q.firstLag = static_cast<int>(bestLag);
    if (!first && bestLag != lag) ++q.lagChanges;
    lag = bestLag;
    first = false;
    signal += best.signal;
    residual += best.residual;
    ++q.blocks;
  }
  q.snrDb = residual > 0.0 ? 10.0 * std::log10(signal / residual) : 200.0;
  return q;
}

}  // namespace kelvora::reel
