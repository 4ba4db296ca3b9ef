#include "precise/speck_tips.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

// A dark speck on the tip of a unilateral track's moving edge: the rows it hides the
// edge on.

namespace kelvora {

namespace {

// Two readings of a row this many columns apart or more: a speck cut its clear part.
constexpr double kCut = 1.0;
// A row's edge this near the speck's near side on the row beside it ends at the speck.
constexpr double kAtSpeck = 1.0;

}  // namespace

std::vector<HiddenWidth> edgeUnderSpecks(const std::vector<ClearReadings>& readings,
                                         const std::vector<double>& widths) {
  constexpr double kNone = std::numeric_limits<double>::quiet_NaN();
  const int rows = static_cast<int>(std::min(readings.size(), widths.size()));
  std::vector<HiddenWidth> out(static_cast<size_t>(rows), HiddenWidth{kNone, kNone});
  const auto cut = [&](int y) {
    const ClearReadings& r = readings[static_cast<size_t>(y)];
    return r.throughSpeck - r.width >= kCut;
  };
  for (int y = 0; y < rows;) {
    if (!cut(y)) {
      ++y;
      continue;
    }
    // A run of rows the speck cuts, no longer than a speck.
    const int first = y;
    while (y < rows && y - first < kWidestSpeck && cut(y)) ++y;
    const int last = y - 1;
    double beyond = 0.0;  // the clear film beyond the speck, furthest on its rows
    for (int r = first; r <= last; ++r)
      beyond = std::max(beyond, readings[static_cast<size_t>(r)].throughSpeck);
    // The rows either side that end at the speck's near side, within a speck's length.
    const auto atSpeck = [&](int r, int beside) {
      return r >= 0 && r < rows && !cut(r) && widths[static_cast<size_t>(r)] > 0.0 &&
             widths[static_cast<size_t>(r)] < beyond &&
             std::abs(widths[static_cast<size_t>(r)] -
                      readings[static_cast<size_t>(beside)].width) <= kAtSpeck;
    };
    int from = first, to = last;
    while (to - from + 1 < kWidestSpeck && atSpeck(from - 1, from)) --from;
    while (to - from + 1 < kWidestSpeck && atSpeck(to + 1, to)) ++to;
    if (from == first && to == last) continue;
    for (int r = from; r <= to; ++r) {
      const double read = widths[static_cast<size_t>(r)];
      const ClearReadings& c = readings[static_cast<size_t>(r)];
      out[static_cast<size_t>(r)] = r >= first && r <= last
                                        ? HiddenWidth{c.width - read, c.throughSpeck - read}
                                        : HiddenWidth{0.0, beyond - read};
    }
  }
  return out;
}

}  // namespace kelvora
