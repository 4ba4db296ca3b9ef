#pragma once

#include <optional>
#include <string>

#include "film/film_geometry.h"

namespace kelvora {

// The gauge and the kind of soundtrack printed on it.
enum class Track { VariableArea35, VariableDensity35, VariableArea16 };

// The edge of a scan, as the scanner gave it (film running side to side), that the
// soundtrack lies along: the top edge for UP, the bottom edge for DOWN.
enum class Direction { Up, Down };

// How a reel was filmed and scanned, as the Film Parameters dialog sets it.
struct FilmSettings {
  Track track = Track::VariableArea35;
  int fps = 25;            // 24 or 25 frames a second
  bool longStrip = false;  // each scan holds a length of strip rather than one frame
  Direction direction = Direction::Up;
  bool inverse = false;                        // scanned tail first: the film runs the other way
  bool frameCorrection = false;                // trim the dark ends of each scan
  std::optional<Resolution> manualResolution;  // typed in rather than measured
};

// The film type number the classic functions take: 1, 2 or 3.
inline FilmType filmTypeOf(Track track) {
  return static_cast<FilmType>(static_cast<int>(track) + 1);
}

// The track of a film type number; numbers outside 1..3 give 35 mm variable area.
inline Track trackOf(int filmType) {
  return filmType == kVariableDensity35 ? Track::VariableDensity35
         : filmType == kVariableArea16  ? Track::VariableArea16
                                        : Track::VariableArea35;
}

// True for UP, as the classic functions take the direction.
inline bool isUp(Direction direction) { return direction == Direction::Up; }

inline bool isSixteenMm(Track track) { return track == Track::VariableArea16; }

}  // namespace kelvora
