#include "precise/row_light.h"
#include "signal/side_by_side.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <limits>
#include <type_traits>

namespace kelvora {

namespace {

// The share of a row's pixels below its clearest film's level: a few columns of clear
// film beside the track are enough.
constexpr double kBrightShare = 0.97;
constexpr int kMostColumns = 160;

// The level `above` of the `taken` pixels lie above, in each row: every `step`-th column
// from the first. Whole levels of 8 or 16 bits are counted. Others: `above` is a few
// pixels, so each row's brightest `above` + 1 are kept in order as it is read.
// Neighbouring rows are alike: pixels well below the last row's level are passed over,
// unless too few of the row's are not.
template <typename Pixel>
std::vector<double> brightLevels(const cv::Mat& strip, int taken, int step, int above) {
  std::vector<double> bright(static_cast<size_t>(strip.rows));
  if constexpr (std::is_same_v<Pixel, uchar>) {
    // Bytes are counted level by level, and the count read down from the brightest.
    sideBySide(strip.rows, [&](int first, int end) {
      std::array<int, 256> count{};
      for (int y = first; y < end; ++y) {
        const uchar* p = strip.ptr<uchar>(y);
        int i = 0;
        for (; i + 4 <= taken; i += 4, p += 4 * step) {
          ++count[p[0]];
          ++count[p[step]];
          ++count[p[2 * step]];
          ++count[p[3 * step]];
        }
        for (; i < taken; ++i, p += step) ++count[*p];
        // The brightest level any pixel holds, four empty levels passed at a time.
        int level = 255;
        while (level >= 3 && (count[static_cast<size_t>(level)] | count[level - 1] |
                              count[level - 2] | count[level - 3]) == 0)
          level -= 4;
        while (count[static_cast<size_t>(level)] == 0) --level;
        for (int seen = count[static_cast<size_t>(level)]; seen <= above;)
          seen += count[static_cast<size_t>(--level)];
        bright[static_cast<size_t>(y)] = level;
        count.fill(0);
      }
    });
    return bright;
  }
  if constexpr (std::is_same_v<Pixel, ushort>) {
    // Levels are counted by their high byte and read down from the brightest to the one
    // that holds the level sought. Within it, levels are read down one by one, each the
    // brightest below the last: only a few of the row's lie that high.
    sideBySide(strip.rows, [&](int first, int end) {
      std::array<int, 256> high{};
      std::vector<ushort> taking(step > 1 ? static_cast<size_t>(taken) : 0);
      for (int y = first; y < end; ++y) {
        // The columns taken side by side, so that the passes below run over plain words.
        const ushort* p = strip.ptr<ushort>(y);
        if (step > 1) {
          for (int i = 0; i < taken; ++i) taking[static_cast<size_t>(i)] = p[i * step];
          p = taking.data();
        }
        for (int i = 0; i < taken; ++i) ++high[static_cast<size_t>(p[i] >> 8)];
        int beyond = above, top = 255;
        while (top >= 3 && (high[static_cast<size_t>(top)] | high[top - 1] | high[top - 2] |
                            high[top - 3]) == 0)
          top -= 4;
        while (high[static_cast<size_t>(top)] <= beyond) beyond -= high[static_cast<size_t>(top--)];
        high.fill(0);
        for (int below = top * 256 + 255;;) {
          int level = 0, times = 0;
          for (int i = 0; i < taken; ++i) {
            const int v = p[i];
            level = std::max(level, v <= below ? v : 0);
          }
          for (int i = 0; i < taken; ++i) times += p[i] == level;
          if (times > beyond) {
            bright[static_cast<size_t>(y)] = level;
            break;
          }
          beyond -= times;
          below = level - 1;
        }
      }
    });
    return bright;
  }
  // Rows are read apart, in stripes side by side.
  sideBySide(strip.rows, [&](int first, int end) {
    constexpr float kNone = -std::numeric_limits<float>::infinity();
    std::vector<float> top(static_cast<size_t>(above) + 1);
    const auto brightest = [&](const Pixel* p, float floor) {
      std::fill(top.begin(), top.end(), kNone);
      for (int i = 0; i < taken; ++i) {
        const float v = static_cast<float>(p[i * step]);
        if (!(v > top.back()) || v < floor) continue;
        size_t at = top.size() - 1;
        for (; at > 0 && top[at - 1] < v; --at) top[at] = top[at - 1];
        top[at] = v;
      }
      return top.back();
    };
    float last = kNone;
    for (int y = first; y < end; ++y) {
      const Pixel* p = strip.ptr<Pixel>(y);
      float level = brightest(p, last - 0.05f * std::abs(last) - 1.0f);
      if (level == kNone) level = brightest(p, kNone);
      bright[static_cast<size_t>(y)] = last = level;
    }
  });
  return bright;
}

}  // namespace

std::vector<double> rowLight(const cv::Mat& strip, int columns) {
  const int cols = std::min(columns, strip.cols);
  const int rows = strip.rows;
  if (cols < 1 || rows < 1 || strip.channels() != 1) return {};
  // A wide strip's columns are taken a few apart: the share of the film that is clear
  // is the same, and a fine scan's rows are read no slower than a coarse one's.
  const int step = std::max(1, cols / kMostColumns);
  const int taken = (cols + step - 1) / step;
  const int at = static_cast<int>(kBrightShare * (taken - 1));
  const int above = taken - 1 - at;
  std::vector<double> bright;
  switch (strip.depth()) {
    case CV_8U:
      bright = brightLevels<uchar>(strip, taken, step, above);
      break;
    case CV_16U:
      bright = brightLevels<ushort>(strip, taken, step, above);
      break;
    case CV_32F:
      bright = brightLevels<float>(strip, taken, step, above);
      break;
    default: {
      cv::Mat levels;
      strip.colRange(0, cols).convertTo(levels, CV_32F);
      bright = brightLevels<float>(levels, taken, step, above);
    }
  }
  // Three rows together, so that the scanner's noise on one row is no band.
  std::vector<double> together(bright.size());
  for (int y = 0; y < rows; ++y) {
    const int a = std::max(0, y - 1), b = std::min(rows - 1, y + 1);
    double s = 0.0;
    for (int i = a; i <= b; ++i) s += bright[static_cast<size_t>(i)];
    together[static_cast<size_t>(y)] = s / (b - a + 1);
  }
  return together;
}

}  // namespace kelvora
