#include "audio/join.h"

#include <algorithm>
#include <cmath>

namespace kelvora {

namespace {

constexpr double kPi = 3.14159265;

void appendRange(const Profile& from, int begin, int end, std::vector<float>& to) {
  begin = std::max(begin, 0);
  end = std::min(end, static_cast<int>(from.size()));
  if (begin < end) to.insert(to.end(), from.begin() + begin, from.begin() + end);
}

void appendCrossfade(const Profile& present, const Profile& previous, int cut,
                     const std::vector<float>& w, std::vector<float>& to) {
  for (size_t k = 0; k < w.size(); ++k) {
    const double fadeIn = static_cast<double>(present[k]) * (1.0 - w[k]);
    const double fadeOut = static_cast<double>(previous[cut + k]) * w[k];
    to.push_back(static_cast<float>(fadeIn + fadeOut));
  }
}

}  // namespace

std::vector<float> crossfadeWindow(int length, bool firstPair) {
  std::vector<float> w(static_cast<size_t>(std::max(length, 0)));
  if (w.empty()) return w;
  double step;
  if (firstPair) {
    const float reciprocal = static_cast<float>(1.0 / static_cast<double>(length - 1));
    step = static_cast<double>(reciprocal) * kPi;
  } else {
    step = kPi / static_cast<double>(length - 1);
  }
  float angle = 0.0f;
  for (size_t k = 0; k < w.size(); ++k) {
    const float c = static_cast<float>(std::cos(static_cast<double>(angle)));
    w[k] = static_cast<float>(0.5 + 0.5 * static_cast<double>(c));
    angle = static_cast<float>(static_cast<double>(angle) + step);
  }
  return w;
}

int join(const Profile& SoundPresent, const Profile& SoundPrevious, Signal_Values& signal,
         std::vector<float>& soundV) {
  const int p = std::min(signal.previousLength, static_cast<int>(SoundPrevious.size()));
  const int q = std::min(signal.presentLength, static_cast<int>(SoundPresent.size()));
  const int cut = std::clamp(signal.cutPoint, 0, std::max(p, 0));
  const bool crossfade = signal.crossfade == 1;
  const bool firstPair = signal.frameNumber == signal.firstFrame + 1;

  if (firstPair) {
    signal.overlapLength = p - cut;
    appendRange(SoundPrevious, 0, cut, soundV);
    if (crossfade) {
      signal.overlapLength = std::min(signal.overlapLength, q);
      appendCrossfade(SoundPresent, SoundPrevious, cut, crossfadeWindow(signal.overlapLength, true),
                      soundV);
    }
  } else if (crossfade) {
    signal.previousOverlapLength = signal.overlapLength;
    signal.overlapLength = std::min(p - cut, q);
    appendRange(SoundPrevious, signal.previousOverlapLength, cut, soundV);
    appendCrossfade(SoundPresent, SoundPrevious, cut, crossfadeWindow(signal.overlapLength, false),
                    soundV);
  } else {
    appendRange(SoundPrevious, 0, cut, soundV);
  }

  if (signal.frameNumber == signal.lastFrame) appendLastFrame(SoundPresent, signal, q, soundV);
  return 0;
}

void appendLastFrame(const Profile& SoundPresent, const Signal_Values& signal, int end,
                     std::vector<float>& soundV) {
  const int q = std::min(signal.presentLength, static_cast<int>(SoundPresent.size()));
  appendRange(SoundPresent, signal.crossfade == 1 ? signal.overlapLength : 0, std::min(end, q),
              soundV);
}

}  // namespace kelvora
