#include "cli/terminal_controls.h"

#include <algorithm>
#include <cmath>

namespace kelvora {

namespace {

std::string withoutCarriageReturns(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text)
    if (c != '\r') out += c;
  return out;
}

// The status line each frame adds; the progress line says as much on a terminal.
bool isFrameLine(const std::string& line) {
  return line.rfind("Translating frame number : ", 0) == 0 ||
         line.rfind("Cutting frame number : ", 0) == 0;
}

// `text` without its frames' status lines.
std::string withoutFrameLines(const std::string& text) {
  std::string out;
  size_t from = 0;
  while (from < text.size()) {
    size_t end = text.find('\n', from);
    end = end == std::string::npos ? text.size() : end + 1;
    const std::string line = text.substr(from, end - from);
    if (!isFrameLine(line)) out += line;
    from = end;
  }
  return out;
}

std::string minutesAndSeconds(double seconds) {
  const long whole = std::lround(std::max(seconds, 0.0));
  char text[32];
  std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
  return text;
}

}  // namespace

TerminalControls::TerminalControls(std::FILE* out, bool drawProgress, std::string prefix)
    : out_(out), drawProgress_(drawProgress), prefix_(std::move(prefix)) {}

void TerminalControls::showWarning(const std::string& text) {
  std::lock_guard lock(mutex_);
  clearBar();
  std::fprintf(out_, "%s: warning: %s\n", prefix_.c_str(), text.c_str());
  drawBar();
  std::fflush(out_);
}

void TerminalControls::show(Control c, bool visible) {
  if (c != Control::Progress) return;
  std::lock_guard lock(mutex_);
  if (!visible) clearBar();
  barVisible_ = visible;
}

void TerminalControls::setText(Control c, const std::string& text) {
  if (c != Control::Status) return;
  std::lock_guard lock(mutex_);
  // Print only what the box gained; a text that starts afresh is printed whole.
  std::string fresh = text.rfind(status_, 0) == 0 ? text.substr(status_.size()) : text;
  status_ = text;
  fresh = withoutCarriageReturns(fresh);
  if (drawProgress_) fresh = withoutFrameLines(fresh);
  if (fresh.empty()) return;
  clearBar();
  std::fputs(fresh.c_str(), out_);
  if (fresh.back() != '\n') std::fputc('\n', out_);
  drawBar();
  std::fflush(out_);
}

std::string TerminalControls::text(Control c) {
  std::lock_guard lock(mutex_);
  return c == Control::Status ? status_ : std::string();
}

void TerminalControls::setProgressRange(int lower, int upper) {
  std::lock_guard lock(mutex_);
  lower_ = lower;
  upper_ = upper;
  position_ = lower;
}

void TerminalControls::setProgressStep(int step) {
  std::lock_guard lock(mutex_);
  step_ = step;
}

void TerminalControls::stepProgress() {
  std::lock_guard lock(mutex_);
  if (position_ == lower_) started_ = std::chrono::steady_clock::now();
  position_ = std::min(position_ + step_, upper_);
  drawBar();
}

void TerminalControls::setProgressPosition(int position) {
  std::lock_guard lock(mutex_);
  position_ = std::clamp(position, lower_, std::max(lower_, upper_));
  drawBar();
}

void TerminalControls::clearBar() {
  if (!barDrawn_) return;
  std::fputs("\r\033[K", out_);
  barDrawn_ = false;
}

void TerminalControls::drawBar() {
  if (!drawProgress_ || !barVisible_ || upper_ <= lower_) return;
  constexpr int kWidth = 40;
  const int span = upper_ - lower_;
  const int filled = static_cast<int>(static_cast<long long>(position_ - lower_) * kWidth / span);
  std::string bar(static_cast<size_t>(filled), '#');
  bar.append(static_cast<size_t>(kWidth - filled), '.');
  // Frames done are those before the one under way.
  const int done = std::max(position_ - lower_ - 1, 0);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
  std::string speed;
  if (done > 0 && seconds > 0) {
    char text[80];
    const double perSecond = done / seconds;
    std::snprintf(text, sizeof text, "  %.1f frames/s  %s left", perSecond,
                  minutesAndSeconds((span - done) / perSecond).c_str());
    speed = text;
  }
  std::fprintf(out_, "\r[%s] frame %d of %d%s", bar.c_str(), position_ - lower_, span,
               speed.c_str());
  std::fflush(out_);
  barDrawn_ = true;
}

}  // namespace kelvora
