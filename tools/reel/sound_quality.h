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
// count but every sample that is not the film's does. Where the reference is silent (a
// leader, rows no scan holds) all of the sound is noise. `skip` samples at either end
// are left out.
SoundQuality trackedQuality(const std::vector<float>& sound, const std::vector<float>& reference,
                            int block = 2048, int reach = 40, int skip = 512);

// What of the sound does not follow the reference, one value a reference sample, on the
// reference's scale: each block matched as trackedQuality matches it, its fit taken
// off and divided by its gain. NaN where no block lies (the ends, a block that fits
// nothing).
std::vector<float> trackedResidual(const std::vector<float>& sound,
                                   const std::vector<float>& reference, int block = 2048,
                                   int reach = 40, int skip = 512);

// The clicks in a residual: runs of samples departing by more than `factor` times the
// residual's typical departure (its median absolute value, as a standard deviation)
// and by at least `least`, runs closer than `gap` samples taken as one. Returns the
// reference sample where each click departs most.
std::vector<int> clicksIn(const std::vector<float>& residual, double factor = 8.0,
                          double least = 0.03, int gap = 16);

// The clicks clicksIn finds, each with the first and last samples of its run: whether
// another sound errs at the same samples is a matter of the whole run, not of where each
// departs most.
struct ClickRun {
  int first = 0;
  int last = 0;
  int peak = 0;
};
std::vector<ClickRun> clickRunsIn(const std::vector<float>& residual, double factor = 8.0,
                                  double least = 0.03, int gap = 16);

}  // namespace kelvora::reel
