#pragma once

#include <string>

#include "film/film_settings.h"

namespace kelvora {

// The input a front end chose, as a job takes it.
struct InputSelection {
  std::string inputPath;  // a scan file, or a directory ending in '/'
  std::string directory;  // the reel's directory, ending in '/'
  int scans = 0;
  std::string error;  // why the input cannot be used
};

// Accepts a scan file in the input directory or the directory itself, holding at least
// one scan and one kind of scan.
InputSelection selectInput(const std::string& input);

// Why frames start..stop cannot be taken from a directory of `scans` scans; "" when
// they can.
std::string frameRangeProblem(int scans, int start, int stop);

// Why `outputPath` cannot be an output of a job on `inputPath`: it names one of the
// input's scans, or it cannot be written there (in the system's words). "" when it can.
std::string outputProblem(const std::string& inputPath, const std::string& outputPath);

// Takes the gauge and track kind, the direction and Long strip from the first scan of
// the range (frame `first`) into `film`; `chosen` then says what was taken, as in
// "16 mm variable area, DOWN, a frame a scan". Returns "" or why the film could not be told.
std::string filmFromFirstScan(const std::string& inputPath, int first, FilmSettings& film,
                              std::string& chosen);

}  // namespace kelvora
