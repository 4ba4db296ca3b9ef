#pragma once

#include <string>

#include "film/film_settings.h"
#include "movie/movie_settings.h"
#include "readers/sound_settings.h"

namespace kelvora {

// Every setting of the three settings dialogs, with the defaults the window starts
// from: 35 mm variable area at 25 frames a second, UP; colour element R with -DC,
// Crossfade and A-Chain on, the classic reader and the classic 8-bit WAV; a 640 by 480
// movie in MPG4.
struct JobSettings {
  FilmSettings film;
  SoundSettings sound;
  MovieSettings movie;
};

// The decimal value of the leading digits of `text`; 0 when there are none.
int leadingNumber(const std::string& text);

}  // namespace kelvora
