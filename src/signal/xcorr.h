#pragma once

#include <span>

#include "signal/profile.h"

namespace kelvora {

// Full, unnormalised cross-correlation of `a` and `b`, the shorter padded with zeros
// at its end to N = max(size) values. Returns 2N floats: element 0 holds the lag
// count 2N - 1, element j the correlation at lag j - N, pairing a[i] with b[i + j - N].
// Each lag is a direct sum taken in order of increasing i, products and additions in
// double precision and the running sum rounded to float after every addition, so the
// results match the recorder's bit for bit. Empty inputs give the single value -1.
Profile xcorr(std::span<const float> a, std::span<const float> b);

// The same, with only the elements firstLag..lastLag computed (each bit for bit as
// above) and the others 0 but element 0: for a peak search that reads no more.
Profile xcorr(std::span<const float> a, std::span<const float> b, int firstLag, int lastLag);

}  // namespace kelvora
