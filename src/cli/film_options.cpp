#include "cli/film_options.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "jobs/output_path.h"
#include "jobs/start_checks.h"
#include "runner/reel_input.h"

namespace kelvora {

namespace fs = std::filesystem;

void addFilmOptions(CLI::App& command, FilmOptions& o, const std::string& outputHelp) {
  command.add_option("input", o.input, "A scan in the input directory, or the directory")
      ->required();
  command.add_option("-o,--output", o.output, outputHelp);
  addFilmSettings(command, o);
}

void addFilmSettings(CLI::App& command, FilmOptions& o) {
  command.add_option("--start", o.start, "First frame number (default 1)");
  command.add_option("--stop", o.stop, "Last frame number (default: the last scan)");
  command
      .add_option("--film", o.film,
                  "35va, 35vd or 16va (default 35va); auto takes the film type, the "
                  "direction and Long strip from the first scan")
      ->check(CLI::IsMember({"35va", "35vd", "16va", "auto"}));
  command.add_option("--fps", o.fps, "Film speed, 24 or 25 (default 25)")
      ->check(CLI::IsMember({24, 25}));
  command.add_flag("--long-strip", o.longStrip, "Each scan holds a length of strip");
  command.add_flag("--down", o.down, "Soundtrack along the bottom edge of the scans");
  command.add_flag("--inverse", o.inverse, "The film runs the other way");
  command.add_flag("--frame-correction", o.frameCorrection, "Trim dark frame ends of each scan");
  command.add_option("--resolution", o.resolution, "Manual resolution X,Y in dpi");
}

std::string filmSettingsOf(const FilmOptions& o, FilmSettings& film, bool& fromFirstScan) {
  fromFirstScan = o.film == "auto";
  film.track = o.film == "35vd"   ? Track::VariableDensity35
               : o.film == "16va" ? Track::VariableArea16
                                  : Track::VariableArea35;
  film.fps = o.fps;
  film.longStrip = o.longStrip;
  film.direction = o.down ? Direction::Down : Direction::Up;
  film.inverse = o.inverse;
  film.frameCorrection = o.frameCorrection;
  film.manualResolution.reset();
  if (!o.resolution.empty()) {
    const size_t comma = o.resolution.find(',');
    const std::string x = o.resolution.substr(0, comma);
    const std::string y = comma == std::string::npos ? "" : o.resolution.substr(comma + 1);
    const auto valid = [](const std::string& v) {
      return !v.empty() && v.size() <= 5 && v.find_first_not_of("0123456789") == std::string::npos;
    };
    if (!valid(x) || !valid(y))
      return "--resolution takes two whole numbers of dpi, as in 1800,1800";
    film.manualResolution = Resolution{std::stoi(x), std::stoi(y)};
    if (!resolutionAcceptable(film)) return "--resolution must be between 100 and 20000 dpi";
  }
  return "";
}

namespace {

// Completes the output path like the window does: a directory gets the default file
// name "sound" or "movie" with `extension`. A name ending in '/' must be a directory
// that exists; `error` says so otherwise.
std::string outputPathFor(const std::string& output, const std::string& extension,
                          std::string& error) {
  const bool sound = extension == ".wav" || extension == ".flac";
  const std::string defaultEnd = sound ? ".wav" : ".avi";
  std::error_code ec;
  const std::string given = output.empty() ? fs::current_path(ec).string() : output;
  if (!fs::is_directory(given, ec)) {
    if (given.back() == '/') error = "the output directory " + given + " does not exist";
    return given;
  }
  OutputChoice choice{given.size() > 1 && given.back() == '/' ? given.substr(0, given.size() - 1)
                                                              : given};
  completeOutputPath(choice, sound);
  std::string path = choice.outputPath;
  if (extension != defaultEnd) path = path.substr(0, path.size() - 4) + extension;
  return path;
}

}  // namespace

std::string selectTarget(const FilmOptions& o, const std::string& extension, JobTarget& target) {
  const InputSelection input = selectInput(o.input);
  if (!input.error.empty()) return input.error;
  target.inputPath = input.inputPath;
  target.start = o.start.value_or(1);
  target.stop = o.stop.value_or(std::max(input.scans, target.start));
  if (std::string e = frameRangeProblem(input.scans, target.start, target.stop); !e.empty())
    return e;
  std::string error;
  target.outputPath = outputPathFor(o.output, extension, error);
  return error;
}

std::string reelOf(const FilmOptions& o, const std::string& extension, const std::string& command,
                   ReelRequest& reel, std::string& output) {
  JobTarget target;
  bool fromFirstScan = false;
  std::string error = filmSettingsOf(o, reel.film, fromFirstScan);
  if (error.empty()) error = selectTarget(o, extension, target);
  if (!error.empty()) return error;
  reel.inputPath = target.inputPath;
  reel.startFrame = target.start;
  reel.stopFrame = target.stop;
  output = target.outputPath;
  if (!fromFirstScan) return "";
  std::string chosen;
  if (std::string e = filmFromFirstScan(target.inputPath, target.start, reel.film, chosen);
      !e.empty())
    return e;
  std::fprintf(stderr, "%s: %s\n", command.c_str(), chosen.c_str());
  return "";
}

}  // namespace kelvora
