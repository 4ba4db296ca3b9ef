#pragma once

#include <string>

namespace kelvora {

// How many scan numbers lie between two scan names that end in numbers ("scan_0006.tif"
// then "scan_0009.tif": 2); 0 when either has none or they do not rise.
int numbersSkipped(const std::string& before, const std::string& after);

}  // namespace kelvora
