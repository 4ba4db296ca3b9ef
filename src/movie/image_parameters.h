#pragma once

#include <cstdint>

#include "film/film_settings.h"
#include "movie/movie_settings.h"

namespace kelvora {

// The classic movie job's record: the settings as the classic picture functions take
// them (film type 1 to 3, flags as 32-bit integers, the speed and size as list
// indices). The job's paths, its stop flag and the window's controls travel in the
// job's request.
struct Image_Parameters {
  std::int32_t filmType = 1;
  std::int32_t longstrip = 0;
  std::int32_t inverse = 0;
  std::int32_t cutSoundtrack = 0;
  std::int32_t startFrame = 1;
  std::int32_t stopFrame = 1;
  std::int32_t resX = 0;
  std::int32_t resY = 0;
  std::int32_t filmSize = 0;     // 0: 640 by 480, 1: 320 by 240 (and the picture's own)
  std::int32_t compression = 0;  // 0 MPG4, 1 DIVX, 2 XVID
  std::int32_t speedIndex = 1;   // 0: 24 frames a second, 1: 25
  bool manualResolution = false;
  bool direction = true;
  bool frameCorrection = false;
};

// The record for frames startFrame..stopFrame made with these settings.
inline Image_Parameters imageParametersFor(const FilmSettings& film, const MovieSettings& movie,
                                           int startFrame, int stopFrame) {
  Image_Parameters r;
  r.filmType = filmTypeOf(film.track);
  r.longstrip = film.longStrip ? 1 : 0;
  r.inverse = film.inverse ? 1 : 0;
  r.cutSoundtrack = movie.cutSoundtrack ? 1 : 0;
  r.startFrame = startFrame;
  r.stopFrame = stopFrame;
  r.resX = film.manualResolution ? film.manualResolution->x : 0;
  r.resY = film.manualResolution ? film.manualResolution->y : 0;
  r.filmSize = movie.size == FrameSize::Large ? 0 : 1;
  r.compression = movie.codec == MovieCodec::Divx ? 1 : movie.codec == MovieCodec::Xvid ? 2 : 0;
  r.speedIndex = film.fps == 25 ? 1 : 0;
  r.manualResolution = film.manualResolution.has_value();
  r.direction = isUp(film.direction);
  r.frameCorrection = film.frameCorrection;
  return r;
}

}  // namespace kelvora
