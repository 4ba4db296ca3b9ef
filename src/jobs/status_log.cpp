#include "jobs/status_log.h"

#include <cstdio>

namespace kelvora {

std::string statusLine(const char* format, int a, int b) {
  char buffer[128];
  std::snprintf(buffer, sizeof buffer, format, a, b);
  return buffer;
}

namespace {
constexpr int kMaxLines = 6;
}

void StatusLog::addLine(const std::string& line) {
  if (lines_ == kMaxLines) {
    text_.clear();
    lines_ = 0;
  }
  ++lines_;
  text_ += line;
  text_ += "\r\n";
  controls_.setText(Control::Status, text_);
  controls_.redraw(Control::Status);
}

void StatusLog::finish(const std::string& text) {
  if (lines_ == kMaxLines) text_.clear();
  text_ += text;
  controls_.setText(Control::Status, text_);
}

void StatusLog::replace(const std::string& text) {
  text_ = text;
  lines_ = 0;
  controls_.setText(Control::Status, text_);
}

}  // namespace kelvora
