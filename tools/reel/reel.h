#pragma once

#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "reel/film.h"
#include "reel/programme.h"
#include "reel/reel_options.h"

namespace kelvora::reel {

struct Reel {
  ReelOptions options;
  ReelGeometry geometry;
  std::vector<std::string> scanPaths;  // the scans written, in listing order
  std::vector<int> scanNumbers;        // each one's place (0-based) in the listing of all the
                                       // reel's scans: a missing scan's number is skipped
  std::vector<float> audio;            // -1..1, the sound each film row holds, in playing order
  std::vector<double> weave;           // each scan's sideways offset at its middle, pixels
  std::vector<int> spliceRows;         // film rows where a splice joins two pieces
  Film film;                           // the printed sound, finer than a row, and the dust
};

// Each scan's sideways offset at its middle (playing order), pixels.
std::vector<double> scanWeaves(const ReelOptions& options);

// Renders the reel into `directory` (created if needed): scan_0001.tif ... (the
// missing scans' numbers skipped), the row sound as source.f32 (raw little-endian
// floats) and source.wav, and reel.txt describing the geometry. Throws
// std::runtime_error when a file cannot be written or the sound file read.
Reel writeReel(const ReelOptions& options, const std::string& directory);

}  // namespace kelvora::reel
