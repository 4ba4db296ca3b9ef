#pragma once

#include <unistd.h>

#include <atomic>
#include <cstdio>

#include "cli/stop_on_signal.h"
#include "cli/terminal_controls.h"
#include "runner/reel_runner.h"

namespace kelvora {

// Runs `job` (a runner call taking the reel) with the terminal as the job's window,
// named `command` on its warning lines, and Ctrl-C as its Stop button. Returns what
// the job returns.
template <typename Job>
auto runOnTerminal(ReelRequest reel, const char* command, Job job) {
  TerminalControls controls(stderr, ::isatty(STDERR_FILENO) == 1, command);
  std::atomic<bool> stopRequested{false};
  reel.controls = &controls;
  reel.stopRequested = &stopRequested;
  const StopOnSignal stopOnCtrlC([&stopRequested] { stopRequested = true; });
  return job(reel);
}

}  // namespace kelvora
