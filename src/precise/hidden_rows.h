#pragma once

#include <opencv2/core.hpp>

#include <vector>

#include "precise/hidden_edge.h"

namespace kelvora {

// How far a row's clear width may lie from the width read, where a mended run of columns
// hides its moving edge: the width read plus `low` at least, plus `high` at most.
// NaN on a row whose edge the run leaves sure.
struct HiddenWidth {
  double low = 0.0;
  double high = 0.0;
  bool past = false;  // the edge ran past the run, its ramp perhaps across it
  bool unsure() const { return high == high; }
};

// The rows of a unilateral track's window whose moving edge lies under one of the mended
// runs of columns `runs` (a scratch's, mended straight or by its ramp) for long enough
// to leave their clear width unsure by half a column or more. Film grows clear outwards
// from `anchor`, so each column's clear share falls from the column before a run, on the
// anchor's side, to the column after it: the run's columns lie between the two. A row
// whose edge runs past the run (the column after it clear beyond grain) is read across
// it already, but where the edge's ramp beyond the run, falling evenly, is long enough to
// have crossed it: how far it fell under the run is unsure too (and `past`). A row whose
// edge never reaches the run is sure. `clearLevel` and `opaqueLevel` are each row's
// levels. One a row; NaN bounds where sure.
std::vector<HiddenWidth> hiddenWidths(const cv::Mat& window, const std::vector<ColumnSpan>& runs,
                                      int anchor, const std::vector<double>& clearLevel,
                                      const std::vector<double>& opaqueLevel);

// The rows that `a` or `b` leaves unsure (see HiddenWidth), one a row: a row both leave
// unsure has its edge in the way of two runs, and which hides it is not told.
std::vector<HiddenWidth> eitherHidden(std::vector<HiddenWidth> a,
                                      const std::vector<HiddenWidth>& b);

// The band of frequencies, in cycles a row, below which nearly all of the power of the
// sound `values` (one a row, 0 or less where none) lies: 0.5 where too few rows hold it.
double soundBand(const std::vector<double>& values);

// How alike the sound `values` (one a row, 0 or less where none) is on rows `lag` apart,
// for each lag from 0 to `lags`: 1 at 0, from its power spectrum over all the rows that
// hold it. 0 beyond lag 0 where too few rows hold it to tell.
std::vector<double> soundCorrelation(const std::vector<double>& values, int lags);

// Reads the clear width of the rows `hidden` leaves unsure (see hiddenWidths) from the sure
// rows about them, along the film: each unsure row of a run no longer than `longest` is
// foretold from the rows within a few dozen of it, and how surely, either as any sound of
// the band the rows fill (see soundBand) or by how alike this sound is from row to row
// (see soundCorrelation), whichever foretells the sure rows about the window's first runs
// best. The film keeps the width between the row's bounds, and the width read is the
// foretold one's mean within them: near the curve where it is sure, near the bounds'
// middle where the rows about it tell little. A run without a sure row on either side is
// left. One longer than `longest` is first split at its rows whose edge ran past the
// mended run (they stand as read); of a run still too long, only the rows at either end
// are read, where the rows about them still tell them. `widths` holds one a row. Returns
// the rows read.
int readHiddenRows(std::vector<double>& widths, const std::vector<HiddenWidth>& hidden,
                   int longest);

}  // namespace kelvora
