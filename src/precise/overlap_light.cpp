#include "precise/overlap_light.h"

#include <algorithm>
#include <cmath>

namespace kelvora {

namespace {

// An overlap shorter than this many rows measures no bend.
constexpr long kLeastShared = 32;
// Rows whose ratio lies further off the overlap's line than this many times the
// ratios' typical spread about it (a speck on one scan, a band one of them missed) are
// left out of the second fit.
constexpr double kFarOff = 4.0;
// The least spread of the rows' places, in t^2 between the two scans, that bends a line.
constexpr double kLeastSpread = 0.005;

// The least-squares line y = level + slope x through the points `use` marks, and the
// standard error of its slope.
struct Line {
  double level = 0.0, slope = 0.0, slopeError = 0.0;
  int points = 0;
};

bool fitLine(const std::vector<double>& x, const std::vector<double>& y,
             const std::vector<bool>& use, Line& line) {
  double n = 0.0, sx = 0.0, sy = 0.0;
  for (size_t i = 0; i < x.size(); ++i)
    if (use[i]) n += 1.0, sx += x[i], sy += y[i];
  if (n < kLeastShared) return false;
  const double mx = sx / n, my = sy / n;
  double xx = 0.0, xy = 0.0;
  for (size_t i = 0; i < x.size(); ++i)
    if (use[i]) xx += (x[i] - mx) * (x[i] - mx), xy += (x[i] - mx) * (y[i] - my);
  if (!(xx / n >= kLeastSpread * kLeastSpread)) return false;
  line.slope = xy / xx;
  line.level = my - line.slope * mx;
  double squares = 0.0;
  for (size_t i = 0; i < x.size(); ++i)
    if (use[i]) {
      const double r = y[i] - line.level - line.slope * x[i];
      squares += r * r;
    }
  line.slopeError = std::sqrt(squares / std::max(1.0, n - 2.0) / xx);
  line.points = static_cast<int>(n);
  return true;
}

// Whether row i of `scan` was read under the fit of its light, not by its own.
bool underFit(const ScanSound& scan, size_t i) {
  return scan.ownLight.size() != scan.samples.size() || scan.ownLight[i] == 1.0f;
}

// The line the logarithm of the ratio of `previous`'s readings to `present`'s follows
// against t^2 on the one less t^2 on the other, over the rows they share from `advance`
// on: false where too few rows show it.
bool overlapLine(const ScanSound& previous, const ScanSound& present, long advance, Line& line) {
  const LightFit& p = previous.lightFit;
  const LightFit& q = present.lightFit;
  if (!(p.step > 0.0) || !(q.step > 0.0) || advance < 0) return false;
  const long shared = std::min(static_cast<long>(previous.samples.size()) - advance,
                               static_cast<long>(present.samples.size()));
  if (shared < kLeastShared) return false;
  std::vector<double> x, y;
  for (long i = 0; i < shared; ++i) {
    const auto before = static_cast<size_t>(advance + i), after = static_cast<size_t>(i);
    const double a = previous.samples[before], b = present.samples[after];
    if (!(a * b > 0.0) || !underFit(previous, before) || !underFit(present, after)) continue;
    const double t1 = p.first + p.step * static_cast<double>(before);
    const double t2 = q.first + q.step * static_cast<double>(after);
    x.push_back(t1 * t1 - t2 * t2);
    y.push_back(std::log(a / b));
  }
  std::vector<bool> use(x.size(), true);
  if (!fitLine(x, y, use, line)) return false;
  // Again without the rows far off the first line.
  std::vector<double> off(x.size());
  for (size_t i = 0; i < x.size(); ++i) off[i] = std::abs(y[i] - line.level - line.slope * x[i]);
  std::vector<double> sorted = off;
  const auto middle = sorted.begin() + static_cast<long>(sorted.size() / 2);
  std::nth_element(sorted.begin(), middle, sorted.end());
  const double typical = 1.4826 * *middle;
  for (size_t i = 0; i < x.size(); ++i) use[i] = off[i] <= kFarOff * typical;
  return fitLine(x, y, use, line);
}

}  // namespace

OverlapBend overlapBend(const std::vector<ScanSound>& scans, const JoinPlan& plan) {
  std::vector<double> bends;
  double errors = 0.0;  // the joins' own squared standard errors, summed
  for (size_t k = 1; k < scans.size() && k < plan.joins.size(); ++k) {
    const ScanJoin& join = plan.joins[k];
    if (join.kind != JoinKind::Clean && join.kind != JoinKind::Quiet) continue;
    Line line;
    if (!overlapLine(scans[k - 1], scans[k], join.advance, line)) continue;
    // The readings fall by the share bend x t^2: their ratio's logarithm by bend times
    // the change in t^2.
    bends.push_back(-line.slope);
    errors += line.slopeError * line.slopeError;
  }
  OverlapBend out;
  out.joins = static_cast<int>(bends.size());
  if (out.joins < 2) return out;
  const double n = static_cast<double>(out.joins);
  double sum = 0.0;
  for (const double b : bends) sum += b;
  out.bend = sum / n;
  double apart = 0.0;
  for (const double b : bends) apart += (b - out.bend) * (b - out.bend);
  // The joins scatter by more than their rows tell where the sound itself is misread
  // alike along an overlap: the larger of the two.
  out.spread = std::max(std::sqrt(apart / (n - 1.0) / n), std::sqrt(errors) / n);
  return out;
}

double relightByOverlaps(std::vector<ScanSound>& scans, const JoinPlan& plan) {
  const OverlapBend measured = overlapBend(scans, plan);
  if (measured.joins < 2 || !(std::abs(measured.bend) > measured.spread)) return 0.0;
  const double bend =
      measured.bend * (1.0 - measured.spread * measured.spread / (measured.bend * measured.bend));
  // The light the track lacks at t, against its mean over the whole scan (t^2 averages a
  // twelfth).
  const auto relit = [bend](float sample, double t) {
    return static_cast<float>(sample * (1.0 - bend / 12.0) / (1.0 - bend * t * t));
  };
  for (ScanSound& scan : scans) {
    const LightFit& fit = scan.lightFit;
    if (!(fit.step > 0.0)) continue;
    const auto at = [&fit](double row) { return fit.first + fit.step * row; };
    const auto before = static_cast<double>(scan.faintBefore.size());
    for (size_t i = 0; i < scan.faintBefore.size(); ++i)
      scan.faintBefore[i] = relit(scan.faintBefore[i], at(static_cast<double>(i) - before));
    for (size_t i = 0; i < scan.samples.size(); ++i)
      scan.samples[i] = relit(scan.samples[i], at(static_cast<double>(i)));
    const auto kept = static_cast<double>(scan.samples.size());
    for (size_t i = 0; i < scan.faintAfter.size(); ++i)
      scan.faintAfter[i] = relit(scan.faintAfter[i], at(kept + static_cast<double>(i)));
  }
  return bend;
}

}  // namespace kelvora
