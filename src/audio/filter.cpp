#include "audio/filter.h"

#include <array>
#include <cstddef>

namespace kelvora {

namespace {

constexpr std::array<float, 20> kTaps = {
    -0.005907215f, -0.0041155703f, -0.0053385515f, -0.0024806075f, -0.0030763154f,
    0.0026289732f, 0.004110867f,   0.021603292f,   0.0405896f,     0.19274159f,
    0.5125807f,    0.19274159f,    0.0405896f,     0.021603292f,   0.004110867f,
    0.0026289732f, -0.0030763154f, -0.0024806075f, -0.0053385515f, -0.0041155703f,
};

}  // namespace

int filter(std::vector<float>& soundV) {
  const int n = static_cast<int>(soundV.size());
  if (n == 0) return 0;
  const int taps = static_cast<int>(kTaps.size());
  std::vector<float> y(static_cast<size_t>(n + taps - 1), 0.0f);
  // Taps outermost so each output keeps its terms in order of increasing k; every
  // partial sum is rounded to float as the recorder's was.
  for (int k = 0; k < taps; ++k) {
    const double h = kTaps[k];
    const float* x = soundV.data();
    float* out = y.data() + k;
    for (int i = 0; i < n; ++i) {
      out[i] = static_cast<float>(static_cast<double>(out[i]) + h * static_cast<double>(x[i]));
    }
  }
  soundV.swap(y);
  return 0;
}

}  // namespace kelvora
