#pragma once

#include <string>
#include <vector>

#include "film/film_geometry.h"
#include "jobs/bridged_scan.h"
#include "jobs/job_outcome.h"
#include "jobs/job_records.h"
#include "movie/picture_area.h"

namespace kelvora {

// What one movie job measured and wrote.
struct MovieJobReport {
  Resolution resolution;
  ParametersM area;
  std::string codec;  // the four-character code
  double fps = 0;
  int width = 0;
  int height = 0;
  int framesWritten = 0;
  bool kept = false;        // the movie is in place at the output path
  std::string outputError;  // why it is not, in the system's words where it has them
  int failedFrame = 0;      // the frame that could not be loaded, if any
  std::string failedPath;
  std::string failure;
  std::vector<BridgedScan> bridged;   // scans left out, with bridgeUnreadable
  std::vector<std::string> warnings;  // settings the first scan disagrees with
};

// The movie job: cuts the pictures of frames startFrame..stopFrame of the record's
// input directory, scales them and writes them to an AVI file at `outputPath`. It
// drives the window only through the record's controls and the job notifications
// and checks `stopRequested` once per frame. The movie is written aside, read back
// and renamed into place on every ending that wrote frames, so a stopped job or an
// unreadable scan leaves a playable movie of the frames written so far, and a
// failed one leaves any older file of that name as it was. A finished job whose
// movie cannot be completed ends as WriteFailed. `report`, when given, receives the
// measurements.
JobOutcome ThreadMovie(Image_Parameters& record, MovieJobReport* report = nullptr);

}  // namespace kelvora
