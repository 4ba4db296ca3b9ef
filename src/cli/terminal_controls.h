#pragma once

#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>

#include "jobs/controls.h"

namespace kelvora {

// The job's window on a terminal: new status text goes to `out` line by line as the
// window would show it. When `out` is a terminal, one progress line (frame, frames a
// second, time left) stands in for the status line of each frame and is redrawn below
// the others. Enabling, showing and redrawing have nothing to do here.
class TerminalControls : public Controls {
 public:
  // `prefix` names the command on warning lines ("kelvora-cli sound").
  TerminalControls(std::FILE* out, bool drawProgress, std::string prefix = "kelvora-cli");

  void enable(Control, bool) override {}
  void show(Control c, bool visible) override;
  void setText(Control c, const std::string& text) override;
  std::string text(Control c) override;
  void redraw(Control) override {}
  bool isChecked(Control) override { return false; }
  // Prints "PREFIX: warning: TEXT" at once.
  void showWarning(const std::string& text) override;

  void setProgressRange(int lower, int upper) override;
  void setProgressStep(int step) override;
  void stepProgress() override;
  void setProgressPosition(int position) override;

 private:
  void clearBar();
  void drawBar();

  std::mutex mutex_;
  std::FILE* out_;
  bool drawProgress_;
  std::string prefix_;
  bool barVisible_ = false;
  bool barDrawn_ = false;
  std::string status_;
  std::chrono::steady_clock::time_point started_;  // at the first step
  int lower_ = 0;
  int upper_ = 0;
  int step_ = 1;
  int position_ = 0;
};

}  // namespace kelvora
