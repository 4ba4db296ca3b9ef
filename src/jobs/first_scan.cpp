#include "jobs/first_scan.h"

#include "film/orientation.h"
#include "film/resolution.h"
#include "film/settings_check.h"
#include "film/soundtrack_area.h"
#include "scans/scan_header.h"
#include "signal/image_ops.h"

namespace kelvora {

FirstScan measureFirstScan(const cv::Mat& frame, const std::string& path,
                           const Picture_Parameters& record, StatusLog& statusLog,
                           SoundJobReport& out) {
  FirstScan first;
  out.firstScan = readScanHeader(path);
  out.warnings = settingsWarnings(
      measureFilm(frame),
      FilmSettings{record.filmType, record.longstrip, record.direction, record.manualResolution,
                   Resolution{record.resX, record.resY}, out.firstScan.dpiY});
  Resolution& res = first.resolution;
  if (record.manualResolution) {
    res = Resolution{record.resX, record.resY};
  } else {
    resolution(rot90(frame, 1), record.filmType, res, record.longstrip, record.direction);
  }
  statusLog.addLine(statusLine("Picture resolution (dpi) x=%d,y=%d", res.x, res.y));
  filParametersT(record.filmType, res, first.parameters);
  out.resolution = res;
  out.parameters = first.parameters;
  return first;
}

}  // namespace kelvora
