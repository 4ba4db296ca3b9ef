#include "precise/scan_joins.h"

#include <algorithm>
#include <cmath>

#include "precise/between_rows.h"
#include "precise/density_rows.h"
#include "signal/profile.h"

namespace kelvora {

namespace {

constexpr double kMatched = 0.5;  // a join whose overlap correlates less does not hold
constexpr double kSure = 0.8;     // joins this alike set the reel's usual advance
// Where the file numbers say scans are missing, only a join this alike says they are not.
constexpr double kContinues = 0.97;
constexpr int kMinimumOverlap = 16;  // samples
// Sound that does not continue still correlates by chance, the more the fewer samples
// an overlap holds: the best of a few dozen advances tried reaches about this many
// times one over the root of the overlap's length.
constexpr double kChance = 3.0;
// Samples over which the sound eases into and out of the level that bridges rows left
// unread: a couple of milliseconds, short enough to pass unheard, long enough not to click.
constexpr long kEaseSamples = 32;
constexpr double kPi = 3.141592653589793;
// Two frames' pictures differ, their frame lines do not: pictures this alike have them
// in line.
constexpr double kPicturesAlike = 0.6;
// A scan advances by whole frames of the nominal pitch to within this share: the film's
// shrinkage and a resolution tag's rounding.
constexpr double kFramesOff = 0.03;
// Rows either side of a place between rows that a scan starting there is read from.
constexpr int kPartReach = 8;

// The sums of two runs of levels side by side that their correlation is taken from.
struct OverlapSums {
  double a = 0, b = 0, ab = 0, aa = 0, bb = 0;
};

// Adds rows `from` to `to` of runs `pa` and `pb` to `s`, in the order of the rows.
void addOverlap(const float* pa, const float* pb, long from, long to, OverlapSums& s) {
  // One pass: the levels are near a half, their spread well above double's rounding.
  for (long i = from; i < to; ++i) {
    const double a = pa[i], b = pb[i];
    s.a += a;
    s.b += b;
    s.ab += a * b;
    s.aa += a * a;
    s.bb += b * b;
  }
}

// The correlation of `m` rows from their sums; NaN where either run is flat.
double correlationOf(const OverlapSums& s, long m) {
  const double cov = s.ab - s.a * s.b / m;
  const double va = s.aa - s.a * s.a / m, vb = s.bb - s.b * s.b / m;
  if (va <= 1e-12 || vb <= 1e-12) return NAN;
  return cov / std::sqrt(va * vb);
}

// Joins known on either side of one the scanner's steps place, and how much more room
// within their half rows its step must leave them than any other.
constexpr int kLeastKnownJoins = 4;
constexpr double kPlainlyBetter = 0.2;

// A scanner stepping a frame at a time starts each scan on the row nearest the film's
// frame: every scan's first row lies within half a row of its place, so many film
// pitches on. Where neither the sound nor the frame lines place join `k`, the scans
// either side of it, as far as joins known beyond doubt link them (`known`), tell
// which of the steps near the film's own leaves every one of them so: the one leaving
// them furthest inside their half rows, at the pitch (within `doubt` of `pitch`) that
// does. The mean of the clean joins' whole-row steps is that far off the film's pitch,
// which over a reel adds up to more than the half row. `rows[m]` is the row the scanner
// started scan m on, counted as the joins say, `frames[m]` its frame. Returns the step
// taken at join `k` in rows, or 0 where no step leaves them all so (a scanner stepping
// unevenly), or several do.
int stepByFramePlaces(const std::vector<long>& rows, const std::vector<int>& frames,
                      const std::vector<bool>& known, int k, double pitch, double doubt) {
  const int n = static_cast<int>(rows.size());
  int first = k - 1;
  while (first > 0 && known[static_cast<size_t>(first)]) --first;
  int last = k;
  while (last + 1 < n && known[static_cast<size_t>(last + 1)]) ++last;
  // A few scans lie within half a row of their places at any step and a pitch near the
  // film's: only a run of them pins the steps down.
  if (last - first - 1 < kLeastKnownJoins) return 0;
  const int frames0 = frames[static_cast<size_t>(k - 1)];
  const long around = std::lround((frames[static_cast<size_t>(k)] - frames0) * pitch);
  constexpr double kPitchStep = 0.0005;  // rows
  const int tries = static_cast<int>(std::ceil(doubt / kPitchStep));
  std::vector<double> slacks;  // the most each step leaves, at any pitch tried
  for (long step = around - 1; step <= around + 1; ++step) {
    double most = -1e9;
    for (int t = -tries; t <= tries; ++t) {
      const double p = pitch + t * kPitchStep;
      // How far each scan's first row lies from its frame's place, the scan before the
      // join taken as lying on its own.
      double low = 0.0, high = 0.0;
      for (int m = first; m <= last; ++m) {
        const size_t i = static_cast<size_t>(m);
        const long row = m < k ? rows[i] - rows[static_cast<size_t>(k - 1)]
                               : rows[i] - rows[static_cast<size_t>(k)] + step;
        const double off = (frames[i] - frames0) * p - static_cast<double>(row);
        low = std::min(low, off);
        high = std::max(high, off);
      }
      most = std::max(most, 1.0 - (high - low));
    }
    slacks.push_back(most);
  }
  // One step must leave them so, and plainly better than any other.
  const auto best = std::max_element(slacks.begin(), slacks.end());
  double rival = -1e9;
  for (auto it = slacks.begin(); it != slacks.end(); ++it)
    if (it != best) rival = std::max(rival, *it);
  if (!(*best > 0.0) || *best - rival < kPlainlyBetter) return 0;
  return static_cast<int>(around - 1 + (best - slacks.begin()));
}

}  // namespace

std::pair<double, double> overlapCorrelations(const std::vector<float>& previous,
                                              const std::vector<float>& present, int advance,
                                              long longest) {
  const long sizes = static_cast<long>(present.size());
  const long m0 = std::min({static_cast<long>(previous.size()) - advance, sizes, longest});
  const long m1 = std::min({static_cast<long>(previous.size()) - advance - 1, sizes, longest});
  if (advance < 0 || m1 < kMinimumOverlap)
    return {overlapCorrelation(previous, present, advance, longest),
            overlapCorrelation(previous, present, advance + 1, longest)};
  const float* pa = previous.data() + advance;
  const float* pb = present.data();
  OverlapSums first, second;
  for (long i = 0; i < m1; ++i) {
    const double a0 = pa[i], a1 = pa[i + 1], b = pb[i];
    first.a += a0;
    second.a += a1;
    first.b += b;
    first.ab += a0 * b;
    second.ab += a1 * b;
    first.aa += a0 * a0;
    second.aa += a1 * a1;
    first.bb += b * b;
  }
  second.b = first.b;
  second.bb = first.bb;
  const double next = correlationOf(second, m1);
  addOverlap(pa, pb, m1, m0, first);
  return {correlationOf(first, m0), next};
}

namespace {

struct Peak {
  int advance = 0;
  double match = NAN;
  double rival = NAN;  // the best match two rows or more from the peak's
};

// The advance from `from` to `to` at which `present` best continues `previous`; a
// negative one has `previous` start that much after `present`.
Peak bestAdvance(const std::vector<float>& previous, const std::vector<float>& present, int from,
                 int to, long longest = 1L << 30) {
  Peak best;
  std::vector<double> matches;
  // Two advances of one sign at a time.
  for (int d = from; d <= to; ++d) {
    if (d + 1 <= to && (d >= 0 || d + 1 < 0)) {
      if (d >= 0) {
        const auto [m0, m1] = overlapCorrelations(previous, present, d, longest);
        matches.push_back(m0);
        matches.push_back(m1);
      } else {
        const auto [m1, m0] = overlapCorrelations(present, previous, -(d + 1), longest);
        matches.push_back(m0);
        matches.push_back(m1);
      }
      ++d;
    } else {
      matches.push_back(d >= 0 ? overlapCorrelation(previous, present, d, longest)
                               : overlapCorrelation(present, previous, -d, longest));
    }
  }
  for (int d = from; d <= to; ++d) {
    const double m = matches[static_cast<size_t>(d - from)];
    if (std::isnan(m)) continue;
    if (std::isnan(best.match) || m > best.match) best = Peak{d, m};
  }
  for (int d = from; d <= to; ++d) {
    const double m = matches[static_cast<size_t>(d - from)];
    if (std::abs(d - best.advance) >= 2 && !std::isnan(m) && !(m <= best.rival)) best.rival = m;
  }
  return best;
}

// How many rows later the frame lines lie in `present` than in `previous`, within
// `reach` either way, by the normalised correlation of the two scans' pictures: the
// lag and how alike they are there.
Peak frameLineLag(const std::vector<float>& previous, const std::vector<float>& present,
                  int reach) {
  // Frame lines are many rows tall: found first on rows taken in pairs, then to the row.
  const auto pairs = [](const std::vector<float>& v) {
    std::vector<float> half(v.size() / 2);
    for (size_t i = 0; i < half.size(); ++i) half[i] = 0.5f * (v[2 * i] + v[2 * i + 1]);
    return half;
  };
  const Peak coarse =
      bestAdvance(pairs(previous), pairs(present), -(reach + 1) / 2, (reach + 1) / 2);
  if (std::isnan(coarse.match)) return coarse;
  const int at = 2 * coarse.advance;
  return bestAdvance(previous, present, std::max(-reach, at - 2), std::min(reach, at + 2));
}

// A picture's frame lines' edges: sharp steps at every frame, where the picture between
// them changes smoothly and differs from frame to frame.
std::vector<float> edgesOf(const std::vector<float>& picture) { return stepsAcross(picture, 2); }

// A scan's picture timed as its sound is: moved by the rows its turn puts between a
// frame line in the picture and in the track, between rows by a linear blend.
std::vector<float> timedAsSound(const ScanSound& scan) {
  const std::vector<float>& picture = scan.picture;
  if (scan.pictureLag == 0.0 || picture.empty()) return picture;
  std::vector<float> timed(picture.size());
  for (size_t y = 0; y < timed.size(); ++y)
    timed[y] = static_cast<float>(linearlyAt(picture, static_cast<double>(y) - scan.pictureLag));
  return timed;
}

bool linesInLine(const Peak& lines) {
  return !std::isnan(lines.match) && lines.match >= kPicturesAlike;
}

// `samples` read `from` (0 or more) of a row later, by a Lanczos-windowed sinc over
// kPartReach rows either side (the ends standing for the rows beyond them): a scanner
// stepping by the film's own pitch starts each scan part of a row off the first one's
// rows, and the sound on a track reaches near the rows' own limit, which a short cubic
// between rows would dull by a decibel and more.
std::vector<float> partRowLater(const std::vector<float>& samples, double from) {
  if (from < 1e-9) return samples;
  const long n = static_cast<long>(samples.size());
  const long whole = static_cast<long>(std::floor(from));
  const std::vector<double> w = lanczosWeights(from - static_cast<double>(whole), kPartReach);
  std::vector<float> later;
  for (long m = 0; m + from <= n - 1; ++m) {
    double v = 0.0;
    for (int k = 0; k < 2 * kPartReach; ++k)
      v += w[static_cast<size_t>(k)] *
           samples[static_cast<size_t>(std::clamp(m + whole + k - kPartReach + 1, 0L, n - 1))];
    later.push_back(static_cast<float>(v));
  }
  return later;
}

// The normalised correlation of `present` against `previous` at `advance` (see
// overlapCorrelation), a negative one having `previous` start that much after `present`.
double signedCorrelation(const std::vector<float>& previous, const std::vector<float>& present,
                         int advance) {
  return advance >= 0 ? overlapCorrelation(previous, present, advance)
                      : overlapCorrelation(present, previous, -advance);
}

// Where between the rows around `peak` the overlap matches best, from the parabola
// through the three; 0 where they make none.
double partRow(const std::vector<float>& previous, const std::vector<float>& present,
               const Peak& peak) {
  const double l = signedCorrelation(previous, present, peak.advance - 1);
  const double r = signedCorrelation(previous, present, peak.advance + 1);
  const double bend = l - 2.0 * peak.match + r;
  if (std::isnan(l) || std::isnan(r) || !(bend < 0.0)) return 0.0;
  return std::clamp(0.5 * (l - r) / bend, -0.5, 0.5);
}

// The frame lines' lag from `previous` to `present` to a part of a row: their edges'
// lag near the whole-row `lag` the pictures gave, and where between the rows about it the
// edges match best. A picture matches smoothly over a few rows and its frame lines' edges
// sharply: the edges place the lines. NaN where the edges do not match.
double lineLagBetweenRows(const std::vector<float>& previous, const std::vector<float>& present,
                          int lag) {
  const std::vector<float> a = edgesOf(previous), b = edgesOf(present);
  const Peak edges = bestAdvance(a, b, lag - 2, lag + 2);
  if (!(edges.match >= kPicturesAlike)) return NAN;
  return edges.advance + partRow(a, b, edges);
}

// Steps of a part of a row over which overlapPart tries the overlap, either way of a
// join's whole-row advance, and how far.
constexpr double kPartStep = 0.05;
constexpr double kPartReachTried = 0.6;

// The normalised correlation of `present`'s first `m` samples with `previous` read
// between its rows at `at` on, by a Lanczos-windowed sinc (see partRowLater); `at`
// leaves kPartReach rows of `previous` before it and `m` + kPartReach after.
double correlationBetweenRows(const std::vector<float>& previous, const std::vector<float>& present,
                              double at, long m) {
  const long whole = static_cast<long>(std::floor(at));
  const std::vector<double> w = lanczosWeights(at - static_cast<double>(whole), kPartReach);
  double a = 0, b = 0, ab = 0, aa = 0, bb = 0;
  for (long i = 0; i < m; ++i) {
    double v = 0.0;
    const float* from = previous.data() + whole + i - kPartReach + 1;
    for (int k = 0; k < 2 * kPartReach; ++k) v += w[static_cast<size_t>(k)] * from[k];
    const double u = present[static_cast<size_t>(i)];
    a += v;
    b += u;
    ab += v * u;
    aa += v * v;
    bb += u * u;
  }
  const double cov = ab - a * b / m;
  const double va = aa - a * a / m, vb = bb - b * b / m;
  return va > 1e-12 && vb > 1e-12 ? cov / std::sqrt(va * vb) : NAN;
}

// The part of a row beyond `advance` at which `present` continues `previous` best:
// the overlap read between `previous`'s rows every kPartStep of a row, and the peak
// placed between the best three by their parabola. A parabola through whole rows
// alone is pulled towards the nearest row, by a few hundredths of one: placing the
// scans of a reel by it would carry that along from scan to scan, and a few hundredths
// of a row are already a fault at the top of the sound. 0 where the overlap is too short.
double overlapPart(const std::vector<float>& previous, const std::vector<float>& present,
                   int advance) {
  const long m = std::min(static_cast<long>(previous.size()) - advance - kPartReach - 1,
                          static_cast<long>(present.size()));
  if (advance - kPartReach < 0 || m < kMinimumOverlap) return 0.0;
  const int steps = static_cast<int>(std::lround(kPartReachTried / kPartStep));
  std::vector<double> matches;
  for (int j = -steps; j <= steps; ++j)
    matches.push_back(correlationBetweenRows(previous, present, advance + j * kPartStep, m));
  int best = -1;
  for (int j = 1; j + 1 < static_cast<int>(matches.size()); ++j)
    if (!std::isnan(matches[static_cast<size_t>(j)]) &&
        (best < 0 || matches[static_cast<size_t>(j)] > matches[static_cast<size_t>(best)]))
      best = j;
  if (best < 0) return 0.0;
  const double l = matches[static_cast<size_t>(best - 1)], c = matches[static_cast<size_t>(best)],
               r = matches[static_cast<size_t>(best + 1)];
  const double bend = l - 2.0 * c + r;
  const double within =
      std::isnan(l) || std::isnan(r) || !(bend < 0.0) ? 0.0 : 0.5 * (l - r) / bend;
  return std::clamp((best - steps + within) * kPartStep, -0.5, 0.5);
}

// Clean joins that tell a scanner stepping by the film's own pitch from one stepping by
// whole rows.
constexpr int kLeastSteps = 3;

// A scanner may step the film by its own pitch rather than by whole rows of the scan;
// then every scan starts the same part of a row further on than its whole-row join
// says. One join's part of a row (`measured`) is too uncertain to place a scan by (the
// errors would add up along the reel), but all of them together tell the two kinds of
// stepping apart: whole rows leave no parts, the film's own pitch leaves steps that
// are all alike once their parts are added. Where they say so, scan k is placed k
// mean steps on; a scan after a gap in the file numbers as many more steps on as scans
// are missing there: the scanner stepped over them alike, and a join too quiet to
// match is a step like any other. `shifts[k]` are the rows the gate's shadow leaves
// unread at scan k's start beyond those at scan k - 1's: the samples' advance is the
// scanner's step and those. Returns whether the scans were so placed.
bool placeBetweenRows(JoinPlan& plan, const std::vector<double>& measured,
                      const std::vector<int>& shifts) {
  const int n = static_cast<int>(plan.joins.size());
  double sum = 0.0;
  int clean = 0;
  for (int k = 1; k < n; ++k) {
    const ScanJoin& join = plan.joins[k];
    if (join.kind == JoinKind::Missing) continue;
    if (join.kind == JoinKind::Missing || join.kind == JoinKind::Quiet) continue;
    if (join.kind != JoinKind::Clean) return false;
    sum += join.advance + measured[k] - shifts[k];
    ++clean;
  }
  if (clean < kLeastSteps) return false;
  const double step = sum / clean;
  double wholeRows = 0.0, ownPitch = 0.0;
  for (int k = 1; k < n; ++k) {
    if (plan.joins[k].kind != JoinKind::Clean) continue;
    wholeRows += measured[k] * measured[k];
    const double d = plan.joins[k].advance + measured[k] - shifts[k] - step;
    ownPitch += d * d;
  }
  // Parts of a few hundredths of a row are the measure's own: whole rows.
  const double typicalPart = std::sqrt(wholeRows / clean);
  if (typicalPart < 0.05 || !(ownPitch < 0.5 * wholeRows)) return false;
  for (int k = 1; k < n; ++k) {
    ScanJoin& join = plan.joins[k];
    const double rows = (join.missing + 1) * step + shifts[k];
    if (join.kind != JoinKind::Clean) join.advance = static_cast<int>(std::lround(rows));
    join.part = rows - join.advance;
  }
  plan.meanAdvance = step;
  return true;
}

// The film's frame pitch in rows, to a part of a row, as the period of the frame lines
// within each scan that holds two frames or more (the median over the scans), looked
// for within `kFramesOff` of the nominal `pitch`; 0 where no scan shows it.
double pictureLinePitch(const std::vector<ScanSound>& scans, int pitch) {
  std::vector<double> pitches;
  const int from = static_cast<int>(pitch * (1.0 - kFramesOff));
  const int to = static_cast<int>(pitch * (1.0 + kFramesOff)) + 1;
  for (const ScanSound& s : scans) {
    if (static_cast<int>(s.picture.size()) < 2 * to) continue;
    const std::vector<float> edges = edgesOf(s.picture);
    const Peak p = bestAdvance(edges, edges, from, to);
    if (!(p.match >= kPicturesAlike) || p.advance <= from || p.advance >= to) continue;
    pitches.push_back(p.advance + partRow(edges, edges, p));
  }
  if (pitches.empty()) return 0.0;
  std::nth_element(pitches.begin(), pitches.begin() + static_cast<long>(pitches.size() / 2),
                   pitches.end());
  return pitches[pitches.size() / 2];
}

double overlapSpread(const std::vector<float>& present, int length) {
  const int n = std::min<int>(length, static_cast<int>(present.size()));
  if (n < 2) return 0.0;
  double s = 0, ss = 0;
  for (int i = 0; i < n; ++i) {
    s += present[i];
    ss += static_cast<double>(present[i]) * present[i];
  }
  const double mean = s / n;
  return std::sqrt(std::max(0.0, ss / n - mean * mean));
}

double meanOf(const std::vector<float>& v) {
  if (v.empty()) return 0.0;
  double s = 0.0;
  for (const float x : v) s += x;
  return s / static_cast<double>(v.size());
}

// Fills `gap` samples after `out` up to where `present` starts at the resting level
// `rest`: the reel's mean (the track unmodulated, as the print's density puts it there),
// not one scan's, which a few periods of a loud tone cut short move. The sound is eased
// out of its last sample over the gap's first `easeOut` samples and into `present`'s
// first over its last `easeIn`, where film lies unread there: rows in the gate's shadow,
// whose sound goes on. Where scans are missing, no scan holds the gap: the sound meets
// the resting level where the scans' dimmed rows end, nothing made up that no scan holds.
void bridgeGap(std::vector<float>& out, double rest, const std::vector<float>& present, long gap,
               long easeOut, long easeIn) {
  if (gap <= 0) return;
  const double from = out.empty() ? rest : out.back();
  const double to = present.empty() ? rest : present.front();
  easeOut = std::min<long>(easeOut, (gap + 1) / 2);
  easeIn = std::min<long>(easeIn, (gap + 1) / 2);
  for (long i = 0; i < gap; ++i) {
    // Raised-cosine weights of the sound's own end samples over the first `easeOut` and
    // the last `easeIn` samples of the gap.
    double level = rest;
    if (i < easeOut) {
      const double w = 0.5 + 0.5 * std::cos(kPi * (i + 1) / (easeOut + 1));
      level = w * from + (1.0 - w) * rest;
    } else if (gap - 1 - i < easeIn) {
      const double w = 0.5 + 0.5 * std::cos(kPi * (gap - i) / (easeIn + 1));
      level = w * to + (1.0 - w) * rest;
    }
    out.push_back(static_cast<float>(level));
  }
}

// Fills `gap` samples after `out` up to where `present` starts: from `after`, the
// faint samples that follow `out`'s last on the scan before, and `before`, those that
// lead into `present` on its own scan, each where it reaches, crossfaded where both do;
// the rest is bridged at the resting level (see bridgeGap, easing over `ease` samples).
void fillGap(std::vector<float>& out, double rest, const std::vector<float>& present, long gap,
             const std::vector<float>& after, const std::vector<float>& before, long ease) {
  if (gap <= 0) return;
  const long fromAfter = std::min<long>(gap, static_cast<long>(after.size()));
  const long fromBefore = std::min<long>(gap, static_cast<long>(before.size()));
  const long beforeStart = static_cast<long>(before.size()) - fromBefore;
  if (fromAfter + fromBefore >= gap) {
    // Both reach across the stretch where the one gives way to the other.
    const long shared = fromAfter + fromBefore - gap;
    for (long i = 0; i < gap; ++i) {
      const long b = i - (gap - fromBefore);
      if (b < 0) {
        out.push_back(after[static_cast<size_t>(i)]);
      } else if (i >= fromAfter) {
        out.push_back(before[static_cast<size_t>(beforeStart + b)]);
      } else {
        const double w = 0.5 + 0.5 * std::cos(kPi * (b + 0.5) / shared);
        out.push_back(static_cast<float>(w * after[static_cast<size_t>(i)] +
                                         (1.0 - w) * before[static_cast<size_t>(beforeStart + b)]));
      }
    }
    return;
  }
  out.insert(out.end(), after.begin(), after.begin() + fromAfter);
  std::vector<float> next(before.begin() + beforeStart, before.end());
  next.insert(next.end(), present.begin(), present.end());
  bridgeGap(out, rest, next, gap - fromAfter - fromBefore, ease, ease);
  out.insert(out.end(), before.begin() + beforeStart, before.end());
}

}  // namespace

double overlapCorrelation(const std::vector<float>& previous, const std::vector<float>& present,
                          int advance, long longest) {
  if (advance < 0) return NAN;
  const long m = std::min(
      {static_cast<long>(previous.size()) - advance, static_cast<long>(present.size()), longest});
  if (m < kMinimumOverlap) return NAN;
  OverlapSums s;
  addOverlap(previous.data() + advance, present.data(), 0, m, s);
  return correlationOf(s, m);
}

JoinPlan planJoins(const std::vector<ScanSound>& scans, int framePitch,
                   const std::vector<int>& missingBefore, const std::vector<int>& leads) {
  JoinPlan plan;
  const int n = static_cast<int>(scans.size());
  plan.joins.resize(static_cast<size_t>(n));
  if (n < 2) return plan;
  const int pitch = std::max(framePitch, 8);
  const auto missing = [&](int k) {
    return k < static_cast<int>(missingBefore.size()) ? missingBefore[k] : 0;
  };
  const auto lead = [&](int i) { return i < static_cast<int>(leads.size()) ? leads[i] : 0; };
  // A scan's rows left unread at its start move its first row on: `shift(k)` is what
  // they add to the advance from scan k - 1 to scan k, so that the usual advance is
  // the scanner's own.
  const auto shift = [&](int k) { return lead(k) - lead(k - 1); };
  // A scanner steps the film by whole frames, give or take the film's shrinkage: the
  // advance is looked for near each whole number of frames the previous scan holds
  // beyond an overlap. `unseen` tells whether the scan reaches a frame further than the
  // best match's, with that advance's overlap (wholly or in part) in the gate's shadow,
  // where no sound says whether it holds.
  struct Wide {
    Peak peak;
    bool unseen = false;
  };
  const auto wide = [&](int k) {
    const auto& previous = scans[k - 1].samples;
    const int least = std::max(kMinimumOverlap, pitch / 20);
    const int last = static_cast<int>(previous.size()) - least;
    // The whole scan, its shadowed rows at both ends too.
    const int whole = static_cast<int>(previous.size()) + 2 * lead(k - 1);
    Wide w;
    int bestFrames = 0, mostFrames = 0;
    for (int frames = 1;; ++frames) {
      const int from =
          std::max(1, static_cast<int>(frames * pitch * (1.0 - kFramesOff)) + shift(k));
      const int upTo = static_cast<int>(frames * pitch * (1.0 + kFramesOff)) + shift(k);
      if (from + least > whole) break;
      mostFrames = frames;
      if (upTo > last) w.unseen = true;
      const int to = std::min(last, upTo);
      if (from > to) continue;
      // The first few hundred samples of each overlap are enough to tell the advance.
      const Peak p = bestAdvance(previous, scans[k].samples, from, to, 384);
      if (std::isnan(p.match)) continue;
      if (std::isnan(w.peak.match) || p.match > w.peak.match) {
        const double beaten = w.peak.match;
        w.peak = p;
        bestFrames = frames;
        if (!(p.rival >= beaten)) w.peak.rival = beaten;
      } else if (!(p.match <= w.peak.rival)) {
        w.peak.rival = p.match;
      }
    }
    w.unseen = w.unseen && bestFrames < mostFrames;
    return w;
  };

  // The reel's usual advance, from the first eight joins that match beyond doubt (past
  // any silent leader): the few a speck of dust or a short overlap misleads are outvoted.
  // Where the scan reaches a frame further but the overlap there lies in the gate's
  // shadow, a match a frame short (a tone matches there as well) is no proof.
  std::vector<int> sure;
  for (int k = 1; k < n && sure.size() < 8; ++k) {
    if (missing(k) > 0) continue;  // where the file numbers jump, the sound may well not
    const Wide w = wide(k);
    if (w.peak.match >= kSure && !w.unseen) sure.push_back(w.peak.advance - shift(k));
  }
  if (!sure.empty()) {
    std::nth_element(sure.begin(), sure.begin() + sure.size() / 2, sure.end());
    plan.typicalAdvance = sure[sure.size() / 2];
  } else {
    // Nothing matches: the whole frames a scan holds beyond the overlap scanners leave
    // (a tenth to a third of a frame), and the gate's shadow at its ends.
    const int length = static_cast<int>(scans.front().samples.size());
    const int frames =
        static_cast<int>(std::lround(static_cast<double>(length - pitch / 5) / pitch));
    plan.typicalAdvance = std::max(1, frames) * pitch;
  }
  const int typical = plan.typicalAdvance;
  const int reach = std::max(4, pitch * 3 / 100);

  // How much sound an overlap holds where there is sound (a reel may open with a long
  // silent leader), to tell a quiet one from one that does not match.
  std::vector<double> spreads(static_cast<size_t>(n), 0.0);  // of each join's overlap
  for (int k = 1; k < n; ++k)
    spreads[k] =
        overlapSpread(scans[k].samples, static_cast<int>(scans[k - 1].samples.size()) - typical);
  std::vector<double> ranked(spreads.begin() + 1, spreads.end());
  const auto loud = ranked.begin() + static_cast<long>(ranked.size() * 9 / 10);
  std::nth_element(ranked.begin(), loud, ranked.end());
  const double usualSpread = *loud;

  double advances = 0.0;
  std::vector<double> measuredParts(static_cast<size_t>(n), 0.0);
  // A periodic sound matches a period away about as well as at its advance.
  std::vector<bool> periodic(static_cast<size_t>(n), false);
  for (int k = 1; k < n; ++k) {
    ScanJoin& join = plan.joins[k];
    const int usual = typical + shift(k);
    const Peak p = bestAdvance(scans[k - 1].samples, scans[k].samples, std::max(1, usual - reach),
                               usual + reach);
    // A short overlap matches well by chance somewhere within the reach: the match must
    // stand above what chance gives over as many samples.
    const long shared = std::min(static_cast<long>(scans[k - 1].samples.size()) - p.advance,
                                 static_cast<long>(scans[k].samples.size()));
    // Where the gate's shadows leave too few samples at the usual advance to read, only
    // an advance short of it lengthens the overlap enough to measure at all: the best of
    // those lies at the reach's far end by chance as readily as by a scanner stepping
    // short. A match there moves the scan only if it is beyond doubt.
    const bool unreadAtUsual =
        static_cast<long>(scans[k - 1].samples.size()) - usual < kMinimumOverlap;
    const bool matched =
        !std::isnan(p.match) && p.match >= kMatched &&
        p.match >= kChance / std::sqrt(static_cast<double>(std::max(shared, 1L))) &&
        (!unreadAtUsual || p.match >= kSure);
    // Where the file numbers jump, only a sound that matches beyond doubt says that
    // nothing is missing after all: a periodic one matches a period away as well.
    // A tone matches closely enough a few rows off the scanner's step.
    const bool continues = p.match >= kContinues && !(p.rival >= p.match - 0.05) &&
                           std::abs(p.advance - usual) <= reach / 2;
    if (missing(k) > 0 && !continues) {
      // The numbers jump and the sound does not continue: scans are missing here.
      join.missing = missing(k);
      join.kind = JoinKind::Missing;
      join.advance = (join.missing + 1) * typical + shift(k);
      join.confidence = NAN;
      continue;
    }
    join.confidence = p.match;
    if (matched) {
      join.kind = JoinKind::Clean;
      join.advance = p.advance;
      measuredParts[k] = overlapPart(scans[k - 1].samples, scans[k].samples, p.advance);
      periodic[k] = p.rival >= p.match - 0.05;
      // The film's own advance is the scanner's, between the scans' first rows: the rows
      // left unread at either scan's start do not move the film.
      advances += p.advance - shift(k);
      ++plan.cleanJoins;
    } else if (spreads[k] < 0.05 * usualSpread ||
               static_cast<long>(scans[k - 1].samples.size()) - usual < kMinimumOverlap) {
      // A quiet overlap, or none left between the gate's shadows: nothing to match.
      join.kind = JoinKind::Quiet;
      join.advance = usual;
    } else {
      // The sound does not say where this scan lies (a speck, a scratch, a scan out of
      // its place): the reel's usual advance, or the frame lines below, places it. A
      // whole scan is left out only where the file numbers say so.
      join.kind = JoinKind::Unmatched;
      join.advance = usual;
    }
  }
  plan.meanAdvance = plan.cleanJoins > 0 ? advances / plan.cleanJoins : typical;
  std::vector<int> shifts(static_cast<size_t>(n), 0);
  for (int k = 1; k < n; ++k) shifts[static_cast<size_t>(k)] = shift(k);
  const bool betweenRows = placeBetweenRows(plan, measuredParts, shifts);

  // Where each scan holds one frame, the frame lines beside the track tell how far the
  // scanner stepped even where the sound cannot: each scan's lines lie where the last
  // one's did, moved by the step's difference from the mean advance. A quiet overlap
  // takes its advance from them, and so does a periodic sound that matches a period
  // away about as well as where the lines put it.
  const bool frameAScan = std::abs(typical - pitch) < pitch / 5;
  // Long strips whose sound matches at no join: their own frame lines measure the
  // film's pitch, and the lines of each scan against the last one's place it.
  const int framesAScan =
      std::max(1, static_cast<int>(std::lround(static_cast<double>(typical) / pitch)));
  const double linePitch =
      plan.cleanJoins == 0 && framesAScan > 1 ? pictureLinePitch(scans, pitch) : 0.0;
  if (linePitch > 0.0) plan.meanAdvance = framesAScan * linePitch;
  const bool byLines = frameAScan || linePitch > 0.0;
  // Strips are laid in the gate one by one, each turned its own way: their frame lines
  // are held against each other as the sound is timed. A reel of single frames is turned
  // as the gate is, alike on every scan.
  std::vector<std::vector<float>> pictures;
  for (const ScanSound& s : scans)
    pictures.push_back(framesAScan > 1 ? timedAsSound(s) : s.picture);
  const double meanClean = plan.meanAdvance;
  bool everyJoinKnown = byLines;
  // The frame lines' lag across each gap in the file numbers: its advance is that many
  // rows more than the missing scans' and its own whole steps of the film's pitch. It is
  // measured to a part of a row: a scanner stepping by whole rows starts each scan up to
  // half a row off the film's frames, and the lines with it, which the steps over the
  // missing scans add to.
  std::vector<double> gapLags(static_cast<size_t>(n), 0.0);
  // Joins whose advance the sound or the frame lines measured.
  std::vector<bool> known(static_cast<size_t>(n), false);
  for (int k = 1; k < n && byLines; ++k) {
    ScanJoin& join = plan.joins[k];
    const bool quiet = join.kind == JoinKind::Quiet || join.kind == JoinKind::Unmatched;
    Peak lines;
    if ((quiet || (join.kind == JoinKind::Clean && periodic[k])) && !pictures[k - 1].empty() &&
        !pictures[k].empty())
      lines = linePitch > 0.0 ? frameLineLag(edgesOf(pictures[k - 1]), edgesOf(pictures[k]), reach)
                              : frameLineLag(pictures[k - 1], pictures[k], reach);
    const bool gap = join.kind == JoinKind::Missing;
    // Across scans missing at a gap in the file numbers, the scanner took whole steps:
    // the frame lines either side of the gap place the scan after it.
    double linesPart = 0.0;
    if (gap && !pictures[k - 1].empty() && !pictures[k].empty()) {
      const std::vector<float> before = edgesOf(pictures[k - 1]), after = edgesOf(pictures[k]);
      lines = frameLineLag(before, after, reach);
      if (!std::isnan(lines.match)) linesPart = partRow(before, after, lines);
    }
    const bool seen = linesInLine(lines);
    everyJoinKnown = everyJoinKnown && (join.kind == JoinKind::Clean ||
                                        ((join.kind == JoinKind::Quiet || gap) && seen));
    known[static_cast<size_t>(k)] = join.kind == JoinKind::Clean || seen;
    if (gap) {
      // A scanner stepping by the film's own pitch placed the scan after it already.
      if (seen) gapLags[k] = lines.advance + linesPart;
      if (seen && !betweenRows)
        join.advance = static_cast<int>(std::lround((join.missing + 1) * meanClean + gapLags[k]));
      continue;
    }
    if (!seen) {
      // Strips placed by their own frame lines' pitch where the lines do not say more.
      if (quiet && linePitch > 0.0)
        join.advance = static_cast<int>(std::lround(meanClean)) + shift(k);
      continue;
    }
    const int there = static_cast<int>(std::lround(meanClean)) + lines.advance;
    if (quiet) {
      // The film's own advance and the lines' lag both to a part of a row: the scanner
      // started this scan on the row nearest their sum. A scanner stepping by the film's
      // own pitch placed this scan already.
      if (!betweenRows) {
        const double lag = lineLagBetweenRows(pictures[k - 1], pictures[k], lines.advance);
        join.advance = std::isnan(lag) ? there : static_cast<int>(std::lround(meanClean + lag));
      }
    } else if (std::abs(there - join.advance) >= 2) {
      const double match = overlapCorrelation(scans[k - 1].samples, scans[k].samples, there);
      if (!std::isnan(match) && match >= join.confidence - 0.05) {
        join.advance = there;
        join.confidence = match;
      }
    }
  }
  // Joins neither the sound nor the frame lines place (lines too faint in a dark
  // leader): the scanner's stepping to the row nearest each frame places them.
  if (frameAScan && linePitch == 0.0 && !betweenRows) {
    std::vector<long> rows(static_cast<size_t>(n), 0);
    std::vector<int> frames(static_cast<size_t>(n), 0);
    const auto count = [&] {
      for (int k = 1; k < n; ++k) {
        const ScanJoin& join = plan.joins[k];
        rows[static_cast<size_t>(k)] = rows[static_cast<size_t>(k - 1)] + join.advance - shift(k);
        frames[static_cast<size_t>(k)] = frames[static_cast<size_t>(k - 1)] + join.missing + 1;
      }
    };
    count();
    for (int k = 1; k < n; ++k) {
      if (known[static_cast<size_t>(k)] || plan.joins[k].kind == JoinKind::Clean) continue;
      const int step =
          stepByFramePlaces(rows, frames, known, k, meanClean, 2.0 / std::max(plan.cleanJoins, 1));
      if (step <= 0) continue;
      plan.joins[k].advance = step + shift(k);
      known[static_cast<size_t>(k)] = true;
      count();
    }
  }
  // With every join known, the frame lines measure the film's pitch free of the
  // scanner's wandering step: the first scan's lines lie where the last one's do, but
  // for the steps' sum less that many frames.
  if (everyJoinKnown && n >= 3 && !pictures.front().empty() && !pictures.back().empty()) {
    // Their edges, not the pictures between them, which differ from frame to frame.
    const std::vector<float> first = edgesOf(pictures.front()), last = edgesOf(pictures.back());
    const Peak ends = frameLineLag(first, last, reach);
    // A gap's advance is whole steps of the pitch sought, and its lines' lag.
    double span = 0.0;
    int steps = 0;
    for (int k = 1; k < n; ++k) {
      const ScanJoin& join = plan.joins[k];
      if (join.kind == JoinKind::Missing) {
        span += gapLags[k];
      } else {
        span += join.advance + join.part;
        ++steps;
      }
    }
    if (linesInLine(ends) && steps > 0) {
      plan.meanAdvance = (span - ends.advance - partRow(first, last, ends)) / steps;
      for (int k = 1; k < n; ++k) {
        ScanJoin& join = plan.joins[k];
        if (join.kind == JoinKind::Missing && !betweenRows)
          join.advance =
              static_cast<int>(std::lround((join.missing + 1) * plan.meanAdvance + gapLags[k]));
      }
    }
  }
  return plan;
}

std::vector<float> assembleScans(const std::vector<ScanSound>& scans, const JoinPlan& plan,
                                 bool crossfade, bool evenly, int bandReach, bool fromLast,
                                 bool restNearby) {
  std::vector<float> out;
  if (scans.empty()) return out;
  // Where the first scan's first row lies in the output: on a whole row, or where it
  // puts the last scan's on one, a part of a row before the output's first.
  double place = 0.0;
  if (fromLast) {
    double span = 0.0;
    for (size_t k = 1; k < scans.size(); ++k) span += plan.joins[k].advance + plan.joins[k].part;
    place = std::floor(span + 1e-9) - span;
  }
  out = partRowLater(scans.front().samples, -place);
  // The resting level: the mean of all the reel's samples.
  double sum = 0.0, count = 0.0;
  for (const ScanSound& scan : scans) {
    for (const float v : scan.samples) sum += v;
    count += static_cast<double>(scan.samples.size());
  }
  const double rest = count > 0.0 ? sum / count : 0.0;
  long previousEnds = static_cast<long>(out.size());  // where its last sample ends in it
  for (size_t k = 1; k < scans.size(); ++k) {
    const double previousPlace = place;
    place += plan.joins[k].advance + plan.joins[k].part;
    // A scan that starts between two rows of the output is read onto them.
    const long at = static_cast<long>(std::ceil(place - 1e-9));
    const std::vector<float> present = partRowLater(scans[k].samples, at - place);
    const long end = static_cast<long>(out.size());
    if (present.empty()) continue;
    if (at >= end) {
      const bool missing = plan.joins[k].kind == JoinKind::Missing;
      // Rows the gate's shadow leaves between the two scans' brighter rows are read from
      // their faint rows, where a scan holds them: not across missing scans.
      std::vector<float> after, before;
      if (!missing && previousEnds == end) after = scans[k - 1].faintAfter;
      if (!missing && !scans[k].faintBefore.empty()) {
        std::vector<float> whole = scans[k].faintBefore;
        whole.insert(whole.end(), scans[k].samples.begin(), scans[k].samples.end());
        whole = partRowLater(whole, at - place);
        whole.resize(std::min(whole.size(), scans[k].faintBefore.size()));
        before = std::move(whole);
      }
      const double gapRest = missing && restNearby
                                 ? 0.5 * (meanOf(scans[k - 1].samples) + meanOf(scans[k].samples))
                                 : rest;
      fillGap(out, gapRest, present, at - end, after, before, missing ? 0 : kEaseSamples);
      out.insert(out.end(), present.begin(), present.end());
    } else {
      const long overlap = std::min<long>(end - at, static_cast<long>(present.size()));
      const long middle = overlap / 2;
      // A splice's band in or near the overlap may run into one scan's end, where that
      // scan leaves it unread: the raised cosine keeps to the scan that holds it whole.
      const auto nearOverlap = [&](const std::vector<int>& rows, double first) {
        return std::any_of(rows.begin(), rows.end(), [&](int r) {
          const double atRow = first + r;
          return atRow >= static_cast<double>(at - overlap) &&
                 atRow < static_cast<double>(at + 2 * overlap);
        });
      };
      const bool even = evenly && !nearOverlap(scans[k - 1].spliceRows, previousPlace) &&
                        !nearOverlap(scans[k].spliceRows, place);
      // Rows of the overlap about a band one scan found and the other did not (it ran
      // into the other's end): 1 where only the previous scan found it, -1 the present.
      std::vector<signed char> only(static_cast<size_t>(overlap), 0);
      const auto foundBy = [&](const std::vector<int>& rows, double first,
                               const std::vector<int>& others, double othersFirst,
                               signed char mark) {
        for (const int r : rows) {
          const double centre = first + r;
          const bool alike = std::any_of(others.begin(), others.end(), [&](int o) {
            return std::abs(othersFirst + o - centre) <= bandReach;
          });
          if (alike) continue;
          for (long i = std::max(0L, static_cast<long>(std::floor(centre)) - bandReach - at);
               i < overlap && at + i <= centre + bandReach; ++i)
            only[static_cast<size_t>(i)] = mark;
        }
      };
      if (bandReach > 0) {
        foundBy(scans[k - 1].spliceRows, previousPlace, scans[k].spliceRows, place, 1);
        foundBy(scans[k].spliceRows, place, scans[k - 1].spliceRows, previousPlace, -1);
      }
      for (long i = 0; i < overlap; ++i) {
        float& sample = out[static_cast<size_t>(at + i)];
        if (only[static_cast<size_t>(i)] != 0) {
          if (only[static_cast<size_t>(i)] < 0) sample = present[i];
        } else if (crossfade && even) {
          // Eased into and out of over a tenth of the overlap at either end, where the
          // scan coming in or going out lies in the gate's penumbra.
          const double ramp = std::max(1.0, 0.1 * static_cast<double>(overlap));
          const double x = static_cast<double>(i) + 0.5;
          const double w = x < ramp             ? 0.75 + 0.25 * std::cos(kPi * x / ramp)
                           : x > overlap - ramp ? 0.25 - 0.25 * std::cos(kPi * (overlap - x) / ramp)
                                                : 0.5;
          sample = static_cast<float>(w * sample + (1.0 - w) * present[i]);
        } else if (crossfade) {
          const double w = 0.5 + 0.5 * std::cos(kPi * (i + 0.5) / overlap);
          sample = static_cast<float>(w * sample + (1.0 - w) * present[i]);
        } else if (i >= middle) {
          sample = present[i];
        }
      }
      out.resize(static_cast<size_t>(at + overlap));
      out.insert(out.end(), present.begin() + overlap, present.end());
    }
    previousEnds = at + static_cast<long>(present.size());
  }
  return out;
}

namespace {
// The share of the gate's light under which a row is not read.
constexpr double kLeastLight = 0.5;
}  // namespace

void relightPenumbra(std::vector<ScanSound>& scans, const JoinPlan& plan,
                     const std::vector<LitRows>& lits) {
  const size_t n = std::min({scans.size(), plan.joins.size(), lits.size()});
  if (n < 2) return;
  // The shares given back are near only: rows found fully lit on one scan may be dimmed
  // on another. The penumbra is taken as reaching as far as it does on any scan.
  int headEnd = 0, tailStart = 1 << 30;
  for (size_t k = 0; k < n; ++k) {
    headEnd = std::max(headEnd, lits[k].first + static_cast<int>(lits[k].head.size()));
    tailStart = std::min(tailStart, lits[k].end - static_cast<int>(lits[k].tail.size()));
  }
  // Scan row of sample i of scan k, and the share of light it was given back by.
  const auto rowOf = [&](size_t k, long i) { return lits[k].first + static_cast<int>(i); };
  const auto shareOf = [&](size_t k, long i) -> double {
    const long last = static_cast<long>(scans[k].samples.size()) - 1;
    const auto& head = lits[k].head;
    const auto& tail = lits[k].tail;
    if (i >= 0 && i < static_cast<long>(head.size())) return head[static_cast<size_t>(i)];
    if (last - i >= 0 && last - i < static_cast<long>(tail.size()))
      return tail[static_cast<size_t>(last - i)];
    return 1.0;
  };
  const auto shaded = [&](size_t k, long i) {
    const int row = rowOf(k, i);
    return row < headEnd || row >= tailStart;
  };
  // Each sample as read with the light the reel's fit gives its row.
  const auto asFitted = [&](size_t k, long i) {
    const std::vector<float>& own = scans[k].ownLight;
    const double sample = scans[k].samples[static_cast<size_t>(i)];
    return own.size() == scans[k].samples.size() ? sample * own[static_cast<size_t>(i)] : sample;
  };
  // The gate's light on each row of the scan, as each pair of scans measures it.
  std::vector<std::vector<double>> light;
  const auto measure = [&](size_t k, long i, size_t other, long j) {
    const std::vector<float>& s = scans[k].samples;
    const std::vector<float>& o = scans[other].samples;
    if (i < 0 || j < 0 || i >= static_cast<long>(s.size()) || j >= static_cast<long>(o.size()) ||
        shaded(other, j))
      return;
    const double read = asFitted(k, i), lit = o[static_cast<size_t>(j)];
    const int row = rowOf(k, i);
    if (!(read * lit > 0.0) || row < 0) return;
    if (static_cast<size_t>(row) >= light.size()) light.resize(static_cast<size_t>(row) + 1);
    light[static_cast<size_t>(row)].push_back(shareOf(k, i) * read / lit);
  };
  for (size_t k = 1; k < n; ++k) {
    const ScanJoin& join = plan.joins[k];
    if (join.kind != JoinKind::Clean && join.kind != JoinKind::Quiet) continue;
    const long length = static_cast<long>(scans[k].samples.size());
    for (long i = 0; i < length && rowOf(k, i) < headEnd; ++i)
      measure(k, i, k - 1, join.advance + i);
    const long before = static_cast<long>(scans[k - 1].samples.size());
    for (long i = before - 1; i >= 0 && rowOf(k - 1, i) >= tailStart; --i)
      measure(k - 1, i, k, i - join.advance);
  }
  std::vector<double> gate(light.size(), 0.0);
  for (size_t r = 0; r < light.size(); ++r) {
    std::vector<double>& v = light[r];
    if (v.empty()) continue;
    std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
    gate[r] = v[v.size() / 2];
  }
  for (size_t k = 0; k < n; ++k) {
    std::vector<float>& s = scans[k].samples;
    // Rows the gate leaves under half its light are no more read than a positive's
    // are: they hold the scan's resting level.
    double sum = 0.0;
    long count = 0;
    for (long i = 0; i < static_cast<long>(s.size()); ++i)
      if (!shaded(k, i)) sum += s[static_cast<size_t>(i)], ++count;
    const double rest = count > 0 ? sum / static_cast<double>(count) : 0.0;
    for (long i = 0; i < static_cast<long>(s.size()); ++i) {
      const int row = rowOf(k, i);
      if (!shaded(k, i) || row < 0 || static_cast<size_t>(row) >= gate.size() ||
          !(gate[static_cast<size_t>(row)] > 0.0))
        continue;
      s[static_cast<size_t>(i)] =
          gate[static_cast<size_t>(row)] < kLeastLight
              ? static_cast<float>(rest)
              : static_cast<float>(asFitted(k, i) * shareOf(k, i) / gate[static_cast<size_t>(row)]);
    }
  }
}

void matchOverlapLevels(std::vector<ScanSound>& scans, const JoinPlan& plan) {
  constexpr long kLeastShared = 32;
  // Scans either side whose levels, followed on from scan to scan, hold the reel's.
  constexpr int kAround = 3;
  // The level each scan reads at against the first, in logarithms, followed on.
  std::vector<double> followed(scans.size(), 0.0);
  // Whether a step was measured from the scan before.
  std::vector<bool> linked(scans.size(), false);
  std::vector<double> ratios;
  for (size_t k = 1; k < scans.size(); ++k) {
    followed[k] = followed[k - 1];
    if (k >= plan.joins.size()) continue;
    const ScanJoin& join = plan.joins[k];
    if (join.kind != JoinKind::Clean && join.kind != JoinKind::Quiet) continue;
    const std::vector<float>& previous = scans[k - 1].samples;
    const std::vector<float>& present = scans[k].samples;
    const long from = join.advance;
    const long shared =
        std::min(static_cast<long>(previous.size()) - from, static_cast<long>(present.size()));
    if (from < 0 || shared < kLeastShared) continue;
    // Short of the overlap's ends, where the gate's penumbra lies.
    const long edge = shared / 8;
    ratios.clear();
    for (long i = edge; i < shared - edge; ++i) {
      const double a = previous[static_cast<size_t>(from + i)];
      const double b = present[static_cast<size_t>(i)];
      if (a * b > 0.0) ratios.push_back(a / b);
    }
    if (static_cast<long>(ratios.size()) < (shared - 2 * edge) / 2) continue;
    const auto middle = ratios.begin() + static_cast<long>(ratios.size() / 2);
    std::nth_element(ratios.begin(), middle, ratios.end());
    if (*middle > 0.5 && *middle < 2.0) {
      followed[k] += std::log(*middle);
      linked[k] = true;
    }
  }
  // Each scan is moved by its own step only: the level over a few scans stays as the
  // film beside the track measured it, so that no error is carried along the reel. The
  // scans counted are those the steps link to it: across a join no step was measured
  // over, the levels either side are each their own. That level is held at each scan's
  // middle row and drawn straight between them along the film, so that where two scans
  // share rows they read them alike: a level kept scan by scan would step at every join
  // by as much as the beside measure wanders over the scans counted.
  const int n = static_cast<int>(scans.size());
  std::vector<int> run(static_cast<size_t>(n), 0);
  std::vector<double> start(static_cast<size_t>(n), 0.0);  // first row's place on the film
  for (int k = 1; k < n; ++k) {
    const auto at = static_cast<size_t>(k);
    run[at] = run[at - 1] + (linked[at] ? 0 : 1);
    start[at] = start[at - 1] + (at < plan.joins.size() ? plan.joins[at].advance : 0);
  }
  std::vector<double> held(static_cast<size_t>(n), 0.0), middle(static_cast<size_t>(n), 0.0);
  for (int k = 0; k < n; ++k) {
    double sum = 0.0;
    int count = 0;
    for (int j = std::max(0, k - kAround); j <= std::min(n - 1, k + kAround); ++j) {
      if (run[static_cast<size_t>(j)] != run[static_cast<size_t>(k)]) continue;
      sum += followed[static_cast<size_t>(j)];
      ++count;
    }
    held[static_cast<size_t>(k)] = sum / count;
    middle[static_cast<size_t>(k)] =
        start[static_cast<size_t>(k)] +
        0.5 * static_cast<double>(scans[static_cast<size_t>(k)].samples.size());
  }
  // The held level at `place` on the film, among the scans of scan k's run.
  const auto heldAt = [&](int k, double place) {
    int j = k;
    while (j > 0 && run[static_cast<size_t>(j - 1)] == run[static_cast<size_t>(k)] &&
           place < middle[static_cast<size_t>(j)])
      --j;
    while (j + 1 < n && run[static_cast<size_t>(j + 1)] == run[static_cast<size_t>(k)] &&
           place >= middle[static_cast<size_t>(j + 1)])
      ++j;
    const auto at = static_cast<size_t>(j);
    if (place <= middle[at] || j + 1 >= n || run[at + 1] != run[at]) {
      if (place >= middle[at] || j == 0 || run[at - 1] != run[at]) return held[at];
      const double w = (place - middle[at - 1]) / (middle[at] - middle[at - 1]);
      return held[at - 1] + w * (held[at] - held[at - 1]);
    }
    const double w = (place - middle[at]) / (middle[at + 1] - middle[at]);
    return held[at] + w * (held[at + 1] - held[at]);
  };
  for (int k = 0; k < n; ++k) {
    ScanSound& scan = scans[static_cast<size_t>(k)];
    const double own = followed[static_cast<size_t>(k)];
    const double first = start[static_cast<size_t>(k)];
    for (size_t i = 0; i < scan.samples.size(); ++i)
      scan.samples[i] *=
          static_cast<float>(std::exp(own - heldAt(k, first + static_cast<double>(i))));
    const auto before = static_cast<float>(std::exp(own - heldAt(k, first)));
    for (float& v : scan.faintBefore) v *= before;
    const auto after = static_cast<float>(
        std::exp(own - heldAt(k, first + static_cast<double>(scan.samples.size()))));
    for (float& v : scan.faintAfter) v *= after;
  }
}

std::vector<float> withShadowedEnds(const std::vector<float>& sound, int lead, int tail) {
  if (sound.empty()) return sound;
  const double rest = meanOf(sound);
  std::vector<float> out;
  out.reserve(sound.size() + static_cast<size_t>(std::max(lead, 0) + std::max(tail, 0)));
  bridgeGap(out, rest, sound, lead, kEaseSamples, kEaseSamples);
  out.insert(out.end(), sound.begin(), sound.end());
  bridgeGap(out, rest, {}, tail, kEaseSamples, kEaseSamples);
  return out;
}

}  // namespace kelvora
