#include "audio/splice.h"

#include <algorithm>

#include "signal/rounding.h"
#include "signal/xcorr.h"

namespace kelvora {

namespace {

struct Lengths {
  int p;  // previous frame
  int q;  // present frame
};

bool isSixteenMmStrip(int filmType, bool longstrip) { return filmType == 3 && longstrip; }

int fineWindow(int p, int filmType, bool longstrip) {
  return roundToInt((isSixteenMmStrip(filmType, longstrip) ? 0.012 : 0.024) * p);
}

Profile firstValues(const Profile& v, int count) {
  count = std::clamp(count, 0, static_cast<int>(v.size()));
  return Profile(v.begin(), v.begin() + count);
}

Profile window(const Profile& v, int from, int length) {
  Profile w(v.begin() + from, v.begin() + from + length);
  removeMean(w);
  return w;
}

void zero(Profile& v, int from, int to) {
  from = std::max(from, 0);
  to = std::min(to, static_cast<int>(v.size()));
  for (int i = from; i < to; ++i) v[i] = 0.0f;
}

// Refines the coarse offset `c` with a short window of previous samples at `c`
// against the present frame's first samples; returns the aligned index.
int refine(const Profile& previous, const Profile& present, Lengths len, int c, int w) {
  if (w < 2 || w > len.q || len.p < w) return std::clamp(c, 0, len.p);
  c = std::clamp(c, 0, len.p - w);
  const Profile a = window(previous, c, w);
  const Profile b = window(present, 0, w);
  const Profile r2 = xcorr(a, b);
  const float peak2 = maxValue(r2, 1, 2 * w - 1);
  const int j2 = lastIndexOf(r2, peak2, 1, 2 * w - 1);
  if (j2 < 0) return c;
  // The previous window is the first sequence, so a present frame starting e samples
  // further on peaks at lag -e: subtracting the lag aligns the cut.
  return std::clamp(c + w - j2, 0, len.p);
}

}  // namespace

int cuttingPoint(const Signal_Values& signal, const Profile& SoundPresent,
                 const Profile& SoundPrevious, const Profile& ImagePresent,
                 const Profile& ImagePrevious, int filmType, bool longstrip) {
  Lengths len{std::min(signal.previousLength, static_cast<int>(SoundPrevious.size())),
              std::min(signal.presentLength, static_cast<int>(SoundPresent.size()))};
  len.p = std::min(len.p, static_cast<int>(ImagePrevious.size()));
  len.q = std::min(len.q, static_cast<int>(ImagePresent.size()));
  if (len.p <= 0 || len.q <= 0) return 0;
  const int n = std::max(len.p, len.q);

  Profile imagePrevious = firstValues(ImagePrevious, len.p);
  Profile imagePresent = firstValues(ImagePresent, len.q);
  Profile soundPrevious = firstValues(SoundPrevious, len.p);
  Profile soundPresent = firstValues(SoundPresent, len.q);
  removeMean(imagePrevious);
  removeMean(imagePresent);
  removeMean(soundPrevious);
  removeMean(soundPresent);

  const int m = roundToInt((isSixteenMmStrip(filmType, longstrip) ? 0.82 : 0.52) * len.p);
  zero(imagePrevious, 0, m);
  zero(imagePresent, len.q - m, len.q);

  // The peak search reads lags from len.p + m - 1 (its predecessor test) on.
  const Profile r = xcorr(imagePresent, imagePrevious, len.p + m - 1, 2 * n - 1);
  const float peak = maxValue(r, len.p + m, 2 * n - 1);
  const int j = lastIndexOf(r, peak, len.p + m, 2 * n - 1);
  if (j < 0) return std::clamp(m, 0, len.p);
  const int c = j - n;
  return refine(soundPrevious, soundPresent, len, c, fineWindow(len.p, filmType, longstrip));
}

int cuttingPointSound(const Signal_Values& signal, const Profile& SoundPresent,
                      const Profile& SoundPrevious, int filmType, bool longstrip) {
  const Lengths len{std::min(signal.previousLength, static_cast<int>(SoundPrevious.size())),
                    std::min(signal.presentLength, static_cast<int>(SoundPresent.size()))};
  if (len.p <= 0 || len.q <= 0) return 0;
  const int n = std::max(len.p, len.q);

  Profile previous = firstValues(SoundPrevious, len.p);
  Profile present = firstValues(SoundPresent, len.q);
  removeMean(previous);
  removeMean(present);

  const int m = roundToInt((isSixteenMmStrip(filmType, longstrip) ? 0.82 : 0.48) * len.p);
  zero(previous, 0, len.p - m);
  zero(present, len.q - m, len.q);

  const Profile r = xcorr(present, previous, len.p + m - 1, 2 * n - 1);
  const float peak = maxValue(r, len.p + m, 2 * n - 1);
  const int j = firstIndexOf(r, peak, len.p + m, 2 * n - 1);
  if (j < 0) return std::clamp(m, 0, len.p);
  const int c = j - n;
  return refine(previous, present, len, c, fineWindow(len.p, filmType, longstrip));
}

}  // namespace kelvora
