#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "movie/frame_sink.h"

namespace kelvora {

// Hands frames to another sink on a thread of its own, in order, so scaling and
// encoding overlap with cutting the next picture. At most `depth` frames wait; a
// writer further behind holds the caller up. `finish` (or the destructor) waits until
// every frame has been passed on.
class AsyncFrameSink : public FrameSink {
 public:
  explicit AsyncFrameSink(FrameSink& out, size_t depth = 3);
  ~AsyncFrameSink() override;
  AsyncFrameSink(const AsyncFrameSink&) = delete;
  AsyncFrameSink& operator=(const AsyncFrameSink&) = delete;

  // Queue the frame or picture (sharing its pixels; the caller must not change them).
  bool write(const cv::Mat& frame) override;
  bool writePicture(const ScanPicture& picture) override;
  void finish();

 private:
  void run();

  FrameSink& out_;
  size_t depth_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<ScanPicture> queue_;
  bool busy_ = false;
  bool closing_ = false;
  std::thread worker_;
};

}  // namespace kelvora
