#include "audio/resample.h"

#include <cmath>

#include <soxr.h>

namespace kelvora {

std::vector<float> resample(const std::vector<float>& samples, double fromRate, int toRate,
                            std::string* error) {
  if (samples.empty() || fromRate <= 0 || toRate <= 0) return {};
  const size_t outLength =
      static_cast<size_t>(std::llround(static_cast<double>(samples.size()) * toRate / fromRate));
  std::vector<float> out(outLength);
  const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
  const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_VHQ, SOXR_LINEAR_PHASE);
  size_t done = 0;
  const soxr_error_t failed =
      soxr_oneshot(fromRate, toRate, 1, samples.data(), samples.size(), nullptr, out.data(),
                   out.size(), &done, &io, &quality, nullptr);
  if (failed != nullptr) {
    if (error != nullptr) *error = std::string("resampling failed: ") + failed;
    return {};
  }
  // The one-shot call may leave the last few samples, which the filter still holds,
  // unwritten: they stay silent, so the length follows the rate exactly.
  return out;
}

std::string resamplerName() { return std::string(soxr_version()) + " very high quality"; }

}  // namespace kelvora
