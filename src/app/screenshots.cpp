#include "app/screenshots.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>

#include "app/info_close.h"
#include "app/main_window.h"

namespace kelvora {

namespace {

bool save(QWidget& widget, const QString& path) {
  widget.show();
  QApplication::processEvents();
  return widget.grab().save(path);
}

}  // namespace

int takeScreenshots(const QString& directory) {
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
  return ok ? 0 : 1;
}

}  // namespace kelvora
