#include "jobs/notifications.h"

namespace kelvora {

namespace {

void enterRunningState(Controls& c, int startFrame, int stopFrame) {
  c.enable(Control::StartButton, false);
  c.enable(Control::SoundCheck, false);
  c.enable(Control::FilmCheck, false);
  c.enable(Control::StartEdit, false);
  c.enable(Control::StopEdit, false);
  c.show(Control::StopButton, true);
  c.enable(Control::StopButton, true);
  c.enable(Control::AllCheck, false);
  c.setProgressRange(0, stopFrame - startFrame + 1);
  c.setProgressStep(1);
}

// Back to idle after a stop or an unreadable scan: the frame boxes are enabled even
// when "All" is checked.
void stopped(Controls& c) {
  c.enable(Control::StartButton, true);
  c.show(Control::StopButton, false);
  c.enable(Control::SoundCheck, true);
  c.enable(Control::FilmCheck, true);
  c.enable(Control::StartEdit, true);
  c.enable(Control::StopEdit, true);
  c.enable(Control::AllCheck, true);
  c.show(Control::Progress, false);
}

void unreadable(Controls& c) {
  c.setText(Control::Status, "Wrong file format !!!");
  c.setProgressPosition(0);
  stopped(c);
}

void finished(Controls& c) {
  c.show(Control::StopButton, false);
  c.enable(Control::StartButton, true);
  c.enable(Control::SoundCheck, true);
  c.enable(Control::FilmCheck, true);
  c.enable(Control::AllCheck, true);
  c.show(Control::Progress, false);
  // With "All" checked the frame boxes stay disabled, as "All" left them.
  if (!c.isChecked(Control::AllCheck)) {
    c.enable(Control::StartEdit, true);
    c.enable(Control::StopEdit, true);
  }
}

}  // namespace

int initThreadSound(Controls& c, int startFrame, int stopFrame) {
  enterRunningState(c, startFrame, stopFrame);
  return 1;
}

int errorReadPic(Controls& c) {
  unreadable(c);
  return 1;
}

int killThreadPic(Controls& c) {
  c.redraw(Control::Status);
  c.setProgressPosition(0);
  c.redraw(Control::Progress);
  stopped(c);
  return 1;
}

int ThreadEndPic(Controls& c) {
  c.redraw(Control::Status);
  finished(c);
  return 1;
}

int initThreadImage(Controls& c, int startFrame, int stopFrame) {
  enterRunningState(c, startFrame, stopFrame);
  return 1;
}

int errorReadIm(Controls& c) {
  unreadable(c);
  return 1;
}

int killThreadIm(Controls& c) {
  stopped(c);
  return 1;
}

int ThreadEndIm(Controls& c) {
  finished(c);
  return 1;
}

}  // namespace kelvora
