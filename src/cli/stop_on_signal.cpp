#include "cli/stop_on_signal.h"

#include <pthread.h>

namespace kelvora {

StopOnSignal::StopOnSignal(std::function<void()> onStop) {
  sigemptyset(&signals_);
  sigaddset(&signals_, SIGINT);
  sigaddset(&signals_, SIGTERM);
  sigaddset(&signals_, kWake);
  pthread_sigmask(SIG_BLOCK, &signals_, &previousMask_);
  waiter_ = std::thread([this, onStop = std::move(onStop)] {
    while (!done_) {
      int signal = 0;
      if (sigwait(&signals_, &signal) != 0) continue;
      if (signal != kWake) onStop();
    }
  });
}

StopOnSignal::~StopOnSignal() {
  done_ = true;
  // Wakes the waiter at once, so the program ends as soon as its job has.
  pthread_kill(waiter_.native_handle(), kWake);
  waiter_.join();
  pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
}

}  // namespace kelvora
