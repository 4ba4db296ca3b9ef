#pragma once

#include "app/film_parameters.h"
#include "app/movie_parameters.h"
#include "app/sound_parameters.h"
#include "jobs/settings.h"

namespace kelvora {

// The settings the three dialogs hold, as the jobs take them: a typed resolution only
// with Manual resolution on, the codec and size by their list entries.
JobSettings settingsOf(const FilmParameters& film, const SoundParameters& sound,
                       const MovieParameters& movie);

// Puts `settings` into the dialogs, as their stored values (the window's defaults).
void showSettings(const JobSettings& settings, FilmParameters& film, SoundParameters& sound,
                  MovieParameters& movie);

}  // namespace kelvora
