#include "app/screenshots.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>

#include "app/info_close.h"
#include "app/main_window.h"
#include "jobs/frame_listing.h"

namespace kelvora {

namespace {

bool save(QWidget& widget, const QString& path) {
  widget.show();
  QApplication::processEvents();
  return widget.grab().save(path);
}

}  // namespace

int takeScreenshots(const QString& directory, const QString& reel, const QString& work) {
  QDir().mkpath(directory);
  const auto file = [&](const char* name) { return QDir(directory).filePath(name); };
  bool ok = true;

  CKelvoraMFCDlg window;
  window.inputPath = "/films/reel1/scan_0001.tif";
  ok = save(window, file("main-window.png")) && ok;

  // How the window looks while a job runs.
  window.statusBox->setPlainText(
      "Translating frame number : 1...\nPicture resolution (dpi) x=1800,y=1800\n"
      "Translating frame number : 2...\nTranslating frame number : 3...");
  window.startButton->setEnabled(false);
  window.stopButton->show();
  window.progress->show();
  window.progress->setRange(0, 8);
  window.progress->setValue(3);
  ok = save(window, file("main-window-running.png")) && ok;

  int index = 0;
  for (QAction* action : window.menu->actions()) {
    QMenu* menu = action->menu();
    if (menu == nullptr) continue;
    menu->popup(window.mapToGlobal(QPoint(0, 0)));
    QApplication::processEvents();
    ok = menu->grab().save(file(("menu-" + std::to_string(++index) + ".png").c_str())) && ok;
    menu->hide();
  }

  window.filmParameters.manualResolution = 1;
  window.filmParameters.resolutionX = "1800";
  window.filmParameters.resolutionY = "1800";
  ok = save(window.filmParameters, file("film-parameters.png")) && ok;
  window.filmParameters.hide();
  ok = save(window.soundParameters, file("sound-parameters.png")) && ok;
  window.soundParameters.hide();
  ok = save(window.movieParameters, file("movie-parameters.png")) && ok;
  window.movieParameters.hide();
  InfoClose info(&window);
  ok = save(info, file("info.png")) && ok;
  info.hide();
  if (reel.isEmpty()) return ok ? 0 : 1;

  // A real reel: what the preview finds on it, and a job's plot with its joins.
  CKelvoraMFCDlg onReel;
  const FrameListing listing = FrameListing::open(reel.toStdString());
  if (listing.size() == 0) return 1;
  onReel.inputPath = QString::fromStdString(*listing.path(1));
  onReel.output = OutputChoice{work.toStdString()};
  onReel.messageBox = [](const QString&) {};
  onReel.stopEdit->setText(QString::number(listing.size()));
  onReel.show();
  onReel.OnBnClickedCheck1();  // the path line follows the input set above
  onReel.OnViewPreview();
  onReel.previewWindow->resize(1000, 760);
  ok = save(*onReel.previewWindow, file("preview.png")) && ok;
  onReel.previewWindow->hide();
  QEventLoop wait;
  QObject::connect(&onReel, &CKelvoraMFCDlg::jobFinished, &wait, &QEventLoop::quit);
  onReel.startButton->click();
  wait.exec();
  // The status box scrolled to the job's first warning, which stays above its lines.
  const QTextCursor warning = onReel.statusBox->document()->find("warning:");
  onReel.show();
  QApplication::processEvents();
  if (!warning.isNull()) onReel.statusBox->verticalScrollBar()->setValue(warning.blockNumber());
  ok = save(onReel, file("main-window-after-job.png")) && ok;
  onReel.OnViewLastJob();
  onReel.lastJobWindow->resize(1000, 660);
  ok = save(*onReel.lastJobWindow, file("last-job.png")) && ok;
  for (QAction* action : onReel.menu->actions()) {
    if (action->text() != "View") continue;
    action->menu()->popup(onReel.mapToGlobal(QPoint(0, 0)));
    QApplication::processEvents();
    ok = action->menu()->grab().save(file("menu-view.png")) && ok;
    action->menu()->hide();
  }
  return ok ? 0 : 1;
}

}  // namespace kelvora
