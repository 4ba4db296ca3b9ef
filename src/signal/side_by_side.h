#pragma once

#include <functional>

namespace kelvora {

// Runs `body(first, end)` over [0, count) cut into stripes, one a core but the one
// left to the scan loader (none under 64 long), side by side: the first on the calling
// thread, the others on threads of their own. Returns when every stripe is done. The
// stripes must not write to the same places; each one's results are its own, so their
// order changes nothing.
void sideBySide(int count, const std::function<void(int first, int end)>& body);

}  // namespace kelvora
