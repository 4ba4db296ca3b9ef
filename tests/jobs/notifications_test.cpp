#include "jobs/notifications.h"

#include <gtest/gtest.h>

#include "jobs/status_log.h"
#include "support/recording_controls.h"

namespace kelvora {
namespace {

using test::RecordingControls;
using Calls = std::vector<std::string>;

const Calls kIdleAfterUnreadableOrStop = {
    "enable(StartButton,1)", "show(StopButton,0)", "enable(SoundCheck,1)", "enable(FilmCheck,1)",
    "enable(StartEdit,1)",   "enable(StopEdit,1)", "enable(AllCheck,1)",   "show(Progress,0)"};

Calls operator+(Calls a, const Calls& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(NotificationsTest, StartEntersTheRunningState) {
  for (int kind = 0; kind < 2; ++kind) {
    RecordingControls controls;
    EXPECT_EQ(kind == 0 ? initThreadSound(controls, 3, 12) : initThreadImage(controls, 3, 12), 1);
    EXPECT_EQ(controls.calls(),
              (Calls{"enable(StartButton,0)", "enable(SoundCheck,0)", "enable(FilmCheck,0)",
                     "enable(StartEdit,0)", "enable(StopEdit,0)", "show(StopButton,1)",
                     "enable(StopButton,1)", "enable(AllCheck,0)", "setProgressRange(0,10)",
                     "setProgressStep(1)"}));
  }
}

TEST(NotificationsTest, ProgressRangeIsTheFullFrameCount) {
  RecordingControls controls;
  initThreadSound(controls, 1, 70000);
  EXPECT_EQ(controls.calls()[8], "setProgressRange(0,70000)");
}

TEST(NotificationsTest, UnreadableFile) {
  RecordingControls controls;
  errorReadPic(controls);
  EXPECT_EQ(controls.calls(),
            (Calls{"setText(Status,Wrong file format !!!)", "setProgressPosition(0)"} +
             kIdleAfterUnreadableOrStop));
  RecordingControls movieControls;
  errorReadIm(movieControls);
  EXPECT_EQ(movieControls.calls(), controls.calls());
}

TEST(NotificationsTest, StoppedSoundRedrawsFirstStoppedMovieDoesNot) {
  RecordingControls controls;
  killThreadPic(controls);
  EXPECT_EQ(controls.calls(),
            (Calls{"redraw(Status)", "setProgressPosition(0)", "redraw(Progress)"} +
             kIdleAfterUnreadableOrStop));
  RecordingControls movieControls;
  killThreadIm(movieControls);
  EXPECT_EQ(movieControls.calls(), kIdleAfterUnreadableOrStop);
}

TEST(NotificationsTest, FinishedLeavesTheFrameBoxesAsAllLeftThem) {
  const Calls common = {"show(StopButton,0)",  "enable(StartButton,1)", "enable(SoundCheck,1)",
                        "enable(FilmCheck,1)", "enable(AllCheck,1)",    "show(Progress,0)",
                        "isChecked(AllCheck)"};
  RecordingControls unchecked;
  ThreadEndPic(unchecked);
  const Calls expected =
      Calls{"redraw(Status)"} + common + Calls{"enable(StartEdit,1)", "enable(StopEdit,1)"};
  EXPECT_EQ(unchecked.calls(), expected);

  RecordingControls checked;
  checked.check(Control::AllCheck, true);
  checked.setEnabled(Control::StartEdit, false);
  ThreadEndIm(checked);
  EXPECT_EQ(checked.calls(), common);
  EXPECT_FALSE(checked.enabled(Control::StartEdit));
}

TEST(StatusLogTest, TheSeventhLineEmptiesTheBox) {
  RecordingControls controls;
  StatusLog log(controls);
  for (int i = 1; i <= 6; ++i) log.addLine("line " + std::to_string(i));
  EXPECT_EQ(log.text(), "line 1\r\nline 2\r\nline 3\r\nline 4\r\nline 5\r\nline 6\r\n");
  log.addLine("line 7");
  EXPECT_EQ(log.text(), "line 7\r\n");
  EXPECT_EQ(controls.text(Control::Status), "line 7\r\n");
  EXPECT_EQ(controls.calls().back(), "redraw(Status)");
}

TEST(StatusLogTest, FinishingTextIsNotALine) {
  RecordingControls controls;
  StatusLog log(controls);
  for (int i = 1; i <= 6; ++i) log.addLine("x");
  log.finish("Pictures were tranlated succesfully!");
  EXPECT_EQ(log.text(), "Pictures were tranlated succesfully!");
  StatusLog short_(controls);
  short_.addLine("a");
  short_.finish("done");
  EXPECT_EQ(short_.text(), "a\r\ndone");
  EXPECT_EQ(short_.lines(), 1);
}

}  // namespace
}  // namespace kelvora
