#include "signal/profile.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>

#include "signal/image_ops.h"

namespace kelvora {

namespace {

int clampInt(int v, int lo, int hi) { return std::max(lo, std::min(v, hi)); }

// Bytes summed in an integer are exact; a float running sum of them is exact too while
// it stays below 2^24, so below that bound the two give the same bits.
bool floatSumIsExact(int count) { return static_cast<long long>(count) * 255 < (1 << 24); }

// Sums of every byte of rows [y0, y1] of an image, column by column and channel by
// channel (element x * channels + c), over bytes [b0, b1) of each row. The bytes are
// added in 16-bit partial sums, which cannot overflow in 257 rows, then widened:
// contiguous bytes vectorise where a stride of three does not, and integer sums are
// the same in any order.
std::vector<std::uint32_t> byteSums(const cv::Mat& img, size_t b0, size_t b1, int y0, int y1) {
  const size_t bytes = b1 - b0;
  std::vector<std::uint32_t> sums(bytes, 0);
  std::vector<std::uint16_t> partial(bytes, 0);
  constexpr int kRowsPerPartial = 257;
  for (int from = y0; from <= y1; from += kRowsPerPartial) {
    const int to = std::min(y1, from + kRowsPerPartial - 1);
    std::fill(partial.begin(), partial.end(), 0);
    for (int y = from; y <= to; ++y) {
      const std::uint8_t* row = img.ptr<std::uint8_t>(y) + b0;
      std::uint16_t* p = partial.data();
      for (size_t i = 0; i < bytes; ++i) p[i] = static_cast<std::uint16_t>(p[i] + row[i]);
    }
    for (size_t i = 0; i < bytes; ++i) sums[i] += partial[i];
  }
  return sums;
}

// Per-column means of one channel over rows [y0, y1], top row first.
Profile columnMeans(const cv::Mat& img, int x0, int x1, int y0, int y1, int channel) {
  const int channels = img.channels();
  const int width = x1 - x0 + 1;
  const int rows = y1 - y0 + 1;
  Profile means(static_cast<size_t>(width), 0.0f);
  const float count = static_cast<float>(rows);
  if (floatSumIsExact(rows)) {
    const std::vector<std::uint32_t> sums = byteSums(
        img, static_cast<size_t>(x0) * channels, static_cast<size_t>(x1 + 1) * channels, y0, y1);
    for (int i = 0; i < width; ++i)
      means[i] = static_cast<float>(sums[static_cast<size_t>(i) * channels + channel]) / count;
    return means;
  }
  for (int y = y0; y <= y1; ++y) {
    const std::uint8_t* row = img.ptr<std::uint8_t>(y) + x0 * channels + channel;
    for (int i = 0; i < width; ++i) means[i] += static_cast<float>(row[i * channels]);
  }
  for (float& m : means) m = m / count;
  return means;
}

// The sum of a row of single-channel bytes; contiguous, so the compiler vectorises
// it, and an integer sum is the same in any order.
std::uint32_t sumBytes(const std::uint8_t* row, int width) {
  std::uint32_t sum = 0;
  for (int i = 0; i < width; ++i) sum += row[i];
  return sum;
}

// The sums of each channel of a row of `width` three-channel pixels. Sixteen pixels at
// a time go into 48 running 16-bit sums, one a byte, contiguous so that the compiler
// vectorises them where a stride of three does not; every third belongs to one channel,
// and each is widened before 257 additions could overflow it. Integer sums are the same
// in any order.
std::array<std::uint32_t, 3> sumByteTriples(const std::uint8_t* row, int width) {
  constexpr int kPixels = 16;
  constexpr int kLanes = 3 * kPixels;
  constexpr int kBlocksPerPartial = 257;
  std::array<std::uint32_t, 3> sums{};
  int i = 0;
  while (i + kPixels <= width) {
    std::array<std::uint16_t, kLanes> lanes{};
    for (int block = 0; block < kBlocksPerPartial && i + kPixels <= width; ++block, i += kPixels) {
      const std::uint8_t* p = row + 3 * i;
      for (int k = 0; k < kLanes; ++k) lanes[k] = static_cast<std::uint16_t>(lanes[k] + p[k]);
    }
    for (int k = 0; k < kLanes; ++k) sums[k % 3] += lanes[k];
  }
  for (; i < width; ++i)
    for (int c = 0; c < 3; ++c) sums[c] += row[3 * i + c];
  return sums;
}

// Per-row means of one channel over columns [x0, x1], left pixel first.
Profile rowMeans(const cv::Mat& img, int x0, int x1, int y0, int y1, int channel) {
  const int channels = img.channels();
  const int width = x1 - x0 + 1;
  Profile means(static_cast<size_t>(y1 - y0 + 1), 0.0f);
  const float count = static_cast<float>(width);
  const bool exact = floatSumIsExact(width);
  for (int y = y0; y <= y1; ++y) {
    const std::uint8_t* row = img.ptr<std::uint8_t>(y) + x0 * channels + channel;
    if (exact) {
      std::uint32_t sum = 0;
      if (channels == 1) {
        sum = sumBytes(row, width);
      } else if (channels == 3) {
        sum = sumByteTriples(row - channel, width)[channel];
      } else {
        for (int i = 0; i < width; ++i) sum += row[i * channels];
      }
      means[y - y0] = static_cast<float>(sum) / count;
    } else {
      float sum = 0.0f;
      for (int i = 0; i < width; ++i) sum += static_cast<float>(row[i * channels]);
      means[y - y0] = sum / count;
    }
  }
  return means;
}

}  // namespace

Profile meanValue(const cv::Mat& reimg, int startW, int stopW, int startH, int stopH, int k,
                  bool up) {
  if (reimg.empty() || reimg.depth() != CV_8U) return {};
  const int channels = reimg.channels();
  const int channel = channels == 1 ? 0 : clampInt(k - 1, 0, channels - 1);
  const int x0 = std::max(startW, 1) - 1;
  const int x1 = std::min(stopW, reimg.cols) - 1;
  const int y0 = std::max(startH, 1) - 1;
  const int y1 = std::min(stopH, reimg.rows) - 1;
  if (up) {
    if (x1 < x0) return {};
    if (y1 < y0)
      return Profile(static_cast<size_t>(x1 - x0 + 1), std::numeric_limits<float>::quiet_NaN());
    return columnMeans(reimg, x0, x1, y0, y1, channel);
  }
  if (y1 < y0) return {};
  if (x1 < x0)
    return Profile(static_cast<size_t>(y1 - y0 + 1), std::numeric_limits<float>::quiet_NaN());
  return rowMeans(reimg, x0, x1, y0, y1, channel);
}

Profile turnedRowMeans(const cv::Mat& scan, int startW, int stopW, int k) {
  if (scan.empty() || scan.depth() != CV_8U) return {};
  const int channels = scan.channels();
  const int channel = channels == 1 ? 0 : clampInt(k - 1, 0, channels - 1);
  // Turned rows are the scan's columns, last first; turned columns are its rows.
  const int x0 = std::max(startW, 1) - 1;
  const int x1 = std::min(stopW, scan.rows) - 1;
  const int rows = scan.cols;
  if (x1 < x0) return Profile(static_cast<size_t>(rows), std::numeric_limits<float>::quiet_NaN());
  const int width = x1 - x0 + 1;
  if (!floatSumIsExact(width)) return meanValue(rot90(scan, 1), startW, stopW, 1, rows, k, false);
  const std::vector<std::uint32_t> sums =
      byteSums(scan, 0, static_cast<size_t>(rows) * channels, x0, x1);
  Profile means(static_cast<size_t>(rows));
  const float count = static_cast<float>(width);
  for (int i = 0; i < rows; ++i) {
    const size_t column = static_cast<size_t>(rows - 1 - i);
    means[i] = static_cast<float>(sums[column * channels + channel]) / count;
  }
  return means;
}

Profile turnedColumnMeans(const cv::Mat& scan, int k) {
  // Integer row sums give the same bits in either layout; a float sum would not.
  if (scan.empty() || scan.depth() != CV_8U || !floatSumIsExact(scan.cols))
    return meanValue(rot90(scan, 1), 1, scan.rows, 1, scan.cols, k, true);
  return meanValue(scan, 1, scan.cols, 1, scan.rows, k, false);
}

float mean(const Profile& value, int width) {
  const int n = clampInt(width, 0, static_cast<int>(value.size()));
  float sum = 0.0f;
  for (int i = 0; i < n; ++i) sum += value[i];
  return sum / static_cast<float>(width);
}

float minValue(const Profile& value, int start, int stop) {
  float result = 255.0f;
  const int lo = std::max(start, 0);
  const int hi = std::min(stop, static_cast<int>(value.size()));
  for (int i = lo; i < hi; ++i) {
    const bool falling = i == 0 || value[i] < value[i - 1];
    if (falling && value[i] < result) result = value[i];
  }
  return result;
}

float maxValue(const Profile& value, int start, int stop) {
  float result = 0.0f;
  const int lo = std::max(start, 0);
  const int hi = std::min(stop, static_cast<int>(value.size()));
  for (int i = lo; i < hi; ++i) {
    const bool rising = i == 0 || value[i] > value[i - 1];
    if (rising && value[i] > result) result = value[i];
  }
  return result;
}

Profile derivative(const Profile& signal) {
  if (signal.size() < 2) return {};
  Profile d(signal.size() - 1);
  for (size_t i = 0; i + 1 < signal.size(); ++i) d[i] = signal[i + 1] - signal[i];
  return d;
}

Profile& inv(Profile& src) {
  std::reverse(src.begin(), src.end());
  return src;
}

int firstIndexOf(const Profile& value, float target, int start, int stop) {
  const int lo = std::max(start, 0);
  const int hi = std::min(stop, static_cast<int>(value.size()));
  for (int i = lo; i < hi; ++i)
    if (value[i] == target) return i;
  return -1;
}

int lastIndexOf(const Profile& value, float target, int start, int stop) {
  const int lo = std::max(start, 0);
  const int hi = std::min(stop, static_cast<int>(value.size()));
  for (int i = hi - 1; i >= lo; --i)
    if (value[i] == target) return i;
  return -1;
}

void removeMean(Profile& value) {
  const float m = mean(value);
  for (float& v : value) v = static_cast<float>(static_cast<double>(v) - m);
}

}  // namespace kelvora
