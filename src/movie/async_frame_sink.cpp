#include "movie/async_frame_sink.h"

namespace kelvora {

AsyncFrameSink::AsyncFrameSink(FrameSink& out, size_t depth)
    : out_(out), depth_(depth), worker_([this] { run(); }) {}

AsyncFrameSink::~AsyncFrameSink() {
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
  }
  changed_.notify_all();
  worker_.join();
}

bool AsyncFrameSink::write(const cv::Mat& frame) { return writePicture(ScanPicture{frame}); }

bool AsyncFrameSink::writePicture(const ScanPicture& picture) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return queue_.size() < depth_; });
  queue_.push_back(picture);
  changed_.notify_all();
  return true;
}

void AsyncFrameSink::finish() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return queue_.empty() && !busy_; });
}

void AsyncFrameSink::run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return !queue_.empty() || closing_; });
    if (queue_.empty()) return;
    ScanPicture picture = std::move(queue_.front());
    queue_.pop_front();
    busy_ = true;
    lock.unlock();
    out_.writePicture(picture);
    lock.lock();
    busy_ = false;
    changed_.notify_all();
  }
}

}  // namespace kelvora
