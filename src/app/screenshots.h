#pragma once

#include <QString>

namespace kelvora {

// Renders the main window (idle and running), its menus and every dialog into PNG
// files in `directory`, for the documentation. Needs a running QApplication.
// Returns 0 when every picture was written.
int takeScreenshots(const QString& directory);

}  // namespace kelvora
