#include "runner/preview.h"

#include "jobs/frame_listing.h"
#include "movie/muxed_movie.h"
#include "scans/memory.h"
#include "scans/scan_header.h"
#include "scans/scan_loader.h"

namespace kelvora {

Preview previewScan(const std::string& inputPath, int frame, InspectSettings settings) {
  Preview preview;
  const FrameListing listing =
      FrameListing::open(JobDirectory(inputPath, static_cast<int>(inputPath.size())));
  const std::optional<std::string> path = listing.path(frame);
  if (!path) {
    preview.error = "there is no frame " + std::to_string(frame) + " in the input directory";
    return preview;
  }
  preview.path = *path;
  LoadedScan scan = loadScan(*path);
  requireAFrame(scan);
  if (!scan.ok()) {
    preview.error =
        "cannot read frame " + std::to_string(frame) + " (" + *path + "): " + scan.error;
    return preview;
  }
  settings.taggedDpi = readScanHeader(*path).dpiY;
  preview.view = inspectScan(scan.image, settings);
  return preview;
}

void prepareProcess(bool verbose) {
  keepScanMemory();
  letEncodersSpeak(verbose);
}

}  // namespace kelvora
