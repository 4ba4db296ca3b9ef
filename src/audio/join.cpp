#include "audio/join.h"

#include <cmath>
#include <limits>

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

double overlapMatch(const Profile& previous, const Profile& present, int cutPoint) {
  const long shared = std::min<long>(static_cast<long>(previous.size()) - cutPoint,
                                     static_cast<long>(present.size()));
  if (cutPoint < 0 || shared < 16) return std::numeric_limits<double>::quiet_NaN();
  double ma = 0, mb = 0;
  for (long i = 0; i < shared; ++i) {
    ma += previous[cutPoint + i];
    mb += present[i];
  }
  ma /= shared;
  mb /= shared;
  double ab = 0, aa = 0, bb = 0;
  for (long i = 0; i < shared; ++i) {
    const double a = previous[cutPoint + i] - ma, b = present[i] - mb;
    ab += a * b;
    aa += a * a;
    bb += b * b;
  }
  // Film without sound on it, or only the scanner's noise (a grey level or less), cannot
  // tell.
  const double floor = 1.0 * shared;
  if (aa <= floor || bb <= floor) return std::numeric_limits<double>::quiet_NaN();
  return ab / std::sqrt(aa * bb);
}

}  // namespace kelvora
