#pragma once

#include <string>
#include <vector>

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

}  // namespace kelvora
