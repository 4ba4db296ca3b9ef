#pragma once

#include <string>

#include "jobs/controls.h"

// A window for a benchmarked job: nothing shown, nothing asked.
class QuietControls : public kelvora::Controls {
 public:
  void enable(kelvora::Control, bool) override {}
  void show(kelvora::Control, bool) override {}
  void setText(kelvora::Control, const std::string&) override {}
  std::string text(kelvora::Control) override { return {}; }
  void redraw(kelvora::Control) override {}
  bool isChecked(kelvora::Control) override { return false; }
  void showWarning(const std::string&) override {}
  void setProgressRange(int, int) override {}
  void setProgressStep(int) override {}
  void stepProgress() override {}
  void setProgressPosition(int) override {}
};
