#pragma once

#include <atomic>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "film/film_settings.h"
#include "jobs/controls.h"
#include "jobs/movie_job.h"
#include "jobs/sound_job.h"
#include "movie/movie_settings.h"
#include "readers/sound_settings.h"

namespace kelvora {

// A reel as a front end hands it to the runner: where its scans are, which frames to
// take, how it was filmed, and where the job shows itself.
struct ReelRequest {
  Controls* controls = nullptr;  // the window's controls, a terminal's or none; not owned
  const std::atomic<bool>* stopRequested = nullptr;
  std::string inputPath;  // a scan of the reel's directory, or the directory
  int startFrame = 1;
  int stopFrame = 1;
  FilmSettings film;
  bool filmFromFirstScan = false;  // take the track, direction and Long strip from the first scan
  bool bridgeUnreadable = false;   // bridge a scan that cannot be read instead of failing
};

// What a soundtrack job writes: the sound, and if asked a report (JSON) and a plot
// (PNG) of it. The report and plot are written only when the sound is, and the sound
// in an archive format only with them: all or nothing.
struct SoundRequest {
  SoundSettings sound;
  std::string output;
  std::string report;     // empty: none
  std::string plot;       // empty: none
  bool drawPlot = false;  // draw the plot for the caller even when none is written
};

// How a job run by the runner ended, for the front end to say.
struct RunEnding {
  JobOutcome outcome = JobOutcome::Finished;
  std::string filmChosen;  // what the first scan said of the film, when asked
  std::string error;       // why it did not finish: the frame with its file and the cause,
                           // or the output with the system's words
};

struct SoundResult : RunEnding {
  SoundJobReport report;
  cv::Mat plot;  // drawn when asked
};

// Why the runner would refuse the sound job before it starts; "" when it would not.
std::string soundRequestProblem(const ReelRequest& reel, const SoundRequest& request);

// Decodes the reel's sound into the request's files. Refuses (WriteFailed, with the
// cause) what `soundRequestProblem` refuses.
SoundResult decodeSound(const ReelRequest& reel, const SoundRequest& request);

// Where a movie's sound comes from.
struct MovieSound {
  enum class Source { None, Decode, File } source = Source::None;
  SoundSettings sound;  // with Decode: how the reel's sound is read
  std::string file;     // with File: a sound file
};

// What a movie job writes: the classic AVI, or with a sound an MKV or MP4 by the
// output's name.
struct MovieRequest {
  MovieSettings movie;
  MovieSound sound;
  std::string output;
};

struct MovieResult : RunEnding {
  MovieJobReport report;
  SoundJobReport sound;  // when the sound was decoded alongside
  bool kept = false;     // the movie is in place (a stopped classic movie keeps its frames)
};

// Why the runner would refuse the movie job before it starts; "" when it would not.
std::string movieRequestProblem(const ReelRequest& reel, const MovieRequest& request);

// Makes the reel's movie.
MovieResult makeMovie(const ReelRequest& reel, const MovieRequest& request);

// The sound of a sound file at full scale, at a rate both containers' sound codecs
// take (resampled to 48 kHz when it is at another). Returns "" or why it cannot be read.
std::string soundForMovie(const std::string& path, GivenSound& sound);

// "cannot read frame 7 (scan_0008.tif): the file is truncated" for a job's report.
std::string unreadableMessage(const JobReport& report);

}  // namespace kelvora
