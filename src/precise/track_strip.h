#pragma once

#include <opencv2/core.hpp>

namespace kelvora {

// The track side of a scan as loaded, for the precise reader: turned so that rows run
// along the film in the order the classic reader takes them and columns across it
// from the track-side edge (the top edge for UP, the bottom for DOWN). One colour
// element (see ColorElement) at the scan's full depth, as float on the 8-bit scale:
// a 16-bit level of 257 reads 1.0. `columns` rows of the scan are taken, at most all.
cv::Mat trackStrip(const cv::Mat& scan, int colorElement, bool direction, int columns);

}  // namespace kelvora
