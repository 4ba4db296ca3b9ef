#pragma once

#include "audio/signal_values.h"
#include "signal/profile.h"

namespace kelvora {

// Splice detection between two consecutive frames. Both detectors return the cut
// point: the index into the previous frame's samples at which the present frame's
// first sample lies. A coarse cross-correlation of masked, zero-mean profiles finds
// the overlap among the lags past a margin of the previous frame (about half of it,
// 82 % for 16 mm long strips); a short window of samples then refines it. They read
// `previousLength` and `presentLength` of `signal` and never write it. The coarse
// offset is kept where the fine windows fit; when they cannot (or a peak is not
// found) the coarse offset is returned, clamped to the previous frame.

// Picture-guided: coarse alignment from the frames' row-brightness profiles.
int cuttingPoint(const Signal_Values& signal, const Profile& SoundPresent,
                 const Profile& SoundPrevious, const Profile& ImagePresent,
                 const Profile& ImagePrevious, int filmType, bool longstrip);

// Sound only: coarse alignment from the samples themselves.
int cuttingPointSound(const Signal_Values& signal, const Profile& SoundPresent,
                      const Profile& SoundPrevious, int filmType, bool longstrip);

}  // namespace kelvora
