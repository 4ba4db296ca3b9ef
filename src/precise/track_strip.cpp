#include "precise/track_strip.h"

#include <algorithm>
#include <cstdint>
#include <type_traits>

#include <opencv2/imgproc.hpp>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "film/soundtrack_area.h"
#include "signal/side_by_side.h"
#include "signal/vector_clones.h"

namespace kelvora {

namespace {

// Samples are copied a square of this many at a time, so that both the rows read and
// the rows written stay in the cache.
constexpr int kTile = 64;

// The samples of band rows [r0, r1) and columns [c0, c1), channel `channel`, to their
// places in the strip one by one: strip row i is band column cols-1-i, strip column j
// band row j, or band row rows-1-j where `mirrored`.
template <typename Sample>
void turnOneByOne(const cv::Mat& band, int channel, bool mirrored, int r0, int r1, int c0, int c1,
                  cv::Mat& strip) {
  const int cn = band.channels(), rows = band.rows, cols = band.cols;
  const size_t step = strip.step1();
  for (int r = r0; r < r1; ++r) {
    const Sample* in = band.ptr<Sample>(r) + static_cast<size_t>(c0) * cn + channel;
    Sample* out = strip.ptr<Sample>(cols - 1 - c0) + (mirrored ? rows - 1 - r : r);
    for (int c = c0; c < c1; ++c, in += cn, out -= step) *out = *in;
  }
}

#if defined(__SSE2__)
// Eight by eight samples of a single-channel band turned at once: the eight rows from
// `r` (read last first where mirrored, which turns them the other way along the film)
// and the eight columns from `c`, each column becoming eight samples of a strip row.
void turnEight(const cv::Mat& band, int r, int c, bool mirrored, cv::Mat& strip, std::uint16_t) {
  __m128i x[8];
  for (int m = 0; m < 8; ++m)
    x[m] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(
        band.ptr<std::uint16_t>(mirrored ? r + 7 - m : r + m) + c));
  __m128i t[8], u[8];
  for (int k = 0; k < 4; ++k) {
    t[2 * k] = _mm_unpacklo_epi16(x[2 * k], x[2 * k + 1]);
    t[2 * k + 1] = _mm_unpackhi_epi16(x[2 * k], x[2 * k + 1]);
  }
  for (int h = 0; h < 2; ++h)
    for (int k = 0; k < 2; ++k) {
      u[4 * h + 2 * k] = _mm_unpacklo_epi32(t[4 * h + k], t[4 * h + k + 2]);
      u[4 * h + 2 * k + 1] = _mm_unpackhi_epi32(t[4 * h + k], t[4 * h + k + 2]);
    }
  // u[0..3] hold columns 0-1, 2-3, 4-5, 6-7 of rows 0-3; u[4..7] the same of rows 4-7.
  const int at = mirrored ? band.rows - 8 - r : r;
  for (int k = 0; k < 4; ++k) {
    _mm_storeu_si128(
        reinterpret_cast<__m128i*>(strip.ptr<std::uint16_t>(band.cols - 1 - c - 2 * k) + at),
        _mm_unpacklo_epi64(u[k], u[k + 4]));
    _mm_storeu_si128(
        reinterpret_cast<__m128i*>(strip.ptr<std::uint16_t>(band.cols - 2 - c - 2 * k) + at),
        _mm_unpackhi_epi64(u[k], u[k + 4]));
  }
}

void turnEight(const cv::Mat& band, int r, int c, bool mirrored, cv::Mat& strip, std::uint8_t) {
  __m128i x[8];
  for (int m = 0; m < 8; ++m)
    x[m] = _mm_loadl_epi64(
        reinterpret_cast<const __m128i*>(band.ptr<std::uint8_t>(mirrored ? r + 7 - m : r + m) + c));
  __m128i t[4], u[4];
  for (int k = 0; k < 4; ++k) t[k] = _mm_unpacklo_epi8(x[2 * k], x[2 * k + 1]);
  u[0] = _mm_unpacklo_epi16(t[0], t[1]);  // columns 0-3 of rows 0-3
  u[1] = _mm_unpackhi_epi16(t[0], t[1]);  // columns 4-7 of rows 0-3
  u[2] = _mm_unpacklo_epi16(t[2], t[3]);  // the same of rows 4-7
  u[3] = _mm_unpackhi_epi16(t[2], t[3]);
  const int at = mirrored ? band.rows - 8 - r : r;
  for (int k = 0; k < 4; ++k) {
    // Columns 2k and 2k+1, each its eight rows.
    const __m128i two = k % 2 == 0 ? _mm_unpacklo_epi32(u[k / 2], u[k / 2 + 2])
                                   : _mm_unpackhi_epi32(u[k / 2], u[k / 2 + 2]);
    _mm_storel_epi64(
        reinterpret_cast<__m128i*>(strip.ptr<std::uint8_t>(band.cols - 1 - c - 2 * k) + at), two);
    _mm_storel_epi64(
        reinterpret_cast<__m128i*>(strip.ptr<std::uint8_t>(band.cols - 2 - c - 2 * k) + at),
        _mm_srli_si128(two, 8));
  }
}
constexpr bool kTurnsEight = true;
#else
template <typename Sample>
void turnEight(const cv::Mat&, int, int, bool, cv::Mat&, Sample) {}
constexpr bool kTurnsEight = false;
#endif

// Channel `channel` of `band` (8 or 16 bits), turned so that its columns become rows
// read from the last: strip row i is band column cols-1-i, strip column j band row j,
// or band row rows-1-j where `mirrored`. One pass, where taking the channel out and
// turning it would be two over the whole band; a single channel eight by eight.
template <typename Sample>
cv::Mat turnedElement(const cv::Mat& band, int channel, bool mirrored) {
  const int rows = band.rows, cols = band.cols;
  cv::Mat strip(cols, rows, cv::DataType<Sample>::type);
  const bool eights = kTurnsEight && band.channels() == 1;
  const int rows8 = eights ? rows / 8 * 8 : 0, cols8 = eights ? cols / 8 * 8 : 0;
  for (int r0 = 0; r0 < rows8; r0 += kTile)
    for (int c0 = 0; c0 < cols8; c0 += kTile)
      for (int r = r0; r < std::min(rows8, r0 + kTile); r += 8)
        for (int c = c0; c < std::min(cols8, c0 + kTile); c += 8)
          turnEight(band, r, c, mirrored, strip, Sample{});
  // What is left over one by one: the columns past the last eight, then the rows.
  for (int r0 = 0; r0 < rows; r0 += kTile)
    for (int c0 = cols8; c0 < cols; c0 += kTile)
      turnOneByOne<Sample>(band, channel, mirrored, r0, std::min(rows, r0 + kTile), c0,
                           std::min(cols, c0 + kTile), strip);
  for (int r0 = rows8; r0 < rows; r0 += kTile)
    for (int c0 = 0; c0 < cols8; c0 += kTile)
      turnOneByOne<Sample>(band, channel, mirrored, r0, std::min(rows, r0 + kTile), c0,
                           std::min(cols8, c0 + kTile), strip);
  return strip;
}

}  // namespace

cv::Mat trackStrip(const cv::Mat& scan, int colorElement, bool direction, int columns) {
  if (scan.empty()) return {};
  const int n = std::clamp(columns, 1, scan.rows);
  cv::Mat band = direction ? scan.rowRange(0, n) : scan.rowRange(scan.rows - n, scan.rows);
  int channel = 0;
  if (band.channels() > 1 && colorElement == kLuma) {
    cv::Mat luma;
    cv::cvtColor(band, luma, band.channels() == 4 ? cv::COLOR_BGRA2GRAY : cv::COLOR_BGR2GRAY);
    band = luma;
  } else if (band.channels() > 1) {
    channel = std::clamp(colorElement, 0, 2);
  }
  // The track-side edge first, the film as when up.
  switch (band.depth()) {
    case CV_8U:
      return turnedElement<std::uint8_t>(band, channel, !direction);
    case CV_16U:
      return turnedElement<std::uint16_t>(band, channel, !direction);
    default: {
      cv::Mat element, strip;
      cv::extractChannel(band, element, channel);
      if (direction) {
        cv::rotate(element, strip, cv::ROTATE_90_COUNTERCLOCKWISE);
      } else {
        cv::transpose(element, strip);
        cv::flip(strip, strip, -1);
      }
      return strip;
    }
  }
}

StripLevels levelsOf(const cv::Mat& strip, bool inverted) {
  return StripLevels{strip.depth() == CV_16U ? 1.0 / 257.0 : 1.0, inverted};
}

cv::Mat stripLevels(const cv::Mat& strip, const StripLevels& levels) {
  cv::Mat out;
  if (levels.inverted) {
    strip.convertTo(out, CV_32F, -levels.scale, 255.0);
  } else {
    strip.convertTo(out, CV_32F, levels.scale);
  }
  return out;
}

namespace {

// Adds each of a row's `cols` bytes to its column's sum: whole numbers, exact.
KELVORA_VECTOR_CLONES void addBytes(const std::uint8_t* __restrict row, int cols,
                                    std::uint32_t* __restrict sum) {
  for (int x = 0; x < cols; ++x) sum[x] += row[x];
}

// The sum of a row's `cols` bytes: whole numbers, the same in any order.
KELVORA_VECTOR_CLONES std::uint32_t byteSum(const std::uint8_t* row, int cols) {
  std::uint32_t sum = 0;
  for (int x = 0; x < cols; ++x) sum += row[x];
  return sum;
}

template <typename Sample, typename Sum>
std::vector<Sum> columnSums(const cv::Mat& strip) {
  const int cols = strip.cols;
  std::vector<Sum> sums(static_cast<size_t>(cols), Sum{0});
  // The sums are written through a pointer of their own: bytes read may stand for
  // anything, and the strip's width would be read again after every sum.
  Sum* sum = sums.data();
  for (int y = 0; y < strip.rows; ++y) {
    const Sample* row = strip.ptr<Sample>(y);
    if constexpr (std::is_same_v<Sample, std::uint8_t> && std::is_same_v<Sum, std::uint32_t>) {
      addBytes(row, cols, sum);
    } else {
      for (int x = 0; x < cols; ++x) sum[x] += row[x];
    }
  }
  return sums;
}

template <typename Sum>
std::vector<float> meansOf(const std::vector<Sum>& sums, int rows, const StripLevels& levels) {
  std::vector<float> means(sums.size());
  for (size_t x = 0; x < sums.size(); ++x)
    means[x] = static_cast<float>(levels.of(static_cast<double>(sums[x]) / std::max(rows, 1)));
  return means;
}

}  // namespace

std::vector<float> columnMeans(const cv::Mat& strip, const StripLevels& levels) {
  // Sums of whole samples are exact: a strip of 8-bit samples sums in 32 bits up to
  // 8 million rows, of 16-bit ones up to 65537 rows (any scan's), beyond that in 64.
  constexpr int kMostSixteenBitRowsIn32 = 65537;
  switch (strip.depth()) {
    case CV_8U:
      return meansOf(columnSums<std::uint8_t, std::uint32_t>(strip), strip.rows, levels);
    case CV_16U:
      return strip.rows <= kMostSixteenBitRowsIn32
                 ? meansOf(columnSums<std::uint16_t, std::uint32_t>(strip), strip.rows, levels)
                 : meansOf(columnSums<std::uint16_t, std::uint64_t>(strip), strip.rows, levels);
    default: {
      cv::Mat sums;
      cv::reduce(strip, sums, 0, cv::REDUCE_AVG, CV_32F);
      std::vector<float> means(sums.begin<float>(), sums.end<float>());
      for (float& m : means) m = static_cast<float>(levels.of(m));
      return means;
    }
  }
}

CountsBeside countsBeside(const cv::Mat& levels, const LevelCounts& all, float middle) {
  CountsBeside c;
  const int at = levelBin(middle);
  for (int bin = 0; bin <= LevelCounts::kTop; ++bin) {
    if (bin == at) continue;
    LevelCounts& side = bin < at ? c.below : c.above;
    side.count[static_cast<size_t>(bin)] = all.count[static_cast<size_t>(bin)];
    side.total += all.count[static_cast<size_t>(bin)];
  }
  long below = 0, above = 0;
  eachCountedLevel(levels, [&](float v) {
    if (levelBin(v) != at) return;
    below += v < middle ? 1 : 0;
    above += v > middle ? 1 : 0;
  });
  c.below.count[static_cast<size_t>(at)] = below;
  c.below.total += below;
  c.above.count[static_cast<size_t>(at)] = above;
  c.above.total += above;
  return c;
}

std::vector<float> levelShares(const cv::Mat& levels, const std::vector<double>& shares) {
  return levelShares(levelCounts(levels, [](float) { return true; }), shares);
}

std::vector<float> levelShares(const LevelCounts& counts, const std::vector<double>& shares) {
  const std::vector<long>& count = counts.count;
  const long total = counts.total;
  constexpr int kSteps = LevelCounts::kSteps;
  constexpr int kTop = LevelCounts::kTop;
  std::vector<float> at;
  for (const double share : shares) {
    const long want = static_cast<long>(share * static_cast<double>(std::max(total - 1, 0L)));
    long seen = 0;
    int bin = 0;
    while (bin < kTop && seen + count[static_cast<size_t>(bin)] <= want)
      seen += count[static_cast<size_t>(bin++)];
    at.push_back(static_cast<float>(bin) / kSteps);
  }
  return at;
}

namespace {

// Each row's whole samples summed in integers, exactly, and taken to a mean as the
// library's average does (the sum times one over the count), at a fraction of its
// cost on 16-bit samples.
template <typename Sample, typename Sum>
std::vector<double> wholeRowMeans(const cv::Mat& strip) {
  std::vector<double> means(static_cast<size_t>(strip.rows));
  const double perSample = 1.0 / strip.cols;
  const int cols = strip.cols;
  // Rows are summed apart, in stripes side by side.
  sideBySide(strip.rows, [&](int first, int end) {
    for (int y = first; y < end; ++y) {
      const Sample* row = strip.ptr<Sample>(y);
      Sum sum = 0;
      if constexpr (std::is_same_v<Sample, std::uint8_t> && std::is_same_v<Sum, std::uint32_t>) {
        sum = byteSum(row, cols);
      } else {
        for (int x = 0; x < cols; ++x) sum += row[x];
      }
      means[static_cast<size_t>(y)] = static_cast<double>(sum) * perSample;
    }
  });
  return means;
}

}  // namespace

std::vector<double> rowMeans(const cv::Mat& strip, const StripLevels& levels) {
  std::vector<double> means;
  // A row of 8-bit samples sums in 32 bits up to 16 million columns, of 16-bit ones up
  // to 65537, beyond that in 64.
  constexpr int kMostSixteenBitColumnsIn32 = 65537;
  if (strip.type() == CV_8UC1) {
    means = wholeRowMeans<std::uint8_t, std::uint32_t>(strip);
  } else if (strip.type() == CV_16UC1) {
    means = strip.cols <= kMostSixteenBitColumnsIn32
                ? wholeRowMeans<std::uint16_t, std::uint32_t>(strip)
                : wholeRowMeans<std::uint16_t, std::uint64_t>(strip);
  } else {
    cv::Mat sums;
    cv::reduce(strip, sums, 1, cv::REDUCE_AVG, CV_64F);
    means.assign(sums.begin<double>(), sums.end<double>());
  }
  for (double& m : means) m = levels.of(m);
  return means;
}

}  // namespace kelvora
