#include "reel/reel.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>

#include <OpenImageIO/imageio.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "audio/wav_writer.h"
#include "precise/between_rows.h"
#include "signal/image_ops.h"
#include "signal/rounding.h"

namespace kelvora::reel {

namespace {

constexpr double kTwoPi = 6.283185307179586;

// Brightness levels of the film as the scanner sees it.
constexpr double kOpaque = 20.0;     // black film: track surround, isolation gap
constexpr double kClear = 225.0;     // clear part of a variable-area track
constexpr double kFrameLine = 12.0;  // the bar between two pictures
constexpr double kCodeDark = 70.0;
constexpr double kCodeLight = 200.0;

bool isVariableDensity(const ReelOptions& options) { return options.filmType == 2; }

// Share of the pixel [u, u + 1) that lies inside [lo, hi].
double coverage(double u, double lo, double hi) {
  return std::clamp(std::min(hi, u + 1.0) - std::max(lo, u), 0.0, 1.0);
}

cv::Vec3b tinted(double v, double b, double g) {
  return cv::Vec3b(cv::saturate_cast<std::uint8_t>(v * b), cv::saturate_cast<std::uint8_t>(v * g),
                   cv::saturate_cast<std::uint8_t>(v));
}

cv::Mat finishScan(const ReelOptions& options, cv::Mat turned, int listingIndex) {
  if (!options.directionUp) cv::flip(turned, turned, 1);
  cv::Mat raw = rot90(turned, 3);
  if (options.grain > 0.0) {
    cv::Mat noisy;
    raw.convertTo(noisy, CV_32F);
    cv::Mat noise(noisy.size(), noisy.type());
    cv::RNG rng(options.seed * 7919u + static_cast<unsigned>(listingIndex) + 1u);
    rng.fill(noise, cv::RNG::NORMAL, 0.0, options.grain);
    noisy += noise;
    if (options.deep)
      raw = noisy;
    else
      noisy.convertTo(raw, CV_8U);
  }
  if (!options.colour) cv::cvtColor(raw, raw, cv::COLOR_BGR2GRAY);
  if (options.alpha)
    cv::cvtColor(raw, raw, options.colour ? cv::COLOR_BGR2BGRA : cv::COLOR_GRAY2BGRA);
  if (options.sixteenBit || options.deep) raw.convertTo(raw, CV_16U, 257.0);
  return raw;
}

// A DPX scan as a film scanner writes it: the picture at `dpxBits`, the frame rate,
// the film format and the frame's edge code in the film header.
void writeDpx(const std::string& path, const cv::Mat& raw, const ReelOptions& options, int k) {
  cv::Mat rgb = raw;
  if (rgb.channels() == 4) cv::cvtColor(rgb, rgb, cv::COLOR_BGRA2BGR);
  if (rgb.channels() == 3) cv::cvtColor(rgb, rgb, cv::COLOR_BGR2RGB);
  if (rgb.depth() == CV_8U && options.dpxBits > 8) rgb.convertTo(rgb, CV_16U, 257.0);
  const OIIO::TypeDesc type = rgb.depth() == CV_8U ? OIIO::TypeDesc::UINT8 : OIIO::TypeDesc::UINT16;
  OIIO::ImageSpec layout(rgb.cols, rgb.rows, rgb.channels(),
                         options.dpxBits > 8 ? OIIO::TypeDesc::UINT16 : OIIO::TypeDesc::UINT8);
  layout.attribute("oiio:BitsPerSample", options.dpxBits);
  layout.attribute("dpx:FrameRate", static_cast<float>(options.fps));
  layout.attribute("dpx:Format", options.filmType == 3 ? "16mm" : "Academy");
  const int keycode[7] = {1, 2, 123456, 1000 + k, 0, 4, 64};
  layout.attribute("smpte:KeyCode", OIIO::TypeKeyCode, keycode);
  auto out = OIIO::ImageOutput::create(path);
  if (!out || !out->open(path, layout) || !out->write_image(type, rgb.data) || !out->close())
    throw std::runtime_error("cannot write " + path);
}

void writeText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace

ReelGeometry geometryFor(const ReelOptions& options) {
  const bool sixteen = options.filmType == 3;
  const double dpi = options.dpi;
  ReelGeometry g;
  g.filmWidth = cmToPixels(dpi, sixteen ? 0.96 : 2.09);
  g.pitch = cmToPixels(dpi, sixteen ? 0.762 : 1.919);
  g.trackWidth = cmToPixels(dpi, isVariableDensity(options) ? 0.254 : 0.24);
  g.trackStart = isVariableDensity(options) ? cmToPixels(dpi, 0.005) : 0;
  g.pictureStart = g.trackStart + g.trackWidth + cmToPixels(dpi, 0.1);
  g.lineHeight = cmToPixels(dpi, sixteen ? 0.05 : 0.38);
  g.lineStart = roundToInt(0.11 * g.pitch);
  g.framesPerScan = options.longStrip ? (sixteen ? 4 : 3) : 1;
  g.advance = g.framesPerScan * g.pitch;
  // Per-frame scans overlap by a third of a frame. 35 mm strips overlap by one frame
  // more, 16 mm strips by half a frame.
  double tail = options.overlap;
  if (options.longStrip) tail = sixteen ? 0.5 : 1.3346;
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
  g.totalRows = g.scanStarts.back() + g.scanLength + (options.partRowSteps ? 1 : 0);
  return g;
}

std::vector<float> makeAudio(int samples, int sampleRate, unsigned seed, Programme programme,
                             double level) {
  std::vector<float> audio(static_cast<size_t>(std::max(samples, 0)));
  std::mt19937 rng(seed);
  std::normal_distribution<double> white(0.0, 1.0);
  const double rate = sampleRate;
  // Speech-like: noise between about 200 Hz and 3 kHz under a syllable-rate envelope.
  const double fast = 1.0 - std::exp(-kTwoPi * 3000.0 / rate);
  const double slow = 1.0 - std::exp(-kTwoPi * 200.0 / rate);
  double lowFast = 0.0;
  double lowSlow = 0.0;
  for (size_t i = 0; i < audio.size(); ++i) {
    const double t = static_cast<double>(i) / rate;
    double v;
    if (programme == Programme::Tones) {
      const double envelope = 0.65 + 0.35 * std::sin(kTwoPi * 1.7 * t);
      v = envelope *
          (0.45 * std::sin(kTwoPi * 330.0 * t) + 0.25 * std::sin(kTwoPi * 1250.0 * t + 1.0) +
           0.1 * std::sin(kTwoPi * 97.0 * t + 0.3));
    } else {
      const double x = white(rng);
      lowFast += fast * (x - lowFast);
      lowSlow += slow * (x - lowSlow);
      const double syllables = 0.35 + 0.65 * std::abs(std::sin(kTwoPi * 2.3 * t + 0.4));
      v = 0.4 * syllables * (lowFast - lowSlow) + 0.08 * std::sin(kTwoPi * 440.0 * t);
    }
    audio[i] = static_cast<float>(std::clamp(level * v, -1.0, 1.0));
  }
  return audio;
}

int frameCode(int frame) { return (frame + 1) & 0xff; }

namespace {

// What the film holds across one row of film at `along` (film rows from the head,
// fractional on a turned scan).
struct FilmRow {
  double a = 0.0;  // the sound
  int frame = 0;
  bool onLine = false;
  bool codeRow = false;
  int code = 0;
  double rowWave = 0.0;
  double drift = 0.0;
  double cj = 1.0;
  double sj = 0.0;
  double opaque = kOpaque;
  double clear = kClear;
  double density = 1.0;  // transmission of a splice's overlap band, 1 elsewhere
};

FilmRow filmRow(const ReelOptions& options, const ReelGeometry& g, const std::vector<float>& audio,
                const std::vector<int>& spliceRows, double along) {
  FilmRow r;
  const int last = g.totalRows - 1;
  const int i = std::clamp(static_cast<int>(std::floor(along)), 0, last);
  const double f = std::clamp(along - i, 0.0, 1.0);
  // Between two rows of the printed sound the film holds it smoothly.
  r.a = options.modulation * betweenRows(audio, i, f);
  const double pitch = g.rowsPerFrame;
  r.frame = static_cast<int>(std::floor((along - g.lineStart) / pitch));
  const double o = along - g.lineStart - r.frame * pitch;
  const int pictureHeight = g.pitch - g.lineHeight;
  r.onLine = o < g.lineHeight;
  r.codeRow = o >= g.lineHeight + static_cast<int>(0.4 * pictureHeight) &&
              o < g.lineHeight + static_cast<int>(0.6 * pictureHeight);
  int framesCut = 0;
  for (const int row : spliceRows) {
    if (along >= row) framesCut += options.framesCut;
    if (std::abs(along - row) < options.dpi * 0.05 / 2.54) r.density = 0.7;  // the cement's overlap
  }
  r.code = frameCode(r.frame + framesCut);
  r.rowWave = std::sin(kTwoPi * (1.3 * o / g.pitch + 0.37 * r.frame));
  r.drift = 20.0 * std::sin(kTwoPi * along / 517.0);
  r.cj = std::cos(0.2 * r.frame);
  r.sj = std::sin(0.2 * r.frame);
  const double aged = options.densityDrift * along / std::max(g.totalRows, 1);
  r.opaque = kOpaque + 200.0 * aged;
  r.clear = kClear - 300.0 * aged;
  return r;
}

}  // namespace

cv::Mat renderTurnedScan(const ReelOptions& options, const ReelGeometry& g,
                         const std::vector<float>& audio, int index, double weave,
                         const std::vector<int>& spliceRows) {
  cv::Mat turned(g.scanLength, g.filmWidth, options.deep ? CV_32FC3 : CV_8UC3);
  const int pictureWidth = g.filmWidth - g.pictureStart;
  std::vector<double> cosU(static_cast<size_t>(g.filmWidth));
  std::vector<double> sinU(static_cast<size_t>(g.filmWidth));
  for (int u = 0; u < g.filmWidth; ++u) {
    const double angle = kTwoPi * (u - g.pictureStart) / (0.7 * std::max(pictureWidth, 1));
    cosU[u] = std::cos(angle);
    sinU[u] = std::sin(angle);
  }
  const int codeLeft = g.pictureStart + static_cast<int>(0.5 * pictureWidth);
  const int codeRight = g.pictureStart + static_cast<int>(0.95 * pictureWidth);
  const double t = g.trackWidth;
  const double skew = std::tan(options.skewDegrees * kTwoPi / 360.0);
  const double start = g.scanPlace(index);
  const double lamp = 1.0 + options.flicker * std::sin(2.1 * index + options.seed);
  const double midRow = 0.5 * g.scanLength;
  const double midCol = 0.5 * g.filmWidth;
  // The scan turns about the middle of the track: the sound as a whole keeps its
  // place along the film, and each side of the track runs early or late.
  const double trackMiddle = g.trackStart + 0.5 * g.trackWidth;
  const double scratchAt = g.trackStart + options.scratch * t;
  const double scratchWidth = std::max(2.0, options.dpi / 300.0);

  // One point of the film, as the scanner's light shows it at turned pixel (y, u).
  const auto filmValue = [&](const FilmRow& r, int y, int u) {
    // The film wanders sideways (and a turned scan drifts across as it runs).
    const double across = u - weave -
                          0.1 * options.weave * std::sin(0.5 * kTwoPi * y / g.scanLength + index) -
                          skew * (y - midRow);
    if (across < 0.0 || across >= g.filmWidth) return 8.0;  // the gate beyond the film's edge
    const int x = static_cast<int>(std::floor(across));
    double v;
    if (across < g.pictureStart) {
      if (isVariableDensity(options)) {
        const bool inTrack = across >= g.trackStart && across < g.trackStart + g.trackWidth;
        const double base = 100.0 + 250.0 * options.densityDrift * (r.opaque - kOpaque) / 200.0;
        v = inTrack ? base + 70.0 * r.a : (across < g.trackStart ? r.opaque : 235.0);
      } else {
        double lo, hi;
        if (options.unilateral) {
          lo = 0.1 * t;
          hi = lo + t * (0.4 + 0.38 * r.a);
        } else {
          const double half = t * (0.2 + 0.18 * r.a);
          lo = 0.5 * t - half;
          hi = 0.5 * t + half;
        }
        v = r.opaque + (r.clear - r.opaque) * coverage(across, lo, hi);
      }
    } else if (r.onLine) {
      v = kFrameLine;
    } else if (r.codeRow && x >= codeLeft && x < codeRight) {
      const int bit = 7 - (x - codeLeft) * 8 / std::max(codeRight - codeLeft, 1);
      v = (r.code >> bit) & 1 ? kCodeDark : kCodeLight;
    } else {
      v = 155.0 + 40.0 * r.rowWave * (cosU[x] * r.cj - sinU[x] * r.sj) + r.drift;
    }
    if (options.negative) v = kClear + kOpaque - v;
    if (options.scratch >= 0.0) {
      const double share = coverage(across, scratchAt, scratchAt + scratchWidth);
      v += share * ((options.darkScratch ? 15.0 : 235.0) - v);
    }
    v *= r.density;
    if (options.vignetting > 0.0 || options.flicker > 0.0) {
      const double dy = (y - midRow) / midRow;
      const double du = (u - midCol) / midCol;
      v *= lamp * (1.0 - options.vignetting * 0.5 * (dy * dy + du * du));
    }
    return v;
  };

  for (int y = 0; y < g.scanLength; ++y) {
    const FilmRow row = filmRow(options, g, audio, spliceRows, start + y);
    for (int u = 0; u < g.filmWidth; ++u) {
      // On a turned scan each pixel of the row lies at its own place along the film.
      const double v = skew == 0.0 ? filmValue(row, y, u)
                                   : filmValue(filmRow(options, g, audio, spliceRows,
                                                       start + y + skew * (u - trackMiddle)),
                                               y, u);
      const bool track = u < g.pictureStart;
      const double b = track ? 0.92 : 0.85;
      const double gr = track ? 0.96 : 0.95;
      if (options.deep)
        turned.at<cv::Vec3f>(y, u) =
            cv::Vec3f(static_cast<float>(v * b), static_cast<float>(v * gr), static_cast<float>(v));
      else
        turned.at<cv::Vec3b>(y, u) = tinted(v, b, gr);
    }
  }
  return turned;
}

Reel writeReel(const ReelOptions& options, const std::string& directory) {
  namespace fs = std::filesystem;
  fs::create_directories(directory);
  Reel reel;
  reel.options = options;
  reel.geometry = geometryFor(options);
  const ReelGeometry& g = reel.geometry;
  // Splices join two pieces at a frame line; the frames between them are gone, and
  // with them their sound.
  const int cutRows = roundToInt(options.framesCut * g.rowsPerFrame);
  for (const int frame : options.splices)
    reel.spliceRows.push_back(g.lineStart + roundToInt((frame + 1) * g.rowsPerFrame));
  const int rate = roundToInt(g.trueRate);
  std::vector<float> printed =
      makeAudio(g.totalRows + cutRows * static_cast<int>(reel.spliceRows.size()), rate,
                options.seed, options.programme, options.level);
  for (auto at = reel.spliceRows.rbegin(); at != reel.spliceRows.rend(); ++at) {
    const auto from = printed.begin() + (*at + cutRows * (reel.spliceRows.rend() - at - 1));
    printed.erase(from, from + cutRows);
  }
  printed.resize(static_cast<size_t>(g.totalRows));
  reel.audio = std::move(printed);
  const int leader = std::min(g.totalRows, roundToInt(options.leaderFrames * g.rowsPerFrame));
  std::fill(reel.audio.begin(), reel.audio.begin() + std::max(leader, 0), 0.0f);
  if (options.clickFrame >= 0) {
    // Three milliseconds of full swing, as a splice bump or a slate clap gives.
    const int at = options.clickFrame * g.pitch;
    const int length = std::max(2, g.sampleRate * 3 / 1000);
    for (int i = 0; i < length && at + i < g.totalRows; ++i)
      reel.audio[static_cast<size_t>(at + i)] = i < length / 2 ? 1.0f : -1.0f;
  }

  // Uncompressed, with the scanner's resolution in the tags as scanners write them.
  const std::vector<int> tiffParams = {
      cv::IMWRITE_TIFF_COMPRESSION, 1,           cv::IMWRITE_TIFF_RESUNIT, 2,
      cv::IMWRITE_TIFF_XDPI,        options.dpi, cv::IMWRITE_TIFF_YDPI,    options.dpi};
  for (int k = 0; k < options.scans; ++k)
    reel.weave.push_back(options.weave * std::sin(1.7 * k + 0.5));
  for (int k = 0; k < options.scans; ++k) {
    // Scanned tail first, the film runs the other way through every scan.
    const int index = options.inverse ? options.scans - 1 - k : k;
    cv::Mat turned = renderTurnedScan(options, g, reel.audio, index,
                                      reel.weave[static_cast<size_t>(index)], reel.spliceRows);
    if (options.inverse) cv::flip(turned, turned, 0);
    const cv::Mat raw = finishScan(options, turned, k);
    char name[32];
    std::snprintf(name, sizeof name, options.dpxBits > 0 ? "scan_%04d.dpx" : "scan_%04d.tif",
                  k + 1);
    const std::string path = (fs::path(directory) / name).string();
    if (options.dpxBits > 0) {
      writeDpx(path, raw, options, k);
    } else if (!cv::imwrite(path, raw, tiffParams)) {
      throw std::runtime_error("cannot write " + path);
    }
    reel.scanPaths.push_back(path);
  }

  const std::string base = (fs::path(directory) / "source").string();
  {
    std::ofstream raw(base + ".f32", std::ios::binary);
    raw.write(reinterpret_cast<const char*>(reel.audio.data()),
              static_cast<std::streamsize>(reel.audio.size() * sizeof(float)));
    if (!raw) throw std::runtime_error("cannot write " + base + ".f32");
  }
  Plik wav;
  wav.sampleRate = rate;
  wav.bitsPerSample = 8;
  std::vector<std::uint8_t> bytes(reel.audio.size());
  std::transform(reel.audio.begin(), reel.audio.end(), bytes.begin(), [](float a) {
    return static_cast<std::uint8_t>(std::clamp(roundToInt(128.0 + 127.0 * a), 0, 255));
  });
  if (wav.CreateWaveFile(base + ".wav") != 0 || wav.WriteSamples(bytes) != bytes.size() ||
      wav.CloseSoundFile() != 0)
    throw std::runtime_error("cannot write " + base + ".wav");

  std::string info;
  const auto line = [&info](const char* key, int value) {
    info += std::string(key) + "=" + std::to_string(value) + "\n";
  };
  line("film_type", options.filmType);
  line("dpi", options.dpi);
  line("scans", options.scans);
  line("fps", options.fps);
  line("scan_length", g.scanLength);
  line("film_width", g.filmWidth);
  line("pitch", g.pitch);
  line("advance", g.advance);
  line("track_width", g.trackWidth);
  line("total_rows", g.totalRows);
  line("sample_rate", rate);
  writeText((fs::path(directory) / "reel.txt").string(), info);
  return reel;
}

}  // namespace kelvora::reel
