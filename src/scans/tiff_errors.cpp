#include "scans/tiff_errors.h"

#include <tiffio.h>

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <vector>

#include <opencv2/imgcodecs.hpp>

namespace kelvora {

namespace {

// libtiff's handlers are process-wide; each loading thread keeps its own record.
thread_local std::string tiffError;

void recordTiffError(const char*, const char* format, va_list args) {
  if (!tiffError.empty()) return;
  char text[256];
  std::vsnprintf(text, sizeof text, format, args);
  tiffError = text;
}

void ignoreTiffWarning(const char*, const char*, va_list) {}

}  // namespace

// OpenCV installs quiet handlers when it makes its first TIFF decoder, which would
// hide a corrupt strip (the decoder returns the image with the rest black). One
// decode first, then ours, so a decoder error makes the scan unreadable.
void installTiffHandlers() {
  static std::once_flag once;
  std::call_once(once, [] {
    std::vector<uchar> tiny;
    if (cv::imencode(".tif", cv::Mat(1, 1, CV_8UC1, cv::Scalar(0)), tiny))
      cv::imdecode(tiny, cv::IMREAD_ANYCOLOR);
    TIFFSetErrorHandler(recordTiffError);
    TIFFSetWarningHandler(ignoreTiffWarning);
  });
}

std::string takeTiffError() {
  std::string error;
  error.swap(tiffError);
  return error;
}

}  // namespace kelvora
