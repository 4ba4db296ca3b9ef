#pragma once

#include <string>

#include <opencv2/core.hpp>

#include "scans/scan_header.h"

namespace kelvora {

// The general image library's decoder, for what the direct readers leave: the layouts
// of DPX they do not unpack, TIFFs they do not read at full depth, and the fields of a
// DPX header. The library brings a few hundred others with it, which would cost every
// process a tenth of a second to start, so it lives in a module of its own, loaded
// the first time a scan needs it.
struct GeneralDecoder {
  // Every pixel of a file, the picture channels only (the first three, or the first
  // alone), in the file's order (RGB): 8-bit samples as 8 bits, deeper ones as 16.
  // Returns "" or the cause in words fit for the user.
  std::string (*readPixels)(const std::string& path, cv::Mat& rgb);
  // What a file says of itself, its text fields as the file holds them (not yet made
  // valid UTF-8).
  ScanHeader (*readHeader)(const std::string& path);
};

// The decoder, loaded on first use and kept for the life of the process; nullptr, with
// the cause in `why`, when its module cannot be loaded.
const GeneralDecoder* generalDecoder(std::string& why);

}  // namespace kelvora

// The module's one entry point.
extern "C" const kelvora::GeneralDecoder* kelvoraGeneralDecoder();
