#pragma once

#include <opencv2/core.hpp>

#include "film/film_geometry.h"

namespace kelvora {

// The resolution a soundtrack job takes from its first scan, and the track width and
// frame pitch at it.
struct SoundGeometry {
  Resolution resolution;
  Parameters parameters;
};

struct Picture_Parameters;

// Takes the typed resolution, or measures it on `scan` as loaded (and trimmed),
// rounded to a standard scanner resolution; then the track's geometry at it.
SoundGeometry soundGeometry(const cv::Mat& scan, const Picture_Parameters& record);

}  // namespace kelvora
