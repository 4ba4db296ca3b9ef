#pragma once

#include <string>

namespace kelvora {

// The main-window controls a job drives.
enum class Control {
  Progress,
  Status,
  StartButton,
  StopButton,
  StartEdit,
  StopEdit,
  SoundCheck,
  FilmCheck,
  AllCheck,
};

// What a job may do to the window. Every call takes effect before it returns, on
// whichever thread owns the real controls.
class Controls {
 public:
  virtual ~Controls() = default;

  virtual void enable(Control c, bool enabled) = 0;
  virtual void show(Control c, bool visible) = 0;
  virtual void setText(Control c, const std::string& text) = 0;
  virtual std::string text(Control c) = 0;
  // Repaints the control before returning.
  virtual void redraw(Control c) = 0;
  virtual bool isChecked(Control c) = 0;

  // Shows a warning where the user is looking, as soon as the job finds it: a line of
  // the status box kept above the job's own six lines, or a line on the terminal.
  virtual void showWarning(const std::string& text) = 0;

  virtual void setProgressRange(int lower, int upper) = 0;
  virtual void setProgressStep(int step) = 0;
  virtual void stepProgress() = 0;
  virtual void setProgressPosition(int position) = 0;
};

}  // namespace kelvora
