#include "jobs/first_scan.h"

#include <cstdlib>

#include "film/orientation.h"
#include "film/settings_check.h"
#include "film/soundtrack_area.h"
#include "scans/scan_loader.h"
#include "signal/rounding.h"

namespace kelvora {

FirstScanCheck checkFirstScan(const std::string& path, const FilmSettings& film) {
  FirstScanCheck check;
  check.header = readScanHeader(path);
  if (check.header.dpiY > 0)
    check.scan.tagged = Resolution{roundToInt(check.header.dpiX), roundToInt(check.header.dpiY)};
  LoadedScan loaded = loadScan(path);
  if (!loaded.ok()) {
    check.error = loaded.error;
    return check;
  }
  check.scan.asLoaded = film.frameCorrection
                            ? frameCorrection(loaded.image, filmTypeOf(film.track), film.longStrip)
                            : loaded.image;
  check.scan.measured = measureFilm(check.scan.asLoaded);
  check.warnings = settingsWarnings(check.scan.measured, film);
  return check;
}

namespace {

std::string sizeText(cv::Size size) {
  return std::to_string(size.width) + "x" + std::to_string(size.height);
}

}  // namespace

std::string tooShortForAFrame(cv::Size size, Track track, const Resolution& taken) {
  Parameters at;
  filParametersT(filmTypeOf(track), taken, at);
  if (4L * size.width >= 3L * at.framePitch) return "";
  return "the scan is " + std::to_string(size.width) +
         " pixels along the film, too short to hold a frame (" + std::to_string(at.framePitch) +
         " pixels at " + std::to_string(taken.y) + " dpi)";
}

std::string notOfTheReel(cv::Size size, cv::Size first) {
  if (50L * std::abs(size.height - first.height) <= first.height) return "";
  return "the scan is " + sizeText(size) + " pixels, the reel's first " + sizeText(first) +
         ": its scans must be of one size across the film";
}

}  // namespace kelvora
