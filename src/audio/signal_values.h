#pragma once

#include <cstdint>

namespace kelvora {

// The soundtrack job's bookkeeping, shared with the splice detectors and `join`.
// P below is `previousLength`, Q `presentLength`.
struct Signal_Values {
  std::int32_t firstFrame = 0;             // first frame number of the job
  std::int32_t lastFrame = 0;              // last frame number of the job
  std::int32_t crossfade = 0;              // 1 when joins are crossfaded
  std::int32_t cutPoint = 0;               // index in the previous frame where the present starts
  std::int32_t previousCutPoint = 0;       // cut point of the pair before
  std::int32_t frameNumber = 0;            // number of the present frame (after detection)
  std::int32_t presentLength = 0;          // samples of the present frame
  std::int32_t previousLength = 0;         // samples of the previous frame
  std::int32_t overlapLength = 0;          // previous samples after the cut (written by join)
  std::int32_t previousOverlapLength = 0;  // overlap of the pair before (written by join)
};

}  // namespace kelvora
