#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

namespace kelvora {

// How a batch shows its progress. On a terminal one line is redrawn twice a second:
// reels done of the total, frames per second, time left. Elsewhere nothing is drawn;
// each finished reel prints its own line.
class BatchProgress {
 public:
  BatchProgress(std::FILE* out, bool terminal, int reels, long frames,
                const std::atomic<long>& framesDone);
  ~BatchProgress();
  BatchProgress(const BatchProgress&) = delete;
  BatchProgress& operator=(const BatchProgress&) = delete;

  // A reel has ended: `line` is printed above the progress line.
  void reelEnded(const std::string& line);
  // A line about a reel still running (a warning), printed above the progress line.
  void reelSays(const std::string& line);

 private:
  void draw();  // with mutex_ held
  std::string progressLine() const;

  std::FILE* out_;
  bool terminal_;
  int reels_;
  long frames_;
  const std::atomic<long>& framesDone_;
  int reelsDone_ = 0;
  std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
  std::mutex mutex_;
  std::condition_variable wake_;
  bool done_ = false;
  std::thread drawer_;
};

}  // namespace kelvora
