#include "audio/filter.h"

#include <algorithm>
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
  // The film's sound goes on before the first and after the last sample: the input
  // is extended by copies of its end samples, so the build-up and decay continue the
  // signal instead of rising from zero (a full-scale click with -DC on).
  std::vector<float> x(static_cast<size_t>(n + 2 * (taps - 1)));
  std::fill_n(x.begin(), taps - 1, soundV.front());
  std::copy(soundV.begin(), soundV.end(), x.begin() + (taps - 1));
  std::fill(x.begin() + (taps - 1) + n, x.end(), soundV.back());

  const int outputs = n + taps - 1;
  std::vector<float> y(static_cast<size_t>(outputs), 0.0f);
  // Taps outermost so each output keeps its terms in order of increasing k; every
  // partial sum is rounded to float as the recorder's was.
  for (int k = 0; k < taps; ++k) {
    const double h = kTaps[k];
    const float* in = x.data() + (taps - 1) - k;
    float* out = y.data();
    for (int i = 0; i < outputs; ++i) {
      out[i] = static_cast<float>(static_cast<double>(out[i]) + h * static_cast<double>(in[i]));
    }
  }
  soundV.swap(y);
  return 0;
}

}  // namespace kelvora
