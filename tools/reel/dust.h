#pragma once

#include <vector>

#include "reel/film.h"
#include "reel/reel_options.h"

namespace kelvora::reel {

// The specks lying on `totalRows` rows of film: `options.dust` a frame on average,
// a third of them on the track, the rest anywhere across the film; bright and dark,
// 1 to 6 pixels across. The same options give the same specks.
std::vector<Speck> scatterDust(const ReelOptions& options, const ReelGeometry& g);

// One turned pixel a speck covers part of.
struct SpeckPixel {
  int y = 0;
  int u = 0;
  double share = 0.0;  // of the pixel's area
  int speck = 0;       // index in the list given
};

// The pixels of the turned scan at `pose` that `specks` cover, with the share of each
// covered: exact across the pixel, kSubRows steps along it. Pixels outside the scan
// are left out.
std::vector<SpeckPixel> speckPixels(const ReelOptions& o, const ReelGeometry& g,
                                    const std::vector<Speck>& specks, const ScanPose& pose);

// The film rows a speck covers on the track's columns (with a pixel to spare), or an
// empty range (first > last) when it does not touch the track.
struct RowRange {
  int first = 0;
  int last = -1;
};
RowRange trackRowsOf(const ReelGeometry& g, const Speck& speck);

}  // namespace kelvora::reel
