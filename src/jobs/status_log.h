#pragma once

#include <string>

#include "jobs/controls.h"

namespace kelvora {

// A status line such as "Translating frame number : %d..." filled in with numbers.
std::string statusLine(const char* format, int a, int b = 0);

// A job's running status text: at most six lines; the seventh empties the box
// before it is shown. Every change is put into the status box at once.
class StatusLog {
 public:
  explicit StatusLog(Controls& controls) : controls_(controls) {}

  // Adds `line` and "\r\n", emptying the text first when six lines are shown, then
  // puts the text into the status box and redraws it.
  void addLine(const std::string& line);

  // Appends a closing text without counting it as a line; a full box is emptied
  // first.
  void finish(const std::string& text);

  // Replaces everything with `text` alone.
  void replace(const std::string& text);

  const std::string& text() const { return text_; }
  int lines() const { return lines_; }

 private:
  Controls& controls_;
  std::string text_;
  int lines_ = 0;
};

}  // namespace kelvora
