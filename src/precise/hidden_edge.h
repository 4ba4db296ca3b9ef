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

// Takes into each run of `hidden` columns (a dark scratch's, on a unilateral track) the
// column after it, away from `anchor`, where the scratch's far edge covers it in part:
// film grows clear outwards from the anchor, so on the rows whose film just beyond that
// column is clear whole it is clear whole too, and a column darker there than clear film
// by more than grain lies partly under the scratch. Left as it is, it would cut the
// moving edge's ramp across it short, as a dip. `clearLevel` and `opaqueLevel` are each
// row's levels; `rows` are those looked at. Returns the columns taken in.
int takeInFarEdges(std::vector<bool>& hidden, const cv::Mat& window, int anchor,
                   const std::vector<double>& clearLevel, const std::vector<double>& opaqueLevel,
                   cv::Range rows);

}  // namespace kelvora
