#pragma once

#include <string>

#include <CLI/CLI.hpp>

#include "cli/film_options.h"

namespace kelvora {

struct MovieOptions {
  FilmOptions film;
  std::string size = "640x480";
  std::string codec = "MPG4";
  bool cutSoundtrack = false;
};

// Registers `movie` on the application.
CLI::App* addMovieCommand(CLI::App& app, MovieOptions& options);

// Registers the movie settings alone (not the film's, the input or the output).
void addMovieSettings(CLI::App& command, MovieOptions& options);

// The job settings the options give; returns an error message, or "".
std::string movieJobSettings(const MovieOptions& options, JobSettings& settings);

// Runs the movie job as the window would; returns the process exit status.
int runMovieCommand(const MovieOptions& options);

}  // namespace kelvora
