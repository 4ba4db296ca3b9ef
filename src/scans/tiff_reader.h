#pragma once

#include <string>

#include <opencv2/core.hpp>

#include "scans/direct_read.h"
#include "scans/row_band.h"
#include "scans/scan_header.h"

namespace kelvora {

using TiffDepth = SampleDepth;

// Reads the TIFF scans nearly every reel is made of straight through libtiff: grey
// or RGB, 8 or 16 bits, in strips or tiles, any compression libtiff decodes, in
// blue-green-red order. At `TiffDepth::Bytes` the image is exactly what OpenCV's
// general decoder gives for the same file: 8 bits a channel (16-bit grey keeps its
// high byte, 16-bit colour is rounded to the nearest of 255 steps); at `Own` a 16-bit
// file stays 16-bit. Only the rows of `band` are read and given; `scanSize`, when
// given, receives the whole scan's size. Anything else (alpha, palettes, planes, other
// orientations, and at `Bytes` tiled 16-bit grey) is NotHandled and left to the
// general decoder. A file declaring more than kMostScanPixels pixels, or whose strips
// do not decode, is Failed with the cause in words fit for the user.
// Decoder errors are reported through libtiff's handler of the calling thread, which
// must be installed.
DirectRead readTiffDirect(const std::string& path, cv::Mat& image, std::string& error,
                          TiffDepth depth = TiffDepth::Bytes, const RowBand& band = {},
                          cv::Size* scanSize = nullptr);

// The header of a TIFF as libtiff reads it (its first picture): size, samples, depth
// and resolution, format "tiff"; `read` is false when libtiff cannot open the file.
// Complaints go to libtiff's handler of the calling thread, as for readTiffDirect.
ScanHeader readTiffHeader(const std::string& path);

}  // namespace kelvora
