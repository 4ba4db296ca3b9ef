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

// Four lanes: a pixel's three channels and one spare.
using Floats4 = float __attribute__((vector_size(16)));
using Ints4 = int __attribute__((vector_size(16)));

Ints4 loadInts4(const int* p) {
  Ints4 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// Colour: each output column from its own line, down the column a pixel at a time with
// its three channels side by side.
void scaleColour(const cv::Mat& part, const Turn& turn, const Taps& across, const Taps& down,
                 cv::Mat& out) {
  const int n = part.cols * 3;
  std::vector<int> line(n + 1, 0);  // the spare lane of the last pixel reads one past
  // Each output row's four turned rows and their weights, as floats in every lane.
  std::vector<std::array<int, 4>> downAt(out.rows);
  std::vector<std::array<Floats4, 4>> downWeights(out.rows);
  for (int dy = 0; dy < out.rows; ++dy)
    for (int k = 0; k < 4; ++k) {
      downAt[dy][k] = turn.partColumn(down.first[dy] + k) * 3;
      const float b = down.weights[dy][k] * kUnit;
      downWeights[dy][k] = Floats4{b, b, b, b};
    }
  const Floats4 magic = {kMagic, kMagic, kMagic, kMagic};
  for (int dx = 0; dx < out.cols; ++dx) {
    acrossLine(part, turn, across, dx, line.data());
    const int* g = line.data();
    for (int dy = 0; dy < out.rows; ++dy) {
      const std::array<int, 4>& at = downAt[dy];
      const std::array<Floats4, 4>& bw = downWeights[dy];
      Floats4 f = __builtin_convertvector(loadInts4(g + at[3]), Floats4) * bw[3];
      f = __builtin_convertvector(loadInts4(g + at[2]), Floats4) * bw[2] + f;
      f = __builtin_convertvector(loadInts4(g + at[1]), Floats4) * bw[1] + f;
      f = __builtin_convertvector(loadInts4(g + at[0]), Floats4) * bw[0] + f;
      f = (f + magic) - magic;
      const Ints4 v = __builtin_convertvector(f, Ints4);
      uchar* o = out.ptr<uchar>(dy) + dx * 3;
#if defined(__SSE2__)
      // Narrowed with saturation to 16 bits, then to bytes, as the library stores them;
      // the first three lanes are the pixel.
      const __m128i words =
          _mm_packs_epi32(reinterpret_cast<__m128i>(v), reinterpret_cast<__m128i>(v));
      const int bytes = _mm_cvtsi128_si32(_mm_packus_epi16(words, words));
      std::memcpy(o, &bytes, 3);
#else
      for (int ch = 0; ch < 3; ++ch) o[ch] = static_cast<uchar>(std::clamp(v[ch], 0, 255));
#endif
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
