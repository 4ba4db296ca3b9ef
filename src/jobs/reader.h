#pragma once

namespace kelvora {

// How the soundtrack job reads the film. The classic reader cuts the track each frame
// and averages the cut; the precise reader follows the track over the reel and reads
// all of its width (see precise/).
enum class Reader { Classic, Precise };

inline const char* readerName(Reader reader) {
  return reader == Reader::Precise ? "precise" : "classic";
}

}  // namespace kelvora
