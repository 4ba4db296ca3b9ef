#pragma once

#include <string>

#include "audio/sound_format.h"
#include "jobs/reader.h"

namespace kelvora {

// Every setting of the three settings dialogs, with the defaults the window starts
// from. Nothing is stored between runs of the program.
struct JobSettings {
  // Film Parameters
  int soundtrackType = 0;  // 0 35mm variable area, 1 35mm variable density, 2 16mm
  int speedIndex = 1;      // 0: 24 fps, 1: 25 fps
  int longStrip = 0;
  int manualResolution = 0;
  int inverse = 0;
  bool directionUp = true;
  bool frameCorrection = false;
  std::string resolutionX;  // as typed, at most 4 digits
  std::string resolutionY;

  // Sound Parameters
  int colorElement = 2;  // 0 B, 1 G, 2 R, 3 Y
  int removeDC = 1;
  int crossfade = 1;
  bool cutBySoundtrack = false;
  bool aChain = true;
  SoundFormat soundFormat = SoundFormat::Wav8;
  int soundRate = 0;  // 0: the film's own rate
  Reader reader = Reader::Classic;

  // Movie Parameters
  int filmSize = 0;     // 0: 640x480, 1: 320x240
  int compression = 0;  // 0 MPG4, 1 DIVX, 2 XVID
  int cutSoundtrack = 0;
};

// The decimal value of the leading digits of `text`; 0 when there are none.
int leadingNumber(const std::string& text);

}  // namespace kelvora
