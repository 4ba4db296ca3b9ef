#pragma once

#include <optional>
#include <string>

#include <CLI/CLI.hpp>

#include "jobs/settings.h"
#include "runner/reel_runner.h"

namespace kelvora {

// Options that both commands share: what is scanned and which frames to take.
struct FilmOptions {
  std::string input;
  std::string output;
  std::optional<int> start;
  std::optional<int> stop;
  std::string film = "35va";
  int fps = 25;
  bool longStrip = false;
  bool down = false;
  bool inverse = false;
  bool frameCorrection = false;
  std::string resolution;  // "X,Y" in dpi, empty to measure it
};

// Registers the input, the output and the film settings.
void addFilmOptions(CLI::App& command, FilmOptions& options, const std::string& outputHelp);

// Registers the film settings alone: the frame range and how the film was scanned.
void addFilmSettings(CLI::App& command, FilmOptions& options);

// The film settings the options give; `--film auto` sets `fromFirstScan` (the track
// kind, direction and Long strip are then taken from the first scan). Returns an
// error message, or "".
std::string filmSettingsOf(const FilmOptions& options, FilmSettings& film, bool& fromFirstScan);

// What a command hands to its job besides the settings.
struct JobTarget {
  std::string inputPath;
  std::string outputPath;
  int start = 0;
  int stop = 0;
};

// Resolves the input, the frame range and the output of a command: an output that is a
// directory (or none: the current one) gets the default name "sound" or "movie" with
// `extension`, as the window completes it. Returns an error message, or "".
std::string selectTarget(const FilmOptions& options, const std::string& extension,
                         JobTarget& target);

// The reel the options name, for the runner: its film settings (with `--film auto`
// taken from the first scan of the range, and said on standard error after `command`),
// its input and frame range; `output` is completed as `selectTarget` does. Returns an
// error message, or "".
std::string reelOf(const FilmOptions& options, const std::string& extension,
                   const std::string& command, ReelRequest& reel, std::string& output);

}  // namespace kelvora
