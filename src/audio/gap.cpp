#include "audio/gap.h"

#include <algorithm>
#include <cmath>

namespace kelvora {

int typicalAdvance(std::vector<int> cutPoints, int fallback) {
  if (cutPoints.empty()) return std::max(fallback, 0);
  const auto middle = cutPoints.begin() + static_cast<long>(cutPoints.size() / 2);
  std::nth_element(cutPoints.begin(), middle, cutPoints.end());
  return std::max(*middle, 0);
}

float restingLevel(const Profile& frame) {
  double sum = 0;
  size_t counted = 0;
  for (const float s : frame) {
    if (std::isnan(s)) continue;
    sum += s;
    ++counted;
  }
  return counted == 0 ? 0.0f : static_cast<float>(sum / static_cast<double>(counted));
}

void appendSilence(int scans, int advance, float level, std::vector<float>& sequence) {
  if (scans <= 0 || advance <= 0) return;
  sequence.insert(sequence.end(), static_cast<size_t>(scans) * static_cast<size_t>(advance), level);
}

}  // namespace kelvora
