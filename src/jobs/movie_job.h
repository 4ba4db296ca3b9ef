#pragma once

#include <string>
#include <vector>

#include "film/film_settings.h"
#include "jobs/frame_loop.h"
#include "jobs/sound_job.h"
#include "jobs/staged_file.h"
#include "movie/movie_settings.h"
#include "movie/picture_area.h"

namespace kelvora {

// What one movie job measured and wrote.
struct MovieJobReport : JobReport {
  ParametersM area;
  std::string codec;  // the four-character code, or "H264", "FFV1"
  double fps = 0;
  int width = 0;
  int height = 0;
  int framesWritten = 0;
  bool complete = false;    // the movie in the output's temporary file reads back whole
  std::string outputError;  // why it does not, in the system's words where it has them
  double soundOverrun = 0;  // a movie with its sound: seconds the sound ran past the pictures
};

// Where a movie goes: its temporary file, which the caller puts in place (or removes),
// and for a movie with its sound the container (by the output's name) and the
// temporary file its encoded pictures wait in until the sound is known.
struct MovieOutput {
  StagedFile* file = nullptr;
  std::string container;  // "matroska" or "mp4"; empty for the classic AVI
  StagedFile* pictures = nullptr;
  std::string title;  // for a container's metadata
  bool withSound() const { return !container.empty(); }
};

// The sound of a movie with its sound, given whole (a sound file read before the job).
struct GivenSound {
  std::vector<float> samples;  // full scale, -1..1
  int rate = 48000;
};

// The movie job: cuts the pictures of frames startFrame..stopFrame of the request's
// input directory, scales them and writes them to the output's temporary file: the
// classic AVI, or a movie with `sound` in Matroska or MP4. It drives the window only
// through the request's controls and checks Stop once a frame. The movie is completed
// and read back on every ending that wrote frames (`report.complete` says whether it
// holds them all); putting it in place is the caller's. `report` receives the
// measurements.
JobOutcome ThreadMovie(const JobRequest& request, const FilmSettings& film,
                       const MovieSettings& movie, const MovieOutput& output,
                       MovieJobReport& report, const GivenSound* sound = nullptr);

// The movie with its sound in one pass through the scans: each scan is cut into
// pictures and read for its sound, with `sound`'s settings (their format ignored: the
// container's codec stores it), and the movie is muxed once the last is read.
// `soundReport` receives what the sound's reader measured.
JobOutcome ThreadMovieWithSound(const JobRequest& request, const FilmSettings& film,
                                const MovieSettings& movie, const SoundSettings& sound,
                                const MovieOutput& output, MovieJobReport& report,
                                SoundJobReport& soundReport);

}  // namespace kelvora
