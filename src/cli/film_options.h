#pragma once

#include <optional>
#include <string>

#include <CLI/CLI.hpp>

#include "jobs/settings.h"

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

// With `--film auto`, measures the first scan of the range and puts what it shows in
// place of the film type, the direction and Long strip; `chosen` then says what was
// taken. Any other film is left as it is. Returns an error message, or "".
std::string resolveAutoFilm(FilmOptions& options, std::string& chosen);

// Copies the film options into the settings; returns an error message, or "".
std::string applyFilmOptions(const FilmOptions& options, JobSettings& settings);

// The input chosen on the command line, as the window would hold it.
struct InputSelection {
  std::string inputPath;  // a scan file, or a directory ending in '/'
  int scans = 0;
  std::string error;
};

// Accepts a scan file in the input directory or the directory itself.
InputSelection selectInput(const std::string& input);

// The frame range: every scan unless --start/--stop say otherwise. Returns an error
// message, or "".
std::string selectRange(const FilmOptions& options, int scans, int& start, int& stop);

// What a command hands to its job besides the settings.
struct JobTarget {
  std::string inputPath;
  std::string outputPath;
  int start = 0;
  int stop = 0;
};

// Resolves the input, the frame range and the output of a command. `extension` is how
// the command's default output name ends: ".wav" or ".flac" for the sound, ".avi"
// for the classic movie, ".mkv" for one with its sound. Returns an error message, or "".
std::string selectTarget(const FilmOptions& options, const std::string& extension,
                         JobTarget& target);

// Completes the output path like the window does (a directory gets the default file
// name "sound" or "movie" with `extension`) and checks that it can be written; a
// classic movie must end in ".avi". Returns an error message, or "".
std::string selectOutput(const std::string& output, const std::string& extension,
                         std::string& path);

// Refuses an output that is one of the scans of the input directory. Returns an
// error message, or "".
std::string refuseScanAsOutput(const std::string& inputPath, const std::string& outputPath);

}  // namespace kelvora
