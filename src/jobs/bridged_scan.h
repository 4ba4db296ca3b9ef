#pragma once

#include <string>

namespace kelvora {

// A scan that could not be read and was bridged instead of ending the job: the sound
// gets silence of the scan's length there, the movie a black picture.
struct BridgedScan {
  int frame = 0;
  std::string path;
  std::string cause;
};

}  // namespace kelvora
