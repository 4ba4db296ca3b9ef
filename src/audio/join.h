#pragma once

#include <vector>

#include "audio/signal_values.h"
#include "signal/profile.h"

namespace kelvora {

// Appends the sound of one frame pair to `soundV`: the previous frame up to the cut
// point, then (with crossfade) the overlap blended into the present frame's first
// samples with a raised-cosine window. At the job's last frame the rest of the
// present frame follows; without crossfade the last frame is appended whole. The cut
// point is clamped to the previous frame and the crossfade to the present frame, so
// no block is read past its end. Writes `overlapLength` and `previousOverlapLength`.
int join(const Profile& SoundPresent, const Profile& SoundPrevious, Signal_Values& signal,
         std::vector<float>& soundV);

// Appends what `join` has not yet written of the last frame of a run of joined
// frames, up to sample `end` of that frame. `join` appends all of it at the job's
// last frame; a run that ends earlier, at a scan that could not be read, ends where
// the missing scan would have taken over.
void appendLastFrame(const Profile& SoundPresent, const Signal_Values& signal, int end,
                     std::vector<float>& soundV);

// The crossfade weights for an overlap of `length` samples, falling from 1 to 0. The
// first pair of a job forms its angle step from a single-precision reciprocal, later
// pairs wholly in double precision; the angle itself is kept in single precision.
std::vector<float> crossfadeWindow(int length, bool firstPair);

// How alike the film the two scans share at a join is: the normalised correlation of
// the previous frame's samples from `cutPoint` on with the present frame's first
// samples, over their overlap. Near 1 where the scans overlap as the cut says; near 0
// where they do not (a scan missing between them, a splice). NaN with fewer than 16
// shared samples, or where either side holds no more than the scanner's noise (a level
// or less, as in the pauses of speech), which cannot tell.
double overlapMatch(const Profile& previous, const Profile& present, int cutPoint);

}  // namespace kelvora
