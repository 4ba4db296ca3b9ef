#include "scans/scan_loader.h"

#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <new>
#include <system_error>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "scans/dpx_reader.h"
#include "scans/header_text.h"
#include "scans/tiff_errors.h"
#include "scans/tiff_reader.h"

namespace kelvora {

std::string tooSmallForAFrame(cv::Size size) {
  if (size.width >= kMinimumScanSide && size.height >= kMinimumScanSide) return "";
  return "the scan is " + std::to_string(size.width) + "x" + std::to_string(size.height) +
         " pixels, too small to hold a frame (at least " + std::to_string(kMinimumScanSide) +
         " each way)";
}

void requireAFrame(LoadedScan& scan) {
  if (!scan.ok()) return;
  scan.error = tooSmallForAFrame(scan.scanSize);
  if (!scan.error.empty()) scan.image.release();
}

namespace {

// "" when `path` is a file this process may read; else why not.
std::string unreadableFile(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return ec ? ec.message() : "no such file";
  if (::access(path.c_str(), R_OK) != 0) return std::generic_category().message(errno);
  return "";
}

// Reads a TIFF straight through libtiff at `depth`. Failed, with the cause in words fit
// for the user in `error`, when the decoder complains or the file cannot be read.
DirectRead readTiff(const std::string& path, cv::Mat& image, TiffDepth depth, std::string& error,
                    const RowBand& band = {}, cv::Size* scanSize = nullptr) {
  installTiffHandlers();
  takeTiffError();
  std::string directError;
  const DirectRead direct = readTiffDirect(path, image, directError, depth, band, scanSize);
  const std::string decoderError = takeTiffError();
  error.clear();
  if (direct == DirectRead::NotHandled) return direct;  // the general decoder has its say
  if (!decoderError.empty()) {
    error = "corrupt image data (" + decoderError + ")";
    return DirectRead::Failed;
  }
  error = directError;
  return direct;
}

// The colour element `element` of a colour image alone, or the image as it is.
cv::Mat elementOf(const cv::Mat& image, int element) {
  if (element < 0 || element > 2 || image.channels() != 3) return image;
  cv::Mat one;
  cv::extractChannel(image, one, element);
  return one;
}

LoadedScan loadFullDepthOf(const std::string& path, const RowBand& band, int element) {
  LoadedScan scan;
  scan.path = path;
  scan.error = unreadableFile(path);
  if (!scan.error.empty()) return scan;
  cv::Mat image;
  // A DPX's samples are unpacked one by one, so only the element wanted is; a TIFF's
  // come from its decoder as they lie.
  const DirectRead direct =
      isDpxName(path)
          ? readDpxDirect(path, image, scan.error, SampleDepth::Own, band, &scan.scanSize, element)
          : readTiff(path, image, TiffDepth::Own, scan.error, band, &scan.scanSize);
  if (direct == DirectRead::Failed) return scan;
  if (direct == DirectRead::Done) {
    scan.image = elementOf(image, element);
    return scan;
  }
  scan.error = readFullDepth(path, image);
  if (scan.error.empty() && image.empty()) scan.error = "the image is empty";
  if (!scan.error.empty()) return scan;
  scan.image = elementOf(image.rowRange(band.of(image.rows)), element);
  scan.scanSize = image.size();
  return scan;
}

LoadedScan loadScanOf(const std::string& path) {
  LoadedScan scan;
  scan.path = path;
  scan.error = unreadableFile(path);
  if (!scan.error.empty()) return scan;
  cv::Mat image;
  if (isDpxName(path)) {
    scan.error = readDpx(path, image);
    if (!scan.error.empty()) return scan;
    scan.image = image;
    scan.scanSize = image.size();
    return scan;
  }
  const DirectRead direct = readTiff(path, image, TiffDepth::Bytes, scan.error);
  if (direct == DirectRead::Failed) return scan;
  if (direct == DirectRead::NotHandled) {
    try {
      image = cv::imread(path, cv::IMREAD_ANYCOLOR);
    } catch (const cv::Exception&) {
      scan.error = "the file could not be decoded as an image";
      return scan;
    } catch (const std::bad_alloc&) {
      scan.error = "the image is too large to load";
      return scan;
    }
    if (const std::string decoderError = takeTiffError(); !decoderError.empty()) {
      scan.error = "corrupt image data (" + decoderError + ")";
      return scan;
    }
  }
  if (image.empty() || image.cols < 1 || image.rows < 1) {
    scan.error = "not a readable TIFF image";
    return scan;
  }
  if (image.depth() != CV_8U) {
    scan.error = "unsupported sample depth";
    return scan;
  }
  if (image.channels() == 4) {
    cv::cvtColor(image, image, cv::COLOR_BGRA2BGR);
  } else if (image.channels() == 2) {
    cv::extractChannel(image, image, 0);
  } else if (image.channels() != 1 && image.channels() != 3) {
    scan.error = "unsupported channel count";
    return scan;
  }
  scan.image = image;
  scan.scanSize = image.size();
  return scan;
}

// A decoder's complaint may quote the file's own text.
LoadedScan withValidText(LoadedScan scan) {
  scan.error = validUtf8(scan.error);
  return scan;
}

}  // namespace

LoadedScan loadFullDepth(const std::string& path, const RowBand& band, int element) {
  return withValidText(loadFullDepthOf(path, band, element));
}

LoadedScan loadScan(const std::string& path) { return withValidText(loadScanOf(path)); }

}  // namespace kelvora
