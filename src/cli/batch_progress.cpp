#include "cli/batch_progress.h"

namespace kelvora {

BatchProgress::BatchProgress(std::FILE* out, bool terminal, int reels, long frames,
                             const std::atomic<long>& framesDone)
    : out_(out), terminal_(terminal), reels_(reels), frames_(frames), framesDone_(framesDone) {
  if (!terminal_) return;
  drawer_ = std::thread([this] {
    std::unique_lock lock(mutex_);
    while (!done_) {
      draw();
      wake_.wait_for(lock, std::chrono::milliseconds(500));
    }
  });
}

BatchProgress::~BatchProgress() {
  {
    std::lock_guard lock(mutex_);
    done_ = true;
  }
  wake_.notify_all();
  if (drawer_.joinable()) drawer_.join();
  if (terminal_) {
    std::fputs("\r\033[K", out_);
    std::fflush(out_);
  }
}

void BatchProgress::reelEnded(const std::string& line) {
  {
    std::lock_guard lock(mutex_);
    ++reelsDone_;
  }
  reelSays(line);
}

void BatchProgress::reelSays(const std::string& line) {
  std::lock_guard lock(mutex_);
  if (terminal_) std::fputs("\r\033[K", out_);
  std::fprintf(out_, "%s\n", line.c_str());
  if (terminal_) draw();
  std::fflush(out_);
}

std::string BatchProgress::progressLine() const {
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
  const long done = framesDone_;
  const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0.0;
  char line[160];
  int n =
      std::snprintf(line, sizeof line, "reels %d/%d done, %.1f frames/s", reelsDone_, reels_, rate);
  if (rate > 0 && frames_ > done && n > 0 && n < static_cast<int>(sizeof line)) {
    const long left = static_cast<long>(static_cast<double>(frames_ - done) / rate);
    std::snprintf(line + n, sizeof line - static_cast<size_t>(n), ", %ld:%02ld:%02ld left",
                  left / 3600, left / 60 % 60, left % 60);
  }
  return line;
}

void BatchProgress::draw() {
  std::fprintf(out_, "\r\033[K%s", progressLine().c_str());
  std::fflush(out_);
}

}  // namespace kelvora
