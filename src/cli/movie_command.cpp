#include "cli/movie_command.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

#include "audio/archive_writer.h"
#include "audio/resample.h"
#include "cli/exit_codes.h"
#include "cli/sound_command.h"
#include "cli/stop_on_signal.h"
#include "cli/terminal_controls.h"
#include "jobs/job_records.h"
#include "jobs/movie_job.h"
#include "jobs/staged_file.h"
#include "movie/muxed_movie.h"

namespace kelvora {

CLI::App* addMovieCommand(CLI::App& app, MovieOptions& o) {
  CLI::App* movie = app.add_subcommand("movie", "Cut the pictures into an AVI movie");
  addFilmOptions(*movie, o.film,
                 "Output AVI file (MKV or MP4 with --with-sound), or a directory for movie.avi "
                 "(default: .)");
  addMovieSettings(*movie, o);
  movie->add_option("--with-sound", o.withSound,
                    "Mux the sound in: a sound file, or auto to decode it now with the same film "
                    "settings; writes MKV (FLAC) or MP4 (AAC) by the output's name");
  return movie;
}

void addMovieSettings(CLI::App& command, MovieOptions& o) {
  command
      .add_option("--size", o.size,
                  "Frame size: 640x480 or 320x240 (default 640x480); native keeps the "
                  "picture's own (with --with-sound)")
      ->check(CLI::IsMember({"640x480", "320x240", "native"}));
  command
      .add_option("--codec", o.codec,
                  "MPG4, DIVX or XVID (default MPG4); with --with-sound H264 (default) or "
                  "FFV1 (lossless)")
      ->check(CLI::IsMember({"MPG4", "DIVX", "XVID", "H264", "FFV1"}));
  command.add_flag("--cut-soundtrack", o.cutSoundtrack, "Leave the soundtrack out of the pictures");
}

std::string movieJobSettings(const MovieOptions& o, JobSettings& settings) {
  const std::string error = applyFilmOptions(o.film, settings);
  settings.filmSize = o.size == "640x480" ? 0 : 1;
  settings.compression = o.codec == "MPG4" ? 0 : o.codec == "DIVX" ? 1 : 2;
  settings.cutSoundtrack = o.cutSoundtrack ? 1 : 0;
  return error;
}

std::string movieWithSoundProblem(const MovieOptions& o, const std::string& output) {
  const bool modern = o.codec == "H264" || o.codec == "FFV1";
  if (o.withSound.empty()) {
    if (modern || o.size == "native")
      return (modern ? o.codec : std::string("--size native")) +
             " is written with the sound in an MKV or MP4: give --with-sound";
    return "";
  }
  const std::string container = containerFor(output);
  if (container.empty())
    return "a movie with its sound is written as MKV or MP4: the output must end in .mkv or "
           ".mp4 (" +
           output + ")";
  if (o.codec == "FFV1" && container != "matroska")
    return "FFV1 is written in MKV: the output must end in .mkv (" + output + ")";
  if (!modern && o.codec != "MPG4")
    return o.codec + " is written in AVI only; with --with-sound use H264 or FFV1";
  return "";
}

namespace {

// The sound for the movie: the given file, or the reel decoded now with the same film
// settings into a hidden file beside the movie. Taken to 48 kHz unless it is at a
// rate both containers' sound codecs take.
std::string soundForMovie(const MovieOptions& o, const JobTarget& target, Controls& controls,
                          MuxedMovieSettings& muxed) {
  std::string path = o.withSound;
  std::optional<StagedFile> decoded;
  if (o.withSound == "auto") {
    decoded.emplace(target.outputPath, ".wav");
    if (!decoded->ok()) return "cannot write the sound beside the movie: " + decoded->error();
    SoundOptions sound;
    sound.film = o.film;
    sound.format = "float";
    sound.rate = "48000";
    JobSettings settings;
    soundJobSettings(sound, settings);
    Picture_Parameters record;
    fillPictureParameters(
        record, settings,
        JobRequest{&controls, target.inputPath, decoded->tempPath(), target.start, target.stop});
    SoundJobReport report;
    if (ThreadPicture(record, &report) != JobOutcome::Finished)
      return "the sound could not be decoded: " +
             (report.failure.empty() ? std::string("stopped") : report.failure);
    path = decoded->tempPath();
  }
  int rate = 0;
  if (std::string e = readSoundSamples(path, muxed.sound, rate); !e.empty())
    return "cannot read the sound " + path + ": " + e;
  if (rate != 48000 && rate != 44100 && rate != 96000) {
    muxed.sound = resample(muxed.sound, rate, 48000);
    rate = 48000;
  }
  muxed.soundRate = rate;
  return "";
}

}  // namespace

int runMovieCommand(const MovieOptions& given) {
  MovieOptions o = given;
  std::string chosen;
  std::string error = resolveAutoFilm(o.film, chosen);
  if (!chosen.empty()) std::fprintf(stderr, "kelvora-cli movie: %s\n", chosen.c_str());
  JobSettings settings;
  if (error.empty()) error = movieJobSettings(o, settings);

  JobTarget target;
  const bool withSound = !o.withSound.empty();
  if (error.empty()) {
    FilmOptions film = o.film;
    if (withSound && containerFor(film.output).empty() && !film.output.empty())
      error = movieWithSoundProblem(o, film.output);
    if (error.empty()) error = selectTarget(film, withSound ? ".mkv" : ".avi", target);
  }
  if (error.empty()) error = movieWithSoundProblem(o, target.outputPath);
  if (error.empty() && withSound && o.withSound != "auto" &&
      !std::filesystem::is_regular_file(o.withSound))
    error = "the sound file " + o.withSound + " is not there";
  if (!error.empty()) {
    std::fprintf(stderr, "kelvora-cli movie: %s\n", error.c_str());
    return kExitUsage;
  }
  const std::string& output = target.outputPath;

  TerminalControls controls(stderr, ::isatty(STDERR_FILENO) == 1);
  Image_Parameters record;
  fillImageParameters(record, settings,
                      JobRequest{&controls, target.inputPath, output, target.start, target.stop});
  if (withSound) {
    record.withSound = true;
    record.nativeSize = o.size == "native";
    record.muxed.container = containerFor(output);
    record.muxed.videoCodec = o.codec == "FFV1" ? "FFV1" : "H264";
    record.muxed.title = target.inputPath;
    if (const std::string e = soundForMovie(o, target, controls, record.muxed); !e.empty()) {
      std::fprintf(stderr, "kelvora-cli movie: %s\n", e.c_str());
      return kExitFailed;
    }
  }
  MovieJobReport report;
  JobOutcome outcome;
  {
    const StopOnSignal stopOnCtrlC([&record] { record.stopRequested = true; });
    outcome = ThreadMovie(record, &report);
  }

  for (const std::string& w : report.warnings)
    std::fprintf(stderr, "kelvora-cli movie: warning: %s\n", w.c_str());
  const std::string kept =
      report.kept
          ? output + " keeps the " + std::to_string(report.framesWritten) + " frames written"
          : "no movie written (" + report.outputError + ")";
  switch (outcome) {
    case JobOutcome::Finished:
      std::fprintf(stderr, "Wrote %s: %d frames of %dx%d at %.0f fps (%s)\n", output.c_str(),
                   report.framesWritten, report.width, report.height, report.fps,
                   report.codec.c_str());
      return kExitOk;
    case JobOutcome::Stopped:
      std::fprintf(stderr, "kelvora-cli movie: stopped; %s\n", kept.c_str());
      return report.kept || report.framesWritten == 0 ? kExitStopped : kExitFailed;
    case JobOutcome::Unreadable:
      std::fprintf(stderr, "kelvora-cli movie: cannot read frame %d (%s): %s; %s\n",
                   report.failedFrame, report.failedPath.c_str(), report.failure.c_str(),
                   kept.c_str());
      return kExitFailed;
    case JobOutcome::WriteFailed:
      std::fprintf(stderr, "kelvora-cli movie: cannot write %s: %s\n", output.c_str(),
                   report.outputError.c_str());
      return kExitFailed;
  }
  return kExitFailed;
}

}  // namespace kelvora
