#include "precise/bright_line.h"

#include <algorithm>
#include <cstddef>

namespace kelvora {

namespace {

// The column beside a run on the clear side is opaque on a row below this clear share.
constexpr double kOpaqueBeside = 0.03;
// The line is measured over blocks of this many rows, half a block either side with them.
constexpr int kBlock = 128;
// A block with fewer rows of opaque film under the run is not measured.
constexpr int kLeastRows = 32;
// A line brighter than opaque film by less than this share of the way to clear is none.
constexpr double kLeastBright = 0.5;
// A column whose film shows through less than this share of it is read from those beside.
constexpr double kLeastShowing = 0.3;
// A row whose clear width the columns read on a curve leave unsure by this many columns
// or more is told as hidden.
constexpr double kUnsureWidth = 0.5;

double middleOf(std::vector<double>& values) {
  const auto k = values.begin() + static_cast<long>(values.size() / 2);
  std::nth_element(values.begin(), k, values.end());
  return *k;
}

// Where a block of the line was measured: the row of its middle and each column's level.
struct LineBlock {
  double row = 0.0;
  std::vector<double> level;
};

// The line's level in each of `width` columns on row `y`, between the blocks measured
// either side of it. False where no block was measured within a block of the row: the
// line has drifted since, too far to tell.
bool lineLevelAt(const std::vector<LineBlock>& blocks, double y, std::vector<double>& level) {
  const auto after = std::lower_bound(blocks.begin(), blocks.end(), y,
                                      [](const LineBlock& b, double row) { return b.row < row; });
  const bool near = (after != blocks.end() && after->row - y <= kBlock) ||
                    (after != blocks.begin() && y - (after - 1)->row <= kBlock);
  if (!near) return false;
  if (after == blocks.begin() || after == blocks.end()) {
    level = (after == blocks.end() ? blocks.back() : blocks.front()).level;
    return true;
  }
  const LineBlock& a = *(after - 1);
  const LineBlock& b = *after;
  const double t = (y - a.row) / (b.row - a.row);
  for (size_t k = 0; k < level.size(); ++k) level[k] = a.level[k] + t * (b.level[k] - a.level[k]);
  return true;
}

// A slope at a run's end bent no steeper than three times the straight line across it
// `across`, and none against it: the curve stays between the ends.
double boundedSlope(double slope, double across) {
  if (across == 0.0 || slope * across <= 0.0) return 0.0;
  return std::min(std::abs(slope), 3.0 * std::abs(across)) * (across > 0.0 ? 1.0 : -1.0);
}

}  // namespace

int readUnderBrightLine(cv::Mat& window, const cv::Mat& scanned, ColumnSpan span, ColumnSpan track,
                        const std::vector<double>& clearLevel,
                        const std::vector<double>& opaqueLevel, std::vector<HiddenWidth>* hidden) {
  const int n = window.cols;
  const int rows = window.rows;
  const int width = span.last - span.first + 1;
  const bool clearBefore = track.first < track.last;
  // Columns counted from the clear side, the run's first at 0.
  const auto column = [&](int k) { return clearBefore ? span.first + k : span.last - k; };
  if (width < 1 || scanned.size() != window.size() || scanned.type() != CV_32F ||
      std::min(column(-2), column(width + 1)) < 0 || std::max(column(-2), column(width + 1)) >= n ||
      static_cast<int>(clearLevel.size()) < rows || static_cast<int>(opaqueLevel.size()) < rows)
    return 0;
  const auto lit = [&](int y) {
    return clearLevel[static_cast<size_t>(y)] - opaqueLevel[static_cast<size_t>(y)] > 1.0;
  };
  const auto shareOf = [&](int y, int k) {
    const double lo = opaqueLevel[static_cast<size_t>(y)];
    return (scanned.at<float>(y, column(k)) - lo) / (clearLevel[static_cast<size_t>(y)] - lo);
  };

  // The line's level in each column of the run, as a clear share, on opaque film.
  std::vector<LineBlock> blocks;
  std::vector<std::vector<double>> seen(static_cast<size_t>(width));
  for (int start = 0; start < rows; start += kBlock) {
    for (auto& s : seen) s.clear();
    const int end = std::min(rows, start + kBlock + kBlock / 2);
    for (int y = std::max(0, start - kBlock / 2); y < end; ++y) {
      if (!lit(y) || shareOf(y, -1) >= kOpaqueBeside) continue;
      for (int k = 0; k < width; ++k) seen[static_cast<size_t>(k)].push_back(shareOf(y, k));
    }
    if (static_cast<int>(seen[0].size()) < kLeastRows) continue;
    LineBlock block{0.5 * (start + std::min(rows, start + kBlock) - 1), {}};
    for (auto& s : seen) block.level.push_back(middleOf(s));
    blocks.push_back(std::move(block));
  }
  if (blocks.empty()) return 0;

  int read = 0;
  std::vector<double> level(static_cast<size_t>(width)), share(static_cast<size_t>(width) + 4);
  std::vector<bool> known(share.size());
  // share[k + 2] is column k's, from the second column before the run to the second after.
  const auto at = [&](int k) -> double& { return share[static_cast<size_t>(k + 2)]; };
  // A row the line is not measured near (or too faint there) keeps the run mended across,
  // and where its edge ends under the run, the run hides it as any mended run does.
  const bool tell = hidden && static_cast<int>(hidden->size()) == rows;
  const std::vector<HiddenWidth> mended =
      tell ? hiddenWidths(window, {span}, track.first, clearLevel, opaqueLevel)
           : std::vector<HiddenWidth>();
  for (int y = 0; y < rows; ++y) {
    if (!lit(y)) continue;
    const bool near = lineLevelAt(blocks, y, level);
    const double line = near ? *std::max_element(level.begin(), level.end()) : 0.0;
    if (line < kLeastBright) {
      if (tell) (*hidden)[static_cast<size_t>(y)] = mended[static_cast<size_t>(y)];
      continue;
    }
    const double high = std::clamp(shareOf(y, -1), 0.0, 1.0);
    const double low = std::clamp(shareOf(y, width), 0.0, 1.0);
    for (int k = -2; k < width + 2; ++k) {
      const bool beside = k < 0 || k >= width;
      // The line's share of the column, and what the film showing through the rest says.
      const double covered =
          beside ? 0.0 : std::clamp(level[static_cast<size_t>(k)] / line, 0.0, 1.0);
      const bool shows = 1.0 - covered >= kLeastShowing;
      known[static_cast<size_t>(k + 2)] = shows;
      const double film = shows ? (shareOf(y, k) - covered * line) / (1.0 - covered) : 0.0;
      at(k) = beside ? std::clamp(film, 0.0, 1.0) : std::clamp(film, low, high);
    }
    // Each run of columns that tell nothing, on a curve between the columns either side:
    // the width it gives, and how far from it the film may lie.
    double fewer = 0.0, more = 0.0;
    for (int k = 0; k < width;) {
      if (known[static_cast<size_t>(k + 2)]) {
        ++k;
        continue;
      }
      const int l = k - 1;
      int r = k;
      while (!known[static_cast<size_t>(r + 2)]) ++r;
      const double h = r - l;
      const double across = (at(r) - at(l)) / h;
      const double before = known[static_cast<size_t>(l + 1)] ? at(l) - at(l - 1) : 0.0;
      const double after =
          r + 1 <= width + 1 && known[static_cast<size_t>(r + 3)] ? at(r + 1) - at(r) : 0.0;
      const double ml = boundedSlope(before, across), mr = boundedSlope(after, across);
      const double lo = std::min(at(l), at(r)), hi = std::max(at(l), at(r));
      for (int j = l + 1; j < r; ++j) {
        const double t = (j - l) / h, t2 = t * t, t3 = t2 * t;
        const double v = (2 * t3 - 3 * t2 + 1) * at(l) + (t3 - 2 * t2 + t) * h * ml +
                         (3 * t2 - 2 * t3) * at(r) + (t3 - t2) * h * mr;
        at(j) = std::clamp(v, lo, hi);
        fewer += std::min(at(l), at(r)) - at(j);
        more += std::max(at(l), at(r)) - at(j);
      }
      k = r;
    }
    if (tell && more - fewer >= kUnsureWidth)
      (*hidden)[static_cast<size_t>(y)] = HiddenWidth{fewer, more};
    const double lo = opaqueLevel[static_cast<size_t>(y)];
    const double range = clearLevel[static_cast<size_t>(y)] - lo;
    float* row = window.ptr<float>(y);
    for (int k = 0; k < width; ++k) row[column(k)] = static_cast<float>(lo + at(k) * range);
    ++read;
  }
  return read;
}

}  // namespace kelvora
