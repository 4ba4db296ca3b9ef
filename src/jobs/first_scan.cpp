#include "jobs/first_scan.h"

#include "film/orientation.h"
#include "film/settings_check.h"
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
  check.warnings = settingsWarnings(measureFilm(check.scan.asLoaded), film, check.header.dpiY);
  return check;
}

}  // namespace kelvora
