#include "reel/sound_quality.h"

#include <algorithm>
#include <cmath>
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

// One block of the sound, matched to the reference.
struct Block {
  long start = 0;  // first sample of the sound
  long lag = 0;    // the reference's sample for it lies this far on
  Fit fit;
  bool silent = false;  // the reference is silent there (a leader, rows no scan holds): all
                        // of the sound is noise, at the lag so far; `fit` holds its mean
};

// The blocks of the sound, each at its best lag.
std::vector<Block> trackBlocks(const std::vector<float>& sound, const std::vector<float>& reference,
                               int block, int reach, int skip) {
  std::vector<Block> blocks;
  const long n = static_cast<long>(sound.size());
  long lag = 0;
  bool first = true;
  for (long i0 = skip; i0 + block <= n - skip; i0 += block) {
    const long centre = first ? 0 : lag;
    const long wide = first ? 4 * reach : reach;
    if (i0 + centre >= 0 && i0 + centre + block <= static_cast<long>(reference.size())) {
      double power = 0.0, sum = 0.0, squares = 0.0;
      for (long i = 0; i < block; ++i) {
        power += reference[i0 + centre + i] * reference[i0 + centre + i];
        sum += sound[i0 + i];
        squares += sound[i0 + i] * sound[i0 + i];
      }
      if (power < 1e-8 * block) {
        Block quiet{i0, centre, Fit{}, true};
        quiet.fit.offset = sum / block;
        quiet.fit.residual = std::max(0.0, squares - sum * sum / block);
        blocks.push_back(quiet);
        continue;
      }
    }
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
    blocks.push_back(Block{i0, bestLag, best, false});
    lag = bestLag;
    first = false;
  }
  // A silent block before any that fits (a leader) lies at the lag of the first that does.
  const auto fitting =
      std::find_if(blocks.begin(), blocks.end(), [](const Block& b) { return !b.silent; });
  if (fitting != blocks.end())
    for (auto b = blocks.begin(); b != fitting; ++b) b->lag = fitting->lag;
  return blocks;
}

}  // namespace

SoundQuality trackedQuality(const std::vector<float>& sound, const std::vector<float>& reference,
                            int block, int reach, int skip) {
  SoundQuality q;
  double signal = 0.0, residual = 0.0;
  long last = 0;
  for (const Block& b : trackBlocks(sound, reference, block, reach, skip)) {
    residual += b.fit.residual;
    if (b.silent) continue;
    if (q.blocks == 0) q.firstLag = static_cast<int>(b.lag);
    if (q.blocks > 0 && b.lag != last) ++q.lagChanges;
    last = b.lag;
    signal += b.fit.signal;
    ++q.blocks;
  }
  q.snrDb = residual > 0.0 ? 10.0 * std::log10(signal / residual) : 200.0;
  return q;
}

std::vector<float> trackedResidual(const std::vector<float>& sound,
                                   const std::vector<float>& reference, int block, int reach,
                                   int skip) {
  std::vector<float> out(reference.size(), std::numeric_limits<float>::quiet_NaN());
  const std::vector<Block> blocks = trackBlocks(sound, reference, block, reach, skip);
  // Silent blocks are scaled by the mean gain of the others.
  double gains = 0.0;
  int fitted = 0;
  for (const Block& b : blocks)
    if (!b.silent && std::abs(b.fit.gain) >= 1e-9) gains += std::abs(b.fit.gain), ++fitted;
  for (const Block& b : blocks) {
    const double gain = b.silent ? (fitted > 0 ? gains / fitted : 0.0) : b.fit.gain;
    if (std::abs(gain) < 1e-9) continue;
    for (long i = 0; i < block; ++i) {
      const long place = b.start + b.lag + i;
      if (place < 0 || place >= static_cast<long>(reference.size())) continue;
      const size_t at = static_cast<size_t>(place);
      out[at] = static_cast<float>((sound[static_cast<size_t>(b.start + i)] - b.fit.offset) / gain -
                                   reference[at]);
    }
  }
  return out;
}

std::vector<ClickRun> clickRunsIn(const std::vector<float>& residual, double factor, double least,
                                  int gap) {
  std::vector<float> sizes;
  for (const float r : residual)
    if (!std::isnan(r)) sizes.push_back(std::abs(r));
  std::vector<ClickRun> clicks;
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
      clicks.push_back(ClickRun{at, at, at});
      peak = r;
    } else if (r > peak) {
      clicks.back().peak = at;
      peak = r;
    }
    clicks.back().last = at;
    end = at;
  }
  return clicks;
}

std::vector<int> clicksIn(const std::vector<float>& residual, double factor, double least,
                          int gap) {
  std::vector<int> peaks;
  for (const ClickRun& c : clickRunsIn(residual, factor, least, gap)) peaks.push_back(c.peak);
  return peaks;
}

}  // namespace kelvora::reel
