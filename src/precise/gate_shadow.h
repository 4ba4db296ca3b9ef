#pragma once

#include <vector>

#include <opencv2/core.hpp>

namespace kelvora {

// The rows of a scan the scanner's gate lights well enough to read: its shadow darkens
// a band at either end of every scan, and rows in it hold no sound to read.
struct LitRows {
  int first = 0;  // the first row read: more than half lit
  int end = 0;    // one past the last
  // The penumbra's rows read, dimmed: the light each passes, a share of the lit
  // film's, from the first row read on (`head`) and from the last back (`tail`).
  std::vector<float> head;
  std::vector<float> tail;
  // The rows beyond those read that the shadow leaves at least a fifth of the light:
  // too dim to measure the film on or to match two scans by, but read where no other
  // scan holds them (see withFaintRows). The light each passes, from the darkest on
  // (`faintHead`, the rows before `first`) and from the darkest back (`faintTail`, the
  // rows from `end` on).
  std::vector<float> faintHead;
  std::vector<float> faintTail;
};

// The lit rows of a track strip (see trackStrip): the gate's shadow is a band at an end
// of the scan whose clearest film (see rowLight) is darker than the lit film beyond
// it, under 60 % of it at the very end, its penumbra ending where the light comes up to
// that film's, a lamp's falling field drawn on to the end. The penumbra's rows more
// than half lit are read, each given back the light the shadow takes from it. All rows
// where no such band shows; at most a tenth of the scan is taken off either end.
LitRows litRows(const cv::Mat& strip);

// `lit` with its faint rows taken in as rows read, dimmed.
LitRows withFaintRows(const LitRows& lit);

// Rows [lit.first, lit.end) of `strip`, those of the penumbra given back the light the
// shadow takes (each pixel divided by its row's share, saturating): a copy where any
// row is dimmed, else a view of `strip`.
cv::Mat litStrip(const cv::Mat& strip, const LitRows& lit);

}  // namespace kelvora
