#pragma once

#include <vector>

namespace kelvora::reel {

// How well a decoded sound follows the sound on the film.
struct SoundQuality {
  double snrDb = 0.0;  // the reference's power against what does not follow it
  int firstLag = 0;    // samples the sound lies behind the reference at its start
  int lagChanges = 0;  // blocks whose lag differs from the one before: a dropped or
                       // repeated sample, or a join that slipped
  int blocks = 0;
};

// Tracked quality: block by block (`block` samples), the sound is matched to the
// reference at the lag (within `reach` of the last block's) and with the gain and
// offset that fit it best, so that slow level changes and a reader's delay do not
// count but every sample that is not the film's does. `skip` samples at either end
// are left out.
SoundQuality trackedQuality(const std::vector<float>& sound, const std::vector<float>& reference,
                            int block = 2048, int reach = 40, int skip = 512);

}  // namespace kelvora::reel
