#include "movie/scaled_turn.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#include <opencv2/imgproc.hpp>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "signal/image_ops.h"

namespace kelvora {

namespace {

// The image library's bicubic scaling of 8-bit pictures weighs in fixed point: weights
// of 11 fractional bits across a row, exact integer sums, then the same across the rows
// in single precision, rounded to the nearest, ties to even. Every step below repeats
// it in the same order, so that the movie's bytes do not change.
constexpr int kWeightBits = 11;
constexpr float kWeightScale = 1 << kWeightBits;

// The four weights of the cubic kernel (a = -0.75) for a point `x` in [0, 1) past
// the second of its four neighbours.
std::array<float, 4> cubicWeights(float x) {
  const float a = -0.75f;
  std::array<float, 4> c;
  c[0] = ((a * (x + 1) - 5 * a) * (x + 1) + 8 * a) * (x + 1) - 4 * a;
  c[1] = ((a + 2) * x - (a + 3)) * x * x + 1;
  c[2] = ((a + 2) * (1 - x) - (a + 3)) * (1 - x) * (1 - x) + 1;
  c[3] = 1.f - c[0] - c[1] - c[2];
  return c;
}

// For each of `to` points scaled from `from`: its first neighbour (which may lie
// before the first source point) and the four fixed-point weights.
struct Taps {
  std::vector<int> first;
  std::vector<std::array<short, 4>> weights;
};

Taps tapsOf(int from, int to) {
  const double scale = 1.0 / (static_cast<double>(to) / from);
  Taps taps;
  taps.first.resize(to);
  taps.weights.resize(to);
  for (int d = 0; d < to; ++d) {
    float f = static_cast<float>((d + 0.5) * scale - 0.5);
    const int s = cvFloor(f);
    f -= s;
    const std::array<float, 4> c = cubicWeights(f);
    for (int k = 0; k < 4; ++k) taps.weights[d][k] = cv::saturate_cast<short>(c[k] * kWeightScale);
    taps.first[d] = s - 1;
  }
  return taps;
}

// Rounding to the nearest integer, ties to even, as the processor's conversion does, for
// |v| well under 2^22: adding and taking away 1.5 * 2^23 leaves no fraction.
constexpr float kMagic = 12582912.0f;
inline float nearest(float v) { return (v + kMagic) - kMagic; }

// The turned picture has the part's columns for rows and its rows for columns: its row
// r is the part's column r, from the last when the turn runs that way; its column c the
// part's row c, from the last when mirrored before. Both clamp at the picture's edges,
// as the scaling repeats the edge pixels beyond them.
struct Turn {
  int h;
  int w;
  bool mirrorBefore;
  bool mirrorAfter;
  int partRow(int c) const {
    c = std::clamp(c, 0, h - 1);
    return mirrorBefore ? h - 1 - c : c;
  }
  int partColumn(int r) const {
    r = std::clamp(r, 0, w - 1);
    return mirrorAfter ? r : w - 1 - r;
  }
};

// Across: the output column `dx` of every turned row, that is one value for each of the
// part's columns and channels, from four of the part's rows read straight through.
void acrossLine(const cv::Mat& part, const Turn& turn, const Taps& across, int dx, int* line) {
  const std::array<short, 4>& a = across.weights[dx];
  const uchar* p0 = part.ptr<uchar>(turn.partRow(across.first[dx]));
  const uchar* p1 = part.ptr<uchar>(turn.partRow(across.first[dx] + 1));
  const uchar* p2 = part.ptr<uchar>(turn.partRow(across.first[dx] + 2));
  const uchar* p3 = part.ptr<uchar>(turn.partRow(across.first[dx] + 3));
  const int n = part.cols * part.channels();
  int i = 0;
#if defined(__SSE2__)
  // Two rows at a time as pairs of 16-bit values, whose multiply-add gives the sum of
  // both products in 32 bits: exact, as the sums are.
  const auto pair = [](short lo, short hi) {
    return _mm_set1_epi32(
        static_cast<int>(static_cast<std::uint32_t>(static_cast<std::uint16_t>(hi)) << 16 |
                         static_cast<std::uint16_t>(lo)));
  };
  const __m128i w01 = pair(a[0], a[1]);
  const __m128i w23 = pair(a[2], a[3]);
  const __m128i zero = _mm_setzero_si128();
  const auto load8 = [&](const uchar* p) {
    return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), zero);
  };
  for (; i + 8 <= n; i += 8) {
    const __m128i r0 = load8(p0 + i), r1 = load8(p1 + i), r2 = load8(p2 + i), r3 = load8(p3 + i);
    const __m128i lo = _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(r0, r1), w01),
                                     _mm_madd_epi16(_mm_unpacklo_epi16(r2, r3), w23));
    const __m128i hi = _mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(r0, r1), w01),
                                     _mm_madd_epi16(_mm_unpackhi_epi16(r2, r3), w23));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(line + i), lo);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(line + i + 4), hi);
  }
#endif
  for (; i < n; ++i) line[i] = p0[i] * a[0] + p1[i] * a[1] + p2[i] * a[2] + p3[i] * a[3];
}

constexpr float kUnit = 1.f / (kWeightScale * kWeightScale);

// Grey: output columns eight at a time, their lines kept side by side so that each
// output row's eight are made at once from four of them.
void scaleGrey(const cv::Mat& part, const Turn& turn, const Taps& across, const Taps& down,
               cv::Mat& out) {
  constexpr int kBlock = 8;
  const int w = part.cols;
  std::vector<int> line(w);
  std::vector<int> block(static_cast<size_t>(w) * kBlock, 0);
  std::vector<std::array<int, 4>> downAt(out.rows);  // where the four turned rows lie
  for (int dy = 0; dy < out.rows; ++dy)
    for (int k = 0; k < 4; ++k) downAt[dy][k] = turn.partColumn(down.first[dy] + k) * kBlock;
  for (int dx0 = 0; dx0 < out.cols; dx0 += kBlock) {
    const int n = std::min(kBlock, out.cols - dx0);
    for (int b = 0; b < n; ++b) {
      acrossLine(part, turn, across, dx0 + b, line.data());
      for (int i = 0; i < w; ++i) block[static_cast<size_t>(i) * kBlock + b] = line[i];
    }
    for (int dy = 0; dy < out.rows; ++dy) {
      const std::array<short, 4>& bw = down.weights[dy];
      const float b0 = bw[0] * kUnit, b1 = bw[1] * kUnit, b2 = bw[2] * kUnit, b3 = bw[3] * kUnit;
      const int* s0 = block.data() + downAt[dy][0];
      const int* s1 = block.data() + downAt[dy][1];
      const int* s2 = block.data() + downAt[dy][2];
      const int* s3 = block.data() + downAt[dy][3];
      std::array<int, kBlock> v;
      for (int b = 0; b < kBlock; ++b) {
        float f = static_cast<float>(s3[b]) * b3;
        f = static_cast<float>(s2[b]) * b2 + f;
        f = static_cast<float>(s1[b]) * b1 + f;
        f = static_cast<float>(s0[b]) * b0 + f;
        v[b] = std::clamp(static_cast<int>(nearest(f)), 0, 255);
      }
      uchar* o = out.ptr<uchar>(dy) + dx0;
      for (int b = 0; b < n; ++b) o[b] = static_cast<uchar>(v[b]);
    }
  }
}

// Four lanes of a run of channel values.
using Floats4 = float __attribute__((vector_size(16)));
using Ints4 = int __attribute__((vector_size(16)));

Ints4 loadInts4(const int* p) {
  Ints4 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

void storeInts4(int* p, Ints4 v) { std::memcpy(p, &v, sizeof v); }

// Colour: output columns eight at a time, as for grey. Their lines are interleaved so
// that a turned row holds the eight pixels' three channels side by side: the 24 values
// an output row takes from four turned rows are then one contiguous run, as are its
// bytes.
void scaleColour(const cv::Mat& part, const Turn& turn, const Taps& across, const Taps& down,
                 cv::Mat& out) {
  constexpr int kBlock = 8;
  constexpr int kRun = kBlock * 3;
  constexpr int kVectors = kRun / 4;
  const int w = part.cols;
  const size_t lineLength = static_cast<size_t>(w) * 3 + 1;  // a pixel is read four wide
  std::vector<int> lines(lineLength * kBlock, 0);
  std::vector<int> block(static_cast<size_t>(w) * kRun + 1, 0);
  std::vector<std::array<int, 4>> downAt(out.rows);
  std::vector<std::array<Floats4, 4>> downWeights(out.rows);
  for (int dy = 0; dy < out.rows; ++dy)
    for (int k = 0; k < 4; ++k) {
      downAt[dy][k] = turn.partColumn(down.first[dy] + k) * kRun;
      const float b = down.weights[dy][k] * kUnit;
      downWeights[dy][k] = Floats4{b, b, b, b};
    }
  const Floats4 magic = {kMagic, kMagic, kMagic, kMagic};
  for (int dx0 = 0; dx0 < out.cols; dx0 += kBlock) {
    const int n = std::min(kBlock, out.cols - dx0);
    for (int b = 0; b < n; ++b) acrossLine(part, turn, across, dx0 + b, &lines[lineLength * b]);
    // Interleaved a pixel at a time, four lanes wide: each store's spare lane falls on
    // the next pixel's first, which the next store writes.
    int* to = block.data();
    for (int i = 0; i < w; ++i)
      for (int b = 0; b < kBlock; ++b, to += 3)
        storeInts4(to, loadInts4(&lines[lineLength * b + i * 3]));
    for (int dy = 0; dy < out.rows; ++dy) {
      const std::array<int, 4>& at = downAt[dy];
      const std::array<Floats4, 4>& bw = downWeights[dy];
      Ints4 v[kVectors];
      for (int q = 0; q < kVectors; ++q) {
        const auto tap = [&](int k) {
          return __builtin_convertvector(loadInts4(block.data() + at[k] + q * 4), Floats4) * bw[k];
        };
        Floats4 f = tap(3);
        f = tap(2) + f;
        f = tap(1) + f;
        f = tap(0) + f;
        v[q] = __builtin_convertvector((f + magic) - magic, Ints4);
      }
      std::array<uchar, kRun> bytes;
#if defined(__SSE2__)
      // Narrowed with saturation to 16 bits, then to bytes, as the library stores them.
      const auto m = [&](int q) { return reinterpret_cast<__m128i>(v[q]); };
      const __m128i first =
          _mm_packus_epi16(_mm_packs_epi32(m(0), m(1)), _mm_packs_epi32(m(2), m(3)));
      const __m128i last = _mm_packs_epi32(m(4), m(5));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(bytes.data()), first);
      _mm_storel_epi64(reinterpret_cast<__m128i*>(bytes.data() + 16), _mm_packus_epi16(last, last));
#else
      for (int j = 0; j < kRun; ++j)
        bytes[j] = static_cast<uchar>(std::clamp(v[j / 4][j % 4], 0, 255));
#endif
      std::memcpy(out.ptr<uchar>(dy) + dx0 * 3, bytes.data(), static_cast<size_t>(n) * 3);
    }
  }
}

}  // namespace

cv::Mat scaledTurn(const cv::Mat& part, bool mirrorBefore, bool mirrorAfter, cv::Size size) {
  if (part.empty() || size.empty()) return cv::Mat();
  const int cn = part.channels();
  if (part.depth() != CV_8U || (cn != 1 && cn != 3) || size.width * cn % 16 != 0) {
    cv::Mat out;
    cv::resize(turnQuarter(part, mirrorBefore, mirrorAfter), out, size, 0, 0, cv::INTER_CUBIC);
    return out;
  }
  const Turn turn{part.rows, part.cols, mirrorBefore, mirrorAfter};
  const Taps across = tapsOf(part.rows, size.width);
  const Taps down = tapsOf(part.cols, size.height);
  cv::Mat out(size, part.type());
  if (cn == 1)
    scaleGrey(part, turn, across, down, out);
  else
    scaleColour(part, turn, across, down, out);
  return out;
}

}  // namespace kelvora
