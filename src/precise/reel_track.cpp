#include "precise/reel_track.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <utility>

#include "film/track_bounds.h"
#include "precise/clear_part.h"
#include "precise/scan_sound.h"

namespace kelvora {

double lateralOffset(const std::vector<float>& reference, const std::vector<float>& profile,
                     int reach, int around) {
  const int n = static_cast<int>(std::min(reference.size(), profile.size()));
  const int lo = around - reach, hi = around + reach;
  // Columns u whose neighbours u + s - 1 and u + s lie inside for every shift s.
  const int uFirst = std::max(1, 1 - lo), uEnd = std::min(n, n - hi);
  if (uEnd - uFirst < 4) return around;
  std::vector<double> score(static_cast<size_t>(hi - lo + 1));
  // Each profile's slopes, once: slope[u] between columns u - 1 and u.
  const auto slopes = [](const std::vector<float>& levels, int n) {
    std::vector<double> slope(static_cast<size_t>(n), 0.0);
    for (int u = 1; u < n; ++u) slope[static_cast<size_t>(u)] = levels[u] - levels[u - 1];
    return slope;
  };
  const std::vector<double> a = slopes(reference, n);
  const std::vector<double> b = slopes(profile, static_cast<int>(profile.size()));
  // Squared difference of the two profiles' slopes: edges count, plain levels do not.
  // Each shift's sum is taken along the columns in order; four shifts' side by side.
  int s = lo;
  for (; s + 4 <= hi + 1; s += 4) {
    double sum0 = 0.0, sum1 = 0.0, sum2 = 0.0, sum3 = 0.0;
    const double* shifted = b.data() + s;
    for (int u = uFirst; u < uEnd; ++u) {
      const double at = a[static_cast<size_t>(u)];
      const double d0 = at - shifted[u], d1 = at - shifted[u + 1], d2 = at - shifted[u + 2],
                   d3 = at - shifted[u + 3];
      sum0 += d0 * d0;
      sum1 += d1 * d1;
      sum2 += d2 * d2;
      sum3 += d3 * d3;
    }
    score[static_cast<size_t>(s - lo)] = sum0;
    score[static_cast<size_t>(s - lo + 1)] = sum1;
    score[static_cast<size_t>(s - lo + 2)] = sum2;
    score[static_cast<size_t>(s - lo + 3)] = sum3;
  }
  for (; s <= hi; ++s) {
    double sum = 0.0;
    const double* shifted = b.data() + s;
    for (int u = uFirst; u < uEnd; ++u) {
      const double d = a[static_cast<size_t>(u)] - shifted[u];
      sum += d * d;
    }
    score[static_cast<size_t>(s - lo)] = sum;
  }
  const auto best = std::min_element(score.begin(), score.end()) - score.begin();
  double offset = static_cast<double>(best + lo);
  if (best > 0 && best < static_cast<long>(score.size()) - 1) {
    const double l = score[best - 1], c = score[best], r = score[best + 1];
    const double bend = l - 2.0 * c + r;
    if (bend > 0.0) offset += 0.5 * (l - r) / bend;
  }
  return offset;
}

namespace {

// The band of plain film beside the track, on the picture side, a strip `width` wide.
void placeBeside(ReelTrack& track, int width, int trackWidth) {
  const int gap = 2 * track.margin;
  track.besideFirst = std::min(width - 1, track.last + gap);
  track.besideLast = std::min(width - 1, track.besideFirst + std::max(4, trackWidth / 6));
}

// A float's bits as a key that orders as the float does: its sign turned over, and a
// negative's other bits with it. -0 is taken as 0.
uint32_t orderKey(float v) {
  const uint32_t bits = std::bit_cast<uint32_t>(v + 0.0f);
  return bits & 0x80000000u ? ~bits : bits | 0x80000000u;
}

float ofOrderKey(uint32_t key) {
  return std::bit_cast<float>(key & 0x80000000u ? key & 0x7fffffffu : ~key);
}

// `keys` in ascending order, a byte at a time from the lowest (`scratch` as long): a
// byte all keys share is passed over.
void sortKeys(std::vector<uint32_t>& keys, std::vector<uint32_t>& scratch) {
  std::array<std::array<uint32_t, 256>, 4> count{};
  for (const uint32_t k : keys)
    for (int b = 0; b < 4; ++b) ++count[static_cast<size_t>(b)][(k >> (8 * b)) & 0xffu];
  for (int b = 0; b < 4; ++b) {
    auto& c = count[static_cast<size_t>(b)];
    if (c[(keys.front() >> (8 * b)) & 0xffu] == keys.size()) continue;
    uint32_t at = 0;
    for (uint32_t& n : c) at += std::exchange(n, at);
    for (const uint32_t k : keys) scratch[c[(k >> (8 * b)) & 0xffu]++] = k;
    keys.swap(scratch);
  }
}

}  // namespace

cv::Mat columnShares(const cv::Mat& levels) {
  constexpr int kShares = 25;
  cv::Mat shares(kShares, levels.cols, CV_32F);
  if (levels.empty()) return shares;
  // Each column laid along a row of its own, its rows side by side.
  cv::Mat columns;
  cv::transpose(levels, columns);
  std::vector<uint32_t> keys(static_cast<size_t>(levels.rows)), scratch(keys.size());
  std::array<size_t, kShares> ranks{};
  for (int k = 0; k < kShares; ++k) {
    const double share = 0.005 + 0.99 * k / (kShares - 1);
    ranks[static_cast<size_t>(k)] = static_cast<size_t>(std::lround(share * (levels.rows - 1)));
  }
  std::array<uint32_t, 256> count{};
  for (int x = 0; x < levels.cols; ++x) {
    const float* column = columns.ptr<float>(x);
    // A column of whole levels from 0 to 255 (an 8-bit scan's, unmended) is counted
    // level by level, its shares read off the count.
    count.fill(0);
    bool whole = true;
    for (int y = 0; y < levels.rows; ++y) {
      const float v = column[y];
      const bool inside = (v >= 0.0f) & (v <= 255.0f);
      const int level = inside ? static_cast<int>(v) : 0;
      whole &= inside & (static_cast<float>(level) == v);
      ++count[static_cast<size_t>(level)];
    }
    if (whole) {
      size_t level = 0, below = count[0];
      for (int k = 0; k < kShares; ++k) {
        while (below <= ranks[static_cast<size_t>(k)]) below += count[++level];
        shares.at<float>(k, x) = static_cast<float>(level);
      }
      continue;
    }
    for (size_t y = 0; y < keys.size(); ++y) keys[y] = orderKey(column[y]);
    sortKeys(keys, scratch);
    for (int k = 0; k < kShares; ++k)
      shares.at<float>(k, x) = ofOrderKey(keys[ranks[static_cast<size_t>(k)]]);
  }
  return shares;
}

namespace {

// The columns a variable-density track covers on `shares` (see columnShares): its
// density follows the sound evenly across its whole width, so the track is the widest
// run of columns that spread about as much as its typical column. The few columns
// where the film's edge or the track's border swings over them with the weave and the
// scan's turn spread further still, but they are too few to set the typical spread;
// the plain film beside the track hardly spreads at all.
TrackBounds locateDensityTrack(const cv::Mat& shares, int trackWidth) {
  TrackBounds bounds;
  const int n = shares.cols;
  const int window = std::max(4, trackWidth / 2);
  if (shares.rows < 5 || n < window) return bounds;
  // Each column's spread: between the levels a tenth of its rows lie below and above,
  // past a speck that covers a few rows.
  const int lowShare = shares.rows / 10, highShare = shares.rows - 1 - shares.rows / 10;
  std::vector<float> spread(static_cast<size_t>(n));
  for (int x = 0; x < n; ++x)
    spread[static_cast<size_t>(x)] = shares.at<float>(highShare, x) - shares.at<float>(lowShare, x);
  const auto medianOf = [](std::vector<float> v) {
    std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
    return v[v.size() / 2];
  };
  int best = 0;
  float typical = -1.0f;
  for (int a = 0; a + window <= n; ++a) {
    const float m = medianOf(std::vector<float>(spread.begin() + a, spread.begin() + a + window));
    if (m > typical) typical = m, best = a;
  }
  const float grain = *std::min_element(spread.begin(), spread.end());
  // A silent stretch (a leader) leaves the track as still as the film beside it.
  constexpr float kQuietest = 2.0f;
  if (!(typical > std::max(1.6f * grain, kQuietest))) return bounds;
  const auto moves = [&](int x) { return spread[static_cast<size_t>(x)] >= 0.5f * typical; };
  int first = best + window / 2, last = first;
  if (!moves(first)) return bounds;
  // A scratch along the film, a few columns that never move, does not end the track
  // where the sound moves on beyond it within a track's width.
  const int widestScratch = std::max(kWidestSpeck, trackWidth / 16);
  const auto beyondStill = [&](int from, int step) {
    for (int x = from + step; std::abs(x - from) <= widestScratch + 1; x += step) {
      if (x < 0 || x >= n) return from;
      if (moves(x)) return x;
    }
    return from;
  };
  for (bool grew = true; grew;) {
    grew = false;
    while (first > 0 && moves(first - 1)) --first;
    while (last < n - 1 && moves(last + 1)) ++last;
    const int before = beyondStill(first, -1), after = beyondStill(last, 1);
    if (before != first && last - before < trackWidth) first = before, grew = true;
    if (after != last && after - first < trackWidth) last = after, grew = true;
  }
  bounds.found = true;
  bounds.first = first;
  bounds.last = last;
  return bounds;
}

// The band of columns of `shares` (columns as rows, see columnShares) that the sound
// moves, from column `from` to `search`, with `from` added back; not found where none.
TrackBounds bandWithin(const cv::Mat& shares, int from, int search) {
  if (search - from < 2) return {};
  TrackBounds band = locateTrack(shares.rowRange(from, search), true, search - from);
  band.first += from;
  band.last += from;
  return band;
}

// The band of columns of `shares` that the sound moves, within `search` of the
// track-side edge. A narrow band at that edge is the film's own edge, which the weave
// or the film's turn in the gate moves across the first columns: the band beyond it is
// the track, where there is one. A scratch along the film, a few columns that never
// move, does not end the track: the sound moves on beyond it, within a track's width.
TrackBounds modulatedBand(const cv::Mat& shares, int search, int trackWidth) {
  TrackBounds band = bandWithin(shares, 0, search);
  const int narrow = std::max(2 * kWidestSpeck, trackWidth / 4);
  if (band.found && band.first <= 2 * kWidestSpeck && band.last + 1 - band.first < narrow) {
    const TrackBounds beyond = bandWithin(shares, band.last + 1, search);
    if (beyond.found) band = beyond;
  }
  const int widestScratch = std::max(kWidestSpeck, trackWidth / 16);
  // A bright line along the film beyond the sound's reach (a scratch) is no band of
  // sound: clear on every row, where the sound beyond a dark scratch is clear on some
  // rows only. The weave wobbles its edges, which seem to move.
  double darkest = 0.0, brightest = 0.0;
  cv::minMaxLoc(shares.rowRange(0, std::min(search, shares.rows)), &darkest, &brightest);
  const float half = static_cast<float>(0.5 * (darkest + brightest));
  const auto brightLine = [&](const TrackBounds& b) {
    if (b.last - b.first + 1 > widestScratch + 2) return false;
    for (int x = b.first; x <= b.last; ++x)
      if (shares.at<float>(x, 0) > half) return true;
    return false;
  };
  while (band.found) {
    const TrackBounds next = bandWithin(shares, band.last + 1, search);
    if (!next.found || next.first - band.last - 1 > widestScratch ||
        next.last - band.first + 1 > trackWidth + trackWidth / 10 || brightLine(next))
      break;
    band.last = next.last;
  }
  return band;
}

// The strips of `strips` alike to the first (of its type, `width` columns or more), each
// cut to the columns it shares with the first once the weave's offset against it,
// within `reach` columns, is taken out: the film's edge, the track's edges and a
// scratch along the film lie in the same columns of each. Laid side by side as they
// were scanned, the weave would spread the film's edge into the track and show a
// scratch it moves as sound.
std::vector<cv::Mat> alongsideFirst(const std::vector<cv::Mat>& strips, int width, int reach) {
  const cv::Mat& first = strips.front();
  // Only the weave of another strip is measured against the first.
  const std::vector<float> reference = strips.size() > 1 && reach > 0
                                           ? columnMeans(first.colRange(0, width), levelsOf(first))
                                           : std::vector<float>{};
  std::vector<const cv::Mat*> alike;
  std::vector<int> offsets;
  for (const cv::Mat& s : strips) {
    if (s.type() != first.type()) continue;
    alike.push_back(&s);
    offsets.push_back(
        &s == &first || reach <= 0
            ? 0
            : static_cast<int>(std::lround(lateralOffset(
                  reference, columnMeans(s.colRange(0, width), levelsOf(s)), reach))));
  }
  const int lo = std::min(0, *std::min_element(offsets.begin(), offsets.end()));
  const int hi = std::max(0, *std::max_element(offsets.begin(), offsets.end()));
  // Offsets that leave less than half the strip shared are no weave: none is taken out.
  const bool shifted = width - (hi - lo) >= width / 2;
  std::vector<cv::Mat> aligned;
  for (size_t k = 0; k < alike.size(); ++k) {
    const int from = shifted ? offsets[k] - lo : 0;
    aligned.push_back(alike[k]->colRange(from, from + (shifted ? width - (hi - lo) : width)));
  }
  return aligned;
}

}  // namespace

bool AlongSums::parabola(cv::Vec3d& c) const {
  // At least a few rows, spread over a tenth of the scan or more.
  constexpr double kLeastRows = 16.0, kLeastSpread = 0.1;
  const double n = a(0, 0);
  if (n < kLeastRows) return false;
  const double mean = a(0, 1) / n, spread = a(1, 1) / n - mean * mean;
  if (!(spread >= kLeastSpread * kLeastSpread)) return false;
  return cv::solve(a, b, c, cv::DECOMP_LU);
}

namespace {

// Takes off each column of `levels` (rows along the film, `blocks` of rows in turn, each
// from one scan and spaced evenly along it) its smooth change along each scan, the
// least-squares parabola through the block, fitted again without the rows that lie far
// off it (a splice's dark band, dust), its mean brought to the column's over all the
// blocks: the light the gate's field gives along a scan and the lamp's from scan to
// scan move plain film as well as the track, clear film the most, where the sound moves
// only the track, and faster.
void levelAlongScans(cv::Mat& levels, const std::vector<int>& blocks) {
  constexpr int kLeastRows = 8;
  // Rows further off the first fit than this many times the middle distance (a splice's
  // band, dust) are left out of the second.
  constexpr double kOff = 3.0;
  cv::Mat means;
  cv::reduce(levels, means, 0, cv::REDUCE_AVG, CV_32F);
  std::vector<double> fit, off;
  std::vector<unsigned char> kept;
  int start = 0;
  for (const int rows : blocks) {
    const int from = start;
    start += rows;
    if (rows < kLeastRows) continue;
    fit.assign(static_cast<size_t>(rows), 0.0);
    kept.assign(static_cast<size_t>(rows), 1);
    const auto tOf = [&](int i) { return (static_cast<double>(i) - 0.5 * (rows - 1)) / rows; };
    for (int x = 0; x < levels.cols; ++x) {
      std::fill(kept.begin(), kept.end(), 1);
      for (int pass = 0; pass < 2; ++pass) {
        cv::Matx33d a = cv::Matx33d::zeros();
        cv::Vec3d b(0, 0, 0);
        for (int i = 0; i < rows; ++i) {
          if (!kept[static_cast<size_t>(i)]) continue;
          const double t = tOf(i);
          const cv::Vec3d p(1.0, t, t * t);
          a += p * p.t();
          b += static_cast<double>(levels.at<float>(from + i, x)) * p;
        }
        cv::Vec3d c;
        if (!cv::solve(a, b, c, cv::DECOMP_LU)) break;
        off.clear();
        for (int i = 0; i < rows; ++i) {
          const double t = tOf(i);
          fit[static_cast<size_t>(i)] = c[0] + c[1] * t + c[2] * t * t;
          off.push_back(std::abs(levels.at<float>(from + i, x) - fit[static_cast<size_t>(i)]));
        }
        if (pass == 1) break;
        std::vector<double> sorted = off;
        std::nth_element(sorted.begin(), sorted.begin() + rows / 2, sorted.end());
        const double limit = kOff * sorted[static_cast<size_t>(rows / 2)];
        for (int i = 0; i < rows; ++i)
          kept[static_cast<size_t>(i)] = off[static_cast<size_t>(i)] <= limit;
      }
      const double mean = means.at<float>(0, x);
      for (int i = 0; i < rows; ++i)
        levels.at<float>(from + i, x) -= static_cast<float>(fit[static_cast<size_t>(i)] - mean);
    }
  }
}

// The track on `strips` (see locateReelTrack); its profile and a variable-density
// track's levels only where `whole`, else its place and whether it is a negative's.
ReelTrack locate(const std::vector<cv::Mat>& strips, bool variableDensity, int trackWidth,
                 bool whole) {
  ReelTrack track;
  if (strips.empty() || strips.front().empty()) return track;
  // The scans of a reel are alike; one cut narrower, or of another depth, is passed by.
  int width = strips.front().cols;
  for (const cv::Mat& s : strips)
    if (s.type() == strips.front().type()) width = std::min(width, s.cols);
  track.variableDensity = variableDensity;
  track.margin = std::max(4, trackWidth / 12);
  std::vector<cv::Mat> alike =
      alongsideFirst(strips, width, variableDensity ? 0 : 2 * track.margin);
  width = alike.front().cols;
  // A scan's own track is located on the scan itself, no copy of it.
  cv::Mat film = alike.front();
  if (alike.size() > 1 || whole) cv::vconcat(alike, film);

  // Levels of the track side, from rows spread over at most kMostRows, short of either
  // end of each scan, where the gate's shadow may lie.
  constexpr int kMostRows = 1024;
  const int side = std::min(width, trackWidth * 14 / 10);
  const int step = (film.rows + kMostRows - 1) / kMostRows;
  std::vector<cv::Mat> inside;
  std::vector<int> blocks;  // rows taken from each scan
  for (const cv::Mat& s : alike) {
    const int end = s.rows / 16;
    const size_t before = inside.size();
    for (int y = end; y < s.rows - end; y += step) inside.push_back(s.row(y).colRange(0, side));
    blocks.push_back(static_cast<int>(inside.size() - before));
  }
  if (inside.empty()) return track;
  cv::Mat rows;
  cv::vconcat(inside, rows);
  const std::vector<float> spread =
      levelShares(stripLevels(rows, levelsOf(film)), {0.02, 0.5, 0.98});
  const float dark = spread[0], middle = spread[1], bright = spread[2];
  // Variable-area film is mostly opaque around its clear area; a negative of it is
  // mostly clear.
  track.negative = !variableDensity && middle > 0.5f * (dark + bright);
  const StripLevels read = track.levels(film);
  // locateTrack takes the film running side to side, as a scan is loaded. It looks
  // no further than the track and the plain film beside it, short of the picture, and
  // past any scratch.
  const int search = std::min(side, trackWidth * 27 / 20);
  cv::Mat mended = stripLevels(rows.colRange(0, search), read);
  mendScratches(mended, bright - dark, -1);
  // Variable area: past the film's own edge and across a scratch (see modulatedBand).
  TrackBounds bounds = variableDensity
                           ? locateDensityTrack(columnShares(mended), trackWidth)
                           : modulatedBand(columnShares(mended).t(), search, trackWidth);
  // A variable-density track is told from the film beside it by how much more its
  // rows' levels spread. No sound moves film wider than its track, give or take a
  // resolution tag's rounding: wider, the light's smooth change along the scans moved
  // the plain film beside it too. Taken off, the track is found again where it can be.
  if (variableDensity && bounds.found && 4 * (bounds.last + 1 - bounds.first) > 5 * trackWidth) {
    levelAlongScans(mended, blocks);
    const TrackBounds level = locateDensityTrack(columnShares(mended), trackWidth);
    if (level.found) bounds = level;
  }
  if (!bounds.found) return track;
  track.first = bounds.first;
  track.last = bounds.last;
  track.found = true;
  placeBeside(track, width, trackWidth);
  if (!whole) return track;
  // Followed from scan to scan as each scan's own straightened profile is: strips laid
  // in the gate one by one are each turned their own way.
  std::vector<double> sum(static_cast<size_t>(width), 0.0);
  for (const cv::Mat& s : alike) {
    const std::vector<float> straight = straightColumnLevels(s, read);
    for (int u = 0; u < width; ++u) sum[u] += static_cast<double>(straight[u]) * s.rows;
  }
  track.profile.resize(static_cast<size_t>(width));
  for (int u = 0; u < width; ++u) track.profile[u] = static_cast<float>(sum[u] / film.rows);
  if (variableDensity) {
    const double reference =
        read.of(cv::mean(film.colRange(track.besideFirst, track.besideLast + 1))[0]);
    const double mean = read.of(cv::mean(film.colRange(track.first, track.last + 1))[0]);
    track.negative = reference < mean;  // the film beside a negative's track is dark
    track.light = reference > 1.0 ? reference : 1.0;
    track.level = mean / track.light;
  }
  return track;
}

}  // namespace

ReelTrack locateReelTrack(const std::vector<cv::Mat>& strips, bool variableDensity,
                          int trackWidth) {
  return locate(strips, variableDensity, trackWidth, true);
}

namespace {

// Moves the track's edges to columns `first` and `last` (`first` kept on the strip) and
// the film beside it with them, unless that changes nothing or is wider than the track
// (`trackWidth`): no sound swings wider than its track, what does is dirt. Returns
// whether they moved.
bool moveEdges(ReelTrack& track, int first, int last, int stripColumns, int trackWidth) {
  if ((first == track.first && last == track.last) || last - first + 1 > trackWidth) return false;
  track.first = std::max(0, first);
  track.last = last;
  placeBeside(track, stripColumns, trackWidth);
  return true;
}

}  // namespace

bool growTrack(ReelTrack& track, const cv::Mat& strip, double offset, int trackWidth) {
  if (!track.found || track.variableDensity) return false;
  // Where the track lies on this scan alone; its profile is not needed.
  const ReelTrack here = locate({strip}, false, trackWidth, false);
  if (!here.found || here.negative != track.negative) return false;
  const int shift = static_cast<int>(std::lround(offset));
  return moveEdges(track, std::min(track.first, here.first - shift),
                   std::max(track.last, here.last - shift), strip.cols, trackWidth);
}

bool widenTrack(ReelTrack& track, bool atFirst, bool atLast, int stripColumns, int trackWidth) {
  if (!track.found || track.variableDensity) return false;
  const int grow = std::max(1, track.margin / 2);
  return moveEdges(track, atFirst ? std::max(0, track.first - grow) : track.first,
                   atLast ? track.last + grow : track.last, stripColumns, trackWidth);
}

}  // namespace kelvora
