#pragma once

#include <string>

namespace kelvora {

// What a scan file says about itself: its depth and channels, its resolution tags, and
// for DPX the film header a film scanner fills in.
struct ScanHeader {
  bool read = false;   // the header could be read
  std::string format;  // "tiff", "dpx"
  int width = 0;
  int height = 0;
  int channels = 0;
  int bits = 0;       // per sample as stored: 8, 10, 12 or 16
  double dpiX = 0.0;  // 0 when the file gives no resolution
  double dpiY = 0.0;
  double frameRate = 0.0;  // DPX: the scanner's frames per second, 0 when not given
  std::string filmType;    // DPX: the film format the scanner names ("Academy", ...)
  std::string keycode;     // DPX: the frame's edge code
};

// Reads the header of a TIFF or DPX scan (not its pixels). Its text is valid UTF-8
// whatever bytes the file holds (see validUtf8); a field left undefined is empty.
ScanHeader readScanHeader(const std::string& path);

}  // namespace kelvora
