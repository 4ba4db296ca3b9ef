#pragma once

#include <opencv2/core.hpp>

namespace kelvora {

// The rows of a scan the scanner's gate lit fully: its shadow darkens a band at either
// end of every scan, and rows in it hold no sound to read.
struct LitRows {
  int first = 0;  // the first lit row
  int end = 0;    // one past the last
  // The rows more than half lit: the penumbra's rows between them and the lit ones
  // still hold sound, dimmed.
  int halfFirst = 0;
  int halfEnd = 0;
};

// The lit rows of a track strip (see trackStrip): the gate's shadow is a band at an end
// of the scan whose clearest film (see rowLight) is darker than the lit film beyond
// it, under 60 % of it at the very end, its penumbra ending where the light comes up to
// that film's, a lamp's falling field drawn on to the end. All rows where no such band
// shows; at most a tenth of the scan is taken off either end.
LitRows litRows(const cv::Mat& strip);

}  // namespace kelvora
