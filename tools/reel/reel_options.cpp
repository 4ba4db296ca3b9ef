#include "reel/reel_options.h"

#include <cmath>

#include "signal/rounding.h"

namespace kelvora::reel {

ReelGeometry geometryFor(const ReelOptions& options) {
  const bool sixteen = options.filmType == 3;
  const bool density = options.filmType == 2;
  const double dpi = options.dpi;
  ReelGeometry g;
  g.filmWidth = cmToPixels(dpi, sixteen ? 0.96 : 2.09);
  g.pitch = cmToPixels(dpi, sixteen ? 0.762 : 1.919);
  g.trackWidth = cmToPixels(dpi, density ? 0.254 : 0.24);
  g.trackStart = density ? cmToPixels(dpi, 0.005) : 0;
  g.pictureStart = g.trackStart + g.trackWidth + cmToPixels(dpi, 0.1);
  g.lineHeight = cmToPixels(dpi, sixteen ? 0.05 : 0.38);
  g.lineStart = roundToInt(0.11 * g.pitch);
  g.framesPerScan = options.longStrip ? (sixteen ? 4 : 3) : 1;
  g.advance = g.framesPerScan * g.pitch;
  // Per-frame scans overlap by a third of a frame. 35 mm strips overlap by one frame
  // more, 16 mm strips by half a frame.
  double tail = options.overlap;
  if (options.longStrip)
    tail = options.stripOverlap >= 0.0 ? options.stripOverlap : sixteen ? 0.5 : 1.3346;
  g.scanLength = g.advance + roundToInt(tail * g.pitch);
  g.sampleRate = options.fps * g.pitch;
  // Shrunken film is shorter than it was printed: the scanner, stepping a frame (or a
  // strip) at a time, starts each scan on the film's own frames, at the nearest row.
  g.rowsPerFrame = g.pitch * (1.0 - options.shrinkage);
  g.trueRate = options.fps * g.rowsPerFrame;
  for (int k = 0; k < options.scans; ++k) {
    const double place = k * g.framesPerScan * g.rowsPerFrame +
                         (k > 0 ? options.stepJitter * std::sin(2.3 * k + 0.4) : 0.0);
    g.scanStarts.push_back(roundToInt(place));
    g.scanPlaces.push_back(options.partRowSteps ? place : g.scanStarts.back());
  }
  g.totalRows = g.scanStarts.empty()
                    ? 0
                    : g.scanStarts.back() + g.scanLength + (options.partRowSteps ? 1 : 0);
  return g;
}

}  // namespace kelvora::reel
