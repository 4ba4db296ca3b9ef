#pragma once

#include <opencv2/core.hpp>

namespace kelvora {

// Where the sound is on a scan as loaded (film running side to side): the rows
// across the film that the track's modulation reaches. For variable area, the
// envelope of the clear area's full swing over the whole scan, unilateral or
// bilateral; for variable density, the band between the track's borders.
struct TrackBounds {
  bool found = false;
  int first = 0;  // rows of the scan, first and last inside the track
  int last = -1;
};

// Looks for the track within `searchRows` rows of the top edge (`top`) or the bottom
// edge. A row belongs to the track when, along the film, it reaches clear in some
// places and is not clear all along (variable area), or when it varies along the film
// far more than the film beside it (variable density). Rows mostly clear are taken
// for a sound negative, its clear and opaque swapped.
TrackBounds locateTrack(const cv::Mat& scan, bool top, int searchRows);

}  // namespace kelvora
