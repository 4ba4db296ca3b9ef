#include "cli/movie_command.h"

#include <unistd.h>

#include <cstdio>
#include <string>

#include "cli/exit_codes.h"
#include "cli/stop_on_signal.h"
#include "cli/terminal_controls.h"
#include "jobs/job_records.h"
#include "movie/movie_job.h"

namespace kelvora {

CLI::App* addMovieCommand(CLI::App& app, MovieOptions& o) {
  CLI::App* movie = app.add_subcommand("movie", "Cut the pictures into an AVI movie");
  addFilmOptions(*movie, o.film, "Output AVI file, or a directory for movie.avi (default: .)");
  addMovieSettings(*movie, o);
  return movie;
}

void addMovieSettings(CLI::App& command, MovieOptions& o) {
  command.add_option("--size", o.size, "Frame size: 640x480 or 320x240 (default 640x480)")
      ->check(CLI::IsMember({"640x480", "320x240"}));
  command.add_option("--codec", o.codec, "MPG4, DIVX or XVID (default MPG4)")
      ->check(CLI::IsMember({"MPG4", "DIVX", "XVID"}));
  command.add_flag("--cut-soundtrack", o.cutSoundtrack, "Leave the soundtrack out of the pictures");
}

std::string movieJobSettings(const MovieOptions& o, JobSettings& settings) {
  const std::string error = applyFilmOptions(o.film, settings);
  settings.filmSize = o.size == "640x480" ? 0 : 1;
  settings.compression = o.codec == "MPG4" ? 0 : o.codec == "DIVX" ? 1 : 2;
  settings.cutSoundtrack = o.cutSoundtrack ? 1 : 0;
  return error;
}

int runMovieCommand(const MovieOptions& o) {
  JobSettings settings;
  std::string error = movieJobSettings(o, settings);

  JobTarget target;
  if (error.empty()) error = selectTarget(o.film, ".avi", target);
  if (!error.empty()) {
    std::fprintf(stderr, "kelvora-cli movie: %s\n", error.c_str());
    return kExitUsage;
  }
  const std::string& output = target.outputPath;

  TerminalControls controls(stderr, ::isatty(STDERR_FILENO) == 1);
  Image_Parameters record;
  fillImageParameters(record, settings,
                      JobRequest{&controls, target.inputPath, output, target.start, target.stop});
  MovieJobReport report;
  JobOutcome outcome;
  {
    const StopOnSignal stopOnCtrlC([&record] { record.stopRequested = true; });
    outcome = ThreadMovie(record, &report);
  }

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
