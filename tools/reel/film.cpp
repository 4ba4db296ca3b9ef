#include "reel/film.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "audio/resample.h"
#include "reel/dust.h"
#include "reel/programme.h"
#include "signal/rounding.h"

namespace kelvora::reel {

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kFrameLine = 12.0;  // the bar between two pictures
constexpr double kCodeDark = 70.0;
constexpr double kCodeLight = 200.0;
constexpr double kDensityClear = 235.0;  // the clear film beside a variable-density track
constexpr double kScratchBright = 235.0;
constexpr double kScratchDark = 15.0;

bool isVariableDensity(const ReelOptions& o) { return o.filmType == 2; }

// Length of [a0, a1) that lies inside [lo, hi].
double overlap(double a0, double a1, double lo, double hi) {
  return std::max(0.0, std::min(hi, a1) - std::max(lo, a0));
}

// The film's drift across a turned scan, columns a row: the gate's turn and this
// scan's own.
double skewOf(const ReelOptions& o, const ScanPose& pose) {
  const double degrees = o.skewDegrees + o.turnWander * std::sin(2.9 * pose.index + 1.3);
  return std::tan(degrees * kTwoPi / 360.0);
}

// What the picture area shows around one place along the film.
struct PictureRow {
  int frame = 0;
  bool codeRow = false;
  int code = 0;
  double rowWave = 0.0;
  double drift = 0.0;
  double cj = 1.0;
  double sj = 0.0;
};

PictureRow pictureRow(const ReelGeometry& g, const ReelOptions& o,
                      const std::vector<int>& spliceRows, double a0) {
  PictureRow r;
  const double pitch = g.rowsPerFrame;
  const double centre = a0 + 0.5;
  r.frame = static_cast<int>(std::floor((centre - g.lineStart) / pitch));
  const double offset = centre - g.lineStart - r.frame * pitch;
  const int pictureHeight = g.pitch - g.lineHeight;
  r.codeRow = offset >= g.lineHeight + static_cast<int>(0.4 * pictureHeight) &&
              offset < g.lineHeight + static_cast<int>(0.6 * pictureHeight);
  int framesCut = 0;
  for (const int row : spliceRows)
    if (centre >= row) framesCut += o.framesCut;
  r.code = frameCode(r.frame + framesCut);
  r.rowWave = std::sin(kTwoPi * (1.3 * offset / g.pitch + 0.37 * r.frame));
  r.drift = 20.0 * std::sin(kTwoPi * centre / 517.0);
  r.cj = std::cos(0.2 * r.frame);
  r.sj = std::sin(0.2 * r.frame);
  return r;
}

// The share of film rows [a0, a0 + 1) on a frame line.
double lineShareAt(const ReelGeometry& g, double a0) {
  const double pitch = g.rowsPerFrame;
  const int frame = static_cast<int>(std::floor((a0 + 0.5 - g.lineStart) / pitch));
  double share = 0.0;
  for (int f = frame - 1; f <= frame + 1; ++f) {
    const double line = g.lineStart + f * pitch;
    share += overlap(a0, a0 + 1.0, line, line + g.lineHeight);
  }
  return std::min(share, 1.0);
}

// The printed sound's steps over film rows [a0, a0 + 1): their values (after the
// modulation) and the share of the row each holds.
struct Steps {
  double a[kSubRows + 1];
  double w[kSubRows + 1];
  int n = 0;
};

Steps stepsOver(const std::vector<float>& sound, double modulation, double a0) {
  Steps s;
  const double at = a0 * kSubRows;
  const double first = std::floor(at);
  const double f = at - first;
  const long last = static_cast<long>(sound.size()) - 1;
  const long m0 = static_cast<long>(first);
  for (int j = 0; j <= kSubRows; ++j) {
    const double w = j == 0 ? 1.0 - f : j == kSubRows ? f : 1.0;
    if (w <= 0.0) continue;
    const long m = std::clamp(m0 + j, 0L, std::max(last, 0L));
    s.a[s.n] = last >= 0 ? modulation * sound[static_cast<size_t>(m)] : 0.0;
    s.w[s.n] = w / kSubRows;
    ++s.n;
  }
  return s;
}

}  // namespace

int frameCode(int frame) { return (frame + 1) & 0xff; }

ScanPose scanPose(const ReelGeometry& g, const std::vector<double>& weaves, int index) {
  ScanPose pose;
  pose.start = g.scanPlace(index);
  pose.index = index;
  if (index >= 0 && index < static_cast<int>(weaves.size()))
    pose.weave = weaves[static_cast<size_t>(index)];
  return pose;
}

double sideShift(const ReelOptions& o, const ReelGeometry& g, const ScanPose& pose, double y) {
  return pose.weave + 0.1 * o.weave * std::sin(0.5 * kTwoPi * y / g.scanLength + pose.index) +
         skewOf(o, pose) * (y - 0.5 * g.scanLength);
}

double alongAt(const ReelOptions& o, const ReelGeometry& g, const ScanPose& pose, double y,
               double u) {
  return pose.start + y + skewOf(o, pose) * (u - (g.trackStart + 0.5 * g.trackWidth));
}

int gateShadowRows(const ReelOptions& o, const ReelGeometry& g) {
  return o.gateShadow > 0.0 ? std::max(2, roundToInt(0.02 * g.scanLength)) : 0;
}

double gateLight(const ReelOptions& o, const ReelGeometry& g, double y) {
  const int band = gateShadowRows(o, g);
  if (band == 0) return 1.0;
  // Dark for most of the band, then the gate's penumbra.
  const double t = std::min(y, g.scanLength - y) / band;
  if (t >= 1.0) return 1.0;
  const double x = std::clamp((1.0 - t) / 0.4, 0.0, 1.0);
  return 1.0 - std::min(o.gateShadow, 1.0) * x * x * (3.0 - 2.0 * x);
}

double sceneLight(const ReelOptions& o, const ReelGeometry& g, int index, double y, double u) {
  double light = gateLight(o, g, y);
  if (o.vignetting > 0.0 || o.flicker > 0.0) {
    const double midRow = 0.5 * g.scanLength;
    const double midCol = 0.5 * g.filmWidth;
    const double dy = (y - midRow) / midRow;
    const double du = (u - midCol) / midCol;
    const double lamp = 1.0 + o.flicker * std::sin(2.1 * index + o.seed);
    light *= lamp * (1.0 - o.vignetting * 0.5 * (dy * dy + du * du));
  }
  return light;
}

FilmLevels filmLevels(const ReelOptions& o, const ReelGeometry& g, double along) {
  FilmLevels l;
  const double aged = o.densityDrift * along / std::max(g.totalRows, 1);
  l.opaque = kOpaque + 200.0 * aged;
  l.clear = kClear - 300.0 * aged;
  l.densityBase = 100.0 + 250.0 * o.densityDrift * aged;
  return l;
}

double spliceTransmission(const ReelOptions& o, const std::vector<int>& spliceRows, double along) {
  // The cement's overlap: two layers of base a little way either side of the splice.
  const double half = o.dpi * 0.05 / 2.54;
  double covered = 0.0;
  for (const int row : spliceRows) covered += overlap(along, along + 1.0, row - half, row + half);
  return 1.0 - 0.3 * std::min(covered, 1.0);
}

void clearInterval(const ReelOptions& o, double trackWidth, double a, double& lo, double& hi) {
  const double t = trackWidth;
  if (o.unilateral) {
    lo = 0.1 * t;
    hi = lo + t * (0.4 + 0.38 * a);
  } else {
    const double half = t * (0.2 + 0.18 * a);
    lo = 0.5 * t - half;
    hi = 0.5 * t + half;
  }
}

Film printFilm(const ReelOptions& o, const ReelGeometry& g) {
  Film film;
  // Splices join two pieces at a frame line; the frames between them are gone, and
  // with them their sound.
  const int cutRows = roundToInt(o.framesCut * g.rowsPerFrame);
  for (const int frame : o.splices)
    film.spliceRows.push_back(g.lineStart + roundToInt((frame + 1) * g.rowsPerFrame));
  std::sort(film.spliceRows.begin(), film.spliceRows.end());
  const size_t rows = static_cast<size_t>(g.totalRows);
  const size_t printedRows = rows + static_cast<size_t>(cutRows) * film.spliceRows.size();
  // The sound as it was recorded, a sample a row of the shrunk film.
  const int rate = std::max(1, roundToInt(g.trueRate));
  std::vector<float> recorded = o.soundFile.empty() ? makeAudio(static_cast<int>(printedRows), rate,
                                                                o.seed, o.programme, o.level)
                                                    : readPrintedSound(o.soundFile, rate, o.level);
  recorded.resize(printedRows, 0.0f);
  // The film holds no sound faster than its own band, nor than the scanner's rows resolve
  // with room to spare.
  const double band = std::min(o.filmType == 3 ? 6000.0 : 8000.0, 0.42 * rate);
  const int bandRate = roundToInt(band / 0.475);  // the resampler's pass band is 95 %
  if (bandRate < rate) recorded = resample(resample(recorded, rate, bandRate), bandRate, rate);
  recorded.resize(printedRows, 0.0f);
  // The film holds it smoothly between the samples: at twice the steps' rate, every
  // other value, so that each row's steps lie centred on its sample; and no more than
  // fully modulated, where the smoothing overshoots a loud passage.
  const std::vector<float> twice = resample(recorded, rate, 2 * kSubRows * rate);
  std::vector<float> printed(printedRows * kSubRows, 0.0f);
  for (size_t m = 0; m < printed.size(); ++m) {
    const long at = 2 * static_cast<long>(m) - (kSubRows - 1);
    if (at >= 0 && at < static_cast<long>(twice.size()))
      printed[m] = std::clamp(twice[static_cast<size_t>(at)], -1.0f, 1.0f);
  }
  // Splices cut the printed film.
  for (size_t k = film.spliceRows.size(); k-- > 0;) {
    const size_t from = (static_cast<size_t>(film.spliceRows[k]) + cutRows * k) * kSubRows;
    if (from >= printed.size()) continue;
    const size_t to = std::min(printed.size(), from + static_cast<size_t>(cutRows) * kSubRows);
    printed.erase(printed.begin() + static_cast<long>(from),
                  printed.begin() + static_cast<long>(to));
  }
  printed.resize(rows * kSubRows, 0.0f);
  const size_t leader =
      std::min(rows, static_cast<size_t>(std::max(0, roundToInt(o.leaderFrames * g.rowsPerFrame))));
  std::fill(printed.begin(), printed.begin() + static_cast<long>(leader * kSubRows), 0.0f);
  if (o.clickFrame >= 0) {
    // Three milliseconds of full swing, as a splice bump or a slate clap gives.
    const size_t at = static_cast<size_t>(o.clickFrame) * g.pitch;
    const size_t length = static_cast<size_t>(std::max(2, g.sampleRate * 3 / 1000));
    for (size_t i = 0; i < length && at + i < rows; ++i)
      std::fill_n(printed.begin() + static_cast<long>((at + i) * kSubRows), kSubRows,
                  i < length / 2 ? 1.0f : -1.0f);
  }
  film.sound = std::move(printed);
  film.specks = scatterDust(o, g);
  return film;
}

std::vector<float> rowSound(const Film& film) {
  std::vector<float> rows(film.sound.size() / kSubRows);
  for (size_t i = 0; i < rows.size(); ++i) {
    double sum = 0.0;
    for (int j = 0; j < kSubRows; ++j) sum += film.sound[i * kSubRows + j];
    rows[i] = static_cast<float>(sum / kSubRows);
  }
  return rows;
}

cv::Mat renderTurnedScan(const ReelOptions& o, const ReelGeometry& g, const Film& film,
                         const ScanPose& pose) {
  const int rows = g.scanLength;
  const int width = g.filmWidth;
  const double picture = g.pictureStart;
  const int pictureWidth = g.filmWidth - g.pictureStart;
  std::vector<double> cosU(static_cast<size_t>(width));
  std::vector<double> sinU(static_cast<size_t>(width));
  for (int x = 0; x < width; ++x) {
    const double angle = kTwoPi * (x - g.pictureStart) / (0.7 * std::max(pictureWidth, 1));
    cosU[static_cast<size_t>(x)] = std::cos(angle);
    sinU[static_cast<size_t>(x)] = std::sin(angle);
  }
  const int codeLeft = g.pictureStart + static_cast<int>(0.5 * pictureWidth);
  const int codeRight = g.pictureStart + static_cast<int>(0.95 * pictureWidth);
  const double t = g.trackWidth;
  const double track0 = g.trackStart;
  const bool density = isVariableDensity(o);
  const bool skewed = skewOf(o, pose) != 0.0;
  const double scratchAt = track0 + o.scratch * t;
  const double scratchWidth = std::max(2.0, o.dpi / 300.0);
  const double scratchLevel = o.darkScratch ? kScratchDark : kScratchBright;
  // The film's track side over one pixel [c0, c0 + 1) x [a0, a0 + 1), as its mean level.
  const auto trackSide = [&](double c0, const Steps& s, const FilmLevels& l) {
    const double c1 = c0 + 1.0;
    if (density) {
      double mean = 0.0;
      for (int k = 0; k < s.n; ++k) mean += s.w[k] * s.a[k];
      return overlap(c0, c1, 0.0, track0) * l.opaque +
             overlap(c0, c1, track0, track0 + t) * (l.densityBase + kDensitySwing * mean) +
             overlap(c0, c1, track0 + t, picture) * kDensityClear;
    }
    double clearShare = 0.0;
    for (int k = 0; k < s.n; ++k) {
      double lo, hi;
      clearInterval(o, t, s.a[k], lo, hi);
      clearShare += s.w[k] * overlap(c0, c1, track0 + lo, track0 + hi);
    }
    const double side = overlap(c0, c1, 0.0, picture);
    return (side - clearShare) * l.opaque + clearShare * l.clear;
  };
  // The picture at film column c (a pixel's centre, inside the picture area).
  const auto pictureAt = [&](double c, const PictureRow& r, double lineShare) {
    const int x = std::clamp(static_cast<int>(std::floor(c)), g.pictureStart, width - 1);
    double v;
    if (r.codeRow && x >= codeLeft && x < codeRight) {
      const int bit = 7 - (x - codeLeft) * 8 / std::max(codeRight - codeLeft, 1);
      v = (r.code >> bit) & 1 ? kCodeDark : kCodeLight;
    } else {
      v = 155.0 + 40.0 * r.rowWave * (cosU[x] * r.cj - sinU[x] * r.sj) + r.drift;
    }
    return lineShare * kFrameLine + (1.0 - lineShare) * v;
  };

  cv::Mat level(rows, width, CV_32F);
  for (int y = 0; y < rows; ++y) {
    const double shift = sideShift(o, g, pose, y + 0.5);
    const double rowAlong = alongAt(o, g, pose, y, g.trackStart + 0.5 * g.trackWidth);
    const FilmLevels levels = filmLevels(o, g, rowAlong + 0.5);
    Steps steps = stepsOver(film.sound, o.modulation, rowAlong);
    PictureRow pictureRowHere = pictureRow(g, o, film.spliceRows, rowAlong);
    double pictureAlong = rowAlong;
    const double rowLineShare = lineShareAt(g, rowAlong);
    const double rowTransmission =
        film.spliceRows.empty() ? 1.0 : spliceTransmission(o, film.spliceRows, rowAlong);
    const double gate = gateLight(o, g, y + 0.5);
    float* out = level.ptr<float>(y);
    for (int u = 0; u < width; ++u) {
      const double c0 = u - shift;
      const double onFilm = overlap(c0, c0 + 1.0, 0.0, width);
      if (onFilm <= 0.0) {
        out[u] = static_cast<float>(kGate);
        continue;
      }
      const double a0 = skewed ? alongAt(o, g, pose, y, u + 0.5) : rowAlong;
      const double side = overlap(c0, c0 + 1.0, 0.0, picture);
      double v = 0.0;
      if (side > 0.0) {
        if (skewed) steps = stepsOver(film.sound, o.modulation, a0);
        v += trackSide(c0, steps, levels);
      }
      const double pictureShare = overlap(c0, c0 + 1.0, picture, width);
      if (pictureShare > 0.0) {
        // A turned scan's frame lines slant; the smooth picture under them is looked up
        // again only where the slant has moved it on by a tenth of a row.
        if (skewed && std::abs(a0 - pictureAlong) > 0.1) {
          pictureRowHere = pictureRow(g, o, film.spliceRows, a0);
          pictureAlong = a0;
        }
        v += pictureShare * pictureAt(std::max(c0, picture) + 0.5 * pictureShare, pictureRowHere,
                                      skewed ? lineShareAt(g, a0) : rowLineShare);
      }
      v /= onFilm;
      if (o.negative) v = kClear + kOpaque - v;
      if (o.scratch >= 0.0) {
        const double share = overlap(c0, c0 + 1.0, scratchAt, scratchAt + scratchWidth);
        v += share * (scratchLevel - v);
      }
      if (!film.spliceRows.empty())
        v *= skewed ? spliceTransmission(o, film.spliceRows, a0) : rowTransmission;
      if (o.vignetting > 0.0 || o.flicker > 0.0)
        v *= sceneLight(o, g, pose.index, y + 0.5, u + 0.5);
      else
        v *= gate;
      out[u] = static_cast<float>(onFilm * v + (1.0 - onFilm) * kGate);
    }
  }

  // Dust lies on the film: dirt takes the light away, a pinhole lets it all through.
  const std::vector<SpeckPixel> dust = speckPixels(o, g, film.specks, pose);
  for (const SpeckPixel& p : dust) {
    const Speck& s = film.specks[static_cast<size_t>(p.speck)];
    float& v = level.at<float>(p.y, p.u);
    if (s.bright) {
      const FilmLevels l = filmLevels(o, g, s.along);
      const double clear = std::max(l.clear, kClear + kOpaque - l.opaque);
      const double light = o.vignetting > 0.0 || o.flicker > 0.0
                               ? sceneLight(o, g, pose.index, p.y + 0.5, p.u + 0.5)
                               : gateLight(o, g, p.y + 0.5);
      v = static_cast<float>(v + p.share * s.strength * (clear * light - v));
    } else {
      v = static_cast<float>(v * (1.0 - p.share * s.strength));
    }
  }

  cv::Mat turned(rows, width, o.deep ? CV_32FC3 : CV_8UC3);
  for (int y = 0; y < rows; ++y) {
    const float* in = level.ptr<float>(y);
    for (int u = 0; u < width; ++u) {
      const double v = in[u];
      const bool track = u < g.pictureStart;
      const double b = track ? 0.92 : 0.85;
      const double gr = track ? 0.96 : 0.95;
      if (o.deep)
        turned.at<cv::Vec3f>(y, u) =
            cv::Vec3f(static_cast<float>(v * b), static_cast<float>(v * gr), static_cast<float>(v));
      else
        turned.at<cv::Vec3b>(y, u) =
            cv::Vec3b(cv::saturate_cast<std::uint8_t>(v * b),
                      cv::saturate_cast<std::uint8_t>(v * gr), cv::saturate_cast<std::uint8_t>(v));
    }
  }
  return turned;
}

}  // namespace kelvora::reel
