#include "runner/reel_input.h"

#include <filesystem>
#include <system_error>

#include "film/orientation.h"
#include "film/settings_check.h"
#include "jobs/frame_listing.h"
#include "jobs/start_checks.h"
#include "scans/scan_loader.h"

namespace kelvora {

namespace fs = std::filesystem;

namespace {

std::string directoryOfInput(const std::string& inputPath) {
  return JobDirectory(inputPath, static_cast<int>(inputPath.size()));
}

}  // namespace

InputSelection selectInput(const std::string& input) {
  InputSelection selection;
  std::error_code ec;
  if (fs::is_directory(input, ec)) {
    selection.inputPath = input.back() == '/' ? input : input + "/";
  } else if (fs::is_regular_file(input, ec)) {
    selection.inputPath = input.find('/') == std::string::npos ? "./" + input : input;
  } else {
    selection.error = "input not found: " + input;
    return selection;
  }
  selection.directory = directoryOfInput(selection.inputPath);
  const FrameListing listing = FrameListing::open(selection.directory);
  selection.scans = listing.size();
  if (!listing.problem().empty()) {
    selection.error = listing.problem() + ": " + selection.directory;
  } else if (selection.scans == 0) {
    selection.error = "no .tif or .dpx scans in " + selection.directory;
  }
  return selection;
}

std::string frameRangeProblem(int scans, int start, int stop) {
  if (start < 1) return "--start must be 1 or more";
  if (stop < 1) return "--stop must be 1 or more";
  if (stop < start) return "--stop must not be lower than --start";
  if (stop > scans)
    return "the input directory holds " + std::to_string(scans) + " scans; frame " +
           std::to_string(stop) + " is past the last one";
  return "";
}

std::string outputProblem(const std::string& inputPath, const std::string& outputPath) {
  const FrameListing listing = FrameListing::open(directoryOfInput(inputPath));
  if (const std::string scan = scanNamedBy(listing, outputPath); !scan.empty())
    return "the output " + outputPath + " is the input scan " + scan;
  if (const std::string problem = outputPathProblem(outputPath); !problem.empty())
    return "cannot write " + outputPath + ": " + problem;
  return "";
}

std::string filmFromFirstScan(const std::string& inputPath, int first, FilmSettings& film,
                              std::string& chosen) {
  const std::optional<std::string> path =
      FrameListing::open(directoryOfInput(inputPath)).path(first);
  if (!path) return "--film auto: there is no frame " + std::to_string(first);
  LoadedScan scan = loadScan(*path);
  requireAFrame(scan);
  if (!scan.ok())
    return "--film auto cannot read frame " + std::to_string(first) + " (" + *path +
           "): " + scan.error;
  const FilmMeasurement m = measureFilm(scan.image);
  if (!m.measured || !m.sureOfGauge || !m.sureOfEdge)
    return "--film auto cannot tell the film from frame " + std::to_string(first) + " (" + *path +
           "); give --film and the direction";
  film = settingsFromMeasurement(m, film);
  chosen = "--film auto: " + describeFilmSettings(film);
  return "";
}

}  // namespace kelvora
