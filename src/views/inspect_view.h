#pragma once

#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "film/film_geometry.h"
#include "film/film_settings.h"
#include "film/soundtrack_area.h"
#include "film/track_bounds.h"
#include "movie/picture_cut.h"

namespace kelvora {

// The settings a preview is drawn for: the film's, and how the sound job and the movie
// would take the track.
struct InspectSettings {
  FilmSettings film;
  bool cutBySoundtrack = false;  // how the sound job finds its cut
  bool cutSoundtrack = false;    // the movie leaves the soundtrack out
  double taggedDpi = 0.0;        // what the scan's file says, 0 when nothing
};

// What a preview found on a scan, in the scan's own pixels (film running side to
// side), and the picture drawn from it.
struct InspectView {
  Resolution resolution;
  Parameters parameters;
  ScanRows classicCut;          // the rows the classic reader cuts
  TrackBounds track;            // the rows the sound reaches
  cv::Rect picture;             // the movie's picture, in the scan's pixels
  std::vector<int> frameLines;  // columns of the scan where a frame line ends
  std::vector<std::string> warnings;
  double scale = 1.0;  // picture pixels a scan pixel
  cv::Mat image;       // blue-green-red: the scan with its areas drawn, a legend below
};

// The colours of the preview's marks, blue-green-red.
inline const cv::Scalar kClassicColour(0, 200, 0);      // green: the classic reader's cut
inline const cv::Scalar kTrackColour(255, 0, 255);      // magenta: where the sound is
inline const cv::Scalar kPictureColour(255, 160, 0);    // blue: the movie's picture
inline const cv::Scalar kFrameLineColour(0, 220, 255);  // yellow: frame lines

// Measures a scan for `settings` and draws it about `width` pixels wide.
InspectView inspectScan(const cv::Mat& scan, const InspectSettings& settings, int width = 1600);

}  // namespace kelvora
