#include "views/inspect_view.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include <opencv2/imgproc.hpp>

#include "film/orientation.h"
#include "film/resolution.h"
#include "film/settings_check.h"
#include "movie/picture_area.h"
#include "signal/image_ops.h"

namespace kelvora {

namespace {

// The movie's picture rectangle, found on the scan turned as the movie job turns it,
// in the scan's own pixels. `turnedRows` is the scan's width.
cv::Rect pictureOnScan(const PictureRect& r, int scanWidth, int scanHeight, bool direction) {
  // The turned scan's rows run against the scan's columns (its last column first);
  // its columns are the scan's rows, mirrored for DOWN, where the movie turns the
  // track to the left.
  const int x0 = scanWidth - 1 - r.bottom;
  const int x1 = scanWidth - 1 - r.top;
  const int y0 = direction ? r.left : scanHeight - 1 - r.right;
  const int y1 = direction ? r.right : scanHeight - 1 - r.left;
  const cv::Rect whole(0, 0, scanWidth, scanHeight);
  return cv::Rect(cv::Point(x0, y0), cv::Point(x1 + 1, y1 + 1)) & whole;
}

// A line of the legend in `colour`: for a mark drawn on the scan, a swatch of the mark's
// own colour first.
void legendLine(cv::Mat& image, int& y, const std::string& text, const cv::Scalar& colour,
                bool mark = true) {
  if (mark) cv::rectangle(image, cv::Rect(12, y - 9, 24, 4), colour, cv::FILLED);
  cv::putText(image, text, cv::Point(44, y), cv::FONT_HERSHEY_SIMPLEX, 0.6, colour, 1, cv::LINE_AA);
  y += 26;
}

// `text` broken at spaces into lines no wider than `width` pixels in the legend's font.
std::vector<std::string> wrapped(const std::string& text, int width) {
  std::vector<std::string> lines;
  std::string line;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find(' ', at);
    if (end == std::string::npos) end = text.size();
    const std::string word = text.substr(at, end - at);
    const std::string longer = line.empty() ? word : line + " " + word;
    int base = 0;
    if (!line.empty() &&
        cv::getTextSize(longer, cv::FONT_HERSHEY_SIMPLEX, 0.6, 1, &base).width > width) {
      lines.push_back(line);
      line = word;
    } else {
      line = longer;
    }
    at = end + 1;
  }
  if (!line.empty() || lines.empty()) lines.push_back(line);
  return lines;
}

}  // namespace

InspectView inspectScan(const cv::Mat& scan, const InspectSettings& s, int width) {
  InspectView v;
  if (scan.empty()) return v;
  const int filmType = filmTypeOf(s.film.track);
  const bool longStrip = s.film.longStrip;
  const bool direction = isUp(s.film.direction);
  const cv::Mat raw = s.film.frameCorrection ? frameCorrection(scan, filmType, longStrip) : scan;

  if (s.film.manualResolution) {
    v.resolution = *s.film.manualResolution;
  } else {
    resolution(rot90(raw, 1), filmType, v.resolution, longStrip, direction);
  }
  filParametersT(filmType, v.resolution, v.parameters);
  v.classicCut = soundtrackRowsOfScan(raw, filmType, v.parameters, direction, s.cutBySoundtrack);
  v.track = locateTrack(raw, direction, std::min(raw.rows / 2, v.parameters.trackWidth * 5 / 4));

  const cv::Mat turned = RotCor(scan, 0, direction, s.film.frameCorrection, filmType, longStrip);
  ParametersM area;
  filParametersM(turned, filmType, v.resolution, area, s.cutSoundtrack);
  const PictureRect r = findPicture(turned, area, filmType, longStrip, s.cutSoundtrack);
  v.picture = pictureOnScan(r, raw.cols, raw.rows, direction);
  // Frame lines: where the picture begins, and a frame pitch on either side.
  const int pitch = v.parameters.framePitch;
  if (pitch > 0)
    for (int x = v.picture.x + v.picture.width; x >= -pitch; x -= pitch)
      if (x >= 0 && x < raw.cols) v.frameLines.push_back(x);
  const FilmMeasurement measured = measureFilm(raw);
  v.warnings = settingsWarnings(measured, s.film);
  const Resolution tagged{0, static_cast<int>(std::lround(s.taggedDpi))};
  for (const std::string& w : resolutionWarnings(measured, s.film, tagged, v.resolution, true))
    v.warnings.push_back(w);

  // The scan, scaled, in colour, with its areas drawn; the legend below it.
  v.scale = static_cast<double>(width) / raw.cols;
  cv::Mat colour;
  if (raw.channels() == 1) {
    cv::cvtColor(raw, colour, cv::COLOR_GRAY2BGR);
  } else if (raw.channels() == 4) {
    cv::cvtColor(raw, colour, cv::COLOR_BGRA2BGR);
  } else {
    colour = raw;
  }
  cv::Mat scaled;
  cv::resize(colour, scaled, cv::Size(width, std::max(1, static_cast<int>(raw.rows * v.scale))), 0,
             0, cv::INTER_AREA);
  const auto at = [&](double p) { return static_cast<int>(std::lround(p * v.scale)); };
  std::vector<std::string> warningLines;
  for (const std::string& w : v.warnings)
    for (const std::string& l : wrapped("warning: " + w, width - 60)) warningLines.push_back(l);
  const int legendRows = 26 * (6 + static_cast<int>(warningLines.size())) + 12;
  v.image = cv::Mat(scaled.rows + legendRows, width, CV_8UC3, cv::Scalar(32, 32, 32));
  scaled.copyTo(v.image.rowRange(0, scaled.rows));
  cv::Mat drawn = v.image.rowRange(0, scaled.rows);
  for (const int x : v.frameLines)
    cv::line(drawn, cv::Point(at(x), 0), cv::Point(at(x), drawn.rows - 1), kFrameLineColour, 2);
  cv::rectangle(
      drawn, cv::Rect(at(v.picture.x), at(v.picture.y), at(v.picture.width), at(v.picture.height)),
      kPictureColour, 2);
  // The classic cut across the left half, where the sound is across the right half, so
  // that one never hides the other.
  const auto band = [&](int first, int last, const cv::Scalar& c, int x0, int x1) {
    for (const int row : {first, last}) {
      const int y = std::clamp(at(row), 0, drawn.rows - 1);
      cv::line(drawn, cv::Point(x0, y), cv::Point(x1, y), c, 1);
    }
  };
  band(v.classicCut.first, v.classicCut.last, kClassicColour, 0, width / 2 - 1);
  if (v.track.found) band(v.track.first, v.track.last, kTrackColour, width / 2, width - 1);

  int y = scaled.rows + 24;
  char line[256];
  std::snprintf(line, sizeof line, "resolution %d x %d dpi   track width %d px   frame pitch %d px",
                v.resolution.x, v.resolution.y, v.parameters.trackWidth, pitch);
  legendLine(v.image, y, line, cv::Scalar(230, 230, 230), false);
  std::snprintf(line, sizeof line, "classic reader's cut: rows %d-%d", v.classicCut.first,
                v.classicCut.last);
  legendLine(v.image, y, line, kClassicColour);
  if (v.track.found) {
    std::snprintf(line, sizeof line, "the sound reaches rows %d-%d", v.track.first, v.track.last);
  } else {
    std::snprintf(line, sizeof line, "no modulated track found near the %s edge",
                  direction ? "top" : "bottom");
  }
  legendLine(v.image, y, line, kTrackColour);
  std::snprintf(line, sizeof line, "movie picture: %d x %d px", v.picture.width, v.picture.height);
  legendLine(v.image, y, line, kPictureColour);
  std::snprintf(line, sizeof line, "frame lines, a frame pitch apart: %zu on this scan",
                v.frameLines.size());
  legendLine(v.image, y, line, kFrameLineColour);
  for (const std::string& l : warningLines)
    legendLine(v.image, y, l, cv::Scalar(80, 80, 255), false);
  return v;
}

}  // namespace kelvora
