#pragma once

#include <string>
#include <vector>

namespace kelvora::reel {

// The sound recorded on the film.
enum class Programme {
  Speech,  // broadband noise bursts at a syllable rate, a faint tone under them
  Tones,   // sustained tones under a slow swell: hard for sound-only splicing
};

// What to generate: a length of film with known audio and numbered pictures, cut
// into overlapping scans the way a scanner sees them (film running side to side,
// soundtrack along the top edge for UP or the bottom edge for DOWN). Every fault
// combines with every other.
struct ReelOptions {
  int filmType = 1;  // 1 35 mm variable area, 2 35 mm variable density, 3 16 mm
  int dpi = 900;     // the scanner's resolution, standard or not
  int scans = 6;
  int fps = 25;
  bool longStrip = false;  // several frames per scan
  bool directionUp = true;
  bool inverse = false;  // scanned tail first: the film runs the other way
  bool colour = true;
  bool sixteenBit = false;
  bool alpha = false;   // write a fourth (alpha) channel
  int dpxBits = 0;      // 0: TIFF scans; 8, 10, 12 or 16: DPX of that depth
  int clickFrame = -1;  // a full-scale click at the start of this frame (0-based), if any
  double grain = 3.0;   // standard deviation of the scanner's noise, in grey levels
  unsigned seed = 1;
  Programme programme = Programme::Speech;
  std::string soundFile;     // a sound file printed instead of the programme, if given
  double modulation = 1.0;   // share of the track's swing a full-scale sample uses
  double level = 1.0;        // programme gain: speech peaks near 0.8 at 1, clips above 1.3
  double overlap = 0.3346;   // film a per-frame scan holds beyond its frame, in frames
  double stripOverlap = -1;  // the same for long strips; below 0 the usual: 1.33 frames
                             // on 35 mm, half a frame on 16 mm
  bool unilateral = false;   // variable area with one edge fixed, the clear area swinging wide

  // What age does to a print and what the scanner adds. All off by default.
  double shrinkage = 0.0;         // share the film has shrunk along its length (0.01: 1 %)
  double weave = 0.0;             // the film's sideways wander in the gate, pixels either way
  double skewDegrees = 0.0;       // the scan turned in the gate
  double turnWander = 0.0;        // degrees the turn differs either way from scan to scan, as
                                  // each strip is laid in the gate anew
  double scratch = -1.0;          // a scratch along the reel, across the track (0..1 of it)
  bool darkScratch = false;       // a dark line (dirt pressed in) rather than a bright one
  bool negative = false;          // clear and opaque swapped: a sound negative
  double vignetting = 0.0;        // light falls by this share towards the scan's corners
  double flicker = 0.0;           // the lamp's level from scan to scan, this share either way
  double densityDrift = 0.0;      // opaque and clear levels wander by this share over the reel
  std::vector<int> splices;       // printed frames (0-based) after which frames were cut out
  int framesCut = 3;              // frames cut out at each splice
  bool deep = false;              // 16-bit scans rendered from full precision, not 8 bits x 257
  int leaderFrames = 0;           // frames of silent leader before the programme
  double stepJitter = 0.0;        // rows the scanner's step from scan to scan wanders either way
  bool partRowSteps = false;      // the scanner steps by the film's own pitch, not whole rows
  double dust = 0.0;              // specks of dust and dirt on the film, a frame: a third of them
                                  // on the track, bright and dark, 1 to 6 pixels across
  double gateShadow = 0.0;        // the scanner gate's shadow across both ends of every scan: the
                                  // share of the light it takes at the very end (0 none, 1 black)
  std::vector<int> missingScans;  // scans (0-based, listing order) left out of the directory,
                                  // their numbers skipped
};

// Sizes in pixels at the reel's resolution.
struct ReelGeometry {
  int scanLength = 0;  // along the film: raw scan width, rows once turned
  int filmWidth = 0;   // across the film: raw scan height
  int pitch = 0;       // one frame, along the film
  int advance = 0;     // film between the starts of consecutive scans
  int trackWidth = 0;
  int trackStart = 0;    // first column of the track, from the track-side edge
  int pictureStart = 0;  // first column of the picture area
  int lineStart = 0;     // row of a turned scan where a frame line begins
  int lineHeight = 0;
  int framesPerScan = 1;
  int totalRows = 0;               // film rows covered by the whole reel
  int sampleRate = 0;              // fps x pitch: one sample per row of film
  double rowsPerFrame = 0;         // the frame pitch on the shrunken film, in rows
  double trueRate = 0;             // fps x rowsPerFrame: the rate the film's rows play at
  std::vector<double> scanPlaces;  // where on the film each scan's first row lies, in playing
                                   // order: whole rows unless the steps are part rows
  std::vector<int> scanStarts;     // those places to the nearest row
  int scanStart(int index) const { return scanStarts[static_cast<size_t>(index)]; }
  double scanPlace(int index) const { return scanPlaces[static_cast<size_t>(index)]; }
};

// The sizes and places of the reel `options` describe.
ReelGeometry geometryFor(const ReelOptions& options);

}  // namespace kelvora::reel
