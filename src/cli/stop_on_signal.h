#pragma once

#include <atomic>
#include <csignal>
#include <functional>
#include <thread>

namespace kelvora {

// While alive, Ctrl-C (SIGINT) and SIGTERM call `onStop` on a thread of their own
// instead of ending the process, so a job can stop between frames like the Stop
// button. Construct it before any other thread starts: the signals are blocked in
// the constructing thread and every thread it starts later.
class StopOnSignal {
 public:
  explicit StopOnSignal(std::function<void()> onStop);
  ~StopOnSignal();
  StopOnSignal(const StopOnSignal&) = delete;
  StopOnSignal& operator=(const StopOnSignal&) = delete;

 private:
  static constexpr int kWake = SIGUSR1;  // sent to the waiter when it is no longer needed
  sigset_t signals_{};
  sigset_t previousMask_{};
  std::atomic<bool> done_{false};
  std::thread waiter_;
};

}  // namespace kelvora
