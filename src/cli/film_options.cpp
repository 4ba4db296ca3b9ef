#include "cli/film_options.h"

#include <cctype>
#include <filesystem>
#include <system_error>

#include "film/settings_check.h"
#include "jobs/frame_listing.h"
#include "jobs/output_path.h"
#include "jobs/start_checks.h"
#include "scans/scan_loader.h"

namespace kelvora {

namespace fs = std::filesystem;

namespace {

bool endsWithAvi(const std::string& path) {
  if (path.size() < 4) return false;
  std::string end = path.substr(path.size() - 4);
  for (char& c : end) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return end == ".avi";
}

}  // namespace

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

std::string applyFilmOptions(const FilmOptions& o, JobSettings& s) {
  s.soundtrackType = o.film == "35va" ? 0 : o.film == "35vd" ? 1 : 2;
  s.speedIndex = o.fps - 24;
  s.longStrip = o.longStrip ? 1 : 0;
  s.directionUp = !o.down;
  s.inverse = o.inverse ? 1 : 0;
  s.frameCorrection = o.frameCorrection;
  if (!o.resolution.empty()) {
    const size_t comma = o.resolution.find(',');
    const std::string x = o.resolution.substr(0, comma);
    const std::string y = comma == std::string::npos ? "" : o.resolution.substr(comma + 1);
    const auto valid = [](const std::string& v) {
      return !v.empty() && v.size() <= 5 && v.find_first_not_of("0123456789") == std::string::npos;
    };
    if (!valid(x) || !valid(y))
      return "--resolution takes two whole numbers of dpi, as in 1800,1800";
    s.manualResolution = 1;
    s.resolutionX = x;
    s.resolutionY = y;
    if (!resolutionAcceptable(s)) return "--resolution must be between 100 and 20000 dpi";
  }
  return "";
}

std::string resolveAutoFilm(FilmOptions& o, std::string& chosen) {
  if (o.film != "auto") return "";
  const InputSelection input = selectInput(o.input);
  if (!input.error.empty()) return input.error;
  const std::string directory =
      JobDirectory(input.inputPath, static_cast<int>(input.inputPath.size()));
  const int first = o.start.value_or(1);
  const std::optional<std::string> path = FrameListing::open(directory).path(first);
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
  FilmSettings given;
  given.direction = !o.down;
  given.longStrip = o.longStrip;
  const FilmSettings found = settingsFromMeasurement(m, given);
  o.film = found.filmType == kVariableArea16      ? "16va"
           : found.filmType == kVariableDensity35 ? "35vd"
                                                  : "35va";
  o.down = !found.direction;
  o.longStrip = found.longStrip;
  chosen = "--film auto: " + describeFilmSettings(found);
  return "";
}

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
  const std::string directory =
      JobDirectory(selection.inputPath, static_cast<int>(selection.inputPath.size()));
  const FrameListing listing = FrameListing::open(directory);
  selection.scans = listing.size();
  if (!listing.problem().empty()) {
    selection.error = listing.problem() + ": " + directory;
  } else if (selection.scans == 0) {
    selection.error = "no .tif or .dpx scans in " + directory;
  }
  return selection;
}

std::string selectRange(const FilmOptions& o, int scans, int& start, int& stop) {
  start = o.start.value_or(1);
  stop = o.stop.value_or(std::max(scans, start));
  if (start < 1) return "--start must be 1 or more";
  if (stop < 1) return "--stop must be 1 or more";
  if (stop < start) return "--stop must not be lower than --start";
  if (stop > scans)
    return "the input directory holds " + std::to_string(scans) + " scans; frame " +
           std::to_string(stop) + " is past the last one";
  return "";
}

std::string selectOutput(const std::string& output, const std::string& extension,
                         std::string& path) {
  const bool sound = extension == ".wav" || extension == ".flac";
  const std::string defaultEnd = sound ? ".wav" : ".avi";
  std::error_code ec;
  const std::string given = output.empty() ? fs::current_path(ec).string() : output;
  if (fs::is_directory(given, ec)) {
    OutputChoice choice{given.size() > 1 && given.back() == '/' ? given.substr(0, given.size() - 1)
                                                                : given};
    completeOutputPath(choice, sound);
    path = choice.outputPath;
    if (extension != defaultEnd) path = path.substr(0, path.size() - 4) + extension;
  } else {
    path = given;
  }
  if (extension == ".avi" && !endsWithAvi(path))
    return "a movie is always written as AVI: the output must end in .avi (" + path + ")";
  if (const std::string problem = outputPathProblem(path); !problem.empty())
    return "cannot write " + path + ": " + problem;
  return "";
}

std::string selectTarget(const FilmOptions& o, const std::string& extension, JobTarget& target) {
  const InputSelection input = selectInput(o.input);
  if (!input.error.empty()) return input.error;
  target.inputPath = input.inputPath;
  std::string error = selectRange(o, input.scans, target.start, target.stop);
  if (error.empty()) error = selectOutput(o.output, extension, target.outputPath);
  if (error.empty()) error = refuseScanAsOutput(target.inputPath, target.outputPath);
  return error;
}

std::string refuseScanAsOutput(const std::string& inputPath, const std::string& outputPath) {
  const FrameListing listing =
      FrameListing::open(JobDirectory(inputPath, static_cast<int>(inputPath.size())));
  const std::string scan = scanNamedBy(listing, outputPath);
  return scan.empty() ? "" : "the output " + outputPath + " is the input scan " + scan;
}

}  // namespace kelvora
