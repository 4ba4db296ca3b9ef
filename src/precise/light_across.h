#pragma once

#include <vector>

#include <opencv2/core.hpp>

namespace kelvora {

// The light each column of a variable-area track's window (rows along the film, float
// levels) was scanned in, against the light its rows' levels were measured in: the
// lamp falls off towards the scan's corners, so a column further out is dimmer, and a
// unilateral track's moving edge, reaching out over them, reads its loud rows out of
// proportion. Measured on the rows `rows` where a column holds the film the light
// reaches most (a positive's clear, a negative's opaque: `top` is the level light
// moves away from, 0 or 255), against each row's level of it (`clearLevel`,
// `opaqueLevel`, one a row of the window), and drawn as a parabola across the columns
// that show it often, held level beyond them. Empty where too few rows show it.
std::vector<float> lightAcross(const cv::Mat& window, cv::Range rows,
                               const std::vector<double>& clearLevel,
                               const std::vector<double>& opaqueLevel, double top);

// Each level of `window` as if its column had been lit as the rows' levels were:
// moved from `top` by one over the column's `light` (see lightAcross).
void evenAcross(cv::Mat& window, const std::vector<float>& light, double top);

}  // namespace kelvora
