#pragma once

#include <vector>

#include "precise/scan_joins.h"
#include "precise/scan_sound.h"

namespace kelvora {

// How much deeper the light falls along the scans on a variable-density track than the
// light it was read with (see ScanSound::lightFit) shows: `bend` the share of light a
// row at t (its place along the scan, see LightFit) lacks besides, bend x t^2, as the
// overlaps measure it; `spread` how far it may lie off, its standard error; `joins` the
// joins it was measured on.
struct OverlapBend {
  double bend = 0.0;
  double spread = 0.0;
  int joins = 0;
};

// The bend the overlaps of `scans`, across the clean and quiet joins of `plan`, show:
// each row shared by two scans is read once near the end of the one and once near the
// start of the other, lit alike but for the light along the scan, so the ratio of the
// two readings follows the light's shape whatever the sound. A join's own step in level
// (the lamp's flicker) is taken out, so only the ratio's change along the overlap
// counts; rows a scan read by their own light (the gate's penumbra) and rows one
// reading sets apart (a speck) are left out. No bend where fewer than two joins
// measure one.
OverlapBend overlapBend(const std::vector<ScanSound>& scans, const JoinPlan& plan);

// Reads the samples of a variable-density track's `scans` (their faint rows with them)
// again under the light along the scans the overlaps show (see overlapBend), their
// mean over the whole scan kept. The lamp's field falls off with the square of the
// distance from the gate's middle, across the film as along it: along every column the
// light falls by the same amount, but the track lies further out across than the film
// beside it, its light lower, and so it falls by a larger share. The bend is taken in
// as far as it stands above its spread (none of it where it is all spread). Returns the
// bend taken in.
double relightByOverlaps(std::vector<ScanSound>& scans, const JoinPlan& plan);

}  // namespace kelvora
