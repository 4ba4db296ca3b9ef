#pragma once

#include <opencv2/core.hpp>

namespace kelvora {

// Where movie frames go, one after another.
class FrameSink {
 public:
  virtual ~FrameSink() = default;
  // Appends one frame; returns false when it could not be stored.
  virtual bool write(const cv::Mat& frame) = 0;
};

}  // namespace kelvora
