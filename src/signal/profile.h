#pragma once

#include <vector>

#include <opencv2/core.hpp>

namespace kelvora {

// One brightness value per row or column of an image, or one value per sample.
using Profile = std::vector<float>;

// Mean of channel `k` (1-based) along rows or columns of an 8-bit image. Bounds are
// 1-based and inclusive and are clamped to the image. With `up` the profile runs
// along the width (one value per column of startW..stopW, averaged over rows
// startH..stopH); otherwise along the height. A grey image is read at its only
// channel whatever `k` says. Sums are kept in single precision, top or left pixel
// first, as the recorder did; an empty band gives NaN values.
Profile meanValue(const cv::Mat& reimg, int startW, int stopW, int startH, int stopH, int k,
                  bool up);

// meanValue(rot90(scan, 1), startW, stopW, 1, scan.cols, k, false), read from the
// scan as it was loaded: the rows of the turned scan are the scan's columns (its last
// column first), so the band of turned columns is a band of the scan's rows.
Profile turnedRowMeans(const cv::Mat& scan, int startW, int stopW, int k);

// meanValue(rot90(scan, 1), 1, scan.rows, 1, scan.cols, k, true), read from the scan
// as it was loaded: each column of the turned scan is one of the scan's rows.
Profile turnedColumnMeans(const cv::Mat& scan, int k);

// Arithmetic mean of the first `width` values (a single-precision running sum).
// Zero values give NaN.
float mean(const Profile& value, int width);
inline float mean(const Profile& value) { return mean(value, static_cast<int>(value.size())); }

// Smallest sample in [start, stop) that is below its predecessor, or 255 when there
// is none. Element 0 counts as having passed the predecessor test. The range is
// clamped to the profile.
float minValue(const Profile& value, int start, int stop);

// Largest sample in [start, stop) that is above its predecessor, or 0 when there is
// none. Element 0 counts as having passed the predecessor test.
float maxValue(const Profile& value, int start, int stop);

// Forward difference: element i is signal[i + 1] - signal[i]; one value shorter
// than `signal`, empty for fewer than two values.
Profile derivative(const Profile& signal);

// Each value's change across `reach` either side: element i is v[i + reach] - v[i - reach],
// 0 within `reach` of either end. Sharp steps (a frame line's edges) stand out of it;
// slow change (the picture between them) barely does.
template <typename T>
std::vector<T> stepsAcross(const std::vector<T>& v, size_t reach) {
  std::vector<T> steps(v.size(), T{0});
  for (size_t i = reach; i + reach < v.size(); ++i) steps[i] = v[i + reach] - v[i - reach];
  return steps;
}

// Reverses `src` in place and returns it.
Profile& inv(Profile& src);

// First index i in [start, stop) with value[i] == target, or -1. The range is
// clamped to the profile.
int firstIndexOf(const Profile& value, float target, int start, int stop);

// Last index i in [start, stop) with value[i] == target, or -1.
int lastIndexOf(const Profile& value, float target, int start, int stop);

// Subtracts the profile's own mean from every value (each difference rounded to
// float).
void removeMean(Profile& value);

}  // namespace kelvora
