#pragma once

#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "film/film_settings.h"
#include "readers/sound_reader.h"
#include "scans/scan_header.h"

namespace kelvora {

// The first readable scan of a job as the classic functions see it, what its file says
// of itself, and where what it shows disagrees with the settings.
struct FirstScanCheck {
  FirstScan scan;
  ScanHeader header;
  std::vector<std::string> warnings;  // "the soundtrack lies along the bottom edge: ..."
  std::string error;                  // why it could not be read, if it could not
};

// Reads the scan at `path` at 8 bits a channel (trimmed when frame correction is on)
// and its header, and holds what it shows against `film`.
FirstScanCheck checkFirstScan(const std::string& path, const FilmSettings& film);

// Why a first scan of `size` (as loaded: along the film, then across it) holds no frame
// of `track` at the resolution measured on it, or "". A scan is refused only below three
// quarters of a frame there: the classic reader rounds a resolution up by as much.
std::string tooShortForAFrame(cv::Size size, Track track, const Resolution& taken);

// Why a scan of `size` cannot be of the same reel as a first scan of `first`, or "":
// the reel is scanned at one size across the film, give or take 2 %. Scans may differ
// in length along the film.
std::string notOfTheReel(cv::Size size, cv::Size first);

}  // namespace kelvora
