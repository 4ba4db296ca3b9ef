#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "jobs/controls.h"

namespace kelvora::test {

std::string controlName(Control c);

// Logs every call a job makes, as text such as "enable(StartButton,0)", and keeps
// the state the calls leave behind so tests can check both.
class RecordingControls : public Controls {
 public:
  void enable(Control c, bool enabled) override;
  void show(Control c, bool visible) override;
  void setText(Control c, const std::string& text) override;
  std::string text(Control c) override;
  void redraw(Control c) override;
  bool isChecked(Control c) override;

  // Kept apart from the calls (see `warnings`), so sequences compare as the window sees them.
  void showWarning(const std::string& text) override;

  void setProgressRange(int lower, int upper) override;
  void setProgressStep(int step) override;
  void stepProgress() override;
  void setProgressPosition(int position) override;

  // Test set-up; not logged.
  void check(Control c, bool checked);
  void setEnabled(Control c, bool enabled);
  // Sets `stopRequested` once the status box shows `line`, as a user pressing Stop
  // while that frame loads; on the job's thread, after the status text changed.
  void stopWhenShown(std::atomic<bool>& stopRequested, const std::string& line);

  std::vector<std::string> calls() const;
  void clearCalls();
  bool enabled(Control c) const;
  bool visible(Control c) const;
  std::vector<std::string> statusHistory() const;
  std::vector<std::string> warnings() const;
  // For each warning, how many texts the status box had shown when it came.
  std::vector<size_t> warningsAfter() const;

 private:
  void log(std::string call);

  mutable std::mutex mutex_;
  std::vector<std::string> calls_;
  std::map<Control, bool> enabled_;
  std::map<Control, bool> visible_;
  std::map<Control, bool> checked_;
  std::map<Control, std::string> texts_;
  std::vector<std::string> statusHistory_;
  std::vector<std::string> warnings_;
  std::vector<size_t> warningsAfter_;
  std::function<void(const std::string&)> statusHook_;
};

}  // namespace kelvora::test
