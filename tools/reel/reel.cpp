#include "reel/reel.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include <OpenImageIO/imageio.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "audio/wav_writer.h"
#include "signal/rounding.h"

namespace kelvora::reel {

namespace {

// The turned scan as the scanner wrote it: film side to side, the track along the top
// edge for UP and the bottom edge for DOWN, with the scanner's noise, at its depth.
cv::Mat finishScan(const ReelOptions& options, cv::Mat turned, int listingIndex) {
  if (!options.directionUp) cv::flip(turned, turned, 1);
  cv::Mat raw;
  cv::rotate(turned, raw, cv::ROTATE_90_CLOCKWISE);
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

void writeSource(const std::string& base, const std::vector<float>& audio, int rate) {
  {
    std::ofstream raw(base + ".f32", std::ios::binary);
    raw.write(reinterpret_cast<const char*>(audio.data()),
              static_cast<std::streamsize>(audio.size() * sizeof(float)));
    if (!raw) throw std::runtime_error("cannot write " + base + ".f32");
  }
  Plik wav;
  wav.sampleRate = rate;
  wav.bitsPerSample = 8;
  std::vector<std::uint8_t> bytes(audio.size());
  std::transform(audio.begin(), audio.end(), bytes.begin(), [](float a) {
    return static_cast<std::uint8_t>(std::clamp(roundToInt(128.0 + 127.0 * a), 0, 255));
  });
  if (wav.CreateWaveFile(base + ".wav") != 0 || wav.WriteSamples(bytes) != bytes.size() ||
      wav.CloseSoundFile() != 0)
    throw std::runtime_error("cannot write " + base + ".wav");
}

}  // namespace

std::vector<double> scanWeaves(const ReelOptions& options) {
  std::vector<double> weaves;
  for (int k = 0; k < options.scans; ++k) weaves.push_back(options.weave * std::sin(1.7 * k + 0.5));
  return weaves;
}

Reel writeReel(const ReelOptions& options, const std::string& directory) {
  namespace fs = std::filesystem;
  fs::create_directories(directory);
  Reel reel;
  reel.options = options;
  reel.geometry = geometryFor(options);
  const ReelGeometry& g = reel.geometry;
  reel.film = printFilm(options, g);
  reel.audio = rowSound(reel.film);
  reel.spliceRows = reel.film.spliceRows;
  reel.weave = scanWeaves(options);
  const int rate = roundToInt(g.trueRate);

  // Uncompressed, with the scanner's resolution in the tags as scanners write them.
  const std::vector<int> tiffParams = {
      cv::IMWRITE_TIFF_COMPRESSION, 1,           cv::IMWRITE_TIFF_RESUNIT, 2,
      cv::IMWRITE_TIFF_XDPI,        options.dpi, cv::IMWRITE_TIFF_YDPI,    options.dpi};
  for (int k = 0; k < options.scans; ++k) {
    if (std::find(options.missingScans.begin(), options.missingScans.end(), k) !=
        options.missingScans.end())
      continue;
    // Scanned tail first, the film runs the other way through every scan.
    const int index = options.inverse ? options.scans - 1 - k : k;
    cv::Mat turned = renderTurnedScan(options, g, reel.film, scanPose(g, reel.weave, index));
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
    reel.scanNumbers.push_back(k);
  }

  writeSource((fs::path(directory) / "source").string(), reel.audio, rate);
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
  line("specks", static_cast<int>(reel.film.specks.size()));
  writeText((fs::path(directory) / "reel.txt").string(), info);
  return reel;
}

}  // namespace kelvora::reel
