#pragma once

#include "audio/sound_format.h"
#include "film/soundtrack_area.h"

namespace kelvora {

// How the film's sound is read. The classic reader cuts the track each frame and
// averages the cut; the precise reader follows the track over the reel and reads all
// of its width.
enum class Reader { Classic, Precise };

inline const char* readerName(Reader reader) {
  return reader == Reader::Precise ? "precise" : "classic";
}

// How the soundtrack is read and stored, as the Sound Parameters dialog sets it.
struct SoundSettings {
  ColorElement color = kRed;  // read from colour scans
  bool removeDC = true;       // -DC: each frame's mean level taken off
  bool crossfade = true;
  bool cutBySoundtrack = false;  // find the track and the joins from the soundtrack alone
  bool aChain = true;            // the output low-pass
  Reader reader = Reader::Classic;
  SoundOutput output;  // the classic 8-bit WAV unless an archive format is asked for
};

}  // namespace kelvora
