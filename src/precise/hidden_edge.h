#pragma once

#include <opencv2/core.hpp>

#include <vector>

namespace kelvora {

// A run of a window's columns, both ends included: a scratch's, mended.
struct ColumnSpan {
  int first = 0;
  int last = -1;
};

// Reads a unilateral track's moving edge where it passes under a run of columns `span`
// that a scratch puts out of order and that were mended with a straight line between
// the film either side: where the edge ends under the run, that line puts it in the
// run's middle. An edge that moves within a row leaves a ramp across the columns, as long
// as it moved, and the ramp runs on straight under the scratch. On each row whose film
// either side of the run leaves the edge's place under it unsure by half a column or
// more, and whose ramp shows on one side of the run only (it ends or starts under it),
// the ramp is carried on across the run as it falls over the two columns beside it,
// kept between the levels either side of it. A ramp on both sides crosses the run, and
// one on neither lies under it whole: there the straight line stands. `track` runs from
// the track's clear side (its first column) to its other. Nothing is read where the
// columns either side of the run are not film the edge crosses, clear on some rows and
// opaque on others (a scratch covers them in part), or too near the track's ends.
// `clearLevel` and `opaqueLevel` are each row's levels. Returns the rows read.
int readEdgeUnder(cv::Mat& window, ColumnSpan span, ColumnSpan track,
                  const std::vector<double>& clearLevel, const std::vector<double>& opaqueLevel);

}  // namespace kelvora
