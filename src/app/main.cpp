// kelvora: the window for decoding soundtracks and cutting movies from scanned film.
#include <cstring>

#include "app/main_window.h"
#include "app/screenshots.h"
#include "runner/preview.h"

int main(int argc, char** argv) {
  kelvora::prepareProcess();
  if ((argc == 3 || argc == 5) && std::strcmp(argv[1], "--screenshots") == 0) {
    QApplication app(argc, argv);
    // --screenshots DOCS [REEL WORK]: with a reel, the preview and a job's plot too.
    return kelvora::takeScreenshots(QString::fromLocal8Bit(argv[2]),
                                    argc == 5 ? QString::fromLocal8Bit(argv[3]) : QString(),
                                    argc == 5 ? QString::fromLocal8Bit(argv[4]) : QString());
  }
  kelvora::CKelvoraMFCApp app(argc, argv);
  return app.InitInstance();
}
