#pragma once

#include <string>

#include <CLI/CLI.hpp>

#include "cli/film_options.h"
#include "jobs/settings.h"

namespace kelvora {

struct SoundOptions {
  FilmOptions film;
  std::string color = "R";
  bool noDc = false;
  bool noCrossfade = false;
  bool cutBySoundtrack = false;
  bool noFilter = false;
  std::string format = "wav8";     // see SoundFormat
  std::string reader = "classic";  // or "precise" (see Reader)
  std::string rate = "film";       // "film" or samples per second
  std::string report;              // JSON file, empty for none
  std::string plot;                // PNG file, empty for none
};

// Registers `sound` on the application.
CLI::App* addSoundCommand(CLI::App& app, SoundOptions& options);

// Registers the sound settings alone (not the film's, the input or the outputs).
void addSoundSettings(CLI::App& command, SoundOptions& options);

// The sound settings the options give (checked by the option parser).
SoundSettings soundSettingsOf(const SoundOptions& options);

// Runs the soundtrack job as the window would; returns the process exit status.
int runSoundCommand(const SoundOptions& options);

}  // namespace kelvora
