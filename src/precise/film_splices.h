#pragma once

#include <vector>

#include <opencv2/core.hpp>

namespace kelvora {

// The middle rows of the film splices that cross a track strip (see trackStrip): the
// cement's extra layers of base darken a band about `bandRows` long across the whole
// film, so the brightest film of each row (its clear base, a positive's or a
// negative's) turns darker there. Read over the strip's first `columns` columns (the
// edge, the track and the film beside it, not the picture, whose frame lines are
// bands too). A speck of dust covers too few columns to count. Unless those columns
// always hold clear film (`clearBeside`: a negative's base, the plain film beside a
// variable-density track), as a variable-area positive's may not where its track
// closes, the picture beyond them must darken with it: against the picture around the
// band, or where a frame line makes that no measure, against the same rows a frame
// (`framePitch` rows, 0 when unknown) before or after it.
std::vector<int> spliceCrossings(const cv::Mat& strip, int columns, int bandRows, bool clearBeside,
                                 int framePitch = 0);

// The median of `levels` over the rows within `reach` of each (fewer at the ends),
// taken every `stride` rows and held for the rows up to the next.
std::vector<double> runningMedians(const std::vector<double>& levels, int reach, int stride);

}  // namespace kelvora
