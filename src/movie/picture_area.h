#pragma once

#include <cstdint>

#include <opencv2/core.hpp>

#include "film/film_geometry.h"

namespace kelvora {

// The size of the picture area cut from every scan of a movie job.
struct ParametersM {
  std::int32_t margin_x = 0;    // 2 mm (35 mm) or 0.1 inch (16 mm) at the X resolution
  std::int32_t cut_height = 0;  // rows cut per scan; four frames for 16 mm
  std::int32_t cut_width = 0;   // columns right of the picture's left edge when the
                                // soundtrack is cut off; 0 for 35 mm without the cut
};

// Fills `filParM` for a turned scan (film running top to bottom, soundtrack on the
// left). 35 mm sizes follow from the resolution alone; the 16 mm height is measured
// between the strongest brightening steps near the top and near the bottom of the
// scan, three frames apart. Film types outside 1..3 leave the record as it was.
// Returns 0.
int filParametersM(const cv::Mat& reimg, int filmType, const Resolution& res, ParametersM& filParM,
                   int image_sound);

// The mean brightness of the first channel: the mean of the column means.
float scanBrightness(const cv::Mat& reimg);

// A binary copy (0 or 1) of an 8-bit scan: 1 where its grey value (BT.601 luma for
// colour) exceeds `level`.
cv::Mat binaryAbove(const cv::Mat& reimg, double level);

}  // namespace kelvora
