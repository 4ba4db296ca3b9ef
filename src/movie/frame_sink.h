#pragma once

#include <opencv2/core.hpp>

#include "movie/scan_picture.h"

namespace kelvora {

// Where movie frames go, one after another.
class FrameSink {
 public:
  virtual ~FrameSink() = default;
  // Appends one frame; returns false when it could not be stored.
  virtual bool write(const cv::Mat& frame) = 0;
  // Appends a picture as it lies in its scan, stood upright here unless the sink can
  // do better with it; returns false when it could not be stored.
  virtual bool writePicture(const ScanPicture& picture) { return write(upright(picture)); }
};

}  // namespace kelvora
