#include "precise/clear_part.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#if defined(__SSE2__)
#include <xmmintrin.h>
#endif

#include "precise/column_runs.h"

namespace kelvora {

namespace {

// A run of clear columns of a row, both ends included.
struct Run {
  int first = 0;
  int last = -1;
  int width() const { return last - first + 1; }
};

constexpr float kClear = 0.5f;          // a column clearer than this is clear film
constexpr double kRise = 0.15;          // more than grain: an edge does not rise again
constexpr double kNearlyOpaque = 0.05;  // a column this dark is beyond the edge
constexpr int kOpaqueAfterEdge = 3;     // columns that close an edge
constexpr double kGrain = 0.05;         // what the grain moves a column's share by
constexpr double kFaint = 0.15;         // a column this dark is at an edge's foot
constexpr int kSpeckRim = 2;            // part-covered columns the blur leaves about a speck
// A line along the film this much brighter than the clear film either side of it, in
// shares of the span from opaque to clear, is no film: far beyond the grain of a column
// measured over a scan, and beyond how far uneven light moves it over a dozen columns.
constexpr double kBrighterThanClear = 0.03;
// A line along the film this much darker than the opaque film of a track, in shares of
// the span from opaque to clear, is no film: opaque film is as dark as the print gets.
constexpr double kDarkerThanOpaque = 0.015;
// The halves of a bilateral track's row lie further apart than this, in columns, and
// than this many times their usual spread, where a speck lies on one of them.
constexpr double kHalvesApart = 0.75;
constexpr double kHalvesSpreads = 6.0;
// Rows a speck that sets the halves apart covers at least, and how many times further
// than the other half the speck's leaves the curve of the sound about it.
constexpr int kLeastSpeckRows = 3;
constexpr double kSpeckLeaves = 1.75;

// Whether most of the columns mirroring `run` about a bilateral track's middle lie above
// `level`.
bool mirrorAbove(const std::vector<float>& shares, const Run& run, int mirrorSum, double level) {
  if (mirrorSum < 0) return false;
  const int n = static_cast<int>(shares.size());
  int above = 0, seen = 0;
  for (int x = run.first; x <= run.last; ++x) {
    const int m = mirrorSum - x;
    if (m < 0 || m >= n) continue;
    ++seen;
    above += shares[static_cast<size_t>(m)] > level ? 1 : 0;
  }
  return seen > 0 && 2 * above >= seen;
}

// Whether the mirror of `run` is mostly clear, or mostly clear film, not the half-clear
// columns of an edge's ramp.
bool mirrorIsClear(const std::vector<float>& shares, const Run& run, int mirrorSum) {
  return mirrorAbove(shares, run, mirrorSum, kClear);
}
bool mirrorIsFilm(const std::vector<float>& shares, const Run& run, int mirrorSum) {
  return mirrorAbove(shares, run, mirrorSum, 1.0 - kRise);
}

// The clearest of a run's columns.
float clearest(const std::vector<float>& shares, const Run& run) {
  return *std::max_element(shares.begin() + run.first, shares.begin() + run.last + 1);
}

// How the clear part extends across a gap of columns that are not clear.
enum class Across {
  No,      // the clear part ends at the gap
  Clear,   // a speck inside the clear part: its columns are read as clear
  AsRead,  // the grain of an edge: its columns are read as they are
};

// Whether and how the clear part extends across a gap between `near` (the part so far)
// and `next`. A speck inside the clear part, not a bright one on the opaque film beside
// it, is narrow and the run beyond it is film: wider than a speck, or the clear film a
// speck hides where its mirror image is clear. A wider gap, a scratch along a bilateral
// track, is crossed where the film mirroring it and the run beyond is clear. Where the
// sound moved within the row its edge is a ramp through half-clear columns that the
// scanner's grain splits into runs: a gap no darker than the film either side of it is
// such an edge, read as it is. On a unilateral track (no `mirrorSum`) a darker gap no
// wider than a speck on the `core`, film clear on nearly every row, is a speck where the
// run beyond it reaches the core's end: by the fixed edge, however narrow. An edge that
// comes into the core on a loud row has no clear film beyond it.
Across acrossGap(const std::vector<float>& shares, const Run& near, const Run& gap, const Run& next,
                 int mirrorSum, ClearCore core) {
  const float lowest = *std::min_element(shares.begin() + gap.first, shares.begin() + gap.last + 1);
  const bool darker = lowest < std::min(clearest(shares, near), clearest(shares, next)) - kRise;
  bool crossed;
  if (gap.width() > kWidestSpeck) {
    const int widestScratch = static_cast<int>(shares.size()) / 12;
    crossed = gap.width() <= widestScratch && mirrorIsClear(shares, gap, mirrorSum) &&
              mirrorIsClear(shares, next, mirrorSum);
  } else {
    const bool onCore = mirrorSum < 0 && gap.first >= core.first && gap.last <= core.last &&
                        (next.first <= core.first || next.last >= core.last);
    crossed =
        next.width() > kWidestSpeck || mirrorIsClear(shares, next, mirrorSum) || (darker && onCore);
  }
  // A gap no darker than the film either side is an edge's grain, unless its mirror
  // image is clear film: then a faint speck covers it.
  if (!darker) return mirrorIsFilm(shares, gap, mirrorSum) ? Across::Clear : Across::AsRead;
  return crossed ? Across::Clear : Across::No;
}

// The rows, of `rows` counted, that a speck or two darken.
int speckRows(int rows) { return std::max(2, rows / 100); }

// The clear width of the edge that runs from column `from` outwards, `step` a column,
// beyond the clear columns before it: its part-covered columns, falling away, a ramp where
// the sound moved within the row, up to a few opaque columns that close it. A rise on the
// way is not the edge. A speck is: a bright one, on the opaque film beyond the edge or on
// the ramp, ends it there; a dark one lying on the ramp, or on the clear film cut off
// behind it, leaves a dip no wider than a speck, after which the film comes back no
// clearer than before it and goes on falling. The dip's columns are read on a straight
// line between the film either side of it, and the edge goes on.
double edgeWidth(const std::vector<float>& shares, int from, int step) {
  const int n = static_cast<int>(shares.size());
  const auto at = [&](int x) { return static_cast<double>(shares[static_cast<size_t>(x)]); };
  const auto inside = [n](int x) { return x >= 0 && x < n; };
  // The columns read so far: clear film, then the clear part's last column, counted with
  // it but mended here where a speck covers part of it.
  thread_local std::vector<double> seen;
  seen.assign({1.0, at(from - step)});
  double sum = 0.0, lowest = seen.back();
  // Film from column `y` on, above an edge's foot for further than a speck and its
  // blurred rim reach, that falls to the foot again within the row: a ramp, not a
  // bright speck on the opaque film beyond the edge.
  const auto rampFrom = [&](int y) {
    int above = 0;
    for (; inside(y) && at(y) >= kFaint; y += step) ++above;
    return above > kWidestSpeck + 2 && inside(y);
  };
  // A few opaque columns close the edge, unless they are a dark speck's: within a
  // speck's width the film comes back, and a ramp follows.
  const auto closes = [&](int x, int opaque) {
    if (opaque < kOpaqueAfterEdge) return false;
    for (; inside(x) && at(x) < kFaint && opaque <= kWidestSpeck; x += step) ++opaque;
    return opaque > kWidestSpeck || !rampFrom(x);
  };
  int opaque = 0;
  for (int x = from; inside(x) && !closes(x, opaque); x += step) {
    if (at(x) > lowest + kRise) {
      // The film comes back up to where the rise tops out, grain apart, within a
      // speck's width.
      int top = x;
      while (inside(top + step) && at(top + step) > at(top) + kGrain &&
             std::abs(top + step - x) <= kWidestSpeck)
        top += step;
      const double peak = at(top);
      // The dip reaches back past its darkest column to the last column as clear as
      // the top, near enough.
      int before = static_cast<int>(seen.size()) - 1;
      while (seen[static_cast<size_t>(before)] > lowest) --before;
      const int darkest = before;
      while (before >= 0 && seen[static_cast<size_t>(before)] < peak - kRise) --before;
      const int behind = static_cast<int>(seen.size()) - 1 - before;
      const int dip = behind + std::abs(top - x);
      if (before < 0 || dip > kWidestSpeck + 1 || peak > seen[static_cast<size_t>(before)] + kRise)
        break;
      // A bright speck rises from the film and falls back to it within a speck's width:
      // to the dip's darkest level, or near it at an edge's nearly opaque foot. Its far
      // rim falls steeply, through a column or two of the scanner's blur; film that
      // falls back through more part-clear columns is the edge's ramp, beyond a dark
      // speck no darker than that.
      const double floor = lowest < kFaint ? lowest + kRise : lowest;
      int back = 0;
      for (size_t k = static_cast<size_t>(darkest) + 1; k < seen.size(); ++k)
        back += seen[k] > floor ? 1 : 0;
      int falling = 0;
      for (int y = x; inside(y) && at(y) > floor; y += step) {
        ++back;
        falling += at(y) < peak - kRise ? 1 : 0;
      }
      if (back <= kWidestSpeck && falling <= kSpeckRim) break;
      int dark = 0;
      for (size_t k = static_cast<size_t>(before) + 1; k < seen.size(); ++k)
        dark += seen[k] < kNearlyOpaque ? 1 : 0;
      // A bright speck rises on beyond its flank: no ramp.
      bool rises = false;
      for (int k = 1, y = top + step; k <= kWidestSpeck + 1 && inside(y); ++k, y += step)
        rises = rises || at(y) > peak + kRise;
      // A dip down to opaque film is the edge's foot, unless a ramp follows it: the
      // clear film a dark speck cut off, and the edge beyond.
      if ((dark > 1 && !rampFrom(x)) || rises) break;
      const double a = seen[static_cast<size_t>(before)];
      const auto line = [&](int k) { return a + (peak - a) * k / (dip + 1); };
      for (int k = 1; k <= behind; ++k) {
        double& v = seen[static_cast<size_t>(before + k)];
        sum += line(k) - v;
        v = line(k);
      }
      for (int k = behind + 1; k <= dip; ++k, x += step) {
        seen.push_back(line(k));
        sum += line(k);
      }
      lowest = *std::min_element(seen.begin() + 1, seen.end());
      opaque = 0;
    }
    const double share = at(x);
    seen.push_back(share);
    sum += share;
    lowest = std::min(lowest, share);
    opaque = share < kNearlyOpaque ? opaque + 1 : 0;
  }
  return sum;
}

// Clears the runs of `marked` columns narrower than `least` or wider than `most`.
void keepRuns(std::vector<bool>& marked, int least, int most) {
  const int n = static_cast<int>(marked.size());
  forEachRun(
      n, [&](int x) { return marked[static_cast<size_t>(x)]; },
      [&](int a, int x) {
        if (x - a < least || x - a > most) std::fill(marked.begin() + a, marked.begin() + x, false);
      });
}

}  // namespace

ClearCore clearCore(const std::vector<int>& clear) {
  ClearCore core;
  const auto most = std::max_element(clear.begin(), clear.end());
  if (most == clear.end() || *most <= 0) return core;
  // The widest stretch of columns clear nearly as often as the clearest.
  const int n = static_cast<int>(clear.size());
  const double near = 0.95 * *most;
  forEachRun(
      n, [&](int x) { return clear[static_cast<size_t>(x)] >= near; },
      [&](int a, int x) {
        if (x - a > core.last - core.first + 1) core = ClearCore{a, x - 1};
      });
  // Past a speck's rim beyond each end: film clear on nearly no row is the fixed edge's.
  const auto opaqueBeyond = [&](int end, int step) {
    const int x = end + step * (kSpeckRim + 1);
    return x < 0 || x >= n || clear[static_cast<size_t>(x)] < 0.05 * *most;
  };
  const bool before = opaqueBeyond(core.first, -1), after = opaqueBeyond(core.last, 1);
  if (before != after) core.fixedSide = before ? -1 : 1;
  return core;
}

int clearAnchor(const std::vector<int>& clear) {
  const ClearCore core = clearCore(clear);
  return core.empty() ? -1 : (core.first + core.last) / 2;
}

std::vector<bool> scratchedColumns(const std::vector<int>& clear, int anchor, int rows,
                                   int widest) {
  const int n = static_cast<int>(clear.size());
  std::vector<bool> dark(static_cast<size_t>(n), false), bright(dark);
  if (anchor < 0 || anchor >= n) return dark;
  // More rows than a speck or two, or the grain at an edge, move a column's count.
  const int apart = std::max(4, rows / 200);
  const auto judge = [&](int from, int step) {
    // Outwards from the anchor: the least count on the way, for a bright scratch.
    int nearer = clear[static_cast<size_t>(from)];
    for (int x = from; x >= 0 && x < n; x += step) {
      const int c = clear[static_cast<size_t>(x)];
      if (c > nearer + apart) bright[static_cast<size_t>(x)] = true;
      nearer = std::min(nearer, c);
    }
    // Inwards from the window's end: the most count beyond, for a dark scratch.
    const int end = step > 0 ? n - 1 : 0;
    int beyond = clear[static_cast<size_t>(end)];
    for (int x = end; x != from; x -= step) {
      const int c = clear[static_cast<size_t>(x)];
      if (c + apart < beyond) dark[static_cast<size_t>(x)] = true;
      beyond = std::max(beyond, c);
    }
  };
  judge(anchor, -1);
  judge(anchor, 1);
  // Runs wider than a scratch are film.
  keepRuns(dark, 1, widest);
  keepRuns(bright, 1, widest);
  for (int x = 0; x < n; ++x)
    dark[static_cast<size_t>(x)] = dark[static_cast<size_t>(x)] || bright[static_cast<size_t>(x)];
  return dark;
}

std::vector<bool> hiddenColumns(const std::vector<int>& clear, int anchor, int rows, int widest,
                                const std::vector<bool>& known) {
  const int n = static_cast<int>(clear.size());
  std::vector<bool> hidden(static_cast<size_t>(n), false);
  if (anchor < 0 || anchor >= n) return hidden;
  const int apart = std::max(4, rows / 200);  // as scratchedColumns counts apart
  const int few = speckRows(rows);
  const auto count = [&](int x) { return clear[static_cast<size_t>(x)]; };
  for (const int step : {-1, 1}) {
    // Inwards from the window's end: the most count beyond.
    int beyond = 0;
    for (int x = step > 0 ? n - 1 : 0; x != anchor; x -= step) {
      hidden[static_cast<size_t>(x)] = count(x) <= few && count(x) + apart < beyond;
      beyond = std::max(beyond, count(x));
    }
  }
  for (int x = 0; x < std::min(n, static_cast<int>(known.size())); ++x)
    if (known[static_cast<size_t>(x)] && count(x) <= few) hidden[static_cast<size_t>(x)] = true;
  // A run is a scratch where the film nearer the anchor is clear more often than any
  // beyond it, as film grows out from the anchor: a bright scratch beyond, always
  // clear, is no film the sound reaches. Runs wider than a scratch are film.
  forEachRun(
      n, [&](int x) { return hidden[static_cast<size_t>(x)]; },
      [&](int a, int x) {
        const int step = a > anchor ? 1 : -1;
        // The film nearer, two columns of it: the one beside the run may lie partly under it.
        const int next = step > 0 ? a - 1 : x;
        int nearer = 0, beyond = 0;
        for (const int u : {next, next - step})
          if (u >= 0 && u < n) nearer = std::max(nearer, count(u));
        for (int u = step > 0 ? x : a - 1; u >= 0 && u < n; u += step)
          beyond = std::max(beyond, count(u));
        const bool film = nearer > few && nearer >= beyond;
        if (x - a > widest || !film) std::fill(hidden.begin() + a, hidden.begin() + x, false);
      });
  // The column beside a run on the anchor's side may lie partly under the scratch: the
  // film's own clear part thins out gently column by column, and one clear on fewer than
  // half the rows the film just nearer is loses them to the scratch.
  std::vector<bool> wider = hidden;
  forEachRun(
      n, [&](int x) { return hidden[static_cast<size_t>(x)]; },
      [&](int a, int x) {
        const int step = a > anchor ? 1 : -1;
        const int beside = step > 0 ? a - 1 : x;
        const int nearer = beside - step;
        if (nearer < 0 || nearer >= n || beside == anchor) return;
        if (2 * count(beside) < count(nearer)) wider[static_cast<size_t>(beside)] = true;
      });
  return wider;
}

std::vector<bool> clearBeyondEdge(const std::vector<int>& clear, int anchor, int rows, int widest) {
  const int n = static_cast<int>(clear.size());
  std::vector<bool> bright(static_cast<size_t>(n), false);
  const ClearCore core = clearCore(clear);
  if (core.empty() || anchor < core.first || anchor > core.last) return bright;
  const int few = speckRows(rows);
  const int apart = std::max({4, rows / 200, rows / 8});
  const auto count = [&](int x) { return clear[static_cast<size_t>(x)]; };
  // How far out from the core the film is clear on some rows, and not on all.
  const auto reach = [&](int from, int step) {
    int x = from;
    while (x >= 0 && x < n && count(x) > few) x += step;
    return std::abs(x - from);
  };
  const int step = reach(core.last + 1, 1) >= reach(core.first - 1, -1) ? 1 : -1;
  // Outwards from the core: the least count on the way.
  int least = count(anchor);
  for (int x = anchor; x >= 0 && x < n; x += step) {
    const int c = count(x);
    bright[static_cast<size_t>(x)] = c >= rows - few && least + apart < c;
    least = std::min(least, c);
  }
  // The film just beyond a run is clear less often than the line: a run that reaches the
  // window's end may be clear film beyond the track.
  forEachRun(
      n, [&](int x) { return bright[static_cast<size_t>(x)]; },
      [&](int a, int x) {
        const int beyond = step > 0 ? x : a - 1;
        const bool closed = beyond >= 0 && beyond < n && count(beyond) + apart < rows - few;
        if (x - a > widest || !closed) std::fill(bright.begin() + a, bright.begin() + x, false);
      });
  return bright;
}

std::vector<bool> darkAgainstMirror(const std::vector<int>& clear, double mirrorSum, int rows,
                                    const std::vector<bool>& scratched, int widest) {
  const int n = static_cast<int>(clear.size());
  std::vector<bool> dark(static_cast<size_t>(n), false);
  if (mirrorSum < 0.0 || static_cast<int>(scratched.size()) != n || n < 4) return dark;
  // The counts' own middle, where either side is clear half as often as the clearest
  // column: a middle taken from the levels a column or more away from it (uneven light
  // across the track, the film's turn) would set film against film further out.
  const int most = *std::max_element(clear.begin(), clear.end());
  if (most < 2 * speckRows(rows)) return dark;
  const double half = 0.5 * most;
  const auto crossing = [&](int from, int step) {
    for (int x = from + step; x >= 0 && x < n; x += step) {
      const double a = clear[static_cast<size_t>(x - step)], b = clear[static_cast<size_t>(x)];
      if (b >= half) return x - step + step * (half - a) / std::max(b - a, 1.0);
    }
    return -1.0;
  };
  const double left = crossing(0, 1), right = crossing(n - 1, -1);
  if (left < 0.0 || right < 0.0 || std::abs(left + right - mirrorSum) > 1.0) return dark;
  const int apart = std::max(4, rows / 200);  // as scratchedColumns counts apart
  const int few = speckRows(rows);
  // Column x's mirror image, read a column either way (the middle is known to a quarter
  // column): the least and most of its counts, and whether any of it is scratched.
  struct Image {
    bool within = false;
    int least = 0;
    int most = 0;
    bool scratched = false;
  };
  const auto imageOf = [&](int x) {
    Image image;
    const double m = mirrorSum - x;
    const int lo = static_cast<int>(std::floor(m)) - 1, hi = static_cast<int>(std::ceil(m)) + 1;
    if (lo < 0 || hi >= n) return image;
    image.within = true;
    image.least = rows;
    for (int v = lo; v <= hi; ++v) {
      image.least = std::min(image.least, clear[static_cast<size_t>(v)]);
      image.most = std::max(image.most, clear[static_cast<size_t>(v)]);
      image.scratched = image.scratched || scratched[static_cast<size_t>(v)];
    }
    return image;
  };
  for (int x = 0; x < n; ++x) {
    const int c = clear[static_cast<size_t>(x)];
    if (c > few || std::abs(mirrorSum - 2 * x) < 4.0) continue;
    const Image image = imageOf(x);
    dark[static_cast<size_t>(x)] = image.within && image.least >= c + apart && !image.scratched;
  }
  // The scratch reaches on outwards, over columns barely ever clear, as far as its
  // mirror image is clear at all: the rarest, loudest moments.
  const std::vector<bool> found = dark;
  for (int x = 0; x < n; ++x) {
    if (!found[static_cast<size_t>(x)]) continue;
    const int step = 2 * x < mirrorSum ? -1 : 1;
    for (int u = x + step; u >= 0 && u < n && !found[static_cast<size_t>(u)]; u += step) {
      const int c = clear[static_cast<size_t>(u)];
      const Image image = imageOf(u);
      if (c > few || !image.within || image.most <= c || image.scratched) break;
      dark[static_cast<size_t>(u)] = true;
    }
  }
  // The film just inside a scratch is clear as often as its mirror image: a track whose
  // two sides reach out unevenly (the film's turn, uneven light) is no scratch. A run
  // wider than a scratch is film: beyond a film's edge, say.
  const auto countAt = [&](double at) {
    const int whole = static_cast<int>(std::floor(at));
    const double part = at - whole;
    const double a = clear[static_cast<size_t>(whole)];
    return part > 0.0 ? a + part * (clear[static_cast<size_t>(whole + 1)] - a) : a;
  };
  forEachRun(
      n, [&](int x) { return dark[static_cast<size_t>(x)]; },
      [&](int a, int x) {
        // Two columns in from the run: the one beside it may lie partly under the scratch.
        const int inside = 2 * a < mirrorSum ? x + 1 : a - 2;
        const double image = mirrorSum - inside;
        bool even = inside >= 0 && inside < n && image >= 0.0 && image <= n - 1;
        if (even) {
          const double c = clear[static_cast<size_t>(inside)], m = countAt(image);
          even = std::abs(c - m) <= std::max<double>(apart, 0.25 * m);
        }
        if (x - a > widest || !even) std::fill(dark.begin() + a, dark.begin() + x, false);
      });
  return dark;
}

bool mirrorsItself(const std::vector<int>& clear, double mirrorSum, int rows) {
  const int n = static_cast<int>(clear.size());
  if (mirrorSum < 0.0 || n < 4) return false;
  const int apart = std::max(4, rows / 200);  // as scratchedColumns counts apart
  const int few = speckRows(rows);
  int moving = 0, even = 0;
  for (int x = 0; x < n; ++x) {
    const int c = clear[static_cast<size_t>(x)];
    const double m = mirrorSum - x;
    if (c <= few || c >= rows - few || m < 0.0 || m > n - 1) continue;
    ++moving;
    const int image = clear[static_cast<size_t>(std::lround(m))];
    even += std::abs(c - image) <= std::max(apart, std::max(c, image) / 4) ? 1 : 0;
  }
  constexpr int kLeastMoving = 6;
  return moving >= kLeastMoving && 4 * even >= 3 * moving;
}

std::vector<bool> brightAgainstMirror(const std::vector<int>& clear, double mirrorSum, int rows,
                                      int widest) {
  const int n = static_cast<int>(clear.size());
  std::vector<bool> bright(static_cast<size_t>(n), false);
  if (!mirrorsItself(clear, mirrorSum, rows)) return bright;
  const int apart = std::max(4, rows / 200);  // as scratchedColumns counts apart
  const int few = speckRows(rows);
  for (int x = 0; x < n; ++x) {
    const int c = clear[static_cast<size_t>(x)];
    if (c < rows - few || std::abs(mirrorSum - 2 * x) < 4.0) continue;
    const double m = mirrorSum - x;
    const int lo = static_cast<int>(std::floor(m)) - 1, hi = static_cast<int>(std::ceil(m)) + 1;
    if (lo < 0 || hi >= n) continue;
    int most = 0;
    for (int v = lo; v <= hi; ++v) most = std::max(most, clear[static_cast<size_t>(v)]);
    // The image is film the sound moves, clear on more rows than a speck's.
    bright[static_cast<size_t>(x)] = most > few && most + apart <= c;
  }
  keepRuns(bright, 2, widest);
  return bright;
}

std::vector<bool> brightOverMirror(const std::vector<int>& clear, int rows,
                                   const std::vector<int>& imageOpaque,
                                   const std::vector<int>& clearOnIt, double mirrorSum,
                                   int widest) {
  const int n = static_cast<int>(imageOpaque.size());
  std::vector<bool> bright(static_cast<size_t>(n), false);
  if (!mirrorsItself(clear, mirrorSum, rows)) return bright;
  for (int x = 0; x < n; ++x) {
    const int on = clearOnIt[static_cast<size_t>(x)];
    bright[static_cast<size_t>(x)] = std::abs(mirrorSum - 2 * x) >= 4.0 && on >= 2 &&
                                     4 * on >= 3 * imageOpaque[static_cast<size_t>(x)];
  }
  keepRuns(bright, 2, widest);
  return bright;
}

std::vector<bool> brightInClear(const std::vector<float>& means, const std::vector<bool>& always,
                                float range, int widest) {
  const int n = static_cast<int>(means.size());
  std::vector<bool> bright(static_cast<size_t>(n), false);
  if (static_cast<int>(always.size()) != n) return bright;
  // The mean level of columns a to b, all of them clear film; -1 where one is not.
  const auto film = [&](int a, int b) {
    double sum = 0.0;
    for (int x = a; x <= b; ++x) {
      if (x < 0 || x >= n || !always[static_cast<size_t>(x)]) return -1.0;
      sum += means[static_cast<size_t>(x)];
    }
    return sum / (b - a + 1);
  };
  for (int x = 0; x < n; ++x) {
    if (!always[static_cast<size_t>(x)]) continue;
    // The film on one side may be the edges' reach, clear on some rows only.
    const double before = film(x - 6, x - 3), after = film(x + 3, x + 6);
    if (before < 0.0 && after < 0.0) continue;
    bright[static_cast<size_t>(x)] =
        means[static_cast<size_t>(x)] - std::max(before, after) > kBrighterThanClear * range;
  }
  keepRuns(bright, 1, widest);
  return bright;
}

std::vector<bool> darkInOpaque(const std::vector<float>& means, const std::vector<int>& clear,
                               int rows, float range, int widest) {
  const int n = static_cast<int>(means.size());
  std::vector<bool> dark(static_cast<size_t>(n), false);
  if (static_cast<int>(clear.size()) != n) return dark;
  const int few = speckRows(rows);
  // The opaque film's level: the middle of the columns clear on a speck's rows at most.
  std::vector<float> opaque;
  for (int x = 0; x < n; ++x)
    if (clear[static_cast<size_t>(x)] <= few) opaque.push_back(means[static_cast<size_t>(x)]);
  if (opaque.size() < 8) return dark;
  const auto middle = opaque.begin() + static_cast<long>(opaque.size() / 2);
  std::nth_element(opaque.begin(), middle, opaque.end());
  const double below = *middle - kDarkerThanOpaque * range;
  for (int x = 0; x < n; ++x)
    dark[static_cast<size_t>(x)] =
        clear[static_cast<size_t>(x)] <= few && means[static_cast<size_t>(x)] < below;
  // Opaque film beyond it, on one side at least: a line among the edges' swing shows
  // where the film either side of it is clear, and is read as the edges' own. A run at
  // the window's end may be the film's own darker margin: it has film on one side only.
  const auto opaqueFrom = [&](int from, int step) {
    for (int k = 0; k < 3; ++k) {
      const int u = from + step * k;
      if (u < 0 || u >= n || clear[static_cast<size_t>(u)] > few) return false;
    }
    return true;
  };
  forEachRun(
      n, [&](int x) { return dark[static_cast<size_t>(x)]; },
      [&](int a, int x) {
        if (a == 0 || x == n || !(opaqueFrom(a - 2, -1) || opaqueFrom(x + 1, 1)))
          std::fill(dark.begin() + a, dark.begin() + x, false);
      });
  keepRuns(dark, 1, widest);
  return dark;
}

namespace {

// The clear part of a row (see clearWidth): its columns from `first` to `last`, those
// read as clear whole (`filled`, a speck inside it), and the edges' ramps beyond them.
struct ClearPart {
  int first = 0;
  int last = -1;
  const std::vector<char>* filled = nullptr;  // the thread's own, kept from row to row
  double before = 0.0;                        // the ramp before `first`
  double after = 0.0;                         // and after `last`
  double around = 0.0;                        // no column clear: the edges' pixels about the anchor
};

// The runs of a row's clear columns, from the first. Four columns are looked at a time:
// where all four are as the one before them, no run starts or ends among them.
void clearRuns(const std::vector<float>& shares, std::vector<Run>& runs) {
  runs.clear();
  const int n = static_cast<int>(shares.size());
  const float* s = shares.data();
  bool in = false;  // whether the column before is clear
  int first = 0;    // where the run it lies in starts
  const auto step = [&](int x, bool clear) {
    if (clear == in) return;
    if (clear)
      first = x;
    else
      runs.push_back(Run{first, x - 1});
    in = clear;
  };
  int x = 0;
#if defined(__SSE2__)
  const __m128 level = _mm_set1_ps(kClear);
  for (; x + 4 <= n; x += 4) {
    const int mask = _mm_movemask_ps(_mm_cmpgt_ps(_mm_loadu_ps(s + x), level));
    if (mask == (in ? 15 : 0)) continue;
    for (int i = 0; i < 4; ++i) step(x + i, (mask >> i & 1) != 0);
  }
#endif
  for (; x < n; ++x) step(x, s[x] > kClear);
  if (in) runs.push_back(Run{first, n - 1});
}

// `throughSpeck`: the clear part is taken on across the first gap on either side that
// ends it and is no wider than a speck, as though a dark speck covered it. `stopped` is
// set where such a gap ended it.
ClearPart clearPart(const std::vector<float>& shares, int anchor, int mirrorSum, ClearCore core,
                    bool throughSpeck = false, bool* stopped = nullptr) {
  ClearPart part;
  const int n = static_cast<int>(shares.size());
  // Each thread reads its rows one by one: their runs and filled columns are kept in
  // the same places from row to row.
  thread_local std::vector<Run> runs;
  thread_local std::vector<char> filled;
  clearRuns(shares, runs);
  const int at = std::clamp(anchor, 0, std::max(n - 1, 0));
  if (runs.empty()) {
    // No column clear: what there is lies in the edges' pixels about the anchor.
    for (int x = std::max(0, at - 3); x <= std::min(n - 1, at + 3); ++x)
      part.around += shares[static_cast<size_t>(x)];
    return part;
  }
  // The run that covers the anchor, or lies nearest it.
  size_t main = 0;
  int nearest = n + 1;
  for (size_t k = 0; k < runs.size(); ++k) {
    const int d = at < runs[k].first  ? runs[k].first - at
                  : at > runs[k].last ? at - runs[k].last
                                      : 0;
    if (d < nearest) nearest = d, main = k;
  }
  // A unilateral track is no mirror image: its anchor lies far from the middle.
  if (mirrorSum >= 0 && std::abs(2 * at - mirrorSum) > std::max(4, n / 20)) mirrorSum = -1;
  filled.assign(static_cast<size_t>(n), 0);
  part.filled = &filled;
  int first = runs[main].first, last = runs[main].last;
  // Each side's first gap no wider than a speck that ends the clear part where clear film
  // lies beyond it, crossed where asked. Part-clear film beyond is the edge's ramp, which
  // grain splits.
  // Only on the moving edge's side: beyond the fixed edge's opaque band lies no track, and
  // clear film there is a bright speck or the film beside.
  const auto onMovingSide = [&](const Run& gap) {
    return core.fixedSide < 0 ? gap.first > core.first : core.fixedSide > 0 && gap.last < core.last;
  };
  const auto judge = [&](const Run& gap, const Run& next, bool& through) {
    const Across across = acrossGap(shares, Run{first, last}, gap, next, mirrorSum, core);
    if (across != Across::No || gap.width() > kWidestSpeck ||
        clearest(shares, next) < 1.0 - kRise || !onMovingSide(gap))
      return across;
    if (stopped) *stopped = true;
    if (!through) return across;
    through = false;
    return Across::Clear;
  };
  bool through = throughSpeck;
  for (size_t k = main; k-- > 0;) {
    const Run gap{runs[k].last + 1, first - 1};
    const Across across = judge(gap, runs[k], through);
    if (across == Across::No) break;
    for (int x = gap.first; x <= gap.last; ++x)
      filled[static_cast<size_t>(x)] = across == Across::Clear;
    first = runs[k].first;
  }
  through = throughSpeck;
  for (size_t k = main + 1; k < runs.size(); ++k) {
    const Run gap{last + 1, runs[k].first - 1};
    const Across across = judge(gap, runs[k], through);
    if (across == Across::No) break;
    for (int x = gap.first; x <= gap.last; ++x)
      filled[static_cast<size_t>(x)] = across == Across::Clear;
    last = runs[k].last;
  }
  // A speck on a unilateral track's fixed edge: the clear part stops short of the
  // core's end there, within a speck's width. Its columns are clear film.
  if (mirrorSum < 0 && core.fixedSide < 0 && first > core.first && first <= core.last &&
      first - core.first <= kWidestSpeck) {
    std::fill(filled.begin() + core.first, filled.begin() + first, 1);
    first = core.first;
  }
  if (mirrorSum < 0 && core.fixedSide > 0 && last < core.last && last >= core.first &&
      core.last - last <= kWidestSpeck) {
    std::fill(filled.begin() + last + 1, filled.begin() + core.last + 1, 1);
    last = core.last;
  }
  part.first = first;
  part.last = last;
  // The edges: the part-covered columns beyond the clear ones, falling away from them,
  // a ramp where the sound moved within the row (see edgeWidth).
  if (first > 0) part.before = edgeWidth(shares, first - 1, -1);
  if (last < n - 1) part.after = edgeWidth(shares, last + 1, 1);
  return part;
}

}  // namespace

namespace {

double widthOf(const ClearPart& part, const std::vector<float>& shares) {
  if (part.last < part.first) return part.around;
  double width = 0.0;
  for (int x = part.first; x <= part.last; ++x)
    width += (*part.filled)[static_cast<size_t>(x)] ? 1.0 : shares[static_cast<size_t>(x)];
  return width + part.before + part.after;
}

}  // namespace

double clearWidth(const std::vector<float>& shares, int anchor, int mirrorSum, ClearCore core) {
  return widthOf(clearPart(shares, anchor, mirrorSum, core), shares);
}

ClearReadings clearReadings(const std::vector<float>& shares, int anchor, int mirrorSum,
                            ClearCore core) {
  bool stopped = false;
  ClearReadings readings;
  readings.width = widthOf(clearPart(shares, anchor, mirrorSum, core, false, &stopped), shares);
  readings.throughSpeck = readings.width;
  if (stopped)
    readings.throughSpeck = widthOf(clearPart(shares, anchor, mirrorSum, core, true), shares);
  return readings;
}

int readThroughSpecks(const std::vector<ClearReadings>& readings, std::vector<double>& widths) {
  const int n = static_cast<int>(readings.size());
  widths.resize(readings.size());
  const auto plain = [&](int y) {
    const ClearReadings& r = readings[static_cast<size_t>(y)];
    return r.throughSpeck == r.width;
  };
  // Rows either side whose steps from row to row measure how fast the sound moves.
  constexpr int kRowsAbout = 8;
  std::vector<double> steps;
  int through = 0;
  for (int y = 0; y < n; ++y) {
    const ClearReadings& r = readings[static_cast<size_t>(y)];
    widths[static_cast<size_t>(y)] = r.width;
    if (plain(y)) continue;
    // The nearest rows either side that leave no choice, a speck's width away at most.
    int before = y - 1, after = y + 1;
    while (before >= 0 && y - before <= kWidestSpeck && !plain(before)) --before;
    while (after < n && after - y <= kWidestSpeck && !plain(after)) ++after;
    const bool hasBefore = before >= 0 && y - before <= kWidestSpeck;
    const bool hasAfter = after < n && after - y <= kWidestSpeck;
    if (!hasBefore && !hasAfter) continue;
    const double a = hasBefore ? readings[static_cast<size_t>(before)].width : 0.0;
    const double b = hasAfter ? readings[static_cast<size_t>(after)].width : 0.0;
    const double expected = !hasBefore  ? b
                            : !hasAfter ? a
                                        : a + (b - a) * (y - before) / (after - before);
    // They judge only where the two readings lie further apart than the sound moves
    // from row to row, twice over: loud speech at a fine resolution swings as far as a
    // speck's width in a row or two.
    steps.clear();
    for (int i = std::max(0, y - kRowsAbout); i < std::min(n - 1, y + kRowsAbout); ++i)
      if (plain(i) && plain(i + 1))
        steps.push_back(std::abs(readings[static_cast<size_t>(i + 1)].width -
                                 readings[static_cast<size_t>(i)].width));
    if (steps.size() < 4) continue;
    const auto mid = steps.begin() + static_cast<long>(steps.size() / 2);
    std::nth_element(steps.begin(), mid, steps.end());
    if (std::abs(r.throughSpeck - r.width) <= 2.0 * *mid) continue;
    if (std::abs(r.throughSpeck - expected) < std::abs(r.width - expected)) {
      widths[static_cast<size_t>(y)] = r.throughSpeck;
      ++through;
    }
  }
  return through;
}

ClearSides clearSides(const std::vector<float>& shares, int anchor, int mirrorSum, double middle,
                      ClearCore core) {
  const ClearPart part = clearPart(shares, anchor, mirrorSum, core);
  ClearSides sides{part.before + 0.5 * part.around, part.after + 0.5 * part.around};
  const char* filled = part.filled ? part.filled->data() : nullptr;
  const auto at = [&](int x) {
    return filled[x] ? 1.0 : static_cast<double>(shares[static_cast<size_t>(x)]);
  };
  // Column x covers x - 0.5 to x + 0.5: the share of it before the middle. A column
  // wholly on one side adds nothing to the other. The share falls as x grows: the
  // columns wholly before the middle come first, then those it cuts, then those wholly
  // after it.
  const auto share = [&](int x) { return middle + 0.5 - x; };
  int cutFirst = part.first;
  while (cutFirst <= part.last && share(cutFirst) >= 1.0) ++cutFirst;
  int afterFirst = cutFirst;
  while (afterFirst <= part.last && !(share(afterFirst) <= 0.0)) ++afterFirst;
  // Each side's sum is taken in the order of its columns, the ones the middle cuts last
  // before it and first after it; the two sums are taken side by side, neither waiting
  // on the other.
  for (int x = cutFirst; x < afterFirst; ++x)
    sides.after += (1.0 - std::clamp(share(x), 0.0, 1.0)) * at(x);
  int b = part.first, a = afterFirst;
  for (; b < cutFirst && a <= part.last; ++b, ++a) {
    sides.before += at(b);
    sides.after += at(a);
  }
  for (; b < cutFirst; ++b) sides.before += at(b);
  for (; a <= part.last; ++a) sides.after += at(a);
  for (int x = cutFirst; x < afterFirst; ++x)
    sides.before += std::clamp(share(x), 0.0, 1.0) * at(x);
  return sides;
}

int mendHalves(std::vector<double>& before, std::vector<double>& after, int longest) {
  const int n = static_cast<int>(std::min(before.size(), after.size()));
  if (n < 16) return 0;
  // How far apart the halves lie: the middle of it, and its spread by the middle of the
  // departures from that, as a standard deviation.
  std::vector<double> apart(static_cast<size_t>(n));
  for (int y = 0; y < n; ++y)
    apart[static_cast<size_t>(y)] = before[static_cast<size_t>(y)] - after[static_cast<size_t>(y)];
  std::vector<double> sorted = apart;
  const auto middleOf = [](std::vector<double>& v) {
    const auto mid = v.begin() + static_cast<long>(v.size() / 2);
    std::nth_element(v.begin(), mid, v.end());
    return *mid;
  };
  const double usual = middleOf(sorted);
  for (int y = 0; y < n; ++y)
    sorted[static_cast<size_t>(y)] = std::abs(apart[static_cast<size_t>(y)] - usual);
  const double spread = 1.4826 * middleOf(sorted);
  const double far = std::max(kHalvesApart, kHalvesSpreads * spread);
  const auto off = [&](int y) { return std::abs(apart[static_cast<size_t>(y)] - usual) > far; };
  int mended = 0;
  forEachRun(n, off, [&](int first, int end) {
    int a = first;
    int b = end - 1;
    // The sound outrunning the rows sets the halves of a turned track apart, read between
    // rows, on a row or two alone; a speck that matters covers more.
    if (b - a + 1 < kLeastSpeckRows) return;
    // The speck's edges cover part of the rows either side.
    a = std::max(0, a - 1);
    b = std::min(n - 1, b + 1);
    if (b - a + 1 > longest) return;
    // The half the speck lies on leaves the curve through the two rows either side of
    // them further; the other follows the sound. Where both leave it nearly alike, the
    // sound moves too fast for the curve to tell which, and the halves are left as read.
    if (a < 2 || b > n - 3) return;
    const int at[4] = {a - 2, a - 1, b + 1, b + 2};
    const auto leaves = [&](const std::vector<double>& half) {
      double sum = 0.0;
      for (int u = a; u <= b; ++u) {
        double curve = 0.0;  // Lagrange's cubic through the four rows
        for (int i = 0; i < 4; ++i) {
          double w = half[static_cast<size_t>(at[i])];
          for (int j = 0; j < 4; ++j)
            if (j != i) w *= static_cast<double>(u - at[j]) / (at[i] - at[j]);
          curve += w;
        }
        sum += std::abs(half[static_cast<size_t>(u)] - curve);
      }
      return sum;
    };
    const double offBefore = leaves(before), offAfter = leaves(after);
    if (std::max(offBefore, offAfter) < kSpeckLeaves * std::min(offBefore, offAfter)) return;
    const bool onBefore = offBefore > offAfter;
    for (int u = a; u <= b; ++u) {
      if (onBefore)
        before[static_cast<size_t>(u)] = after[static_cast<size_t>(u)] + usual;
      else
        after[static_cast<size_t>(u)] = before[static_cast<size_t>(u)] - usual;
    }
    mended += b - a + 1;
  });
  return mended;
}

}  // namespace kelvora
