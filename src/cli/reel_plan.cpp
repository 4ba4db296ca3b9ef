#include "cli/reel_plan.h"

#include <algorithm>
#include <map>
#include <sstream>

namespace kelvora {

namespace {

// The last part of a reel's directory: "/scans/reel7/" names reel7.
std::string directoryName(std::string directory) {
  while (directory.size() > 1 && directory.back() == '/') directory.pop_back();
  const size_t slash = directory.rfind('/');
  return slash == std::string::npos ? directory : directory.substr(slash + 1);
}

// The options of a CSV row as they would be typed on a line.
std::string columnsAsOptions(const CLI::App& parser, const ManifestReel& reel,
                             std::vector<std::string>& args) {
  for (const auto& [column, value] : reel.columns) {
    const CLI::Option* option = parser.get_option_no_throw("--" + column);
    if (option == nullptr) return "no option --" + column + " for the column \"" + column + "\"";
    if (option->get_expected_min() == 0) {
      if (flagColumnSet(value)) args.push_back("--" + column);
    } else if (!value.empty()) {
      args.push_back("--" + column);
      args.push_back(value);
    }
  }
  return "";
}

std::string nameProblem(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return "no name for its outputs";
  if (name.find('/') != std::string::npos) return "the name \"" + name + "\" holds a '/'";
  return "";
}

}  // namespace

void addReelSettings(CLI::App& command, ReelSettings& s) {
  addFilmSettings(command, s.film);
  addSoundSettings(command, s.sound);
  addMovieSettings(command, s.movie);
}

std::string describeSettings(const ReelPlan& plan) {
  const ReelSettings& s = plan.settings;
  const FilmOptions& f = s.film;
  std::ostringstream out;
  out << "input=" << plan.directory << " film=" << f.film << " fps=" << f.fps
      << " long-strip=" << f.longStrip << " down=" << f.down << " inverse=" << f.inverse
      << " frame-correction=" << f.frameCorrection << " resolution=" << f.resolution
      << " start=" << (f.start ? std::to_string(*f.start) : "")
      << " stop=" << (f.stop ? std::to_string(*f.stop) : "")
      << " skip-unreadable=" << plan.bridgeUnreadable;
  if (plan.sound)
    out << " sound: color=" << s.sound.color << " no-dc=" << s.sound.noDc
        << " no-crossfade=" << s.sound.noCrossfade
        << " cut-by-soundtrack=" << s.sound.cutBySoundtrack << " no-filter=" << s.sound.noFilter;
  // Named only when not the classic file, so the records of classic batches still hold.
  if (plan.sound && (s.sound.format != "wav8" || s.sound.rate != "film"))
    out << " format=" << s.sound.format << " rate=" << s.sound.rate;
  if (plan.movie)
    out << " movie: size=" << s.movie.size << " codec=" << s.movie.codec
        << " cut-soundtrack=" << s.movie.cutSoundtrack;
  return out.str();
}

BatchReel batchReelOf(const ReelPlan& plan) {
  BatchReel reel;
  reel.name = plan.name;
  reel.directory = plan.directory;
  reel.outputDirectory = plan.outputDirectory;
  reel.settingsLine = describeSettings(plan);
  const FilmOptions& film = plan.settings.film;
  if (reel.error.empty()) reel.error = filmSettingsOf(film, reel.film, reel.filmFromFirstScan);
  reel.start = film.start;
  reel.stop = film.stop;
  reel.sound = plan.sound;
  reel.soundSettings = soundSettingsOf(plan.settings.sound);
  reel.movie = plan.movie;
  reel.movieSettings = movieSettingsOf(plan.settings.movie);
  reel.bridgeUnreadable = plan.bridgeUnreadable;
  if (!plan.error.empty()) reel.error = plan.error;
  return reel;
}

BatchPlan planBatch(const Manifest& manifest, const BatchRequest& request) {
  BatchPlan plan;
  for (const ManifestReel& line : manifest.reels) {
    ReelPlan reel;
    reel.directory = line.directory;
    reel.line = line.line;
    reel.settings = request.common;
    reel.sound = request.sound;
    reel.movie = request.movie;
    reel.bridgeUnreadable = request.bridgeUnreadable;
    reel.outputDirectory = request.outputDirectory;
    reel.error = line.error;

    CLI::App parser{"a reel of the manifest"};
    addReelSettings(parser, reel.settings);
    parser.add_option("--name", reel.settings.name, "The name of the reel's outputs");
    std::vector<std::string> args = line.options;
    if (reel.error.empty()) reel.error = columnsAsOptions(parser, line, args);
    if (reel.error.empty()) {
      std::reverse(args.begin(), args.end());  // the parser takes them last first
      try {
        parser.parse(args);
      } catch (const CLI::ParseError& e) {
        reel.error = e.what();
      }
    }
    if (reel.error.empty()) {
      FilmSettings checked;
      bool fromFirstScan = false;
      reel.error = filmSettingsOf(reel.settings.film, checked, fromFirstScan);
    }
    reel.name = reel.settings.name.empty() ? directoryName(line.directory) : reel.settings.name;
    if (reel.error.empty()) reel.error = nameProblem(reel.name);
    // A batch writes the classic AVI: the codecs of a movie with its sound are refused.
    if (reel.error.empty() && reel.movie) {
      const MovieSettings m = movieSettingsOf(reel.settings.movie);
      if (isMuxedCodec(m.codec) || m.size == FrameSize::Native)
        reel.error = std::string(isMuxedCodec(m.codec) ? codecName(m.codec) : "--size native") +
                     " is written with the sound in an MKV or MP4: give --with-sound";
    }
    plan.reels.push_back(std::move(reel));
  }

  std::map<std::string, const ReelPlan*> byName;
  for (const ReelPlan& reel : plan.reels) {
    if (!nameProblem(reel.name).empty()) continue;
    const auto [it, added] = byName.emplace(reel.name, &reel);
    if (!added) {
      plan.error = "the reels of lines " + std::to_string(it->second->line) + " and " +
                   std::to_string(reel.line) + " would both write " + reel.name +
                   ".*; give one of them another name with --name";
      break;
    }
  }
  return plan;
}

}  // namespace kelvora
