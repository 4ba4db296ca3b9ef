#include "cli/stop_on_signal.h"

#include <pthread.h>

#include <ctime>

namespace kelvora {

StopOnSignal::StopOnSignal(std::function<void()> onStop) {
  sigemptyset(&signals_);
  sigaddset(&signals_, SIGINT);
  sigaddset(&signals_, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals_, &previousMask_);
  waiter_ = std::thread([this, onStop = std::move(onStop)] {
    const timespec tick{0, 100'000'000};
    while (!done_) {
      if (sigtimedwait(&signals_, nullptr, &tick) > 0) onStop();
    }
  });
}

StopOnSignal::~StopOnSignal() {
  done_ = true;
  waiter_.join();
  pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
}

}  // namespace kelvora
