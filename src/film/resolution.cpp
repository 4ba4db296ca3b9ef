#include "film/resolution.h"

#include <algorithm>

#include "signal/profile.h"
#include "signal/rounding.h"

namespace kelvora {

int snapResolution(int v) {
  if (v < 675) return 450;
  if (v < 1350) return 900;
  if (v < 2700) return 1800;
  if (v < 5400) return 3600;
  if (v < 10800) return 7200;
  return 14400;
}

int resolution(const cv::Mat& reimg, int filmType, Resolution& res, bool longstrip,
               bool direction) {
  const int w = reimg.cols;
  const int h = reimg.rows;
  if (w < 2 || h < 4) {
    res = Resolution{450, 450};
    return 0;
  }
  const bool sixteen = filmType == kVariableArea16;

  // The picture band leaves out 35 % of the width on the soundtrack side.
  const int c = roundToInt(0.35 * w);
  const int bandStart = direction ? c : 1;
  const int bandStop = direction ? w : w - c;
  Profile p = meanValue(reimg, bandStart, bandStop, 1, h, 3, false);

  const float top = maxValue(p, 0, h);
  for (float& v : p) v = v / top;
  const Profile d = derivative(p);

  const int x = truncToInt(w * 2.54 / (sixteen ? 0.96 : 2.09));
  res.x = snapResolution(x);

  const int l = longstrip ? h / 5 : h / 2;
  const float a = minValue(d, 1, l - 1);
  const int i1 = lastIndexOf(d, a, 0, l);
  const int e = std::min(2 * l, h - 1);
  const float b = minValue(d, l, e);
  const int i2 = lastIndexOf(d, b, l, e);
  if (top == 0.0f || i1 < 0 || i2 < 0) {
    res.y = res.x;
    return 0;
  }
  const int y = truncToInt((i2 - i1) * 2.54 / (sixteen ? 0.762 : 1.919));
  res.y = snapResolution(y);
  return 0;
}

}  // namespace kelvora
