#include "precise/scan_sound.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <tuple>

#include "precise/between_rows.h"
#include "precise/bright_line.h"
#include "precise/clear_part.h"
#include "precise/column_runs.h"
#include "precise/density_rows.h"
#include "precise/hidden_rows.h"
#include "precise/light_across.h"
#include "precise/speck_tips.h"
#include "precise/track_strip.h"
#include "signal/side_by_side.h"
#include "signal/vector_clones.h"

namespace kelvora {

namespace {

// Each of `count` levels between `from[x]` and `from[x + 1]`, a `part` of the way, into
// `out[x]`.
KELVORA_VECTOR_CLONES void blendRow(const float* __restrict from, int count, float part,
                                    float* __restrict out) {
  for (int x = 0; x < count; ++x) out[x] = from[x] + part * (from[x + 1] - from[x]);
}

// Each of the `cols` levels of `row` as a share of the span from `opaque`: each
// share's own division, four at a time where the processor can.
KELVORA_VECTOR_CLONES void sharesOfRow(const float* __restrict row, int cols, double opaque,
                                       double span, float* __restrict shares) {
  for (int x = 0; x < cols; ++x) shares[x] = static_cast<float>((row[x] - opaque) / span);
}

// Adds each of the `cols` levels of `row` to its column's `sum`, and its square to its
// `squares`, in double: each column's sums are their own, however many are taken at once.
KELVORA_VECTOR_CLONES void addToColumns(const float* __restrict row, int cols,
                                        double* __restrict sum, double* __restrict squares) {
  for (int j = 0; j < cols; ++j) {
    const double v = row[j];
    sum[j] += v;
    squares[j] += v * v;
  }
}

// The level of each column along `pieces` equal lengths of a strip, and the middle
// row of each length.
struct Lengths {
  std::vector<std::vector<float>> means;
  std::vector<double> middles;
  std::vector<int> rows;
};

Lengths columnMeansAlong(const cv::Mat& strip, const StripLevels& levels, int pieces) {
  Lengths lengths;
  lengths.means.assign(static_cast<size_t>(pieces), std::vector<float>(strip.cols));
  for (int k = 0; k < pieces; ++k) {
    const int y0 = strip.rows * k / pieces;
    const int y1 = strip.rows * (k + 1) / pieces;
    lengths.middles.push_back(0.5 * (y0 + y1));
    lengths.rows.push_back(y1 - y0);
  }
  // Columns are summed apart, in stripes side by side.
  sideBySide(strip.cols, [&](int first, int end) {
    for (int k = 0, y0 = 0; k < pieces; y0 += lengths.rows[static_cast<size_t>(k++)]) {
      const cv::Mat piece =
          strip(cv::Range(y0, y0 + lengths.rows[static_cast<size_t>(k)]), cv::Range(first, end));
      const std::vector<float> means = columnMeans(piece, levels);
      std::copy(means.begin(), means.end(), lengths.means[static_cast<size_t>(k)].begin() + first);
    }
  });
  return lengths;
}

// The level of each column over the whole strip, from its lengths.
std::vector<float> wholeProfile(const Lengths& lengths) {
  std::vector<double> sum(lengths.means.front().size(), 0.0);
  int rows = 0;
  for (size_t k = 0; k < lengths.means.size(); ++k) {
    for (size_t u = 0; u < sum.size(); ++u) sum[u] += lengths.means[k][u] * lengths.rows[k];
    rows += lengths.rows[k];
  }
  std::vector<float> profile(sum.size());
  for (size_t u = 0; u < sum.size(); ++u) profile[u] = static_cast<float>(sum[u] / rows);
  return profile;
}

// The film's sideways drift per row along the scan: the lateral offset of each length
// of it, fitted by a straight line. Each length is held against the scan's middle one,
// no further than a turn of a degree takes it: the reel's profile is blurred by the
// turn and weave of the first scans, within which a length's sharp edges match alike
// and the sound's swing would set the offset. Where too few lengths lie on one line to
// tell (a loud unilateral track's swing moves most of them), `told` is set false and
// no drift returned.
double measureSkew(const Lengths& lengths, int rows, bool* told = nullptr) {
  if (lengths.means.size() < 4) return 0.0;
  constexpr double kSlopeOfADegree = 0.017455;
  const int reach = 3 + static_cast<int>(std::ceil(kSlopeOfADegree * rows / 2));
  const std::vector<double>& ys = lengths.middles;
  const std::vector<float>& middle = lengths.means[lengths.means.size() / 2];
  std::vector<double> offsets;
  for (const auto& means : lengths.means) offsets.push_back(lateralOffset(middle, means, reach));
  double slope = 0.0;
  std::vector<bool> use(ys.size(), true);
  for (int pass = 0; pass < 2; ++pass) {
    double n = 0, sy = 0, so = 0, syy = 0, syo = 0;
    for (size_t i = 0; i < ys.size(); ++i) {
      if (!use[i]) continue;
      n += 1;
      sy += ys[i];
      so += offsets[i];
      syy += ys[i] * ys[i];
      syo += ys[i] * offsets[i];
    }
    const double det = n * syy - sy * sy;
    if (n < 4 || det <= 0.0) {
      if (told) *told = false;
      return 0.0;
    }
    slope = (n * syo - sy * so) / det;
    const double cut = (so - slope * sy) / n;
    for (size_t i = 0; i < ys.size(); ++i)
      use[i] = std::abs(offsets[i] - (cut + slope * ys[i])) < 1.0;  // a lump of dirt
  }
  // A drift of under half a column over the scan is no turn worth undoing.
  return std::abs(slope * rows) < 0.5 ? 0.0 : slope;
}

// The level of each column over the whole strip as if it lay straight in the gate: each
// length's levels moved back by the film's drift across since the strip's middle row,
// `skew` columns a row, between columns by a linear blend. A turn smears the whole
// strip's profile by its drift, differently for each turn; a straight one is sharp and
// the same for strips turned every way.
std::vector<float> straightProfile(const Lengths& lengths, double skew) {
  if (skew == 0.0) return wholeProfile(lengths);
  const int n = static_cast<int>(lengths.means.front().size());
  std::vector<double> sum(static_cast<size_t>(n), 0.0);
  int rows = 0;
  for (const int r : lengths.rows) rows += r;
  for (size_t k = 0; k < lengths.means.size(); ++k) {
    const std::vector<float>& means = lengths.means[k];
    const double drift = skew * (lengths.middles[k] - 0.5 * rows);
    for (int u = 0; u < n; ++u) sum[u] += linearlyAt(means, u + drift) * lengths.rows[k];
  }
  std::vector<float> profile(static_cast<size_t>(n));
  for (int u = 0; u < n; ++u) profile[u] = static_cast<float>(sum[u] / rows);
  return profile;
}

// Lengths a strip is measured in for its turn: eight, or one where it is too short.
constexpr int kLengths = 8;
Lengths lengthsOf(const cv::Mat& strip, const StripLevels& levels) {
  return columnMeansAlong(strip, levels, strip.rows < kLengths * 16 ? 1 : kLengths);
}

// Rows either side of a place between rows that the windowed sinc reads.
constexpr int kSincReach = 4;
// Columns the film drifts sideways over a scan, at least, for a variable-area track to
// be read along a turn: the weave moves it by up to a couple within a scan.
constexpr double kLeastTurnDrift = 3.0;

// The column of `plain` (a window of the strip, `shift(y)` whole columns further along
// on row y where the film drifts) where its sound lies: the middle of the film's
// columns the sound moves, each weighed by how far it moves over the rows `measured`
// beyond the grain. A bilateral track's two edges swing alike about its middle; a
// unilateral track's sound is all in its moving edge, its fixed edge still. -1 where
// nothing moves beyond the grain.
template <typename Shift>
double soundColumn(const cv::Mat& plain, int cols, cv::Range measured, Shift shift) {
  std::vector<double> sum(static_cast<size_t>(cols), 0.0), squares(sum);
  for (int y = measured.start; y < measured.end; ++y) {
    const float* row = plain.ptr<float>(y);
    const int at = shift(y);
    if (at >= 0 && at + cols <= plain.cols) {
      // The whole window lies within the row: its columns as they are.
      addToColumns(row + at, cols, sum.data(), squares.data());
      continue;
    }
    for (int j = 0; j < cols; ++j) {
      const float v = row[std::clamp(at + j, 0, plain.cols - 1)];
      sum[j] += v;
      squares[j] += static_cast<double>(v) * v;
    }
  }
  const double count = std::max(measured.size(), 1);
  std::vector<double> spread(static_cast<size_t>(cols));
  for (int j = 0; j < cols; ++j)
    spread[j] = std::max(0.0, squares[j] / count - (sum[j] / count) * (sum[j] / count));
  std::vector<double> sorted = spread;
  std::nth_element(sorted.begin(), sorted.begin() + cols / 10, sorted.end());
  // Still film spreads by its grain alone; the sound's columns by far more.
  const double grain = 4.0 * sorted[static_cast<size_t>(cols / 10)];
  double weight = 0.0, moment = 0.0;
  for (int j = 0; j < cols; ++j) {
    const double w = std::max(0.0, spread[j] - grain);
    weight += w;
    moment += w * j;
  }
  return weight > 0.0 ? moment / weight : -1.0;
}

// Rows of the scan either side of a place between rows that a half of a turned
// bilateral track is read from, and the parts of a row its weights are kept for.
constexpr int kHalfReach = 8;
constexpr int kHalfParts = 1024;
// Rounds a half read along the film is mended in for its rows' uneven spacing.
constexpr int kEvenRounds = 4;

// One half of a turned bilateral track read along the film: `seen` holds its clear width
// on each row of the straightened window, its edge lying that far out from the track's
// middle column `middle`, before it (`side` -1) or after it (1). A turned unilateral
// track's clear part is read so too, from its fixed edge. `rowOf(y, column)` is
// the place between the scan's rows where window column `column` shows row y of film.
// The edge moves with the sound, and where it lies sets the row it shows: it is placed
// by the half read so far, three times over. A Lanczos-windowed sinc reads between rows,
// its weights taken for the nearest of kHalfParts parts of a row.
template <typename RowOf>
std::vector<double> halfAlong(const std::vector<double>& seen, double middle, int side,
                              RowOf rowOf) {
  static const RowsBetween between(kHalfReach, kHalfParts);
  const size_t n = seen.size();
  std::vector<double> half = seen, places(n), read(n);
  for (int round = 0; round < 3; ++round) {
    for (size_t y = 0; y < n; ++y) places[y] = rowOf(static_cast<int>(y), middle + side * half[y]);
    between.at(seen, places, half);
  }
  // Read so, the half is the sound as the scan's rows showed it: where the edge moves
  // fast across the turn, the rows it showed its sound on crowd together or spread apart,
  // and the sound between them, read as if they were evenly spaced, is a little off. The
  // half is taken back to the scan's rows, each at the row of film it shows, and what it
  // misses there read along the film as above and added, a few rounds.
  std::vector<double> filmRows(n), missed(n);
  for (size_t k = 0; k < n; ++k) {
    const double edge = middle + side * seen[k];
    filmRows[k] = 2.0 * static_cast<double>(k) - rowOf(static_cast<int>(k), edge);
  }
  for (int round = 0; round < kEvenRounds; ++round) {
    between.at(half, filmRows, read);
    for (size_t k = 0; k < n; ++k) missed[k] = seen[k] - read[k];
    for (size_t y = 0; y < n; ++y) places[y] = rowOf(static_cast<int>(y), middle + side * half[y]);
    between.at(missed, places, read);
    for (size_t y = 0; y < n; ++y) half[y] += read[y];
  }
  return half;
}

// `cols` columns of each row of `film` from column `first`, moved sideways by the film's
// drift since row `middle`, `skew` columns a row, read between columns by a linear
// blend, which keeps the clear width a row holds: a column of the result is a column of
// film on every row. The ends stand for the columns beyond them.
cv::Mat acrossTheFilm(const cv::Mat& film, double skew, double middle, int first, int cols) {
  cv::Mat moved(film.rows, cols, CV_32F);
  const int n = film.cols;
  sideBySide(film.rows, [&](int firstRow, int endRow) {
    for (int y = firstRow; y < endRow; ++y) {
      const double drift = first + skew * (y - middle);
      const int whole = static_cast<int>(std::floor(drift));
      const float part = static_cast<float>(drift - whole);
      const float* in = film.ptr<float>(y);
      float* out = moved.ptr<float>(y);
      const auto at = [&](int x) {
        const float a = in[std::clamp(x + whole, 0, n - 1)];
        const float b = in[std::clamp(x + whole + 1, 0, n - 1)];
        return a + part * (b - a);
      };
      // The columns whose both neighbours lie within the row, apart from the ends.
      const int inFirst = std::clamp(-whole, 0, cols);
      const int inEnd = std::clamp(n - 1 - whole, inFirst, cols);
      for (int x = 0; x < inFirst; ++x) out[x] = at(x);
      blendRow(in + whole + inFirst, inEnd - inFirst, part, out + inFirst);
      for (int x = inEnd; x < cols; ++x) out[x] = at(x);
    }
  });
  return moved;
}

// The levels of the window of the strip read along the film: column j of the result
// is the film's column that lies at `from + j` on row `middleRow`, read the part of a
// row later that the gate's `turn` moves it by (rows a column), so that a row of the result is a
// row of film and a column of it a column of film. Along, between rows a Lanczos-windowed sinc over
// kSincReach rows either side reads it (the ends standing for the rows beyond): the sound on a
// track reaches near the rows' own limit, and a move to the nearest row would set the columns
// either side of a step half a row apart in time, breaking an edge that moved within the row in
// two. The rows are timed at the column of the gate where the sound lies (see soundColumn, measured
// on the rows `measured`), the film's `offset` from the first scans taken off: the turn is the
// gate's, and the film weaving across it does not move where its rows are timed. So a unilateral
// track's sound keeps its time from scan to scan, however far the window reaches past it. Across,
// the film drifts `skew` columns a row, the turn's drift and the weave's within the scan together:
// each row is read that far along (see acrossTheFilm); a scratch along the film stays in its
// columns, and a bilateral track's middle with it.
cv::Mat alongTheFilm(const cv::Mat& strip, const StripLevels& levels, int from, int to, double turn,
                     double skew, double offset, double middleRow, cv::Range measured) {
  if (turn == 0.0) return stripLevels(strip.colRange(from, to), levels);
  // The columns the film's drift brings into the window on some row.
  const int reach =
      static_cast<int>(std::ceil(std::abs(skew) * std::max(middleRow, strip.rows - middleRow))) + 1;
  const int wideFrom = std::max(0, from - reach);
  const int wideTo = std::min(strip.cols, to + reach);
  const cv::Mat plain = stripLevels(strip.colRange(wideFrom, wideTo), levels);
  const int rows = plain.rows, wide = plain.cols, cols = to - from;
  // Where on row y the window's first column lies in `plain`.
  const auto across = [&](int y) { return from - wideFrom + skew * (y - middleRow); };
  const double sound = soundColumn(plain, cols, measured,
                                   [&](int y) { return static_cast<int>(std::lround(across(y))); });
  const double centre = (sound >= 0.0 ? sound : 0.5 * (cols - 1)) - offset + from - wideFrom;
  constexpr int kTaps = 2 * kSincReach;
  // Each tap's weights side by side across the columns; the whole rows of a column's
  // delay fall in runs of columns, each run read from the same rows.
  std::vector<float> weights(static_cast<size_t>(kTaps) * wide);
  std::vector<std::pair<int, int>> runs;  // (first column, whole rows of its delay)
  for (int j = 0; j < wide; ++j) {
    const double delay = -turn * (j - centre);
    const int whole = static_cast<int>(std::floor(delay));
    if (runs.empty() || runs.back().second != whole) runs.emplace_back(j, whole);
    const std::vector<double> w = lanczosWeights(delay - whole, kSincReach);
    for (int k = 0; k < kTaps; ++k)
      weights[static_cast<size_t>(k) * wide + j] = static_cast<float>(w[static_cast<size_t>(k)]);
  }
  cv::Mat along(rows, wide, CV_32F, cv::Scalar(0));
  // Rows are read apart, in stripes side by side.
  sideBySide(rows, [&](int first, int end) {
    for (int y = first; y < end; ++y) {
      float* out = along.ptr<float>(y);
      for (size_t r = 0; r < runs.size(); ++r) {
        const int j0 = runs[r].first;
        const int j1 = r + 1 < runs.size() ? runs[r + 1].first : wide;
        for (int k = 0; k < kTaps; ++k) {
          const int at = std::clamp(y + runs[r].second + k - kSincReach + 1, 0, rows - 1);
          const float* in = plain.ptr<float>(at);
          const float* w = weights.data() + static_cast<size_t>(k) * wide;
          for (int j = j0; j < j1; ++j) out[j] += w[j] * in[j];
        }
      }
    }
  });
  return acrossTheFilm(along, skew, middleRow, from - wideFrom, cols);
}

// Whether the variable-area track in `window` is bilateral about twice its middle
// `mirrorSum`: the column clear on most rows, `inset` columns or more from either end,
// lies at that middle (a unilateral track's lies by its fixed edge). Every fourth row
// is counted; a column is clear where brighter than `middle`.
bool bilateralAbout(const cv::Mat& window, double mirrorSum, float middle, int inset) {
  std::vector<int> clear(static_cast<size_t>(window.cols), 0);
  for (int y = 0; y < window.rows; y += 4) {
    const float* row = window.ptr<float>(y);
    for (int x = inset; x < window.cols - inset; ++x)
      clear[static_cast<size_t>(x)] += row[x] > middle;
  }
  const int anchor = clearAnchor(clear);
  return anchor >= 0 && std::abs(2 * anchor - mirrorSum) <= std::max(4, window.cols / 20);
}

// The level a row holds at column `at`, between whole columns: a linear blend, as a
// pixel's share of an edge moves with it. `at` lies within the row.
float between(const float* row, double at) {
  const int whole = static_cast<int>(std::floor(at));
  const float part = static_cast<float>(at - whole);
  return part > 0.0f ? row[whole] + part * (row[whole + 1] - row[whole]) : row[whole];
}

// Fills columns a..b of every row of `window` (1 <= a <= b <= cols - 2): from their
// mirror columns about `mirrorSum` where it is not -1, read between columns, else on
// a straight line between the film either side. On a scan turned in the gate that was
// straightened across only, column x shows a row of film `turn` rows (a column) later
// than the column one to its left does: the mirror column shows the row column x does
// `turn` times their distance apart later, read there between rows by a linear blend.
void fillColumns(cv::Mat& window, int a, int b, double mirrorSum, double turn = 0.0) {
  if (mirrorSum >= 0.0 && turn != 0.0) {
    // The mirror columns lie beyond a..b, as scanned. Each column's mirror, and how many
    // rows later it shows the film, are the same on every row.
    const int last = window.rows - 1;
    struct Mirror {
      double later;  // rows
      int whole;     // the column before the mirror
      float part;    // and the part of a column past it
    };
    std::vector<Mirror> mirrors;
    for (int x = a; x <= b; ++x) {
      const double m = mirrorSum - x;
      const int whole = static_cast<int>(std::floor(m));
      mirrors.push_back({turn * (x - m), whole, static_cast<float>(m - whole)});
    }
    // The level a row holds at a mirror (see between).
    const auto at = [](const float* row, const Mirror& m) {
      return m.part > 0.0f ? row[m.whole] + m.part * (row[m.whole + 1] - row[m.whole])
                           : row[m.whole];
    };
    for (int y = 0; y < window.rows; ++y) {
      float* row = window.ptr<float>(y);
      for (int x = a; x <= b; ++x) {
        const Mirror& m = mirrors[static_cast<size_t>(x - a)];
        const double later = std::clamp(y + m.later, 0.0, static_cast<double>(last));
        const int whole = std::min(static_cast<int>(later), last);
        const float part = static_cast<float>(later - whole);
        const float here = at(window.ptr<float>(whole), m);
        const float next = at(window.ptr<float>(std::min(whole + 1, last)), m);
        row[x] = here + part * (next - here);
      }
    }
    return;
  }
  for (int y = 0; y < window.rows; ++y) {
    float* row = window.ptr<float>(y);
    const float l = row[a - 1], r = row[b + 1];
    for (int x = a; x <= b; ++x)
      row[x] =
          mirrorSum >= 0 ? between(row, mirrorSum - x) : l + (r - l) * (x - a + 1) / (b - a + 2);
  }
}

// The sum of the columns a bilateral track mirrors onto each other (column x onto
// mirrorSum - x), to a quarter column, within `reach` of `around`: where a window's
// column levels `means` (a row of them) are most nearly their own mirror image. The
// columns least like their mirror, a fifth of them, are left out of the measure: a
// scratch along one side of the track has no image on the other. Whole columns are tried
// first, then quarters about the best of them; within `reach` of each of `arounds`, the
// best of all.
double mirrorAxis(const cv::Mat& means, const std::vector<int>& arounds, int reach) {
  const float* m = means.ptr<float>(0);
  const int n = means.cols;
  std::vector<double> apart;
  // The mean squared difference of the columns kept, or -1 where too few mirror.
  const auto scoreAt = [&](double sum) {
    apart.clear();
    for (int u = 0; u < n; ++u) {
      const double v = sum - u;
      if (v < 0.0 || v > n - 1) continue;
      const double d = m[u] - between(m, v);
      apart.push_back(d * d);
    }
    if (static_cast<int>(apart.size()) < n / 2) return -1.0;
    const auto kept = apart.begin() + static_cast<long>(apart.size() * 4 / 5);
    std::nth_element(apart.begin(), kept, apart.end());
    double score = 0.0;
    for (auto d = apart.begin(); d != kept; ++d) score += *d;
    return score / static_cast<double>(kept - apart.begin());
  };
  double best = arounds.empty() ? 0.0 : arounds.front(), bestScore = -1.0;
  const auto tryFrom = [&](double from, double to, double step) {
    for (double sum = from; sum <= to; sum += step) {
      const double score = scoreAt(sum);
      if (score >= 0.0 && (bestScore < 0.0 || score < bestScore)) best = sum, bestScore = score;
    }
  };
  for (const int around : arounds) tryFrom(around - reach, around + reach, 1.0);
  tryFrom(best - 0.75, best + 0.75, 0.25);
  return best;
}

// Twice the middle of a bilateral track in a window whose column levels are `means` (a
// row of them), near `around` (twice a column within its clear core): the sum of the
// columns where the column levels fall to halfway between the core's and the darkest,
// going out from the core either way, across a dark scratch in the clear part. A bright scratch
// near an edge may move it.
double edgesSum(const cv::Mat& means, int around) {
  const float* m = means.ptr<float>(0);
  const int n = means.cols;
  const int core = std::clamp(around / 2, 0, n - 1);
  const float half = 0.5f * (m[core] + *std::min_element(m, m + n));
  // A dark scratch in the clear part, no wider than a twelfth of the window, is passed.
  const int widest = std::max(kWidestSpeck, n / 12);
  const auto outTo = [&](int from, int step) {
    int at = from;
    for (int next = at + step; next >= 0 && next < n && std::abs(next - at) <= widest; next += step)
      if (m[next] > half) at = next;
    return at;
  };
  const int l = outTo(core, -1), r = outTo(core, 1);
  // Each edge to a part of a column, where the level crosses half.
  const double left = l > 0 ? l - (m[l] - half) / std::max(m[l] - m[l - 1], 1e-6f) : l;
  const double right = r < n - 1 ? r + (m[r] - half) / std::max(m[r] - m[r + 1], 1e-6f) : r;
  return left + right;
}

// Mends the columns of a variable-area window that `scratched` marks (see
// scratchedColumns), and `beside` columns either side of each run where the scratch's
// edge covers part of them: from their mirror columns where the track is bilateral about
// `mirrorSum` (-1 where not) and those are film, else between the film either side;
// on a scan turned by `turn` and straightened across only, at the rows the mirror
// columns show the same film on (see fillColumns). Returns the columns mended.
int mendScratchedColumns(cv::Mat& window, const std::vector<bool>& scratched, double mirrorSum,
                         int beside, double turn) {
  const int n = window.cols;
  int count = 0;
  for (int u = 1; u < n - 1;) {
    if (!scratched[static_cast<size_t>(u)]) {
      ++u;
      continue;
    }
    const int from = u;
    while (u < n - 1 && scratched[static_cast<size_t>(u)]) ++u;
    const int a = std::max(1, from - beside), b = std::min(n - 2, u - 1 + beside);
    bool fromMirror = mirrorSum >= 0;
    for (int x = a; x <= b && fromMirror; ++x) {
      const double m = mirrorSum - x;
      const int lo = static_cast<int>(std::floor(m)), hi = static_cast<int>(std::ceil(m));
      fromMirror = lo >= 0 && hi < n && (hi < a || lo > b) && !scratched[static_cast<size_t>(lo)] &&
                   !scratched[static_cast<size_t>(hi)];
    }
    fillColumns(window, a, b, fromMirror ? mirrorSum : -1.0, turn);
    count += b - a + 1;
    u = b + 1;
  }
  return count;
}

}  // namespace

int mendScratches(cv::Mat& window, float range, double mirrorSum, cv::Range measured, double turn,
                  int widest, bool twoEdges, std::vector<ColumnSpan>* mended) {
  const int n = window.cols;
  const int from = std::clamp(measured.start, 0, window.rows);
  const int to = std::clamp(measured.end, from, window.rows);
  // Each column's mean level and how far its levels spread about it.
  std::vector<double> m(static_cast<size_t>(n), 0.0), spread(static_cast<size_t>(n), 0.0);
  // Columns are summed apart, in stripes side by side.
  sideBySide(n, [&](int first, int end) {
    for (int y = from; y < to; ++y)
      addToColumns(window.ptr<float>(y) + first, end - first, m.data() + first,
                   spread.data() + first);
  });
  const double rows = std::max(to - from, 1);
  for (int u = 0; u < n; ++u) {
    m[u] /= rows;
    spread[u] = std::sqrt(std::max(0.0, spread[u] / rows - m[u] * m[u]));
  }
  const auto average = [n](const std::vector<double>& v, int a, int b) {
    double s = 0;
    int c = 0;
    for (int u = std::max(0, a); u <= std::min(n - 1, b); ++u, ++c) s += v[u];
    return c > 0 ? s / c : 0.0;
  };
  const double core = mirrorSum >= 0 ? 0.5 * mirrorSum : -1.0;
  const int coreReach = std::max(2, n / 40);
  std::vector<bool> scratched(static_cast<size_t>(n), false);
  for (int u = 3; u < n - 3; ++u) {
    // Its level stands apart from the film on both sides of it...
    const double dl = m[u] - average(m, u - 6, u - 3), dr = m[u] - average(m, u + 3, u + 6);
    const bool apart = dl * dr > 0 && std::min(std::abs(dl), std::abs(dr)) > 0.2 * range;
    // ...or it stays put where the sound moves the film on both sides of it.
    const double moving = std::min(average(spread, u - 6, u - 3), average(spread, u + 3, u + 6));
    const bool still = moving > 0.1 * range && spread[u] < std::min(0.08 * range, 0.25 * moving);
    // The clear core of a bilateral track is still too, and bright: it is film.
    const bool clearCore = core >= 0 && std::abs(u - core) <= coreReach && dl >= 0 && dr >= 0;
    scratched[u] = (apart || still) && !clearCore;
  }
  // A scratch wider than the film compared beside each column: a run of still columns
  // that the sound's edge passes on either side, every one of the few columns beyond its
  // edges (the scratch's edge covering the first in part) moving.
  constexpr int kBeside = 4;
  const auto stillAt = [&](int u) { return spread[u] < 0.08 * range; };
  const auto movingBeside = [&](int from, int step, double least) {
    for (int k = 0; k < kBeside; ++k) {
      const int u = from + step * k;
      if (u < 0 || u >= n || !(spread[u] > least)) return false;
    }
    return true;
  };
  if (widest > 0)
    forEachRun(n, stillAt, [&](int first, int end) {
      if (end - first > widest || first < 2 + kBeside || end + 1 + kBeside > n) return;
      double inside = 0.0;
      for (int u = first; u < end; ++u) inside = std::max(inside, spread[u]);
      const double least = std::max(0.1 * range, 4.0 * inside);
      if (!movingBeside(first - 2, -1, least) || !movingBeside(end + 1, 1, least)) return;
      if (twoEdges && (core < 0 || (core >= first - coreReach && core < end + coreReach))) return;
      for (int u = first; u < end; ++u) scratched[u] = true;
    });
  // A bilateral track is its own mirror image about its middle: where it is, a
  // scratched column is read from its mirror column. A scratch's edges cover part of
  // the columns beside it: they are left out of the comparison too.
  std::vector<bool> covered(scratched);
  for (int u = 0; u < n; ++u)
    if (scratched[u]) covered[std::max(0, u - 1)] = covered[std::min(n - 1, u + 1)] = true;
  bool mirrored = false;
  if (mirrorSum >= 0) {
    double sa = 0, sb = 0, sab = 0, saa = 0, sbb = 0, count = 0;
    for (int u = 0; u < n; ++u) {
      const int v = static_cast<int>(std::lround(mirrorSum - u));
      if (v < 0 || v >= n || covered[u] || covered[v]) continue;
      sa += m[u];
      sb += m[v];
      sab += m[u] * m[v];
      saa += m[u] * m[u];
      sbb += m[v] * m[v];
      count += 1;
    }
    const double cov = sab - sa * sb / std::max(count, 1.0);
    const double va = saa - sa * sa / std::max(count, 1.0),
                 vb = sbb - sb * sb / std::max(count, 1.0);
    mirrored = count > 8 && va > 0 && vb > 0 && cov / std::sqrt(va * vb) > 0.98;
  }
  int count = 0;
  forEachRun(
      n, [&](int u) { return scratched[u]; },
      [&](int first, int end) {
        // A scratch's edges cover part of a column; take them too.
        const int a = std::max(1, first - 1);
        const int b = std::min(n - 2, end);
        // Too wide for a scratch, a twelfth of the window or more at a fine resolution: film.
        if (b - a > std::max(12, n / 12)) return;
        count += b - a + 1;
        const bool fromMirror = mirrored && mirrorSum - b >= 0 && mirrorSum - a + 1 < n &&
                                (mirrorSum - b > b || mirrorSum - a < a);
        fillColumns(window, a, b, fromMirror ? mirrorSum : -1.0, turn);
        // A bright line's only: beside a dark one, the ramp carried on under it misreads
        // single rows.
        if (mended && average(m, first, end - 1) >
                          std::max(average(m, a - 6, a - 3), average(m, b + 3, b + 6)))
          mended->push_back(ColumnSpan{a, b});
      });
  return count;
}

namespace {

// A smooth level through `values` (see smoothLevel), fitted again without the rows
// more than a tenth off it: the gate's shadow at a scan's ends, a splice's band.
std::vector<double> steadyLevel(const std::vector<double>& values) {
  std::vector<double> weights(values.size(), 1.0);
  std::vector<double> level = smoothLevel(values, weights);
  for (int pass = 0; pass < 2; ++pass) {
    for (size_t i = 0; i < values.size(); ++i)
      weights[i] = level[i] > 1.0 && std::abs(values[i] / level[i] - 1.0) < 0.1 ? 1.0 : 0.0;
    level = smoothLevel(values, weights);
  }
  return level;
}

// The mean of `values` over `length` of them about each (fewer at the ends).
std::vector<double> runningMean(const std::vector<double>& values, int length) {
  const int n = static_cast<int>(values.size());
  std::vector<double> sums(static_cast<size_t>(n) + 1, 0.0);
  for (int i = 0; i < n; ++i)
    sums[static_cast<size_t>(i) + 1] =
        sums[static_cast<size_t>(i)] + values[static_cast<size_t>(i)];
  std::vector<double> mean(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    const int a = std::max(0, i - length / 2), b = std::min(n, a + length);
    mean[static_cast<size_t>(i)] =
        (sums[static_cast<size_t>(b)] - sums[static_cast<size_t>(a)]) / std::max(1, b - a);
  }
  return mean;
}

// Rows where the plain film beside the track turns denser or lighter for a length of
// at least `shortest` rows, longer than any speck: the overlap band of a splice. Their
// middles. The band crosses the film: a speck on some of its columns does not show in
// the row's level (see rowLevels). A band may run into either end of the strip: the
// rows in the gate's shadow are not in it, and a splice near a scan's end is cut there,
// its band read through on both overlapping scans alike.
std::vector<int> spliceBands(const std::vector<double>& beside, int shortest,
                             bool wholeOnly = false) {
  std::vector<int> middles;
  const int n = static_cast<int>(beside.size());
  if (n < 16) return middles;
  const std::vector<double> level = steadyLevel(beside);
  // Only film that is plain along the scan shows a splice: the typical row of it lies
  // within a few per cent of its level, and a splice's band stands well beyond that.
  std::vector<double> off;
  for (int i = 0; i < n; ++i)
    if (level[i] > 1.0) off.push_back(std::abs(beside[i] / level[i] - 1.0));
  if (off.size() < 16) return middles;
  std::nth_element(off.begin(), off.begin() + off.size() / 2, off.end());
  const double typical = off[off.size() / 2];
  if (typical > 0.05) return middles;
  const double splice = std::max(0.15, 4.0 * typical);
  const auto offAt = [&](int i) {
    return level[i] > 1.0 && std::abs(beside[i] / level[i] - 1.0) > splice;
  };
  forEachRun(n, offAt, [&](int a, int y) {
    if (y - a >= shortest && (!wholeOnly || (a > 0 && y < n))) middles.push_back((a + y - 1) / 2);
  });
  return middles;
}

// The light along a scan from the plain film beside the track: its steady level
// (`steady`), but row by row (`rows`) across the bands of the splices at `spliceRows`,
// whose cement darkens the track as much as the film beside it. A band reaches as far
// as the film stays darker than a third of its darkening at the middle, and a row more.
std::vector<double> lightAlong(const std::vector<double>& rows, const std::vector<double>& steady,
                               const std::vector<int>& spliceRows, int longest) {
  std::vector<double> light = steady;
  const int n = static_cast<int>(std::min(rows.size(), steady.size()));
  const auto off = [&](int y) { return steady[y] > 1.0 ? 1.0 - rows[y] / steady[y] : 0.0; };
  for (const int middle : spliceRows) {
    if (middle < 0 || middle >= n) continue;
    const double edge = off(middle) / 3.0;
    if (!(std::abs(edge) > 0.0)) continue;
    const auto inBand = [&](int y) { return off(y) / edge >= 1.0; };
    int a = middle, b = middle;
    while (a > 0 && middle - a < longest && inBand(a - 1)) --a;
    while (b < n - 1 && b - middle < longest && inBand(b + 1)) ++b;
    for (int y = std::max(0, a - 1); y <= std::min(n - 1, b + 1); ++y)
      if (rows[y] > 1.0) light[y] = rows[y];
  }
  return light;
}

// A splice's band as cementLight places it: from `start` to `end` (places between rows,
// far beyond the strip where a scan's end cuts it), the share of light `inside` it.
struct CementBand {
  double start = 0.0, end = 0.0, inside = 1.0;
};

// Rows either side of a splice band's end that place it (see cementLight), where the
// film beside the track is grainy.
constexpr int kEndRows = 4;
// Rows of plain film either side of a band, beyond the rows that place its ends, whose
// grain tells how far the film's grain may set a row apart.
constexpr int kGrainRows = 48;
// The grain, as a share of the band's darkening, below which a band's ends are placed
// by the rows next to them alone.
constexpr double kPlainGrain = 0.02;
// Rows either side of an end that place it on plain film: the end's row, and those the
// turn and the lens spread it into.
constexpr int kPlainEndRows = 2;

// Rows either side of an end of a splice's band, from `a` to `b` (the rows darker than
// the film's level `steady` by a hundredth, `beside` as scanned, the share `inside` of
// light kept inside it), that place the end. The cement's edge is cut straight across the
// film: the film beside the track darkens within a row or two of it, as the turn moves
// the edge along across those columns and the scanner's lens spreads it, and away from
// it each row adds nothing but its grain. On grainy film (opaque, or dark) a few rows
// either side are taken, lest a row the grain darkens or brightens end the band early
// or late; on plain clear film every row beyond the band keeps all its light within its
// grain, and the fewer rows the less grain misplaces the end.
int endRows(const std::vector<double>& beside, const std::vector<double>& steady, int a, int b,
            double inside) {
  const int n = static_cast<int>(std::min(beside.size(), steady.size()));
  double sum = 0.0;
  int count = 0;
  const auto add = [&](int from, int to) {
    for (int y = std::max(0, from); y < std::min(n, to); ++y) {
      if (!(steady[static_cast<size_t>(y)] > 1.0)) continue;
      const double off =
          (1.0 - beside[static_cast<size_t>(y)] / steady[static_cast<size_t>(y)]) / (1.0 - inside);
      sum += off * off;
      ++count;
    }
  };
  add(a - kEndRows - kGrainRows, a - kEndRows);
  add(b + kEndRows + 1, b + kEndRows + 1 + kGrainRows);
  if (count < kGrainRows / 2) return kEndRows;
  return std::sqrt(sum / count) <= kPlainGrain ? kPlainEndRows : kEndRows;
}

// The share of light the cement of the splices at `spliceRows` leaves, row by row of
// film read `lag` rows before the film beside the track (the scan's turn moves its rows
// along), from that film's scanned levels `beside`; 1 away from the splices. A band
// reaches on from its middle, at most `longest` rows either way, as far as the film
// stays a hundredth darker than its steady level, and two rows more for its edges. The
// bands it places whole are added to `bands`, where given.
std::vector<double> cementLight(const std::vector<double>& beside,
                                const std::vector<int>& spliceRows, int longest, double lag,
                                std::vector<CementBand>* bands = nullptr) {
  const int n = static_cast<int>(beside.size());
  std::vector<double> kept(static_cast<size_t>(n), 1.0);
  const std::vector<double> steady = steadyLevel(beside);
  const auto share = [&](double at) {
    const int y = std::clamp(static_cast<int>(std::floor(at)), 0, n - 1);
    const int next = std::min(y + 1, n - 1);
    const double part = std::clamp(at - y, 0.0, 1.0);
    const auto one = [&](int r) {
      return steady[r] > 1.0 ? std::clamp(beside[r] / steady[r], 0.05, 1.0) : 1.0;
    };
    return one(y) + part * (one(next) - one(y));
  };
  constexpr double kShade = 0.99;
  for (const int middle : spliceRows) {
    if (middle < 0 || middle >= n) continue;
    int a = middle, b = middle;
    while (a > 0 && middle - a < longest && share(a - 1) < kShade) --a;
    while (b < n - 1 && b - middle < longest && share(b + 1) < kShade) ++b;
    // The cement darkens its band evenly, from one place between rows to another: the
    // grain of the film beside the track (opaque beside a positive's) would set each
    // row's share apart by a few per cent, so the band is read as a whole. Its share is
    // the mean inside it, and each end's place is where the darkening the rows about
    // it hold, taken together, puts it; an end a scan cuts lies beyond the strip.
    double inside = 0.0;
    int count = 0;
    for (int y = a + kEndRows + 1; y < b - kEndRows; ++y, ++count) inside += share(y);
    if (count > 0) inside /= count;
    if (count == 0 || inside > kShade) {
      for (int y = std::max(0, a - 2); y <= std::min(n - 1, b + 2); ++y)
        kept[static_cast<size_t>(y)] = std::min(1.0, share(y - lag));
      continue;
    }
    const int ends = endRows(beside, steady, a, b, inside);
    // Grain either way of the film's level, not cut at it, so that it cancels.
    const auto darkened = [&](int from, int to) {
      double sum = 0.0;
      for (int y = std::max(0, from); y <= std::min(n - 1, to); ++y)
        sum += steady[y] > 1.0 ? (1.0 - beside[y] / steady[y]) / (1.0 - inside) : 0.0;
      return sum;
    };
    const double start = a <= ends ? -1e9 : a + ends + 1 - darkened(a - ends, a + ends);
    const double end = b >= n - 1 - ends ? 1e9 : b - ends + darkened(b - ends, b + ends);
    if (bands) bands->push_back(CementBand{start + lag, end + lag, inside});
    const int first = std::max(0, static_cast<int>(std::floor(std::max(start, -1.0) + lag)) - 1);
    const int last = std::min(n - 1, static_cast<int>(std::ceil(std::min(end, n + 1.0) + lag)) + 1);
    for (int y = first; y <= last; ++y) {
      const double t = y - lag;
      const double covered = std::max(0.0, std::min(t + 1.0, end) - std::max(t, start));
      kept[static_cast<size_t>(y)] =
          std::min(kept[static_cast<size_t>(y)], 1.0 - std::min(covered, 1.0) * (1.0 - inside));
    }
  }
  return kept;
}

// Rows of a variable-density negative's film beside the track taken together, and how
// far off its light's fit they lie where the fit is not theirs.
constexpr int kRowsTogether = 9;
constexpr double kFarOff = 0.05;
// Rows of a variable-density negative's penumbra taken together.
constexpr int kPenumbraTogether = 5;

// A variable-density negative's light along a strip, one value a row of its film beside
// the track (`beside`): the shape the reel's scans show together (see
// ReelTrack::besideAlong, this scan's own added, kept in `sound`), a parabola along the
// whole scan, at the level this scan's lit rows `lit` hold; the bands of the splices at
// `litSplices` (rows of `lit`) darkened as much as their cement takes. The dark film is
// grainy: no row is trusted alone. Rows beyond `lit`, the penumbra's, take the fit where
// they were given their light back, else their own film's, a few rows together (kept
// against the fit in `sound.ownLight`, see relightPenumbra). The rows the fit was made on
// are marked in `fittedRows`, and the fit kept in `sound.lightFit`.
std::vector<double> darkFilmLight(const std::vector<double>& beside, cv::Range lit,
                                  const std::vector<int>& litSplices, int longest,
                                  DimmedRows dimmed, const ReelTrack& track, ScanSound& sound,
                                  std::vector<bool>& fittedRows, std::vector<double>& uncemented,
                                  std::vector<CementBand>& bands) {
  const int n = static_cast<int>(beside.size());
  const std::vector<double> litBeside(beside.begin() + lit.start, beside.begin() + lit.end);
  const int m = static_cast<int>(litBeside.size());
  std::vector<double> kept = litSplices.empty()
                                 ? std::vector<double>(litBeside.size(), 1.0)
                                 : cementLight(litBeside, litSplices, longest, 0.0, &bands);
  for (CementBand& band : bands) band.start += lit.start, band.end += lit.start;
  // The rows a few together: the grain of one row is a few per cent of its light.
  const std::vector<double> together = runningMean(litBeside, kRowsTogether);
  std::vector<double> level(static_cast<size_t>(n), 0.0);
  std::vector<double> plain;
  for (int i = 0; i < m; ++i)
    if (kept[static_cast<size_t>(i)] == 1.0 && litBeside[static_cast<size_t>(i)] > 0.0)
      plain.push_back(litBeside[static_cast<size_t>(i)]);
  if (plain.empty()) return level;
  std::nth_element(plain.begin(), plain.begin() + static_cast<long>(plain.size() / 2), plain.end());
  const double middle = plain[plain.size() / 2];
  if (!(middle > 0.0)) return level;
  const double whole = std::max(1, dimmed.before + n + dimmed.after);
  const auto along = [&](int y) { return (y + dimmed.before + 0.5) / whole - 0.5; };
  cv::Vec3d c(1.0, 0.0, 0.0);
  double scale = middle;
  const auto shape = [&](int y) {
    const double t = along(y);
    return c[0] + c[1] * t + c[2] * t * t;
  };
  // Fitted twice: the second time without the rows the first fit leaves far off (the
  // gate's shadow where the rows lit reach into it, a splice's band not found).
  std::vector<bool> used(static_cast<size_t>(m), false);
  for (int i = 0; i < m; ++i) used[static_cast<size_t>(i)] = kept[static_cast<size_t>(i)] == 1.0;
  for (int pass = 0; pass < 2; ++pass) {
    if (pass == 1)
      for (int i = 0; i < m; ++i) {
        const double fitted = scale * shape(i + lit.start);
        if (!(fitted > 0.0) || std::abs(together[static_cast<size_t>(i)] / fitted - 1.0) > kFarOff)
          used[static_cast<size_t>(i)] = false;
      }
    sound.besideAlong = AlongSums{};
    for (int i = 0; i < m; ++i)
      if (used[static_cast<size_t>(i)])
        sound.besideAlong.add(along(i + lit.start), litBeside[static_cast<size_t>(i)] / middle);
    // The parabola through the rows, the reel's and this scan's.
    AlongSums reel = track.besideAlong;
    reel += sound.besideAlong;
    if (!reel.parabola(c)) c = cv::Vec3d(1.0, 0.0, 0.0);
    double seen = 0.0, fitted = 0.0;
    cv::Vec3d moments(0.0, 0.0, 0.0);
    for (int i = 0; i < m; ++i) {
      if (!used[static_cast<size_t>(i)]) continue;
      seen += litBeside[static_cast<size_t>(i)];
      fitted += shape(i + lit.start);
      const double t = along(i + lit.start);
      moments += cv::Vec3d(1.0, t, t * t);
    }
    scale = fitted > 0.0 ? seen / fitted : middle;
    sound.lightFit = LightFit{scale, c, seen, moments, along(0), 1.0 / whole};
  }
  fittedRows.assign(static_cast<size_t>(n), false);
  for (int i = 0; i < m; ++i) fittedRows[static_cast<size_t>(i + lit.start)] = used[i];
  sound.ownLight.assign(static_cast<size_t>(n), 1.0f);
  const auto shareOf = [&](int y) -> double {
    const auto& head = dimmed.headShares;
    const auto& tail = dimmed.tailShares;
    const double share = y < static_cast<int>(head.size()) ? head[static_cast<size_t>(y)]
                         : n - 1 - y < static_cast<int>(tail.size())
                             ? tail[static_cast<size_t>(n - 1 - y)]
                             : 1.0;
    return share > 0.0 && share < 1.0 ? share : 1.0;  // as litStrip gave it back
  };
  // The penumbra's rows darker than the fit by far are in the gate's shadow still: their
  // own light, a few rows together (their ends cut short, lest the lit rows brighten
  // them).
  for (int y = 0; y < n; ++y) {
    const int i = y - lit.start;
    const bool inLit = i >= 0 && i < m;
    const double fitted = scale * shape(y);
    double light = fitted * (inLit ? kept[static_cast<size_t>(i)] : 1.0);
    if (!inLit) {
      const int from = y < lit.start ? std::max(0, y - kPenumbraTogether / 2)
                                     : std::max(lit.end, y - kPenumbraTogether / 2);
      const int to = y < lit.start ? std::min(lit.start, y + kPenumbraTogether / 2 + 1)
                                   : std::min(n, y + kPenumbraTogether / 2 + 1);
      // The gate's light changes smoothly from row to row; the share each row was given
      // back by, measured on its track, does not.
      double sum = 0.0;
      for (int u = from; u < to; ++u) sum += beside[static_cast<size_t>(u)] * shareOf(u);
      const double own = to > from ? sum / (to - from) / shareOf(y) : fitted;
      if (std::abs(own / fitted - 1.0) > kFarOff && own > 0.0) light = own;
    }
    level[static_cast<size_t>(y)] = light;
    sound.ownLight[static_cast<size_t>(y)] = static_cast<float>(inLit ? 1.0 : light / fitted);
  }
  uncemented = level;
  for (int i = 0; i < m; ++i)
    if (kept[static_cast<size_t>(i)] > 0.0 && kept[static_cast<size_t>(i)] < 1.0)
      uncemented[static_cast<size_t>(i + lit.start)] /= kept[static_cast<size_t>(i)];
  return level;
}

// Rows either side of an edge of a splice's band over which the track places it.
constexpr int kEdgeRows = 6;
// How far from where the film beside the track puts an edge the track looks for it, in
// rows, and in steps of what part of a row.
constexpr double kEdgeReach = 2.0;
constexpr double kEdgeStep = 0.05;

// The share of light a splice's band `band` leaves row y (the row from y to y + 1).
double keptBy(const CementBand& band, int y) {
  const double row = static_cast<double>(y);
  const double covered =
      std::clamp(std::min(row + 1.0, band.end) - std::max(row, band.start), 0.0, 1.0);
  return 1.0 - covered * (1.0 - band.inside);
}

// A variable-density negative's splice band `band` (rows of the track), its edges placed
// again on the track's own level `mean`, one a row: the track is the brightest film the
// negative has, and its level steps by the band's darkening across an edge, where the
// film beside it is dark and grainy. Each edge lies where the track's level, given back
// the light the band takes, bends least about it (the sound's own slope left alone). An
// edge a scan's end cuts, or one too near it to judge, stays.
CementBand bandOnTrack(const std::vector<double>& mean, CementBand band) {
  const int n = static_cast<int>(mean.size());
  const auto roughness = [&](const CementBand& b, double edge) {
    const int centre = static_cast<int>(std::floor(edge));
    double sum = 0.0;
    for (int y = centre - kEdgeRows + 1; y < centre + kEdgeRows; ++y) {
      const double before = mean[static_cast<size_t>(y - 1)] / keptBy(b, y - 1);
      const double here = mean[static_cast<size_t>(y)] / keptBy(b, y);
      const double after = mean[static_cast<size_t>(y + 1)] / keptBy(b, y + 1);
      sum += (after - 2.0 * here + before) * (after - 2.0 * here + before);
    }
    return sum;
  };
  const auto judged = [&](double edge) {
    return edge - kEdgeReach - kEdgeRows - 1 >= 0 && edge + kEdgeReach + kEdgeRows + 1 < n;
  };
  if (band.end - band.start < 2.0 * (kEdgeReach + kEdgeRows)) return band;
  for (double CementBand::*edge : {&CementBand::start, &CementBand::end}) {
    const double from = band.*edge;
    if (!judged(from)) continue;
    double best = from, least = std::numeric_limits<double>::max();
    for (double at = from - kEdgeReach; at <= from + kEdgeReach + 1e-9; at += kEdgeStep) {
      CementBand b = band;
      b.*edge = at;
      const double r = roughness(b, at);
      if (r < least) least = r, best = at;
    }
    band.*edge = best;
  }
  return band;
}

// A turned variable-density positive's light on the rows of its track about the bands of
// the splices at `litSplices` (rows of `lit`), from the clear film beside the track
// (`beside`, which shows a row of film `lag` rows before the track's middle does): the
// fit of the light along the scan (`fit`, see clearFilmLight) at the row the track
// shows, less the share the band's cement takes from the part of that row it covers. 0
// on the rows away from the bands; empty where the light was not fitted.
std::vector<double> cementOnTurnedTrack(const std::vector<double>& beside, cv::Range lit,
                                        const std::vector<int>& litSplices, int longest, double lag,
                                        const LightFit& fit) {
  if (litSplices.empty() || !(fit.step > 0.0) || !(fit.scale > 0.0)) return {};
  const std::vector<double> litBeside(beside.begin() + lit.start, beside.begin() + lit.end);
  const std::vector<double> kept = cementLight(litBeside, litSplices, longest, lag);
  // The rows a band darkens, and a couple either side, where the rows beside blend an
  // end's darkening in.
  constexpr int kAbout = 2;
  const int m = static_cast<int>(kept.size());
  std::vector<double> light(beside.size(), 0.0);
  for (int i = 0; i < m; ++i) {
    if (kept[static_cast<size_t>(i)] == 1.0) continue;
    for (int u = std::max(0, i - kAbout); u <= std::min(m - 1, i + kAbout); ++u) {
      const double t = fit.first + (u + lit.start - lag) * fit.step;
      const double fitted = fit.scale * fit.shape.dot(cv::Vec3d(1.0, t, t * t));
      if (fitted > 1.0)
        light[static_cast<size_t>(u + lit.start)] = fitted * kept[static_cast<size_t>(u)];
    }
  }
  return light;
}

// A variable-density positive's light along a strip, one value a row of its clear film
// beside the track (`beside`): on the rows `lit` holds, a parabola along the whole scan
// through them (the rows far off it, a splice's band or the shadow's edge, left out) but
// row by row across the bands of the splices at `litSplices` (see lightAlong); beyond
// them, row by row. The rows the parabola was fitted on are marked in `fittedRows`, and
// the fit kept in `sound.lightFit`, each row's light against it in `sound.ownLight`.
std::vector<double> clearFilmLight(const std::vector<double>& beside, cv::Range lit,
                                   const std::vector<int>& litSplices, int longest,
                                   DimmedRows dimmed, ScanSound& sound,
                                   std::vector<bool>& fittedRows) {
  const int n = static_cast<int>(beside.size());
  std::vector<double> level = beside;
  const std::vector<double> litBeside(beside.begin() + lit.start, beside.begin() + lit.end);
  const std::vector<double> steady = steadyLevel(litBeside);
  const std::vector<double> litLevel = lightAlong(litBeside, steady, litSplices, longest);
  std::copy(litLevel.begin(), litLevel.end(), level.begin() + lit.start);
  const double whole = std::max(1, dimmed.before + n + dimmed.after);
  const auto along = [&](int y) { return (y + dimmed.before + 0.5) / whole - 0.5; };
  cv::Matx33d a = cv::Matx33d::zeros();
  cv::Vec3d b(0, 0, 0), moments(0, 0, 0);
  double seen = 0.0;
  std::vector<bool> used(static_cast<size_t>(n), false);
  for (int i = 0; i < static_cast<int>(litBeside.size()); ++i) {
    const double v = litBeside[static_cast<size_t>(i)], s = steady[static_cast<size_t>(i)];
    if (!(s > 1.0) || std::abs(v / s - 1.0) >= 0.1 || litLevel[static_cast<size_t>(i)] != s)
      continue;
    const double t = along(i + lit.start);
    const cv::Vec3d p(1.0, t, t * t);
    a += p * p.t();
    b += v * p;
    moments += p;
    seen += v;
    used[static_cast<size_t>(i + lit.start)] = true;
  }
  cv::Vec3d c;
  if (moments[0] < 3.0 || !cv::solve(a, b, c, cv::DECOMP_SVD)) return level;
  sound.lightFit = LightFit{1.0, c, seen, moments, along(0), 1.0 / whole};
  const double middle = seen / moments[0];
  for (int y = 0; y < n; ++y)
    if (used[static_cast<size_t>(y)])
      sound.besideAlong.add(along(y), beside[static_cast<size_t>(y)] / middle);
  sound.ownLight.assign(static_cast<size_t>(n), 1.0f);
  for (int y = 0; y < n; ++y) {
    const double t = along(y);
    const double fitted = c.dot(cv::Vec3d(1.0, t, t * t));
    const bool inLit = y >= lit.start && y < lit.end;
    if (inLit &&
        litLevel[static_cast<size_t>(y - lit.start)] == steady[static_cast<size_t>(y - lit.start)])
      level[static_cast<size_t>(y)] = fitted;
    else if (fitted > 0.0 && level[static_cast<size_t>(y)] > 0.0)
      sound.ownLight[static_cast<size_t>(y)] =
          static_cast<float>(level[static_cast<size_t>(y)] / fitted);
  }
  fittedRows = std::move(used);
  return level;
}

// A variable-density track's level along its scan (`mean`, one a row), against its mean
// over the rows `fitted` marks, added on those rows to `sound.trackAlong` (see LightFit
// for the place of each row along the scan).
void addTrackAlong(const std::vector<double>& mean, const std::vector<bool>& fitted,
                   ScanSound& sound) {
  double sum = 0.0;
  int count = 0;
  for (size_t y = 0; y < mean.size() && y < fitted.size(); ++y)
    if (fitted[y]) sum += mean[y], ++count;
  if (count == 0 || !(sum > 0.0)) return;
  const double middle = sum / count;
  const LightFit& fit = sound.lightFit;
  for (size_t y = 0; y < mean.size() && y < fitted.size(); ++y)
    if (fitted[y])
      sound.trackAlong.add(fit.first + fit.step * static_cast<double>(y), mean[y] / middle);
}

// Columns a variable-density track's window keeps clear of the track's edges on either
// side: the edges' own columns, which the film partly covers, and the part of a column
// the weave leaves after it is followed.
int densityInset(int trackWidth) { return std::max(2, trackWidth / 48); }

}  // namespace

std::vector<double> smoothLevel(const std::vector<double>& values,
                                const std::vector<double>& weights) {
  const int n = static_cast<int>(values.size());
  cv::Matx33d a = cv::Matx33d::zeros();
  cv::Vec3d b(0, 0, 0);
  double total = 0.0;
  for (int i = 0; i < n; ++i) {
    const double w = weights[i];
    if (!(w > 0.0) || !std::isfinite(values[i])) continue;
    const double t = n > 1 ? static_cast<double>(i) / (n - 1) - 0.5 : 0.0;
    const cv::Vec3d p(1.0, t, t * t);
    a += w * (p * p.t());
    b += w * values[i] * p;
    total += w;
  }
  cv::Vec3d c(0, 0, 0);
  if (total > 0.0 && !cv::solve(a, b, c, cv::DECOMP_SVD)) c = cv::Vec3d(0, 0, 0);
  std::vector<double> level(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    const double t = n > 1 ? static_cast<double>(i) / (n - 1) - 0.5 : 0.0;
    level[i] = c[0] + c[1] * t + c[2] * t * t;
  }
  return level;
}

namespace {

// A share of clear film past the grain: the film is clear there in part at least.
constexpr double kPastGrain = 0.15;

// A column this clear lies on an edge's ramp, not on opaque film a little off its level
// (a dimmed row's light given back not quite right).
constexpr float kOnTheRamp = 0.3f;

// Whether the clear part of a row of `shares` runs into the window's first (`step` 1)
// or last (`step` -1) column: a run of columns there wider than a speck, clear, or on
// the edge's ramp where it runs out of the window.
bool reachesEnd(const std::vector<float>& shares, int step) {
  const int n = static_cast<int>(shares.size());
  if (n <= kWidestSpeck) return false;
  for (int i = 0; i <= kWidestSpeck; ++i)
    if (!(shares[static_cast<size_t>(step > 0 ? i : n - 1 - i)] > kOnTheRamp)) return false;
  return true;
}

// Reads a unilateral track's moving edge across the runs of columns a dark scratch
// `hides` in `window`, mended between the film either side (see fillColumns), where it
// ran beyond them: on each row whose film before a run, on the side of `anchor`, is
// clear, and whose film just beyond it is clear in part at least. The clear film runs
// out from the anchor, so it runs on under the scratch: the run, and the column beside
// it on the anchor's side (which the scratch may cover in part), are read as the clear
// film before them. Elsewhere the edge may lie under the scratch, and the mending
// stands. `clearLevel` and `opaqueLevel` are each row's levels.
void readAcrossHidden(cv::Mat& window, const std::vector<bool>& hides, int anchor,
                      const std::vector<double>& clearLevel,
                      const std::vector<double>& opaqueLevel) {
  const int n = window.cols;
  forEachRun(
      n, [&](int u) { return hides[static_cast<size_t>(u)]; },
      [&](int a, int end) {
        const int b = end - 1;
        if (anchor >= a - 1 && anchor <= b + 1) return;
        const bool outwards = anchor < a;
        const int film = outwards ? a - 2 : b + 2;  // clear film before the run
        const int beside = outwards ? a - 1 : b + 1;
        const int beyond = outwards ? b + 1 : a - 1;
        if (film < 0 || film >= n || beyond < 0 || beyond >= n) return;
        const int from = std::min(beside, outwards ? b : a),
                  to = std::max(beside, outwards ? b : a);
        for (int y = 0; y < window.rows; ++y) {
          const double lo = opaqueLevel[static_cast<size_t>(y)];
          const double span = clearLevel[static_cast<size_t>(y)] - lo;
          float* row = window.ptr<float>(y);
          if (!(span > 1.0) || (row[film] - lo) / span <= 0.5 ||
              (row[beyond] - lo) / span <= kPastGrain)
            continue;
          for (int x = from; x <= to; ++x) row[x] = row[film];
        }
      });
}

// The runs of columns of `window` mended since it was `unmended`: changed on more than
// half the rows `lit`.
std::vector<ColumnSpan> mendedRuns(const cv::Mat& unmended, const cv::Mat& window, cv::Range lit) {
  std::vector<int> changed(static_cast<size_t>(window.cols), 0);
  for (int y = lit.start; y < lit.end; ++y) {
    const float* was = unmended.ptr<float>(y);
    const float* now = window.ptr<float>(y);
    for (int x = 0; x < window.cols; ++x) changed[static_cast<size_t>(x)] += was[x] != now[x];
  }
  std::vector<ColumnSpan> runs;
  forEachRun(
      window.cols, [&](int x) { return 2 * changed[static_cast<size_t>(x)] > lit.size(); },
      [&](int first, int end) {
        runs.push_back(ColumnSpan{first, end - 1});
      });
  return runs;
}

// The runs among `runs` that share no column with any of `spans`.
std::vector<ColumnSpan> runsApartFrom(std::vector<ColumnSpan> runs,
                                      const std::vector<ColumnSpan>& spans) {
  std::erase_if(runs, [&](const ColumnSpan& run) {
    return std::any_of(spans.begin(), spans.end(), [&](const ColumnSpan& span) {
      return run.first <= span.last && span.first <= run.last;
    });
  });
  return runs;
}

// Rows a strip's fully lit part holds at least for the film to be measured on it alone.
constexpr int kLeastLitRows = 64;
// Pixels of a dimmed row's clear or opaque film that measure its light.
constexpr int kLeastSeen = 4;

// The middle levels of a row's pixels well inside clear film (above `middle` by more
// than `apart`) and well inside opaque film (below it by as much), and how many of
// each: middles, not means, so that a few pixels that are no film at all do not move
// them. A turn can carry the window past the film's edge, where the gate's light lies
// beyond either level.
struct FilmLevelsOfRow {
  double clear = 0, clearCount = 0, opaque = 0, opaqueCount = 0;
};

FilmLevelsOfRow filmLevelsOfRow(const float* row, int cols, float middle, float apart,
                                std::vector<float>& clear, std::vector<float>& opaque) {
  clear.clear();
  opaque.clear();
  for (int x = 0; x < cols; ++x) {
    if (row[x] > middle + apart)
      clear.push_back(row[x]);
    else if (row[x] < middle - apart)
      opaque.push_back(row[x]);
  }
  return FilmLevelsOfRow{middleValue(clear), static_cast<double>(clear.size()), middleValue(opaque),
                         static_cast<double>(opaque.size())};
}

// The level a window's clear (`side` 1) or opaque (-1) film reaches, its grain with it,
// where `end` is the share of its levels that lies that far out and `other` the far
// one: a line along the film brighter than any clear film (a bright scratch on a print
// whose clear film has darkened with age), or darker than any opaque, holds that share
// itself and stands beyond the film's own levels by far more than their grain. The film
// on that side of the middle is mostly that film, and its grain is how far the levels
// it holds spread: where the share lies out beyond them by more than thrice that, the
// film's own level and grain are taken instead.
// `counts` are those of the window's levels on that side of the middle between `end`
// and `other` (see countsBeside).
float filmEnd(const LevelCounts& counts, float end, int side) {
  const std::vector<long>& count = counts.count;
  const long total = counts.total;
  constexpr int kSteps = LevelCounts::kSteps;
  constexpr int kTop = LevelCounts::kTop;
  if (total < 16) return end;
  // The levels below which a share of the film on that side lies, counted outwards.
  const auto outwards = [&](double share) {
    const long want = static_cast<long>(share * static_cast<double>(total - 1));
    long seen = 0;
    for (int k = 0; k <= kTop; ++k) {
      const int bin = side > 0 ? k : kTop - k;
      seen += count[static_cast<size_t>(bin)];
      if (seen > want) return static_cast<float>(bin) / kSteps;
    }
    return end;
  };
  const float half = outwards(0.5), most = outwards(0.85);
  const float grain = std::abs(most - half);
  return std::abs(end - most) > 3.0f * grain ? most + static_cast<float>(side) * grain : end;
}

// For each column of a bilateral track's `window` that `judged` marks, over the rows
// `rows`: on how many its mirror image about twice the middle `mirrorSum` (read between
// columns) lies beyond the clear part, well below `middle` there and a speck's width
// further out, and on how many of those it is itself well above it, clear. A dark speck
// inside the clear part is no edge.
struct AgainstImage {
  std::vector<int> imageOpaque, clearOnIt;
};

AgainstImage againstImage(const cv::Mat& window, cv::Range rows, double mirrorSum, float middle,
                          float apart, const std::vector<bool>& judged) {
  const int n = window.cols;
  AgainstImage a{std::vector<int>(static_cast<size_t>(n), 0),
                 std::vector<int>(static_cast<size_t>(n), 0)};
  // Column x's image lies between columns whole - x and whole - x + 1, the same part of
  // a column past the first for every x.
  const int whole = static_cast<int>(std::floor(mirrorSum));
  const float part = static_cast<float>(mirrorSum - whole);
  const float opaque = middle - apart, clear = middle + apart;
  std::vector<int> columns;
  for (int x = 0; x < n; ++x) {
    const int m = whole - x;
    if (judged[static_cast<size_t>(x)] && m >= 0 && m + part <= n - 1) columns.push_back(x);
  }
  // Columns are counted apart, in stripes side by side.
  sideBySide(static_cast<int>(columns.size()), [&](int first, int end) {
    for (int y = rows.start; y < rows.end; ++y) {
      const float* row = window.ptr<float>(y);
      // The image at column m between columns (m + part), opaque; beyond the window it is
      // past the track.
      const auto opaqueAt = [&](int m) {
        if (m < 0 || m + 1 > n - 1) return true;
        return row[m] + part * (row[m + 1] - row[m]) < opaque;
      };
      for (int i = first; i < end; ++i) {
        const int x = columns[static_cast<size_t>(i)];
        const int m = whole - x;
        const int outwards = 2 * m < whole ? -(kWidestSpeck + 1) : kWidestSpeck + 1;
        if (!opaqueAt(m) || !opaqueAt(m + outwards)) continue;
        ++a.imageOpaque[static_cast<size_t>(x)];
        a.clearOnIt[static_cast<size_t>(x)] += row[x] > clear ? 1 : 0;
      }
    }
  });
  return a;
}

}  // namespace

void retimeScan(ScanSound& sound, double columns) {
  const double delay = sound.turn * columns;
  if (std::abs(delay) < 1e-3) return;
  std::vector<float> all(sound.faintBefore);
  all.insert(all.end(), sound.samples.begin(), sound.samples.end());
  all.insert(all.end(), sound.faintAfter.begin(), sound.faintAfter.end());
  const long n = static_cast<long>(all.size());
  const long whole = static_cast<long>(std::floor(delay));
  const std::vector<double> w = lanczosWeights(delay - static_cast<double>(whole), kSincReach);
  std::vector<float> read(all.size());
  for (long y = 0; y < n; ++y) {
    double v = 0.0;
    for (int k = 0; k < 2 * kSincReach; ++k)
      v += w[static_cast<size_t>(k)] *
           all[static_cast<size_t>(std::clamp(y + whole + k - kSincReach + 1, 0L, n - 1))];
    read[static_cast<size_t>(y)] = static_cast<float>(v);
  }
  const auto before = static_cast<long>(sound.faintBefore.size());
  const auto kept = static_cast<long>(sound.samples.size());
  std::copy(read.begin(), read.begin() + before, sound.faintBefore.begin());
  std::copy(read.begin() + before, read.begin() + before + kept, sound.samples.begin());
  std::copy(read.begin() + before + kept, read.end(), sound.faintAfter.begin());
}

void poolLight(ReelTrack& track, const ScanSound& sound) {
  track.besideAlong += sound.besideAlong;
  track.trackAlong += sound.trackAlong;
}

namespace {

// A parabola along the scan (see LightFit) at a mean of 1 over the whole scan; false
// where `sums` bend none.
bool meanOneParabola(const AlongSums& sums, cv::Vec3d& c) {
  if (!sums.parabola(c)) return false;
  const double mean = c[0] + c[2] / 12.0;
  if (!(mean > 0.0)) return false;
  c /= mean;
  return true;
}

// The mean square of a parabola's values over the whole scan.
double meanSquare(const cv::Vec3d& d) {
  return d[0] * d[0] + d[1] * d[1] / 12.0 + d[2] * d[2] / 80.0 + d[0] * d[2] / 6.0;
}

// How far the reel's shape `reel` of a level along the scans may lie from the true one,
// as the scans' own shapes of it (`sums`, one a scan) scatter about it: their mean
// square apart, over the scans less one and over the scans again (the variance of a
// mean); the largest double where fewer than three scans show a shape.
double uncertainty(const cv::Vec3d& reel, const std::vector<const AlongSums*>& sums) {
  double apart = 0.0;
  int scans = 0;
  for (const AlongSums* s : sums) {
    cv::Vec3d own;
    if (!meanOneParabola(*s, own)) continue;
    apart += meanSquare(own - reel);
    ++scans;
  }
  if (scans < 3) return std::numeric_limits<double>::max();
  return apart / (static_cast<double>(scans) * (scans - 1));
}

}  // namespace

void relightAlongScans(std::vector<ScanSound>& scans, const ReelTrack& track) {
  // Two measures of the light along the scans: the film beside the track (bright and
  // steady beside a positive's, dark and grainy beside a negative's) and the track itself
  // (its sound averaged out over the scans, more or less), each weighed by how little
  // the scans scatter about it.
  cv::Vec3d beside, own;
  const bool byBeside = meanOneParabola(track.besideAlong, beside);
  const bool byTrack = meanOneParabola(track.trackAlong, own);
  if (!byBeside && !byTrack) return;
  cv::Vec3d shape = byBeside ? beside : own;
  if (byBeside && byTrack) {
    std::vector<const AlongSums*> besides, tracks;
    for (const ScanSound& scan : scans) {
      besides.push_back(&scan.besideAlong);
      tracks.push_back(&scan.trackAlong);
    }
    const double b = uncertainty(beside, besides), t = uncertainty(own, tracks);
    constexpr double kUnknown = std::numeric_limits<double>::max();
    // Too few scans to weigh them by: the film beside the track, as read so far.
    const double w = b == kUnknown   ? (t == kUnknown ? 1.0 : 0.0)
                     : t == kUnknown ? 1.0
                     : b + t > 0.0   ? t / (b + t)
                                     : 0.5;
    shape = w * beside + (1.0 - w) * own;
  }
  for (ScanSound& scan : scans) {
    const LightFit& fit = scan.lightFit;
    const double fitted = shape.dot(fit.moments);
    if (!(fit.seen > 0.0) || !(fit.scale > 0.0) || !(fitted > 0.0)) continue;
    const double scale = fit.seen / fitted;
    const bool own = scan.ownLight.size() == scan.samples.size();
    for (size_t i = 0; i < scan.samples.size(); ++i) {
      const double t = fit.first + fit.step * static_cast<double>(i);
      const cv::Vec3d p(1.0, t, t * t);
      const double was = fit.scale * fit.shape.dot(p), now = scale * shape.dot(p);
      if (!(was > 0.0) || !(now > 0.0)) continue;
      // A row read by its own light keeps it; only its light against the fit moves.
      if (own && scan.ownLight[i] != 1.0f)
        scan.ownLight[i] = static_cast<float>(scan.ownLight[i] * was / now);
      else
        scan.samples[i] = static_cast<float>(scan.samples[i] * was / now);
    }
  }
}

void setFaintAside(ScanSound& sound, int before, int after) {
  const int n = static_cast<int>(sound.samples.size());
  before = std::clamp(before, 0, n);
  after = std::clamp(after, 0, n - before);
  sound.lightFit.first += before * sound.lightFit.step;
  sound.faintBefore.assign(sound.samples.begin(), sound.samples.begin() + before);
  sound.faintAfter.assign(sound.samples.end() - after, sound.samples.end());
  if (static_cast<int>(sound.ownLight.size()) == n) {
    sound.ownLight.erase(sound.ownLight.end() - after, sound.ownLight.end());
    sound.ownLight.erase(sound.ownLight.begin(), sound.ownLight.begin() + before);
  }
  sound.samples.erase(sound.samples.end() - after, sound.samples.end());
  sound.samples.erase(sound.samples.begin(), sound.samples.begin() + before);
  std::vector<int> kept;
  for (const int row : sound.spliceRows)
    if (row >= before && row < n - after) kept.push_back(row - before);
  sound.spliceRows = std::move(kept);
  if (static_cast<int>(sound.picture.size()) == n) {
    sound.picture.erase(sound.picture.end() - after, sound.picture.end());
    sound.picture.erase(sound.picture.begin(), sound.picture.begin() + before);
  }
}

double pictureTurn(const cv::Mat& strip, const StripLevels& levels, int from, cv::Range rows,
                   double skew) {
  constexpr double kNoTurn = std::numeric_limits<double>::quiet_NaN();
  constexpr int kBands = 6;
  constexpr int kReach = 3;  // rows either side of a step's steepest that its change spans
  // The picture changes a little from row to row beside a frame line, by this share of
  // the line's steepest change: left out, or it draws each step's place towards the
  // middle of the rows it is measured on.
  constexpr double kPictureGrain = 0.05;
  const int width = strip.cols - from;
  if (width < 8 * kBands || rows.size() < 64) return kNoTurn;
  const cv::Mat lit = strip.rowRange(rows);
  const int n = lit.rows;
  // Each band's change from row to row, and the whole picture's.
  std::vector<std::vector<double>> changes;
  std::vector<double> middles, whole(static_cast<size_t>(n - 1), 0.0);
  for (int k = 0; k < kBands; ++k) {
    const int a = from + width * k / kBands, b = from + width * (k + 1) / kBands;
    const std::vector<double> means = rowMeans(lit.colRange(a, b), levels);
    std::vector<double> d(static_cast<size_t>(n - 1));
    for (int y = 0; y + 1 < n; ++y) {
      d[static_cast<size_t>(y)] = means[static_cast<size_t>(y + 1)] - means[static_cast<size_t>(y)];
      whole[static_cast<size_t>(y)] += d[static_cast<size_t>(y)] / kBands;
    }
    changes.push_back(std::move(d));
    middles.push_back(0.5 * (a + b - 1));
  }
  double largest = 0.0;
  for (const double d : whole) largest = std::max(largest, std::abs(d));
  if (!(largest > 0.0)) return kNoTurn;
  // A step's place in a band: the middle of its change over kReach rows either side of
  // `at`, counting the changes its way only; NaN where they are too little.
  const auto placeOf = [&](const std::vector<double>& d, int at, double sign) {
    double sum = 0.0, moment = 0.0;
    for (int y = std::max(0, at - kReach); y <= std::min(n - 2, at + kReach); ++y) {
      const double v = std::max(0.0, sign * d[static_cast<size_t>(y)] - kPictureGrain * largest);
      sum += v;
      moment += v * y;
    }
    return sum > 0.5 * largest ? moment / sum : kNoTurn;
  };
  const double mid = middles[kBands / 2];
  const int spread = static_cast<int>(std::ceil(std::abs(skew) * width / 2)) + 1;
  std::vector<double> turns;
  for (int y = kReach + spread; y + kReach + spread < n - 1; ++y) {
    const double v = whole[static_cast<size_t>(y)];
    // The steepest row of a step at least half as steep as the steepest.
    if (std::abs(v) < 0.5 * largest) continue;
    bool steepest = true;
    for (int u = y - kReach; u <= y + kReach && steepest; ++u)
      steepest = u == y || std::abs(whole[static_cast<size_t>(u)]) < std::abs(v) ||
                 (std::abs(whole[static_cast<size_t>(u)]) == std::abs(v) && u > y);
    if (!steepest) continue;
    const double sign = v > 0.0 ? 1.0 : -1.0;
    double cn = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (int k = 0; k < kBands; ++k) {
      const double x = middles[static_cast<size_t>(k)] - mid;
      const int at = y + static_cast<int>(std::lround(skew * x));
      const double place = placeOf(changes[static_cast<size_t>(k)], at, sign);
      if (std::isnan(place)) continue;
      cn += 1;
      sx += x;
      sy += place;
      sxx += x * x;
      sxy += x * place;
    }
    const double det = cn * sxx - sx * sx;
    if (cn >= kBands - 1 && det > 0.0) turns.push_back((cn * sxy - sx * sy) / det);
  }
  if (turns.size() < 3) return kNoTurn;
  std::vector<double> sorted = turns;
  const auto middle = sorted.begin() + static_cast<long>(sorted.size() / 2);
  std::nth_element(sorted.begin(), middle, sorted.end());
  const double turn = *middle;
  // The steps agree, to a tenth of a row across the picture, but a few.
  int agree = 0;
  for (const double t : turns) agree += std::abs(t - turn) * width < 0.1 ? 1 : 0;
  if (3 * agree < 2 * static_cast<int>(turns.size())) return kNoTurn;
  // A row of film shows on the scan `turn` rows earlier a column further across.
  return -turn;
}

std::vector<float> straightColumnLevels(const cv::Mat& strip, const StripLevels& levels) {
  const Lengths lengths = lengthsOf(strip, levels);
  return straightProfile(lengths, measureSkew(lengths, strip.rows));
}

namespace {

// The rows of a strip lit fully (those `dimmed` leaves), on which the film is measured;
// all where too few are.
cv::Range litRange(const cv::Mat& strip, const DimmedRows& dimmed) {
  const int litFirst = std::clamp(dimmed.head, 0, strip.rows);
  const int litEnd = std::clamp(strip.rows - dimmed.tail, litFirst, strip.rows);
  return litEnd - litFirst >= kLeastLitRows ? cv::Range(litFirst, litEnd)
                                            : cv::Range(0, strip.rows);
}

}  // namespace

double scanDrift(const cv::Mat& strip, const ReelTrack& track, const DimmedRows& dimmed) {
  if (!track.found || strip.empty()) return std::numeric_limits<double>::quiet_NaN();
  const cv::Mat litRows = strip.rowRange(litRange(strip, dimmed));
  bool told = true;
  const double drift = measureSkew(lengthsOf(litRows, track.levels(strip)), litRows.rows, &told);
  return told ? drift : std::numeric_limits<double>::quiet_NaN();
}

bool turnAgreed(double turn, double drift, const std::vector<double>& others) {
  constexpr int kLeastScans = 3;
  constexpr double kApart = 0.25;  // of the turn
  if (turn == 0.0 || !(std::abs(drift - turn) <= kApart * std::abs(turn))) return false;
  int known = 1, near = 1;
  for (const double d : others) {
    if (std::isnan(d)) continue;
    ++known;
    near += std::abs(d - turn) <= kApart * std::abs(turn) ? 1 : 0;
  }
  return known >= kLeastScans && 4 * near >= 3 * known;
}

double gateTurn(double drift, const std::vector<double>& earlierDrifts, int rows) {
  std::vector<double> drifts(earlierDrifts);
  drifts.push_back(drift);
  const auto mid = drifts.begin() + static_cast<long>(drifts.size() / 2);
  std::nth_element(drifts.begin(), mid, drifts.end());
  return std::abs(*mid - drift) * rows < kLeastTurnDrift ? *mid : drift;
}

ScanSound readScanSound(const cv::Mat& strip, const ReelTrack& track, int trackWidth,
                        DimmedRows dimmed, const std::vector<double>& earlierDrifts,
                        const std::vector<double>& laterDrifts) {
  ScanSound sound;
  if (!track.found || strip.empty()) return sound;
  const StripLevels levels = track.levels(strip);
  // The rows lit fully, on which the film is measured.
  const cv::Range lit = litRange(strip, dimmed);
  const cv::Mat litRows = strip.rowRange(lit);
  const int reach = 2 * track.margin;
  const Lengths lengths = lengthsOf(litRows, levels);
  bool told = true;
  sound.skew = measureSkew(lengths, litRows.rows, &told);
  // A scan whose lengths do not tell its drift lies in the gate at the turn the scans
  // before it were read at.
  if (!told && !earlierDrifts.empty()) {
    std::vector<double> drifts(earlierDrifts);
    const auto mid = drifts.begin() + static_cast<long>(drifts.size() / 2);
    std::nth_element(drifts.begin(), mid, drifts.end());
    sound.skew = *mid;
  }
  sound.offset = lateralOffset(track.profile, straightProfile(lengths, sound.skew), reach);
  const int shift = static_cast<int>(std::lround(sound.offset));
  const int drift = static_cast<int>(std::ceil(std::abs(sound.skew) * litRows.rows / 2.0));
  const int cols = strip.cols;
  int from, to;
  if (track.variableDensity) {
    // Where the film drifts across the scan, each row is read where the film lies on it
    // (below): the window keeps the track's full width but for the weave's margin.
    const int inset = std::min(densityInset(trackWidth) + (sound.skew != 0.0 ? 0 : drift),
                               (track.last - track.first) / 3);
    from = track.first + inset + shift;
    to = track.last - inset + shift + 1;
  } else {
    from = track.first - track.margin - drift + shift;
    to = track.last + track.margin + drift + shift + 1;
  }
  from = std::clamp(from, 0, cols - 1);
  to = std::clamp(to, from + 1, cols);
  // The plain film beside the track, and the picture beyond it.
  const int besideFrom = std::clamp(track.besideFirst + shift, 0, cols - 1);
  const int besideTo = std::clamp(track.besideLast + shift + 1, besideFrom + 1, cols);
  const int pictureFrom = std::min(cols, besideTo + track.margin);
  // A variable-density track is read along the film between rows (see densityRows). A
  // drift of a few columns over a scan can be the film's weave in the gate, not a turn.
  double turn = gateTurn(sound.skew, earlierDrifts, litRows.rows);
  // The weave drifts the film differently on every scan, the gate's turn alike on all: a
  // turn too small for one scan's drift to tell it from the weave is told by the reel's
  // scans agreeing on it. Small as it is, it times a variable-area track's edge a part of
  // a row early or late across its swing, which dulls the sound and distorts it.
  std::vector<double> otherDrifts(earlierDrifts);
  otherDrifts.insert(otherDrifts.end(), laterDrifts.begin(), laterDrifts.end());
  const bool drifted = std::abs(turn * strip.rows) >= kLeastTurnDrift;
  const bool agreed =
      !drifted && !track.variableDensity && turnAgreed(turn, sound.skew, otherDrifts);
  const bool turned = drifted || agreed;
  const double middleRow = 0.5 * (lit.start + lit.end);
  cv::Mat window;
  // A turned bilateral track is read straightened across only, and each half of it along
  // the film where its edge lies (see halfAlong): a column read between rows on its own
  // holds an edge's ramp cut off at clear and opaque, which no interpolation between rows
  // reads true, where a half's clear width is as smooth as the sound.
  bool byHalves = false;
  if (track.variableDensity && sound.skew != 0.0) {
    // A variable-density track read across as far as the film drifts on each row, so
    // that the window holds the same columns of film from end to end.
    const int wideFrom = std::max(0, from - drift - 1);
    const int wideTo = std::min(cols, to + drift + 1);
    window = acrossTheFilm(stripLevels(strip.colRange(wideFrom, wideTo), levels), sound.skew,
                           middleRow, from - wideFrom, to - from);
  } else if (turned) {
    const int reach = static_cast<int>(std::ceil(std::abs(sound.skew) *
                                                 std::max(middleRow, strip.rows - middleRow))) +
                      1;
    const int wideFrom = std::max(0, from - reach);
    const int wideTo = std::min(cols, to + reach);
    window = acrossTheFilm(stripLevels(strip.colRange(wideFrom, wideTo), levels), sound.skew,
                           middleRow, from - wideFrom, to - from);
    byHalves = true;
  } else {
    window = alongTheFilm(strip, levels, from, to, 0.0, sound.skew, sound.offset, middleRow, lit);
  }
  // A variable-area track's rows are timed where its sound ran on the first scans; a
  // variable-density track's at the window's middle, which follows the film's weave.
  if (track.variableDensity) {
    sound.turn = turn;
    sound.timedShift = 0.5 * (from + to - 1) - 0.5 * (track.first + track.last);
  } else if (turned) {
    sound.turn = turn;
  }
  // The film's darkest and clearest ends on a window's lit rows (see filmEnd), its levels
  // counted once for both.
  const auto filmEnds = [](const cv::Mat& rows) {
    const LevelCounts counts = levelCounts(rows, [](float) { return true; });
    const std::vector<float> spread = levelShares(counts, {0.02, 0.98});
    const CountsBeside beside = countsBeside(rows, counts, 0.5f * (spread[0] + spread[1]));
    return std::pair{filmEnd(beside.below, spread[0], -1), filmEnd(beside.above, spread[1], 1)};
  };
  // Where the track's middle lies by its offset, and by its edges on this scan where
  // they put it no further off than the offset may be (a unilateral track's clear part
  // has its middle far from the track's).
  const int around = track.first + track.last + 2 * (shift - from);
  // The column levels of the lit rows the middle was last measured on.
  cv::Mat litMeans;
  const auto middleOf = [&](const cv::Mat& rows) {
    cv::Mat& means = litMeans;
    cv::reduce(rows, means, 0, cv::REDUCE_AVG, CV_32F);
    const int byEdges = static_cast<int>(std::lround(edgesSum(means, around)));
    return mirrorAxis(means,
                      std::abs(byEdges - around) <= track.margin ? std::vector<int>{around, byEdges}
                                                                 : std::vector<int>{around},
                      3);
  };
  cv::Mat litWindow = window.rowRange(lit);
  float dark = 0.0f, bright = 0.0f;
  std::tie(dark, bright) = filmEnds(litWindow);
  double mirrorSum = track.variableDensity ? -1.0 : middleOf(litWindow);
  // A bilateral track is read where it runs: its middle, and a scratch along it, in the
  // same columns on every row, whether the turn or the weave moves it sideways.
  const int inset = std::min(track.margin + drift, window.cols / 3);
  // A turned unilateral track has one moving edge, read as a bilateral track's halves are
  // (see halfAlong), at the row of film it shows by the gate's turn. The film's drift
  // across the scan holds the weave's within it too, which would mistime the edge: the
  // frame lines, which the weave does not tilt, tell the turn where they show; a turn the
  // scans' drifts agree on, too small to drift them further than the weave, is told
  // better by all of them than by one scan's few frame lines. A dark scratch in the
  // edge's swing hides where the edge lies: there, and where the track could not be told
  // unilateral, each column is read along the film on its own.
  bool oneEdge = false;
  if (byHalves && !bilateralAbout(litWindow, mirrorSum, 0.5f * (dark + bright), inset)) {
    oneEdge = track.hidden.empty();
    if (oneEdge) {
      const double byFrameLines = agreed ? std::numeric_limits<double>::quiet_NaN()
                                         : pictureTurn(strip, levels, pictureFrom, lit, sound.skew);
      if (!std::isnan(byFrameLines)) turn = sound.turn = byFrameLines;
    } else {
      byHalves = false;
      window =
          alongTheFilm(strip, levels, from, to, turn, sound.skew, sound.offset, middleRow, lit);
      litWindow = window.rowRange(lit);
      std::tie(dark, bright) = filmEnds(litWindow);
      mirrorSum = middleOf(litWindow);
    }
  }
  // A turned scan was read straightened already; a weave's sideways drift is taken out
  // here.
  if (!track.variableDensity && !turned && sound.skew != 0.0 &&
      bilateralAbout(litWindow, mirrorSum, 0.5f * (dark + bright), inset)) {
    window = acrossTheFilm(window, sound.skew, middleRow, 0, window.cols);
    litWindow = window.rowRange(lit);
    mirrorSum = middleOf(litWindow);
  }
  // A turned bilateral track straightened across only: its mirror columns show the film's
  // rows earlier or later (see fillColumns).
  const double across = byHalves ? turn : 0.0;
  // At a fine resolution a scratch is wider than the film each column is held against:
  // on a unilateral track runs of still columns are found too, as wide as the mending
  // takes. A bilateral track's are read from their mirror image below.
  const bool twoEdges =
      track.variableDensity || bilateralAbout(litWindow, mirrorSum, 0.5f * (dark + bright), inset);
  std::vector<ColumnSpan> mended;
  // The window as read, before any scratch is mended: what was mended shows against it,
  // and a unilateral track's film under a bright line is read again from it.
  cv::Mat unmended = window.clone();
  sound.scratchColumns =
      mendScratches(window, bright - dark, mirrorSum, lit, across,
                    twoEdges ? 0 : std::max(12, window.cols / 12) - 1, twoEdges, &mended);

  const cv::Mat besideFilm = strip.colRange(besideFrom, besideTo);
  const std::vector<double> besideRows = rowLevels(stripLevels(besideFilm, levels));
  // A splice's cement takes light away: it shows on the film as scanned, a negative's
  // clear base too. Its band, about a fifth of the track's width long, counts from a
  // twelfth, and is always longer than a speck.
  const int shortest = std::max(kWidestSpeck + 4, trackWidth / 12);
  // On a turned scan the film beside the track shows a row of film this many rows before
  // the track's middle does.
  const double besideLag = turn * (0.5 * (besideFrom + besideTo - 1) - 0.5 * (from + to - 1));
  // Where the levels read are the scanned ones (no negative turned over), the film beside
  // the track was measured just above.
  const StripLevels scanned = levelsOf(strip);
  const std::vector<double> besideScanned =
      levels.inverted == scanned.inverted && levels.scale == scanned.scale
          ? std::vector<double>(besideRows.begin() + lit.start, besideRows.begin() + lit.end)
          : rowLevels(stripLevels(besideFilm.rowRange(lit), scanned));
  // A variable-density negative's film beside the track is dark and grainy: its rows
  // are taken a few together, and a band must lie whole in the lit rows, for the
  // penumbra reaches into them as far as the track's sound, which sets the rows lit,
  // lets it (the scan beside holds a band its end cuts whole).
  const bool darkBeside = track.variableDensity && track.negative;
  std::vector<int> litSplices =
      darkBeside
          ? spliceBands(runningMean(besideScanned, std::max(1, shortest / 2)), shortest, true)
          : spliceBands(besideScanned, shortest);
  for (const int row : litSplices) sound.spliceRows.push_back(row + lit.start);
  // The light along the scan: the dimmed rows' own, measured row by row.
  std::vector<double> besideLevel = besideRows;
  std::vector<bool> fittedRows;
  std::vector<double> uncemented;  // a dark film's light along the scan, the splices left out
  std::vector<CementBand> bands;
  if (darkBeside) {
    besideLevel = darkFilmLight(besideRows, lit, litSplices, 4 * shortest, dimmed, track, sound,
                                fittedRows, uncemented, bands);
  } else if (track.variableDensity) {
    besideLevel =
        clearFilmLight(besideRows, lit, litSplices, 4 * shortest, dimmed, sound, fittedRows);
  } else {
    const std::vector<double> litBeside(besideRows.begin() + lit.start,
                                        besideRows.begin() + lit.end);
    const std::vector<double> litLevel =
        lightAlong(litBeside, steadyLevel(litBeside), litSplices, 4 * shortest);
    std::copy(litLevel.begin(), litLevel.end(), besideLevel.begin() + lit.start);
  }
  if (cols - pictureFrom >= 4) {
    const std::vector<double> picture = rowMeans(strip.colRange(pictureFrom, cols), levels);
    sound.picture.assign(picture.begin(), picture.end());
    if (turned) sound.pictureLag = turn * (0.5 * (pictureFrom + cols - 1) - 0.5 * (from + to - 1));
  }

  const int rows = window.rows;
  sound.samples.resize(static_cast<size_t>(rows));
  if (track.variableDensity) {
    // A scratch's columns are left out, not read as mended from the film beside them: a
    // mended column holds no grain of its own, and counts its neighbours' again.
    std::vector<bool> scratched;
    if (sound.scratchColumns > 0) {
      scratched.assign(static_cast<size_t>(window.cols), false);
      for (const ColumnSpan& run : mendedRuns(unmended, window, lit))
        for (int x = run.first; x <= run.last; ++x) scratched[static_cast<size_t>(x)] = true;
    }
    // Each row's level across the track, specks left out.
    // The window follows the film across (see acrossTheFilm above): a positive's rows
    // are timed at the column of the gate its middle row lies at. A turned negative's are
    // left as read for now: its joins across a gap, placed with its penumbra relit, slip a
    // row when they are so timed.
    const std::vector<double> mean =
        densityRows(window, turn, track.negative ? 0.0 : sound.skew, middleRow, scratched);
    const double sign = track.negative ? -0.5 : 0.5;
    const double level = track.level > 0.0 ? track.level : 1.0;
    // The plain film beside the track measures the light along the scan, the lamp's
    // flicker from scan to scan with it: clear beside a positive's track, dark but
    // steady beside a negative's. On a turned scan the film beside the track shows a
    // row of film `besideLag` rows before the track's middle does: a splice's band, whose
    // light is read row by row, meets the track's own there.
    // A dark film's splice bands are placed again on the track, where it shows them:
    // each row's light is the film's along the scan, less the share its bands take there.
    std::vector<double> kept;
    if (!bands.empty() && uncemented.size() == static_cast<size_t>(rows)) {
      kept.assign(static_cast<size_t>(rows), 1.0);
      for (CementBand band : bands) {
        band.start += besideLag;
        band.end += besideLag;
        band = bandOnTrack(mean, band);
        for (int y = std::max(0, static_cast<int>(std::floor(band.start)));
             y < rows && y < band.end; ++y)
          kept[static_cast<size_t>(y)] = std::min(kept[static_cast<size_t>(y)], keptBy(band, y));
      }
    }
    // A positive's band is read row by row on the clear film beside the track. Moved
    // along by a turned scan's lag, an end that falls between rows would be blended from
    // the rows either side of it and spread over two: the track's own rows take the
    // share of light the band leaves them (see cementLight), each end where its
    // darkening places it, on the light along the scan without the band.
    const std::vector<double> cemented =
        !track.negative && besideLag != 0.0
            ? cementOnTurnedTrack(besideRows, lit, litSplices, 4 * shortest, besideLag,
                                  sound.lightFit)
            : std::vector<double>{};
    for (int y = 0; y < rows; ++y) {
      const double beside =
          !kept.empty()
              ? kept[static_cast<size_t>(y)] *
                    (besideLag == 0.0 ? uncemented[y] : linearlyAt(uncemented, y - besideLag))
          : besideLag == 0.0 ? besideLevel[y]
          : !cemented.empty() && cemented[static_cast<size_t>(y)] > 0.0
              ? cemented[static_cast<size_t>(y)]
              : linearlyAt(besideLevel, y - besideLag);
      const double light = beside > 1.0 ? beside : track.light;
      sound.samples[y] = static_cast<float>(sign * mean[y] / light / level);
    }
    addTrackAlong(mean, fittedRows, sound);
    return sound;
  }

  // Variable area: each row's clear and opaque levels, from the pixels well inside
  // either, smoothed along the scan so that uneven light and the print's density cancel.
  // A parabola along the scan needs no more than every fourth row.
  const float middle = 0.5f * (dark + bright);
  const float apart = 0.3f * (bright - dark);
  std::vector<double> clear(rows, 0.0), clearCount(rows, 0.0), opaque(rows, 0.0),
      opaqueCount(rows, 0.0);
  std::vector<int> clearColumns(static_cast<size_t>(window.cols), 0);
  // Columns of the window beyond the track and its margin's inner half.
  const int outer = std::max(1, track.margin / 2);
  std::vector<float> clearPixels, opaquePixels;
  // The share of light the splices' cement leaves each lit row (see cementLight), and the
  // rows about its bands, as far as the grain of the film beside the track may misplace
  // their ends: the levels along the scan are fitted to the film away from them, which a
  // band at a scan's end would bend over a third of its length.
  const std::vector<double> kept =
      litSplices.empty() ? std::vector<double>{}
                         : cementLight(besideScanned, litSplices, 4 * shortest, besideLag);
  // A turned scan's bands slant across the track: each column is read as if its band
  // lay where it does at the track's middle, which the rows' levels follow.
  const double top = levels.inverted ? 255.0 : 0.0;  // a negative's levels run down from here
  if (byHalves && !kept.empty()) {
    const double middleColumn = 0.5 * (to - from - 1);
    evenCementAcross(window, kept, lit.start, turn, middleColumn, top);
    evenCementAcross(unmended, kept, lit.start, turn, middleColumn, top);
  }
  const int about = 8 + static_cast<int>(std::ceil(std::abs(sound.skew) * window.cols));
  std::vector<bool> shaded(static_cast<size_t>(rows), false);
  for (int i = 0; i < static_cast<int>(kept.size()); ++i) {
    if (kept[static_cast<size_t>(i)] == 1.0) continue;
    const int y = i + lit.start;
    for (int u = std::max(lit.start, y - about); u <= std::min(lit.end - 1, y + about); ++u)
      shaded[static_cast<size_t>(u)] = true;
  }
  for (int y = lit.start; y < lit.end; y += 4) {
    const float* row = window.ptr<float>(y);
    const auto clearAt = [&](int x) { return row[x] > middle + apart; };
    bool past = false;
    for (int x = 0; x < std::min(outer, window.cols) && !past; ++x)
      past = clearAt(x) || clearAt(window.cols - 1 - x);
    sound.rowsPastTrack += past ? 1 : 0;
    for (int x = 0; x < window.cols; ++x)
      clearColumns[static_cast<size_t>(x)] += row[x] > middle ? 1 : 0;
    const FilmLevelsOfRow s =
        filmLevelsOfRow(row, window.cols, middle, apart, clearPixels, opaquePixels);
    clear[y] = s.clear;
    clearCount[y] = shaded[static_cast<size_t>(y)] ? 0.0 : s.clearCount;
    opaque[y] = s.opaque;
    opaqueCount[y] = shaded[static_cast<size_t>(y)] ? 0.0 : s.opaqueCount;
  }
  std::vector<double> clearLevel = smoothLevel(clear, clearCount);
  std::vector<double> opaqueLevel = smoothLevel(opaque, opaqueCount);
  // Across a splice's band the cement takes the same share of light from the track as
  // from the film beside it: the clear and opaque levels follow it there, row by row,
  // and the band is read as the sound under it, not as a dip.
  if (!litSplices.empty()) {
    // Rows about a band's ends are measured again too.
    for (int i = 0; i < static_cast<int>(kept.size()); ++i) {
      if (kept[i] == 1.0) continue;
      const int y = i + lit.start;
      clearLevel[y] = top + (clearLevel[y] - top) * kept[i];
      opaqueLevel[y] = top + (opaqueLevel[y] - top) * kept[i];
    }
    // The film beside the track measures the cement's light through its grain (dark
    // film, beside a positive's track); the track's own film the light reaches most
    // measures it finer, row by row, and each row of the band and about its ends is held
    // at its own level of it, where enough of it shows.
    std::vector<float> film;
    for (int y = 0; y < rows; ++y) {
      if (!shaded[static_cast<size_t>(y)]) continue;
      const double lo = opaqueLevel[y], span = clearLevel[y] - lo;
      if (!(span > 1.0)) continue;
      const bool byClear = std::abs(clearLevel[y] - top) >= std::abs(lo - top);
      const double fitted = byClear ? clearLevel[y] : lo;
      const float* row = window.ptr<float>(y);
      film.clear();
      for (int x = 0; x < window.cols; ++x) {
        const double part = (row[x] - lo) / span;
        if (byClear ? part > 0.75 : part < 0.25) film.push_back(row[x]);
      }
      if (static_cast<int>(film.size()) < kLeastSeen || !(std::abs(fitted - top) > 1.0)) continue;
      // The middle of them: a speck among them is passed by.
      const double share = std::clamp((middleValue(film) - top) / (fitted - top), 0.8, 1.25);
      clearLevel[y] = top + (clearLevel[y] - top) * share;
      opaqueLevel[y] = top + (opaqueLevel[y] - top) * share;
    }
  }
  // The dimmed rows were given back the light the penumbra takes as near as the film
  // across the row tells: each is held at its own level of the film the light reaches
  // most, a positive's clear film or a negative's opaque, where enough of it shows.
  const auto ownLevel = [&](int y) {
    const FilmLevelsOfRow s = filmLevelsOfRow(window.ptr<float>(y), window.cols, middle, apart,
                                              clearPixels, opaquePixels);
    const bool byClear = std::abs(clearLevel[y] - top) >= std::abs(opaqueLevel[y] - top);
    const double fitted = byClear ? clearLevel[y] : opaqueLevel[y];
    const double seen = byClear ? s.clearCount : s.opaqueCount;
    if (seen < kLeastSeen || !(std::abs(fitted - top) > 1.0)) return;
    const double share =
        std::clamp(((byClear ? s.clear : s.opaque) - top) / (fitted - top), 0.5, 2.0);
    clearLevel[y] = top + (clearLevel[y] - top) * share;
    opaqueLevel[y] = top + (opaqueLevel[y] - top) * share;
  };
  // The penumbra fades in so gently that its first rows, a twentieth of it, are not found
  // dimmed, though they are a little: they are held at their own level too.
  const int headFringe = lit.start > 0 ? (lit.start + 19) / 20 : 0;
  const int tailFringe = lit.end < rows ? (rows - lit.end + 19) / 20 : 0;
  for (int y = 0; y < std::min(lit.start + headFringe, lit.end); ++y) ownLevel(y);
  for (int y = std::max(lit.end - tailFringe, lit.start); y < rows; ++y) ownLevel(y);
  const double width = std::max(trackWidth, 1);
  // Each row's clear width is read from the edges of its clear part, specks around it
  // and within it passed by.
  // The anchor lies on the track, not on the margin read for weave and skew (where a
  // negative's window may reach the bright gate beyond the film's edge).
  std::vector<int> onTrack = clearColumns;
  std::fill(onTrack.begin(), onTrack.begin() + inset, 0);
  std::fill(onTrack.end() - inset, onTrack.end(), 0);
  const ClearCore core = clearCore(onTrack);
  const int anchor = clearAnchor(onTrack);
  // A scratch along the track that the mending above left (one wider than a speck, at
  // the track's outer reach, where the film beside it barely moves) shows in how often
  // each column of the track is clear. A unilateral track's clear part reaches past a
  // dark scratch only at its loudest: there the columns the scratch hides are all that
  // is sure, with those it hid on the scans before.
  const bool bilateral = std::abs(2 * anchor - mirrorSum) <= std::max(4, window.cols / 20);
  // The lamp lights the columns further out less. A unilateral positive's moving edge
  // reaches out over them from its fixed one, and reads its loud rows out of proportion:
  // each column is read as if lit as the rows' levels were, and the window as scanned
  // with it, so that what was mended still shows. A bilateral track's edges swing apart
  // alike, and a light falling evenly across them leaves its width as it is; on a
  // negative the light falls on the film about the clear part, which its width leaves out.
  if (!bilateral && !levels.inverted) {
    const std::vector<float> columnLight = lightAcross(window, lit, clearLevel, opaqueLevel, top);
    evenAcross(window, columnLight, top);
    evenAcross(unmended, columnLight, top);
  }
  const int counted = (lit.size() + 3) / 4;  // the lit rows, every fourth
  const int widest = std::max(kWidestSpeck, trackWidth / 12);
  const int place = from - shift;  // window column x lies at the first scans' x + place
  std::vector<bool> known(static_cast<size_t>(window.cols), false);
  for (const int c : track.hidden)
    if (c - place >= 0 && c - place < window.cols) known[static_cast<size_t>(c - place)] = true;
  std::vector<bool> scratched = bilateral
                                    ? scratchedColumns(clearColumns, anchor, counted, widest)
                                    : hiddenColumns(clearColumns, anchor, counted, widest, known);
  std::fill(scratched.begin(), scratched.begin() + inset, false);
  std::fill(scratched.end() - inset, scratched.end(), false);
  const float levelSpan = bright - dark;
  if (bilateral) {
    // Its mirror image says so on the margin too: the track located on the first scans
    // ends where a dark scratch hides the film beyond it.
    const std::vector<bool> dark =
        darkAgainstMirror(clearColumns, mirrorSum, counted, scratched, widest);
    // A bright scratch near the middle says so against its mirror image too.
    const std::vector<bool> shining = brightAgainstMirror(clearColumns, mirrorSum, counted, widest);
    // ...and where an edge comes under it on a few rows only, on each of them: a bright
    // line is clear on every row but a speck's.
    std::vector<bool> always(static_cast<size_t>(window.cols));
    for (int x = 0; x < window.cols; ++x)
      always[static_cast<size_t>(x)] =
          clearColumns[static_cast<size_t>(x)] + std::max(2, counted / 50) >= counted;
    const AgainstImage against = againstImage(window, lit, mirrorSum, middle, apart, always);
    const std::vector<bool> over = brightOverMirror(clearColumns, counted, against.imageOpaque,
                                                    against.clearOnIt, mirrorSum, widest);
    // ...and where no edge comes under it, by its level alone. The lit rows' column
    // levels are those the middle was measured on where no scratch was mended since.
    cv::Mat means = litMeans;
    if (sound.scratchColumns > 0 || means.cols != window.cols)
      cv::reduce(window.rowRange(lit), means, 0, cv::REDUCE_AVG, CV_32F);
    const std::vector<float> columnLevels(means.ptr<float>(0), means.ptr<float>(0) + means.cols);
    const std::vector<bool> inClear = brightInClear(columnLevels, always, levelSpan, widest);
    // ...and a dark one on the opaque film the same way, where only the loudest moments
    // reach it.
    std::vector<bool> inOpaque =
        darkInOpaque(columnLevels, clearColumns, counted, levelSpan, widest);
    for (size_t x = 0; x < dark.size(); ++x)
      scratched[x] = scratched[x] || dark[x] || shining[x] || over[x] || inClear[x] || inOpaque[x];
  } else {
    for (int x = 0; x < window.cols; ++x)
      if (scratched[static_cast<size_t>(x)]) sound.hidden.push_back(x + place);
    // Its far edge may cover the column after it in part (see takeInFarEdges).
    takeInFarEdges(scratched, window, anchor, clearLevel, opaqueLevel, lit);
    // A line clear on every row beyond the moving edge's reach is no film the sound
    // moves: it is mended with the columns either side that it covers in part.
    std::vector<bool> clearLine = clearBeyondEdge(clearColumns, anchor, counted, widest);
    std::fill(clearLine.begin(), clearLine.begin() + inset, false);
    std::fill(clearLine.end() - inset, clearLine.end(), false);
    for (int x = 0; x < window.cols; ++x) {
      const bool covered = clearLine[static_cast<size_t>(x)] ||
                           (x > 0 && clearLine[static_cast<size_t>(x - 1)]) ||
                           (x + 1 < window.cols && clearLine[static_cast<size_t>(x + 1)]);
      if (covered) scratched[static_cast<size_t>(x)] = true;
    }
  }
  // The columns a dark scratch hides on a unilateral track take in the ones it covers
  // in part; a bilateral track's scratch is mended a column wider either side.
  sound.scratchColumns += mendScratchedColumns(window, scratched, bilateral ? mirrorSum : -1.0,
                                               bilateral ? 1 : 0, across);
  // Bright lines the film under which was read through them (see readUnderBrightLine).
  std::vector<ColumnSpan> readUnder;
  // ...and, for each, the rows whose edge the line hid whole.
  std::vector<std::vector<HiddenWidth>> hiddenUnder;
  if (!bilateral) {
    readAcrossHidden(window, scratched, anchor, clearLevel, opaqueLevel);
    // Where the moving edge ends under a mended bright line, its ramp beside it tells
    // where; better, on the rows where the line can be measured, the film that shows
    // through the columns it covers in part (see readUnderBrightLine).
    for (const ColumnSpan& span : mended) {
      if (anchor >= span.first - 1 && anchor <= span.last + 1) continue;
      const ColumnSpan side{anchor, anchor < span.first ? window.cols - 1 - inset : inset};
      // The columns about it mended since as a dark line or a line beyond the edge's reach
      // are no longer as scanned.
      bool mendedSince = false;
      for (int x = std::max(0, span.first - 2); x <= std::min(window.cols - 1, span.last + 2); ++x)
        mendedSince = mendedSince || scratched[static_cast<size_t>(x)];
      readEdgeUnder(window, span, side, clearLevel, opaqueLevel);
      std::vector<HiddenWidth> hidden(static_cast<size_t>(rows),
                                      HiddenWidth{std::nan(""), std::nan("")});
      if (!mendedSince &&
          readUnderBrightLine(window, unmended, span, side, clearLevel, opaqueLevel, &hidden) > 0) {
        readUnder.push_back(span);
        hiddenUnder.push_back(std::move(hidden));
      }
    }
  }
  const int mirror = static_cast<int>(std::lround(mirrorSum));
  // Rows whose clear part runs into the window's first (1) or last (2) column.
  std::vector<char> reaching(static_cast<size_t>(rows), 0);
  // A bilateral track's halves, row by row of the scan.
  const bool inHalves = byHalves || bilateral;
  // The column of the gate where the sound lies (see soundColumn), in the window.
  const double soundAt =
      byHalves ? soundColumn(window, window.cols, lit, [](int) { return 0; }) : -1.0;
  // A bilateral track's halves lie either side of its middle. A turned unilateral track's
  // clear part runs from its fixed edge, beyond its clear core (see clearCore) away from
  // the sound, out to its moving edge, which may come as near as the fixed edge on a loud
  // row: it is split at the fixed edge, where the film beyond the core is clear on fewer
  // than half the rows the core is, the half beyond holding the whole clear part, and its
  // edge read where it lies.
  double split = 0.5 * mirrorSum;
  if (oneEdge && !core.empty()) {
    const int step = soundAt < 0.0 || soundAt >= 0.5 * (core.first + core.last) ? -1 : 1;
    const int most = *std::max_element(onTrack.begin(), onTrack.end());
    int x = step < 0 ? core.first : core.last;
    while (x + step >= 0 && x + step < window.cols &&
           2 * clearColumns[static_cast<size_t>(x + step)] >= most)
      x += step;
    split = x + 0.5 * step;
  }
  std::vector<double> halves[2];
  if (inHalves) halves[0] = halves[1] = std::vector<double>(static_cast<size_t>(rows), 0.0);
  // A unilateral track's rows, read around specks the rows either side judge.
  std::vector<ClearReadings> readings(inHalves ? 0 : static_cast<size_t>(rows));
  // Rows are read apart, in stripes side by side.
  sideBySide(rows, [&](int first, int end) {
    std::vector<float> shares(static_cast<size_t>(window.cols));
    for (int y = first; y < end; ++y) {
      const double lo = opaqueLevel[y];
      const double span = clearLevel[y] - lo;
      if (!(span > 1.0)) {
        sound.samples[y] = 0.0f;
        continue;
      }
      const float* row = window.ptr<float>(y);
      sharesOfRow(row, window.cols, lo, span, shares.data());
      if (inHalves) {
        const ClearSides sides = clearSides(shares, anchor, mirror, split, core);
        halves[0][static_cast<size_t>(y)] = sides.before;
        halves[1][static_cast<size_t>(y)] = sides.after;
      } else {
        readings[static_cast<size_t>(y)] = clearReadings(shares, anchor, mirror, core);
      }
      reaching[static_cast<size_t>(y)] =
          static_cast<char>((reachesEnd(shares, 1) ? 1 : 0) | (reachesEnd(shares, -1) ? 2 : 0));
    }
  });
  if (!inHalves) {
    std::vector<double> widths;
    readThroughSpecks(readings, widths);
    // A speck on the moving edge's tip hides where it went on the rows it ends: the
    // rows about it tell.
    if (!bilateral) readHiddenRows(widths, edgeUnderSpecks(readings, widths), kWidestSpeck + 2);
    // Where a mended run hides the moving edge, the rows either side tell where it went;
    // under a bright line read through, the film that shows through it has told, but on
    // the rows whose edge lay under the columns it covers whole.
    if (!bilateral) {
      std::vector<HiddenWidth> hidden =
          hiddenWidths(window, runsApartFrom(mendedRuns(unmended, window, lit), readUnder), anchor,
                       clearLevel, opaqueLevel);
      for (const std::vector<HiddenWidth>& under : hiddenUnder)
        hidden = eitherHidden(std::move(hidden), under);
      readHiddenRows(widths, hidden, kWidestSpeck + 2);
    }
    for (int y = 0; y < rows; ++y)
      sound.samples[y] = static_cast<float>(widths[static_cast<size_t>(y)] / width);
  }
  for (int y = lit.start; y < lit.end; ++y) {
    const char r = reaching[static_cast<size_t>(y)];
    sound.rowsAtFirstColumn += r & 1;
    sound.rowsAtLastColumn += (r & 2) >> 1;
  }
  // A turned unilateral track's half that holds a mended run is read across it the same
  // way, before its rows are timed.
  if (byHalves && !bilateral) {
    const std::vector<ColumnSpan> runs =
        runsApartFrom(mendedRuns(unmended, window, lit), readUnder);
    for (int side = 0; side < 2; ++side) {
      const auto onSide = [&](const ColumnSpan& run) {
        return side == 0 ? run.last < split : run.first > split;
      };
      std::vector<ColumnSpan> own;
      for (const ColumnSpan& run : runs)
        if (onSide(run)) own.push_back(run);
      std::vector<HiddenWidth> hidden = hiddenWidths(window, own, anchor, clearLevel, opaqueLevel);
      for (size_t i = 0; i < readUnder.size(); ++i)
        if (onSide(readUnder[i])) hidden = eitherHidden(std::move(hidden), hiddenUnder[i]);
      readHiddenRows(halves[side], hidden, kWidestSpeck + 2);
    }
  }
  if (inHalves && !byHalves) {
    mendHalves(halves[0], halves[1], kWidestSpeck + 4);
    for (int y = 0; y < rows; ++y)
      sound.samples[y] = static_cast<float>((halves[0][y] + halves[1][y]) / width);
  }
  if (byHalves) {
    // The rows are timed at the column of the gate where the sound lies, the film's
    // offset from the first scans taken off (see alongTheFilm); window column x lies
    // `skew` columns a row further across the gate since the middle row.
    const double timed = (soundAt >= 0.0 ? soundAt : 0.5 * (window.cols - 1)) - sound.offset;
    const auto rowOf = [&](int y, double column) {
      return y - turn * (column + sound.skew * (y - middleRow) - timed);
    };
    const std::vector<double> before = halfAlong(halves[0], split, -1, rowOf);
    const std::vector<double> after = halfAlong(halves[1], split, 1, rowOf);
    // A turned scan's halves are not mended from each other: a unilateral track's first
    // scans, narrower than its swing, can show a clear part about the window's middle,
    // and one edge taken for the mirror of the other.
    for (int y = 0; y < rows; ++y)
      sound.samples[y] = static_cast<float>((before[y] + after[y]) / width);
  }
  return sound;
}

}  // namespace kelvora
