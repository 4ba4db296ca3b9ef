#pragma once

#include <QString>

namespace kelvora {

// Renders the main window (idle and running), its menus and every dialog into PNG
// files in `directory`, for the documentation. Given a reel directory, also the
// preview of its first scan and, after a soundtrack job writing into `work`, the
// window and the "Last job" window. Needs a running QApplication. Returns 0 when
// every picture was written.
int takeScreenshots(const QString& directory, const QString& reel = QString(),
                    const QString& work = QString());

}  // namespace kelvora
