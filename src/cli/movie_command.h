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
  std::string withSound;  // a sound file, or "auto" to decode it in the same run
};

// Registers `movie` on the application.
CLI::App* addMovieCommand(CLI::App& app, MovieOptions& options);

// Registers the movie settings alone (not the film's, the input or the output).
void addMovieSettings(CLI::App& command, MovieOptions& options);

// The job settings the options give; returns an error message, or "".
std::string movieJobSettings(const MovieOptions& options, JobSettings& settings);

// Refuses what a movie with its sound cannot be: a name that is not .mkv or .mp4,
// FFV1 in MP4, the new codecs or the native size without a sound. Returns an error
// message, or "".
std::string movieWithSoundProblem(const MovieOptions& options, const std::string& output);

// Runs the movie job as the window would; returns the process exit status.
int runMovieCommand(const MovieOptions& options);

}  // namespace kelvora
