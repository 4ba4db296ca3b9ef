#pragma once

#include <functional>

#include <opencv2/core.hpp>

#include "scans/direct_read.h"
#include "scans/row_band.h"

namespace kelvora {

// What a job reads of each scan: the rows across the film it needs, at 8 bits a
// channel (as every classic function takes them) or at the scan's own depth, and what
// it does to each scan as soon as it is loaded (on the loading thread, so it must not
// depend on anything learnt from earlier scans).
struct ScanNeeds {
  RowBand band;           // all rows unless a share is asked for
  bool ownDepth = false;  // 8 or 16 bits as the file holds them
  // At its own depth, a colour scan's one colour element, for a reader that looks at
  // no other (see kEveryElement).
  int element = kEveryElement;
  std::function<cv::Mat(const cv::Mat&)> prepare;

  // Two needs that load the same pixels (whatever they do with them after).
  bool loadsAs(const ScanNeeds& other) const {
    return ownDepth == other.ownDepth && band.share == other.band.share &&
           band.top == other.band.top && (!ownDepth || element == other.element);
  }
};

}  // namespace kelvora
