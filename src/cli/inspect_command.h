#pragma once

#include <string>

#include <CLI/CLI.hpp>

#include "cli/film_options.h"

namespace kelvora {

struct InspectOptions {
  FilmOptions film;
  bool cutBySoundtrack = false;
  bool cutSoundtrack = false;
};

// Registers `inspect`: the first scan of the range with what each job would take of it.
CLI::App* addInspectCommand(CLI::App& app, InspectOptions& options);

// Draws the preview; returns the process exit status.
int runInspectCommand(const InspectOptions& options);

}  // namespace kelvora
