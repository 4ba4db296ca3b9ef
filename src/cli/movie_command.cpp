#include "cli/movie_command.h"

#include <cstdio>
#include <string>

#include "cli/exit_codes.h"
#include "cli/terminal_job.h"

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
  movie
      ->add_option("--reader", o.reader,
                   "With --with-sound auto: classic (the default) or precise reads the sound")
      ->check(CLI::IsMember({"classic", "precise"}));
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

MovieSettings movieSettingsOf(const MovieOptions& o) {
  MovieSettings m;
  m.size = o.size == "320x240"  ? FrameSize::Small
           : o.size == "native" ? FrameSize::Native
                                : FrameSize::Large;
  m.codec = o.codec == "DIVX"   ? MovieCodec::Divx
            : o.codec == "XVID" ? MovieCodec::Xvid
            : o.codec == "H264" ? MovieCodec::H264
            : o.codec == "FFV1" ? MovieCodec::Ffv1
                                : MovieCodec::Mpg4;
  m.cutSoundtrack = o.cutSoundtrack;
  return m;
}

int runMovieCommand(const MovieOptions& o) {
  const char* const command = "kelvora-cli movie";
  ReelRequest reel;
  MovieRequest request;
  request.movie = movieSettingsOf(o);
  // With its sound the movie's codec is H.264 unless FFV1 is asked for.
  if (!o.withSound.empty() && request.movie.codec == MovieCodec::Mpg4)
    request.movie.codec = MovieCodec::H264;
  if (o.withSound == "auto") {
    request.sound.source = MovieSound::Source::Decode;
    SoundOptions sound;
    sound.reader = o.reader;
    request.sound.sound = soundSettingsOf(sound);
  } else if (!o.withSound.empty()) {
    request.sound.source = MovieSound::Source::File;
    request.sound.file = o.withSound;
  }
  // An output directory gets movie.avi, or movie.mkv for a movie with its sound.
  std::string error =
      reelOf(o.film, o.withSound.empty() ? ".avi" : ".mkv", command, reel, request.output);
  if (error.empty()) error = movieRequestProblem(reel, request);
  if (!error.empty()) {
    std::fprintf(stderr, "%s: %s\n", command, error.c_str());
    return kExitUsage;
  }
  const MovieResult result = runOnTerminal(
      reel, command, [&request](const ReelRequest& r) { return makeMovie(r, request); });
  const MovieJobReport& r = result.report;
  switch (result.outcome) {
    case JobOutcome::Finished:
      std::fprintf(stderr, "Wrote %s: %d frames of %dx%d at %.0f fps (%s)\n",
                   request.output.c_str(), r.framesWritten, r.width, r.height, r.fps,
                   r.codec.c_str());
      return kExitOk;
    case JobOutcome::Stopped:
      std::fprintf(stderr, "%s: %s\n", command, result.error.c_str());
      // A classic movie keeps the frames written; one that could not is a failure.
      return result.kept || r.framesWritten == 0 || request.sound.source != MovieSound::Source::None
                 ? kExitStopped
                 : kExitFailed;
    case JobOutcome::Unreadable:
    case JobOutcome::WriteFailed:
      std::fprintf(stderr, "%s: %s\n", command, result.error.c_str());
      return kExitFailed;
  }
  return kExitFailed;
}

}  // namespace kelvora
