#include "reel/ideal_reader.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include <OpenImageIO/imageio.h>

#include "reel/dust.h"

namespace kelvora::reel {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kNoSound = std::numeric_limits<double>::quiet_NaN();
// Grey scans were made from the track's tinted colours with these weights.
constexpr double kTrackGrey = 0.114 * 0.92 + 0.587 * 0.96 + 0.299;

// Whether row `y` of a scan is out of the gate's shadow, more than half lit.
bool readable(const ReelOptions& o, const ReelGeometry& g, double y) {
  return gateLight(o, g, y + 0.5) >= 0.5;
}

// The track side of a scan file, turned as the generator drew it (film running top to
// bottom in playing order, the track on the left): `columns` columns of levels on the
// 8-bit scale.
cv::Mat readTrackSide(const std::string& path, const ReelOptions& o, const ReelGeometry& g,
                      int columns) {
  OIIO::ImageSpec layout;
  auto in = OIIO::ImageInput::create(path);
  if (!in || !in->open(path, layout))
    throw std::runtime_error("the ideal reader cannot open " + path);
  if (layout.width != g.scanLength || layout.height != g.filmWidth)
    throw std::runtime_error(path + " is not the size the reel's scans are");
  const int first = o.directionUp ? 0 : g.filmWidth - columns;
  cv::Mat raw(columns, layout.width, CV_32F);
  if (!in->read_scanlines(0, 0, first, first + columns, 0, 0, 1, OIIO::TypeDesc::FLOAT,
                          raw.ptr<float>(0)))
    throw std::runtime_error("the ideal reader cannot read " + path + ": " + in->geterror());
  in->close();
  const double scale = 255.0 / (o.colour ? 1.0 : kTrackGrey);
  cv::Mat turned(g.scanLength, columns, CV_32F);
  for (int u = 0; u < columns; ++u) {
    const float* row = raw.ptr<float>(o.directionUp ? u : columns - 1 - u);
    for (int y = 0; y < g.scanLength; ++y) {
      const int c = o.inverse ? y : g.scanLength - 1 - y;
      turned.at<float>(y, u) = static_cast<float>(scale * row[c]);
    }
  }
  return turned;
}

// Fills the masked entries of `values` from the nearest unmasked ones either side, in a
// straight line between them: an edge hidden in a run is put in its middle. Returns the
// middles (in entries) of the runs that may hide an edge: not clear, or not opaque, on
// both sides.
std::vector<double> fillAcross(std::vector<double>& values, const std::vector<bool>& masked) {
  std::vector<double> edges;
  const int n = static_cast<int>(values.size());
  for (int i = 0; i < n;) {
    if (!masked[static_cast<size_t>(i)]) {
      ++i;
      continue;
    }
    int end = i;
    while (end < n && masked[static_cast<size_t>(end)]) ++end;
    const int left = i - 1;
    if (left < 0 && end >= n) return edges;
    const double a =
        left >= 0 ? values[static_cast<size_t>(left)] : values[static_cast<size_t>(end)];
    const double b = end < n ? values[static_cast<size_t>(end)] : a;
    for (int j = i; j < end; ++j) {
      const double w = static_cast<double>(j - left) / (end - left);
      values[static_cast<size_t>(j)] = (1.0 - w) * a + w * b;
    }
    const bool sure = std::min(a, b) > 0.9 || std::max(a, b) < 0.1;
    if (!sure) edges.push_back(0.5 * (i + end));
    i = end;
  }
  return edges;
}

// Lanczos kernel of kLobes lobes: rows between rows, near the rows' own band.
constexpr int kLobes = 8;
double lanczos(double x) {
  if (x == 0.0) return 1.0;
  if (std::abs(x) >= kLobes) return 0.0;
  const double px = kPi * x;
  return kLobes * std::sin(px) * std::sin(px / kLobes) / (px * px);
}

// `v`, or `own` where `v` could not be had (an interpolation near rows not read).
double orOwn(double v, double own) { return std::isnan(v) ? own : v; }

// Column `u` of `read` at fractional row `y`; NaN where a row it needs is.
double columnAt(const cv::Mat& read, int u, double y) {
  const double k = std::floor(y);
  if (y == k) return read.at<double>(std::clamp(static_cast<int>(k), 0, read.rows - 1), u);
  double sum = 0.0, weights = 0.0;
  for (int j = static_cast<int>(k) - kLobes + 1; j <= static_cast<int>(k) + kLobes; ++j) {
    const double v = read.at<double>(std::clamp(j, 0, read.rows - 1), u);
    if (std::isnan(v)) return kNoSound;
    const double w = lanczos(y - j);
    sum += w * v;
    weights += w;
  }
  return sum / weights;
}

// The scan's rows at fractional row `x`; NaN where a row it needs is.
double rowsAt(const std::vector<double>& rows, double x) {
  const double k = std::floor(x);
  const long last = static_cast<long>(rows.size()) - 1;
  if (x == k) return rows[static_cast<size_t>(std::clamp(static_cast<long>(k), 0L, last))];
  double sum = 0.0, weights = 0.0;
  for (long j = static_cast<long>(k) - kLobes + 1; j <= static_cast<long>(k) + kLobes; ++j) {
    const double v = rows[static_cast<size_t>(std::clamp(j, 0L, last))];
    if (std::isnan(v)) return kNoSound;
    const double w = lanczos(x - static_cast<double>(j));
    sum += w * v;
    weights += w;
  }
  return sum / weights;
}

// The sound of each row of one scan (playing order), NaN where nothing of the track
// could be read.
std::vector<double> readScanRows(const Reel& reel, const std::string& path, const ScanPose& pose) {
  const ReelOptions& o = reel.options;
  const ReelGeometry& g = reel.geometry;
  const bool density = o.filmType == 2;
  const double t = g.trackWidth;
  const int columns = std::min(
      g.filmWidth, g.pictureStart + 4 +
                       static_cast<int>(std::ceil(std::abs(pose.weave) + 1.2 * o.weave +
                                                  std::abs(sideShift(o, g, pose, 0.0)) +
                                                  std::abs(sideShift(o, g, pose, g.scanLength)))));
  const cv::Mat levels = readTrackSide(path, o, g, columns);

  cv::Mat masked(g.scanLength, columns, CV_8U, cv::Scalar(0));
  for (const SpeckPixel& p : speckPixels(o, g, reel.film.specks, pose))
    if (p.u < columns) masked.at<std::uint8_t>(p.y, p.u) = 1;
  const double scratchAt = g.trackStart + o.scratch * t;
  const double scratchWidth = std::max(2.0, o.dpi / 300.0);

  // The sound's share of the clear track is a straight line in the sound.
  double lo, hi;
  clearInterval(o, t, 0.0, lo, hi);
  const double share0 = (hi - lo) / t;
  clearInterval(o, t, 1.0, lo, hi);
  const double shareSwing = (hi - lo) / t - share0;
  const double modulation = o.modulation > 0.0 ? o.modulation : 1.0;

  // Each pixel of the track as the share of it that is clear (variable area) or as the
  // sound (variable density), the light and the film's levels taken off; NaN where a
  // speck or the scratch hides it, and off the track.
  cv::Mat read(g.scanLength, columns, CV_64F, cv::Scalar(kNoSound));
  std::vector<int> spanFrom(static_cast<size_t>(g.scanLength), 0);
  std::vector<int> spanTo(static_cast<size_t>(g.scanLength), 0);
  for (int y = 0; y < g.scanLength; ++y) {
    const double shift = sideShift(o, g, pose, y + 0.5);
    const double along = pose.start + y;
    const FilmLevels film = filmLevels(o, g, along + 0.5);
    const double cement = spliceTransmission(o, reel.film.spliceRows, along);
    // Film columns of the track to read: all of a variable-density track's whole pixels;
    // on variable area, everywhere the clear part can reach, opaque either side.
    const double from = density ? g.trackStart : g.trackStart + 0.04 * t;
    const double to = density ? g.trackStart + t : g.trackStart + 0.96 * t;
    const int u0 =
        std::max(0, static_cast<int>(density ? std::ceil(from + shift) : std::floor(from + shift)));
    const int u1 = std::min(
        columns, static_cast<int>(density ? std::floor(to + shift) : std::ceil(to + shift)));
    // Rows the gate's shadow leaves nearly black hold nothing to read.
    if (u1 <= u0 || gateLight(o, g, y + 0.5) < 0.1) continue;
    spanFrom[static_cast<size_t>(y)] = u0;
    spanTo[static_cast<size_t>(y)] = u1;
    const float* in = levels.ptr<float>(y);
    const std::uint8_t* mask = masked.ptr<std::uint8_t>(y);
    double* out = read.ptr<double>(y);
    for (int u = u0; u < u1; ++u) {
      const double c0 = u - shift;
      if (mask[u] != 0 || (o.scratch >= 0.0 &&
                           std::min(c0 + 1.0, scratchAt + scratchWidth) > std::max(c0, scratchAt)))
        continue;
      double v = in[u] / (sceneLight(o, g, pose.index, y + 0.5, u + 0.5) * cement);
      if (o.negative) v = kClear + kOpaque - v;
      out[u] = density ? (v - film.densityBase) / kDensitySwing
                       : (v - film.opaque) / (film.clear - film.opaque);
    }
  }

  // A turned scan read along the film: each column of a variable-density track taken at
  // the place the track's middle shows on the row.
  const double skew = alongAt(o, g, pose, 0.0, 1.0) - alongAt(o, g, pose, 0.0, 0.0);
  const double middle = g.trackStart + 0.5 * t;
  if (skew != 0.0 && density) {
    cv::Mat along(read.size(), CV_64F, cv::Scalar(kNoSound));
    for (int y = 0; y < g.scanLength; ++y)
      for (int u = spanFrom[static_cast<size_t>(y)]; u < spanTo[static_cast<size_t>(y)]; ++u)
        along.at<double>(y, u) =
            orOwn(columnAt(read, u, y - skew * (u + 0.5 - middle)), read.at<double>(y, u));
    read = along;
  }

  // Each row. Variable density leaves a hidden pixel out. On variable area a hidden pixel
  // is filled across; where that hides an edge of a bilateral track, its half is read
  // from the other half, the mirror image. The clear width of each side of the middle
  // (one side for a unilateral track) is kept apart, for its edge runs early or late on
  // a turned scan by its distance from the middle.
  std::vector<double> rows(static_cast<size_t>(g.scanLength), kNoSound);
  std::vector<double> upper(rows.size(), kNoSound), lower(rows.size(), kNoSound);
  std::vector<bool> upperHidden(rows.size(), false), lowerHidden(rows.size(), false);
  std::vector<double> values;
  std::vector<bool> hidden;
  for (int y = 0; y < g.scanLength; ++y) {
    const int u0 = spanFrom[static_cast<size_t>(y)];
    const int u1 = spanTo[static_cast<size_t>(y)];
    if (u1 <= u0) continue;
    const double* in = read.ptr<double>(y);
    values.assign(in + u0, in + u1);
    hidden.assign(values.size(), false);
    int seen = 0;
    for (size_t i = 0; i < values.size(); ++i) {
      hidden[i] = std::isnan(values[i]);
      seen += hidden[i] ? 0 : 1;
    }
    // A row mostly unread (by the gate's shadow, a turned scan's rows beyond it) is none.
    if (seen < 0.7 * static_cast<double>(values.size())) continue;
    if (density) {
      double sum = 0.0;
      for (size_t i = 0; i < values.size(); ++i)
        if (!hidden[i]) sum += values[i];
      rows[static_cast<size_t>(y)] = sum / seen / modulation;
      continue;
    }
    const std::vector<double> edgesHidden = fillAcross(values, hidden);
    const double split = o.unilateral ? static_cast<double>(values.size())
                                      : middle + sideShift(o, g, pose, y + 0.5) - u0;
    double up = 0.0, down = 0.0;
    for (size_t i = 0; i < values.size(); ++i) {
      const double share = std::clamp(split - static_cast<double>(i), 0.0, 1.0);
      up += share * values[i];
      down += (1.0 - share) * values[i];
    }
    upper[static_cast<size_t>(y)] = up;
    lower[static_cast<size_t>(y)] = down;
    for (const double at : edgesHidden)
      (at < split ? upperHidden : lowerHidden)[static_cast<size_t>(y)] = true;
  }
  if (density) return rows;
  // The moving edge of each side put back to the row's place: the upper edge of the clear
  // part lies `upper` before the middle, the lower edge `lower` after it (a unilateral
  // track's fixed edge does not move). How early or late an edge shows depends on where
  // it lies, which the corrected sound tells better: a few rounds.
  const double fixed = g.trackStart + (o.unilateral ? 0.1 * t : 0.0);
  const auto putBack = [&](std::vector<double>& side, double sign, double from) {
    if (skew == 0.0) return;
    const std::vector<double> seen = side;
    for (int round = 0; round < 3; ++round) {
      const std::vector<double> guess = side;
      for (size_t y = 0; y < side.size(); ++y) {
        if (std::isnan(seen[y]) || std::isnan(guess[y])) continue;
        // The edge's column on the scan, where the turn about the track's middle is read.
        const double edge = from + sign * guess[y] + sideShift(o, g, pose, y + 0.5);
        const double back = rowsAt(seen, static_cast<double>(y) - skew * (edge - middle));
        if (!std::isnan(back)) side[y] = back;  // near rows not read, the row as it lies
      }
    }
  };

  if (o.unilateral) {
    putBack(upper, 1.0, fixed);
  } else {
    putBack(upper, -1.0, middle);
    putBack(lower, 1.0, middle);
  }
  for (size_t y = 0; y < rows.size(); ++y) {
    if (std::isnan(upper[y])) continue;
    double width = upper[y] + lower[y];
    if (!o.unilateral && upperHidden[y] && !lowerHidden[y]) width = 2.0 * lower[y];
    if (!o.unilateral && lowerHidden[y] && !upperHidden[y]) width = 2.0 * upper[y];
    rows[y] = (width / t - share0) / shareSwing / modulation;
  }
  return rows;
}

}  // namespace

std::vector<bool> scannedRows(const Reel& reel) {
  const ReelGeometry& g = reel.geometry;
  std::vector<bool> held(static_cast<size_t>(std::max(g.totalRows, 0)), false);
  const int n = reel.options.scans;
  for (const int number : reel.scanNumbers) {
    const int index = reel.options.inverse ? n - 1 - number : number;
    const double start = g.scanPlace(index);
    const int first = std::max(0, static_cast<int>(std::ceil(start)));
    const int last = std::min(g.totalRows, static_cast<int>(std::floor(start + g.scanLength)));
    for (int i = first; i < last; ++i)
      if (readable(reel.options, g, i - start)) held[static_cast<size_t>(i)] = true;
  }
  return held;
}

std::vector<float> idealSound(const Reel& reel) {
  const ReelOptions& o = reel.options;
  const ReelGeometry& g = reel.geometry;
  const int n = o.scans;
  struct Read {
    double start = 0.0;
    std::vector<double> rows;
  };
  std::vector<Read> scans;
  for (size_t k = 0; k < reel.scanPaths.size(); ++k) {
    const int number = reel.scanNumbers[k];
    const int index = o.inverse ? n - 1 - number : number;
    const ScanPose pose = scanPose(g, reel.weave, index);
    scans.push_back(Read{pose.start, readScanRows(reel, reel.scanPaths[k], pose)});
  }

  // Each film row from every scan that holds it out of the gate's shadow, their readings
  // averaged (the scanner's noise is its own in each); rows between rows only where the
  // scan goes on far enough either side, else from the one that holds it farthest from
  // its ends.
  const std::vector<bool> held = scannedRows(reel);
  std::vector<double> joined(held.size(), kNoSound);
  for (size_t i = 0; i < joined.size(); ++i) {
    if (!held[i]) continue;
    const double row = static_cast<double>(i);
    const Read* best = nullptr;
    double room = -1.0, sum = 0.0;
    int clear = 0;
    for (const Read& s : scans) {
      const double x = row - s.start;
      if (x < -1e-9 || x > g.scanLength - 1 + 1e-9 || !readable(o, g, x)) continue;
      const double r = std::min(x, g.scanLength - 1 - x);
      if (r > room) room = r, best = &s;
      if (r < kLobes && x != std::floor(x)) continue;
      const double v = rowsAt(s.rows, x);
      if (!std::isnan(v)) sum += v, ++clear;
    }
    if (clear > 0) {
      joined[i] = sum / clear;
    } else if (best) {
      const double x = row - best->start;
      const long nearest = std::clamp(std::lround(x), 0L, static_cast<long>(best->rows.size()) - 1);
      joined[i] = orOwn(rowsAt(best->rows, x), best->rows[static_cast<size_t>(nearest)]);
    }
  }
  // Rows nothing could be read on take a straight line between the rows either side.
  for (size_t i = 0; i < joined.size(); ++i) {
    if (!held[i] || !std::isnan(joined[i])) continue;
    size_t end = i;
    while (end < joined.size() && held[end] && std::isnan(joined[end])) ++end;
    const bool before = i > 0 && held[i - 1];
    const bool after = end < joined.size() && held[end];
    const double a = before ? joined[i - 1] : after ? joined[end] : 0.0;
    const double b = after ? joined[end] : a;
    for (size_t j = i; j < end; ++j)
      joined[j] = a + (b - a) * static_cast<double>(j - i + 1) / static_cast<double>(end - i + 1);
    i = end;
  }
  // The track's resting level off: the mean over the rows scanned.
  double sum = 0.0;
  size_t count = 0;
  for (size_t i = 0; i < joined.size(); ++i)
    if (held[i]) sum += joined[i], ++count;
  const double rest = count > 0 ? sum / count : 0.0;
  std::vector<float> sound(joined.size(), 0.0f);
  for (size_t i = 0; i < joined.size(); ++i)
    if (held[i]) sound[i] = static_cast<float>(joined[i] - rest);
  return sound;
}

}  // namespace kelvora::reel
