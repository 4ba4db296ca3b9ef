#include "precise/gate_shadow.h"

#include <algorithm>
#include <vector>

#include "precise/row_light.h"

namespace kelvora {

namespace {

// The very end of a shadowed scan has lost at least this share of its clear film's
// light; sound, flicker and a print's density move it by much less.
constexpr double kShadowed = 0.6;
// Rows this close to the lit film's light are lit: the shadow's penumbra ends there.
constexpr double kLit = 0.97;
// A penumbra's light rises by more than this share of the lit film's over a few rows.
constexpr double kSteadyRise = 0.02;
// Rows of the penumbra passing more than this share of the lit film's light are read,
// given their light back: the sound still stands well above the scanner's noise there.
constexpr double kReadable = 0.5;
// Rows passing more than this share are still read where no other scan holds them.
constexpr double kFaint = 0.2;
// Clear film passing less than this share of the light of the lit film about it lies
// under a splice's cement.
constexpr double kCementFree = 0.85;

// How many rows from one end of a scan of `rows` rows lie in the shadow, where
// `light(i)` is the light of the i-th row from that end: none unless the very end is
// dark against the lit film just beyond where a shadow reaches. That film, not the
// scan's middle, is the measure, so that light falling off towards the scan's ends (a
// lamp's uneven field) is no shadow.
struct Shadow {
  int rows = 0;              // rows in the shadow, its penumbra included
  int darkRows = 0;          // of them, those at most half lit
  std::vector<float> light;  // the share of the lit film's light on the others, from
                             // the darkest inwards
  std::vector<float> faint;  // the same for the dark rows more than faintly lit
};

template <typename Light>
Shadow shadowRows(int rows, Light light) {
  const int most = rows / 10;
  // The median light of rows [from, to).
  const auto median = [&](int from, int to) {
    std::vector<double> values;
    for (int i = from; i < to; ++i) values.push_back(light(i));
    std::nth_element(values.begin(), values.begin() + static_cast<long>(values.size() / 2),
                     values.end());
    return values[values.size() / 2];
  };
  const double middle = 1.5 * most;
  double lit = median(most, 2 * most);
  // The lamp's field may fall towards the scan's ends: the penumbra ends where the light
  // comes up to the lit film's, drawn on towards the end along its slope there. The
  // slope is measured robustly, between the medians of two lengths; a field only falls
  // towards the ends, and by no more than a twentieth over a tenth of the scan.
  const int half = most + most / 2;
  double slope = most >= 4 ? (median(half, 2 * most) - median(most, half)) / (0.5 * most) : 0.0;
  // A splice's cement across the film measured takes a third of its light from a band of
  // rows: lowering the median of one length, it tilts the slope (and lowers the lit
  // film's light) enough to leave half-lit rows unread, or to take the penumbra's end
  // for lit. The film is then measured on its rows the cement leaves, by the straight
  // line through them.
  const double plain = kCementFree * lit;
  double n = 0, sy = 0, sx = 0, sxx = 0, sxy = 0;
  int cemented = 0;
  for (int i = most; i < 2 * most; ++i) {
    const double v = light(i);
    if (v < plain) {
      ++cemented;
      continue;
    }
    const double x = i - middle;
    n += 1.0;
    sy += v;
    sx += x;
    sxx += x * x;
    sxy += x * v;
  }
  const double spread = sxx - sx * sx / std::max(n, 1.0);
  if (cemented >= std::max(4, most / 16) && n >= most / 4 && spread > 0.0) {
    slope = (sxy - sx * sy / n) / spread;
    lit = (sy - slope * sx) / n;
  }
  slope = most >= 4 ? std::clamp(slope, 0.0, 0.05 * lit / most) : 0.0;
  // The darkest of the end's rows: a bright speck may light one, none darkens one.
  double end = light(0);
  for (int i = 1; i < std::max(3, most / 4); ++i) end = std::min(end, light(i));
  if (!(lit > 0.0) || !(end < kShadowed * lit)) return {};
  const auto expected = [&](int y) { return lit + slope * (y - middle); };
  // A penumbra's light keeps rising to the lit film's. Film that stays darker than it
  // for a stretch beyond the half-lit rows is the film's own (a splice's cement), lit
  // by the gate and read as the sound under it.
  const int steady = std::max(8, most / 8);
  const auto darkFilm = [&](int y) {
    return light(y) > 0.5 * expected(y) &&
           median(y + steady / 2, y + steady) - light(y) < kSteadyRise * lit;
  };
  int y = 0;
  while (y < most && light(y) < kLit * expected(y) && !darkFilm(y)) ++y;
  int dark = 0;
  while (dark < y && light(dark) <= kReadable * expected(dark)) ++dark;
  // The penumbra's last row is still a little dark: take one more.
  Shadow shadow{std::min(most, y + 1), dark, {}, {}};
  for (int i = dark; i < shadow.rows; ++i)
    shadow.light.push_back(static_cast<float>(std::clamp(light(i) / expected(i), kReadable, 1.0)));
  int faint = 0;
  while (faint < dark && light(faint) <= kFaint * expected(faint)) ++faint;
  for (int i = faint; i < dark; ++i)
    shadow.faint.push_back(
        static_cast<float>(std::clamp(light(i) / expected(i), kFaint, kReadable)));
  return shadow;
}

}  // namespace

LitRows litRows(const cv::Mat& strip) {
  LitRows lit;
  lit.end = strip.rows;
  if (strip.rows < 64 || strip.cols < 1) return lit;
  const int rows = strip.rows;
  // The light of its clearest film is read only where a shadow is looked for, a fifth of
  // the scan at either end, and one row beyond for the rows taken together.
  const int reach = 2 * (rows / 10) + 1;
  const std::vector<double> head = rowLight(strip.rowRange(0, reach), strip.cols);
  const std::vector<double> tail = rowLight(strip.rowRange(rows - reach, rows), strip.cols);
  const Shadow top = shadowRows(rows, [&](int i) { return head[static_cast<size_t>(i)]; });
  const Shadow bottom =
      shadowRows(rows, [&](int i) { return tail[static_cast<size_t>(reach - 1 - i)]; });
  lit.first = top.darkRows;
  lit.end = rows - bottom.darkRows;
  lit.head = top.light;
  lit.tail = bottom.light;
  lit.faintHead = top.faint;
  lit.faintTail = bottom.faint;
  return lit;
}

LitRows withFaintRows(const LitRows& lit) {
  LitRows wider;
  wider.first = lit.first - static_cast<int>(lit.faintHead.size());
  wider.end = lit.end + static_cast<int>(lit.faintTail.size());
  wider.head = lit.faintHead;
  wider.head.insert(wider.head.end(), lit.head.begin(), lit.head.end());
  wider.tail = lit.faintTail;
  wider.tail.insert(wider.tail.end(), lit.tail.begin(), lit.tail.end());
  return wider;
}

cv::Mat litStrip(const cv::Mat& strip, const LitRows& lit) {
  const int first = std::clamp(lit.first, 0, strip.rows);
  const int end = std::clamp(lit.end, first, strip.rows);
  const cv::Mat read = strip.rowRange(first, end);
  if (lit.head.empty() && lit.tail.empty()) return read;
  cv::Mat given = read.clone();
  const auto giveBack = [&given](int y, float share) {
    if (y < 0 || y >= given.rows || !(share > 0.0f) || share >= 1.0f) return;
    cv::Mat row = given.row(y);
    row.convertTo(row, row.type(), 1.0 / share);
  };
  for (size_t i = 0; i < lit.head.size(); ++i) giveBack(static_cast<int>(i), lit.head[i]);
  for (size_t i = 0; i < lit.tail.size(); ++i)
    giveBack(given.rows - 1 - static_cast<int>(i), lit.tail[i]);
  return given;
}

}  // namespace kelvora
