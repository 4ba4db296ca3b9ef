#pragma once

#include <string>

#include "views/inspect_view.h"

namespace kelvora {

// A scan of a reel drawn with what each job would take of it.
struct Preview {
  std::string path;   // the scan's file; empty when the reel has no such frame
  std::string error;  // why it could not be drawn, naming the file
  InspectView view;
};

// Loads frame `frame` of the reel `inputPath` (a scan of its directory, or the
// directory) and draws it for `settings`, the resolution tag of its file added.
Preview previewScan(const std::string& inputPath, int frame, InspectSettings settings);

// Sets the process up for jobs: freed scan memory is kept for the next scan, and the
// picture and sound encoders say nothing unless `verbose`. Call once at program start,
// before any thread starts.
void prepareProcess(bool verbose = false);

}  // namespace kelvora
