#pragma once

#include <vector>

#include "precise/clear_part.h"
#include "precise/hidden_rows.h"

namespace kelvora {

// The rows of a unilateral track whose moving edge a dark speck lying on its tip may
// hide, from each row's readings (see clearReadings) and the widths chosen of them (see
// readThroughSpecks). A speck a few rows long that lies across the edge's swing cuts the
// clear part short on the rows where clear film shows beyond it (a choice of two
// readings); on the rows next to them where the edge reaches no further than the speck,
// no clear film shows beyond it, and the clear part seems to end where the speck starts,
// a single reading that is only a floor. Such rows, where the edge ends at the speck's
// near side as on the row beside them (the speck's side, not the sound's, a column or so
// from row to row), are unsure from the width read up to the clear film beyond the speck
// on the rows beside them; the rows with a choice beside them, between their two
// readings. Only a speck that such rows touch is given: one that leaves every row a
// choice is judged by readThroughSpecks. One a row; NaN bounds where sure.
std::vector<HiddenWidth> edgeUnderSpecks(const std::vector<ClearReadings>& readings,
                                         const std::vector<double>& widths);

}  // namespace kelvora
