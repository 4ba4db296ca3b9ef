#include "movie/scaled_turn.h"

#include <algorithm>
#include <array>
#include <vector>

#include <opencv2/imgproc.hpp>

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

// Rounds to the nearest integer, ties to even, as the processor's conversion does, for
// |v| well under 2^22: adding and taking away 1.5 * 2^23 leaves no fraction.
inline float nearest(float v) {
  constexpr float kMagic = 12582912.0f;
  return (v + kMagic) - kMagic;
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
  // The turned picture has the part's columns for rows and its rows for columns: its
  // row r is the part's column r, from the last when the turn runs that way; its
  // column c the part's row c, from the last when mirrored before.
  const int h = part.rows;
  const int w = part.cols;
  const Taps across = tapsOf(h, size.width);
  const Taps down = tapsOf(w, size.height);
  const auto partRow = [&](int c) {
    c = std::clamp(c, 0, h - 1);
    return mirrorBefore ? h - 1 - c : c;
  };
  const auto partColumn = [&](int r) {
    r = std::clamp(r, 0, w - 1);
    return mirrorAfter ? r : w - 1 - r;
  };

  // Output columns are made eight at a time: first, across, each from four rows of the
  // part, read straight through (one value for each of the part's columns, that is for
  // each turned row), kept side by side for the eight; then, down, every output row's
  // eight from four of those, the eight at once.
  constexpr int kBlock = 8;
  const int acrossLength = w * cn;
  std::vector<int> line(acrossLength);
  std::vector<int> block(static_cast<size_t>(acrossLength) * kBlock, 0);
  std::vector<std::array<int, 4>> downAt(size.height);  // where the four turned rows lie
  for (int dy = 0; dy < size.height; ++dy)
    for (int k = 0; k < 4; ++k) downAt[dy][k] = partColumn(down.first[dy] + k) * cn * kBlock;
  const float unit = 1.f / (kWeightScale * kWeightScale);
  cv::Mat out(size, part.type());
  for (int dx0 = 0; dx0 < size.width; dx0 += kBlock) {
    const int n = std::min(kBlock, size.width - dx0);
    for (int b = 0; b < n; ++b) {
      const int dx = dx0 + b;
      const std::array<short, 4>& a = across.weights[dx];
      const uchar* p0 = part.ptr<uchar>(partRow(across.first[dx]));
      const uchar* p1 = part.ptr<uchar>(partRow(across.first[dx] + 1));
      const uchar* p2 = part.ptr<uchar>(partRow(across.first[dx] + 2));
      const uchar* p3 = part.ptr<uchar>(partRow(across.first[dx] + 3));
      for (int i = 0; i < acrossLength; ++i)
        line[i] = p0[i] * a[0] + p1[i] * a[1] + p2[i] * a[2] + p3[i] * a[3];
      for (int i = 0; i < acrossLength; ++i) block[static_cast<size_t>(i) * kBlock + b] = line[i];
    }
    for (int dy = 0; dy < size.height; ++dy) {
      const std::array<short, 4>& bw = down.weights[dy];
      const float b0 = bw[0] * unit, b1 = bw[1] * unit, b2 = bw[2] * unit, b3 = bw[3] * unit;
      uchar* o = out.ptr<uchar>(dy) + dx0 * cn;
      for (int ch = 0; ch < cn; ++ch) {
        const int* s0 = block.data() + downAt[dy][0] + ch * kBlock;
        const int* s1 = block.data() + downAt[dy][1] + ch * kBlock;
        const int* s2 = block.data() + downAt[dy][2] + ch * kBlock;
        const int* s3 = block.data() + downAt[dy][3] + ch * kBlock;
        std::array<int, kBlock> v;
        for (int b = 0; b < kBlock; ++b) {
          float f = static_cast<float>(s3[b]) * b3;
          f = static_cast<float>(s2[b]) * b2 + f;
          f = static_cast<float>(s1[b]) * b1 + f;
          f = static_cast<float>(s0[b]) * b0 + f;
          v[b] = std::clamp(static_cast<int>(nearest(f)), 0, 255);
        }
        for (int b = 0; b < n; ++b) o[b * cn + ch] = static_cast<uchar>(v[b]);
      }
    }
  }
  return out;
}

}  // namespace kelvora
