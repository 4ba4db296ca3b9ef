#pragma once

#include <cstdint>

namespace kelvora {

// Film types as the job records carry them.
enum FilmType : std::int32_t {
  kVariableArea35 = 1,
  kVariableDensity35 = 2,
  kVariableArea16 = 3,
};

// "35 mm variable area", "35 mm variable density" or "16 mm variable area".
inline const char* filmTypeName(int filmType) {
  switch (filmType) {
    case kVariableDensity35:
      return "35 mm variable density";
    case kVariableArea16:
      return "16 mm variable area";
    default:
      return "35 mm variable area";
  }
}

inline bool isThirtyFiveMm(int filmType) {
  return filmType == kVariableArea35 || filmType == kVariableDensity35;
}

// Scan resolution in dots per inch: `x` across the film, `y` along it.
struct Resolution {
  std::int32_t x = 0;
  std::int32_t y = 0;
};

// Soundtrack geometry in pixels: the expected track width across the film and the
// length of one frame along it (also the number of samples per frame).
struct Parameters {
  std::int32_t trackWidth = 0;
  std::int32_t framePitch = 0;
};

}  // namespace kelvora
