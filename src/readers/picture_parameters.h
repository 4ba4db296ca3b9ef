#pragma once

#include <cstdint>

#include "film/film_settings.h"
#include "readers/sound_settings.h"

namespace kelvora {

// The classic soundtrack job's record: the settings as the classic functions take
// them (film type 1 to 3, UP as true, flags as bools) and the frame range. The job's
// paths, its stop flag and the window's controls travel in the job's request.
struct Picture_Parameters {
  std::int32_t startFrame = 1;
  std::int32_t stopFrame = 1;
  std::int32_t filmType = 1;
  std::int32_t resX = 0;
  std::int32_t resY = 0;
  std::int32_t fps = 25;
  std::int32_t colorElement = 2;
  bool longstrip = false;
  bool crossfade = true;
  bool removeDC = true;
  bool inverse = false;
  bool manualResolution = false;
  bool cutBySoundtrack = false;
  bool direction = true;
  bool frameCorrection = false;
  bool aChain = true;
};

// The record for frames startFrame..stopFrame read with these settings.
inline Picture_Parameters pictureParametersFor(const FilmSettings& film, const SoundSettings& sound,
                                               int startFrame, int stopFrame) {
  Picture_Parameters r;
  r.startFrame = startFrame;
  r.stopFrame = stopFrame;
  r.filmType = filmTypeOf(film.track);
  r.resX = film.manualResolution ? film.manualResolution->x : 0;
  r.resY = film.manualResolution ? film.manualResolution->y : 0;
  r.fps = film.fps;
  r.colorElement = static_cast<std::int32_t>(sound.color);
  r.longstrip = film.longStrip;
  r.crossfade = sound.crossfade;
  r.removeDC = sound.removeDC;
  r.inverse = film.inverse;
  r.manualResolution = film.manualResolution.has_value();
  r.cutBySoundtrack = sound.cutBySoundtrack;
  r.direction = isUp(film.direction);
  r.frameCorrection = film.frameCorrection;
  r.aChain = sound.aChain;
  return r;
}

}  // namespace kelvora
