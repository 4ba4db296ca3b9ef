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
// that show it often, those lying off it (a scratch and its edges) left out, held level
// beyond them. Empty where too few rows show it, or it falls off across them by less
// than the measure tells.
std::vector<float> lightAcross(const cv::Mat& window, cv::Range rows,
                               const std::vector<double>& clearLevel,
                               const std::vector<double>& opaqueLevel, double top);

// Each level of `window` as if its column had been lit as the rows' levels were:
// moved from `top` by one over the column's `light` (see lightAcross).
void evenAcross(cv::Mat& window, const std::vector<float>& light, double top);

// Each level of `window` about a splice's band as if the band's ends crossed every
// column on the row they cross column `middle` on: on a scan turned in the gate by `turn`
// rows of film a column across, read straightened across only, the cement's ends slant
// across the track, and a row can hold the band on one edge and not the other.
// `kept[i]` is the share of light the cement leaves window row `first` + i at `middle`
// (1 away from the bands); levels move from `top` by the share at their own column
// against it.
void evenCementAcross(cv::Mat& window, const std::vector<double>& kept, int first, double turn,
                      double middle, double top);

}  // namespace kelvora
