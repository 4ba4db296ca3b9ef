#pragma once

#include <opencv2/core.hpp>

#include <vector>

#include "precise/hidden_edge.h"
#include "precise/hidden_rows.h"

namespace kelvora {

// Reads the film under a bright line along a unilateral track, over a run of columns
// `span` of `window` that the line covers whole or in part. `scanned` holds the window's
// levels as scanned (the line unmended); `window` is written, the run's columns only, on
// each row read. The line lays its own level over the share of each column it covers,
// and leaves the film showing through the rest: a column it covers in part still tells
// the film's clear share there, once its own share and level are taken off. Both are
// measured on the rows whose film is opaque across the whole run (the column beside it
// on the clear side is opaque, and the clear part ends before it), where a column shows
// the line alone; the line drifts across the window with the weave, and they are
// measured a block of rows at a time. A column the line covers almost whole tells
// nothing: those are read on a curve between the columns either side that do, bent as
// the film beyond them falls and kept between their shares. `track` runs from the
// track's clear side (its first column) to its other; `clearLevel` and `opaqueLevel` are
// each row's levels. Nothing is read where the run is too near the window's ends, or
// too few rows show the run on opaque film. Returns the rows read.
//
// Where the edge ends under the columns the line covers almost whole, the curve across
// them puts it in their middle on every row, however far the sound took it. `hidden`,
// where given (one a row), is told those rows: how far the row's clear width may lie
// from the one read, the curve's columns all as clear as the column before them at most,
// and as opaque as the one after at least (see readHiddenRows). Rows whose width the
// curve leaves sure within half a column are not told. A row the line is not measured
// near keeps the run as mended, and is told as hiddenWidths tells a mended run's rows.
int readUnderBrightLine(cv::Mat& window, const cv::Mat& scanned, ColumnSpan span, ColumnSpan track,
                        const std::vector<double>& clearLevel,
                        const std::vector<double>& opaqueLevel,
                        std::vector<HiddenWidth>* hidden = nullptr);

}  // namespace kelvora
