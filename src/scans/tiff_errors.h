#pragma once

#include <string>

namespace kelvora {

// Makes libtiff report its errors to the thread that met them, and keep its warnings
// to itself. Called before any file is opened with libtiff; the first call lets the
// image library install its own handlers first, so that ours are the ones left.
void installTiffHandlers();

// The first error libtiff reported on this thread since the last call; "" if none.
std::string takeTiffError();

}  // namespace kelvora
