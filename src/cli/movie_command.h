#pragma once

#include <string>

#include <CLI/CLI.hpp>

#include "cli/film_options.h"
#include "cli/sound_command.h"
#include "jobs/settings.h"

namespace kelvora {

struct MovieOptions {
  FilmOptions film;
  std::string size = "640x480";
  std::string codec = "MPG4";
  bool cutSoundtrack = false;
  std::string withSound;           // a sound file, or "auto" to decode it in the same run
  std::string reader = "classic";  // with --with-sound auto: how the sound is read
};

// Registers `movie` on the application.
CLI::App* addMovieCommand(CLI::App& app, MovieOptions& options);

// Registers the movie settings alone (not the film's, the input or the output).
void addMovieSettings(CLI::App& command, MovieOptions& options);

// The movie settings the options give (checked by the option parser).
MovieSettings movieSettingsOf(const MovieOptions& options);

// Runs the movie job as the window would; returns the process exit status.
int runMovieCommand(const MovieOptions& options);

}  // namespace kelvora
