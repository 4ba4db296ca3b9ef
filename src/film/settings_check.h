#pragma once

#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "film/film_settings.h"

namespace kelvora {

// What one raw scan (film running side to side, as loaded) shows of how it was made,
// measured without the settings: which edge carries the soundtrack, the gauge, how
// many frames the scan holds and at what resolution.
struct FilmMeasurement {
  bool measured = false;              // false when the scan shows too little to tell
  bool trackOnTop = true;             // the soundtrack lies along the top edge (UP)
  double trackScore[2] = {0.0, 0.0};  // how much each edge (top, bottom) moves like sound
  bool sureOfEdge = false;
  int gauge = 35;  // 35 or 16 mm, from the film's width against its frame pitch
  bool sureOfGauge = false;
  bool variableDensity = false;  // the track band holds greys, not clear and opaque
  double framePitch = 0.0;       // pixels from one frame line to the next
  double framesPerScan = 0.0;
  double dpi = 0.0;  // along the film, from the frame pitch of the gauge
};

FilmMeasurement measureFilm(const cv::Mat& scan);

// One line per setting the scan disagrees with, as a question to the user:
// "the soundtrack lies along the bottom edge: did you mean DOWN?". None when the scan
// agrees, or cannot tell. The resolution is held against the scan apart (see
// resolutionWarnings), once the job has taken one.
std::vector<std::string> settingsWarnings(const FilmMeasurement& measured,
                                          const FilmSettings& settings);

// What the resolution a job takes (`taken`: typed, or measured and rounded to a
// standard one) means for the scan. With `rateFromResolution` (the classic reader, whose
// sample rate follows from it) a sound that would play more than 0.5 % off its speed,
// against the frame pitch the scan measures (or else the resolution its file gives,
// `tagged`), is said in per cent with the resolution to type; otherwise a typed
// resolution or a tag more than 5 % off the frame pitch is named. None when they agree
// or the scan cannot tell.
std::vector<std::string> resolutionWarnings(const FilmMeasurement& measured,
                                            const FilmSettings& settings, const Resolution& tagged,
                                            const Resolution& taken, bool rateFromResolution);

// The settings the measurement gives (for `--film auto`): gauge and track kind,
// direction and long strip, each where the scan is sure of it; `given` otherwise.
FilmSettings settingsFromMeasurement(const FilmMeasurement& measured, const FilmSettings& given);

// "16 mm variable area, DOWN, long strip" for a message.
std::string describeFilmSettings(const FilmSettings& settings);

}  // namespace kelvora
