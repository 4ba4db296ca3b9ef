#pragma once

#include <vector>

#include <opencv2/core.hpp>

namespace kelvora {

// The light each row of a track strip (see trackStrip, one channel, 8 or 16 bits)
// passes where its film is clearest, over its first `columns` columns: the level 3 %
// of the row's pixels lie above, three rows together. A speck of dust, bright or
// dark, or a scratch covers too few pixels to move it; the gate's shadow and a splice's
// cement, which darken the whole film, move it as much as they take.
std::vector<double> rowLight(const cv::Mat& strip, int columns);

}  // namespace kelvora
