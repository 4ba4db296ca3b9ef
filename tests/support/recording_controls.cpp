#include "support/recording_controls.h"

namespace kelvora::test {

std::string controlName(Control c) {
  switch (c) {
    case Control::Progress:
      return "Progress";
    case Control::Status:
      return "Status";
    case Control::StartButton:
      return "StartButton";
    case Control::StopButton:
      return "StopButton";
    case Control::StartEdit:
      return "StartEdit";
    case Control::StopEdit:
      return "StopEdit";
    case Control::SoundCheck:
      return "SoundCheck";
    case Control::FilmCheck:
      return "FilmCheck";
    case Control::AllCheck:
      return "AllCheck";
  }
  return "?";
}

void RecordingControls::log(std::string call) { calls_.push_back(std::move(call)); }

void RecordingControls::enable(Control c, bool on) {
  std::lock_guard lock(mutex_);
  log("enable(" + controlName(c) + "," + (on ? "1" : "0") + ")");
  enabled_[c] = on;
}

void RecordingControls::show(Control c, bool on) {
  std::lock_guard lock(mutex_);
  log("show(" + controlName(c) + "," + (on ? "1" : "0") + ")");
  visible_[c] = on;
}

void RecordingControls::setText(Control c, const std::string& text) {
  std::function<void(const std::string&)> hook;
  {
    std::lock_guard lock(mutex_);
    log("setText(" + controlName(c) + "," + text + ")");
    texts_[c] = text;
    if (c == Control::Status) {
      statusHistory_.push_back(text);
      hook = statusHook_;
    }
  }
  if (hook) hook(text);
}

std::string RecordingControls::text(Control c) {
  std::lock_guard lock(mutex_);
  return texts_[c];
}

void RecordingControls::redraw(Control c) {
  std::lock_guard lock(mutex_);
  log("redraw(" + controlName(c) + ")");
}

bool RecordingControls::isChecked(Control c) {
  std::lock_guard lock(mutex_);
  log("isChecked(" + controlName(c) + ")");
  return checked_[c];
}

void RecordingControls::showWarning(const std::string& text) {
  std::lock_guard lock(mutex_);
  warnings_.push_back(text);
  warningsAfter_.push_back(statusHistory_.size());
}

std::vector<size_t> RecordingControls::warningsAfter() const {
  std::lock_guard lock(mutex_);
  return warningsAfter_;
}

std::vector<std::string> RecordingControls::warnings() const {
  std::lock_guard lock(mutex_);
  return warnings_;
}

void RecordingControls::setProgressRange(int lower, int upper) {
  std::lock_guard lock(mutex_);
  log("setProgressRange(" + std::to_string(lower) + "," + std::to_string(upper) + ")");
}

void RecordingControls::setProgressStep(int step) {
  std::lock_guard lock(mutex_);
  log("setProgressStep(" + std::to_string(step) + ")");
}

void RecordingControls::stepProgress() {
  std::lock_guard lock(mutex_);
  log("stepProgress()");
}

void RecordingControls::setProgressPosition(int position) {
  std::lock_guard lock(mutex_);
  log("setProgressPosition(" + std::to_string(position) + ")");
}

void RecordingControls::check(Control c, bool checked) {
  std::lock_guard lock(mutex_);
  checked_[c] = checked;
}

void RecordingControls::setEnabled(Control c, bool on) {
  std::lock_guard lock(mutex_);
  enabled_[c] = on;
}

void RecordingControls::stopWhenShown(std::atomic<bool>& stopRequested, const std::string& line) {
  std::lock_guard lock(mutex_);
  statusHook_ = [&stopRequested, line](const std::string& text) {
    if (text.find(line) != std::string::npos) stopRequested = true;
  };
}

std::vector<std::string> RecordingControls::calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

void RecordingControls::clearCalls() {
  std::lock_guard lock(mutex_);
  calls_.clear();
}

bool RecordingControls::enabled(Control c) const {
  std::lock_guard lock(mutex_);
  const auto it = enabled_.find(c);
  return it == enabled_.end() || it->second;
}

bool RecordingControls::visible(Control c) const {
  std::lock_guard lock(mutex_);
  const auto it = visible_.find(c);
  return it != visible_.end() && it->second;
}

std::vector<std::string> RecordingControls::statusHistory() const {
  std::lock_guard lock(mutex_);
  return statusHistory_;
}

}  // namespace kelvora::test
