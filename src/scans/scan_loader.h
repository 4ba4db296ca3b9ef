#pragma once

#include <string>

#include <opencv2/core.hpp>

#include "scans/direct_read.h"
#include "scans/row_band.h"

namespace kelvora {

// A loaded scan, or why it could not be loaded.
struct LoadedScan {
  cv::Mat image;      // 8 bits per channel (see loadScan), 1 or 3 channels; empty on failure
  std::string path;   // empty when the frame number is past the listing
  std::string error;  // empty on success
  cv::Size scanSize;  // the whole scan as loaded, before any preparation
  bool ok() const { return !image.empty(); }
};

// A first scan smaller than this either way holds no frame: the job ends as if it
// could not be read.
constexpr int kMinimumScanSide = 32;

// Why a scan of `size` holds no frame, or "" when it is large enough.
std::string tooSmallForAFrame(cv::Size size);

// Makes a loaded scan smaller than that unreadable, saying why.
void requireAFrame(LoadedScan& scan);

// Loads a scan at 8 bits per channel with its own channel count: a 16-bit scan is
// reduced to 8 bits (a 10- or 12-bit DPX taken to 16 first), an alpha channel dropped.
// A missing or unreadable file, a file that is not an image, a truncated one, one whose
// decoder reported corrupt data, one declaring no pixels or too many to load, or an
// empty image gives an error instead, in words fit for the user and valid UTF-8.
LoadedScan loadScan(const std::string& path);

// Loads a scan at the depth it holds (see readFullDepth), with the same checks; of a
// TIFF or DPX only the rows of `band` are read, of other scans only those are kept. Of
// a colour scan, only the colour element `element` names, where it names one.
LoadedScan loadFullDepth(const std::string& path, const RowBand& band = {},
                         int element = kEveryElement);

}  // namespace kelvora
