#include "film/settings_check.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include <opencv2/imgproc.hpp>

#include "film/soundtrack_area.h"
#include "signal/profile.h"
#include "signal/side_by_side.h"

namespace kelvora {

namespace {

// Film widths and frame pitches, in cm.
constexpr double kWidth35 = 2.09, kPitch35 = 1.919;
constexpr double kWidth16 = 0.96, kPitch16 = 0.762;
constexpr double kTrackWidth = 0.24;

// The mean of rows [y0, y1) of a grey scan for every column: one value per position
// along the film.
std::vector<double> bandProfile(const cv::Mat& grey, int y0, int y1) {
  cv::Mat band;
  cv::reduce(grey.rowRange(y0, y1), band, 0, cv::REDUCE_AVG, CV_64F);
  return std::vector<double>(band.begin<double>(), band.end<double>());
}

// Sound moves from one row of film to the next at audio frequencies; pictures and
// frame lines change slowly, or in rare steps. The median step between neighbours
// tells the two apart and ignores the steps.
double soundLikeness(const std::vector<double>& p) {
  if (p.size() < 3) return 0.0;
  std::vector<double> steps(p.size() - 1);
  for (size_t i = 0; i + 1 < p.size(); ++i) steps[i] = std::abs(p[i + 1] - p[i]);
  std::nth_element(steps.begin(), steps.begin() + steps.size() / 2, steps.end());
  return steps[steps.size() / 2];
}

// The period of the frame lines along the film, by normalised autocorrelation of the
// picture band's edges: the shortest lag whose likeness is within a tenth of the best
// one.
double framePeriod(const std::vector<double>& band) {
  // A frame line's edges are sharp steps at every frame; the picture between them
  // changes smoothly, and no more alike from one frame to the next than over several.
  const std::vector<double> p = stepsAcross(band, 2);
  const int n = static_cast<int>(p.size());
  const int from = std::max(8, n / 8);
  const int to = n - std::max(8, n / 10);
  std::vector<double> likeness(static_cast<size_t>(std::max(to, 0)), -1.0);
  // Each lag is measured on its own, so the lags are taken in stripes side by side.
  sideBySide(to - from, [&](int first, int end) {
    for (int lag = from + first; lag < from + end; ++lag) {
      const int m = n - lag;
      double sa = 0, sb = 0;
      for (int i = 0; i < m; ++i) {
        sa += p[i];
        sb += p[i + lag];
      }
      sa /= m;
      sb /= m;
      double ab = 0, aa = 0, bb = 0;
      for (int i = 0; i < m; ++i) {
        const double a = p[i] - sa, b = p[i + lag] - sb;
        ab += a * b;
        aa += a * a;
        bb += b * b;
      }
      likeness[static_cast<size_t>(lag)] = aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : -1.0;
    }
  });
  double best = -1.0;
  for (int lag = from; lag < to; ++lag) best = std::max(best, likeness[static_cast<size_t>(lag)]);
  if (best < 0.5) return 0.0;
  for (int lag = from + 1; lag + 1 < to; ++lag)
    if (likeness[lag] >= 0.9 * best && likeness[lag] >= likeness[lag - 1] &&
        likeness[lag] >= likeness[lag + 1]) {
      // Between rows: the top of the parabola through the peak and its neighbours.
      const double a = likeness[lag - 1], b = likeness[lag], c = likeness[lag + 1];
      const double curve = a - 2.0 * b + c;
      return curve < 0.0 ? lag + std::clamp(0.5 * (a - c) / curve, -0.5, 0.5) : lag;
    }
  return 0.0;
}

std::string dpiText(double dpi) { return std::to_string(static_cast<int>(std::lround(dpi))); }

}  // namespace

FilmMeasurement measureFilm(const cv::Mat& scan) {
  FilmMeasurement m;
  if (scan.empty() || scan.rows < 32 || scan.cols < 32) return m;
  cv::Mat grey = scan;
  if (scan.channels() == 3) cv::cvtColor(scan, grey, cv::COLOR_BGR2GRAY);
  if (scan.channels() == 4) cv::cvtColor(scan, grey, cv::COLOR_BGRA2GRAY);
  const int h = grey.rows;

  // The track band of either gauge lies within a quarter of the width from its edge.
  const int band = std::max(2, h / 10);
  m.trackScore[0] = soundLikeness(bandProfile(grey, 0, band));
  m.trackScore[1] = soundLikeness(bandProfile(grey, h - band, h));
  m.trackOnTop = m.trackScore[0] >= m.trackScore[1];
  const double strong = std::max(m.trackScore[0], m.trackScore[1]);
  const double weak = std::min(m.trackScore[0], m.trackScore[1]);
  m.sureOfEdge = strong > 0.5 && strong > 3.0 * weak;

  // Frame lines, in the middle of the picture away from the track side.
  const int p0 = m.trackOnTop ? h * 45 / 100 : h * 15 / 100;
  const int p1 = m.trackOnTop ? h * 85 / 100 : h * 55 / 100;
  m.framePitch = framePeriod(bandProfile(grey, p0, p1));
  if (m.framePitch <= 0) return m;
  m.measured = true;
  const double ratio = h / m.framePitch;  // the film's width in frame pitches
  const double as35 = std::abs(std::log(ratio / (kWidth35 / kPitch35)));
  const double as16 = std::abs(std::log(ratio / (kWidth16 / kPitch16)));
  m.gauge = as16 < as35 ? 16 : 35;
  m.sureOfGauge = std::min(as16, as35) < 0.06 && std::max(as16, as35) > 0.1;
  m.framesPerScan = scan.cols / m.framePitch;
  m.dpi = m.framePitch * 2.54 / (m.gauge == 16 ? kPitch16 : kPitch35);

  // Variable area is clear or opaque across the track; variable density is grey.
  const double widthCm = m.gauge == 16 ? kWidth16 : kWidth35;
  const int track = std::clamp(static_cast<int>(h * kTrackWidth / widthCm), 2, h / 2);
  const cv::Mat trackBand = m.trackOnTop ? grey.rowRange(0, track) : grey.rowRange(h - track, h);
  double lo = 0, hi = 0;
  cv::minMaxLoc(trackBand, &lo, &hi);
  const cv::Mat middle = (trackBand > lo + 0.25 * (hi - lo)) & (trackBand < lo + 0.75 * (hi - lo));
  m.variableDensity = cv::countNonZero(middle) > 0.5 * trackBand.total();
  return m;
}

std::vector<std::string> settingsWarnings(const FilmMeasurement& m, const FilmSettings& s) {
  std::vector<std::string> out;
  if (m.sureOfEdge && m.trackOnTop != isUp(s.direction))
    out.push_back(m.trackOnTop ? "the soundtrack lies along the top edge: did you mean UP?"
                               : "the soundtrack lies along the bottom edge: did you mean DOWN?");
  if (!m.measured) return out;
  const bool set16 = isSixteenMm(s.track);
  if (m.sureOfGauge && (m.gauge == 16) != set16)
    out.push_back(m.gauge == 16 ? "the film is as wide as 16 mm film for its frame pitch: did you "
                                  "mean 16 mm?"
                                : "the film is as wide as 35 mm film for its frame pitch: did you "
                                  "mean 35 mm?");
  char frames[32];
  std::snprintf(frames, sizeof frames, "%.1f", m.framesPerScan);
  if (!s.longStrip && m.framesPerScan > 1.8)
    out.push_back(std::string("each scan holds ") + frames +
                  " frames of film: did you mean Long strip?");
  if (s.longStrip && m.framesPerScan < 1.6)
    out.push_back(std::string("each scan holds ") + frames +
                  " frames of film: did you mean to leave Long strip off?");
  return out;
}

std::vector<std::string> resolutionWarnings(const FilmMeasurement& m, const FilmSettings& s,
                                            const Resolution& tagged, const Resolution& taken,
                                            bool rateFromResolution) {
  std::vector<std::string> out;
  const bool sixteen = isSixteenMm(s.track);
  // The pitch measured counts only on film of the gauge set: the frame lines of another
  // gauge say nothing of this one's dpi.
  const bool pitchMeasured = m.measured && m.sureOfGauge && m.gauge == (sixteen ? 16 : 35);
  const double pitchCm = sixteen ? kPitch16 : kPitch35;
  if (rateFromResolution) {
    // The dpi along the film its frames play at: measured on the scan, or as tagged.
    const double filmDpi = pitchMeasured ? m.dpi : tagged.y;
    if (filmDpi <= 0 || taken.y <= 0) return out;
    Parameters takenGeometry;
    filParametersT(filmTypeOf(s.track), taken, takenGeometry);
    const double speed = takenGeometry.framePitch / (filmDpi * pitchCm / 2.54);
    if (std::abs(speed - 1.0) <= 0.005) return out;
    char percent[32];
    std::snprintf(percent, sizeof percent, "%.1f %%", 100.0 * std::abs(speed - 1.0));
    const std::string y = dpiText(filmDpi);
    const std::string xy =
        std::to_string(tagged.x > 0 ? tagged.x : static_cast<int>(std::lround(filmDpi))) + "," + y;
    std::string why = pitchMeasured ? "the scan's frame pitch measures " + y + " dpi"
                                    : "the scan says " + y + " dpi";
    if (pitchMeasured && tagged.y > 0 && std::abs(tagged.y - filmDpi) > 0.005 * filmDpi)
      why += " (its file says " + std::to_string(tagged.y) + ": the film has shrunk)";
    out.push_back(
        "the sound will play " + std::string(percent) + (speed > 1.0 ? " fast" : " slow") +
        ": the classic reader takes " + std::to_string(taken.y) + " dpi, " + why + "; type " + xy +
        " as Manual resolution (--resolution " + xy + "), or read it with the precise reader");
    return out;
  }
  if (!pitchMeasured) return out;
  if (s.manualResolution && std::abs(s.manualResolution->y - m.dpi) > 0.05 * m.dpi)
    out.push_back("the frame pitch measures " + dpiText(m.dpi) + " dpi, the resolution is set to " +
                  std::to_string(s.manualResolution->x) + "," +
                  std::to_string(s.manualResolution->y) + ": did you mean " + dpiText(m.dpi) + "?");
  if (tagged.y > 0 && std::abs(tagged.y - m.dpi) > 0.05 * m.dpi)
    out.push_back("the scan says " + dpiText(tagged.y) + " dpi but its frame pitch measures " +
                  dpiText(m.dpi) + " dpi: the film may have shrunk, or the tag is wrong");
  return out;
}

FilmSettings settingsFromMeasurement(const FilmMeasurement& m, const FilmSettings& given) {
  FilmSettings s = given;
  if (m.sureOfEdge) s.direction = m.trackOnTop ? Direction::Up : Direction::Down;
  if (!m.measured) return s;
  if (m.sureOfGauge)
    s.track = m.gauge == 16       ? Track::VariableArea16
              : m.variableDensity ? Track::VariableDensity35
                                  : Track::VariableArea35;
  s.longStrip = m.framesPerScan > 1.7;
  return s;
}

std::string describeFilmSettings(const FilmSettings& s) {
  return std::string(filmTypeName(filmTypeOf(s.track))) + (isUp(s.direction) ? ", UP" : ", DOWN") +
         (s.longStrip ? ", long strip" : ", a frame a scan");
}

}  // namespace kelvora
