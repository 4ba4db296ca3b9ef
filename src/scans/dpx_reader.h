#pragma once

#include <string>

#include <opencv2/core.hpp>

#include "scans/direct_read.h"
#include "scans/row_band.h"
#include "scans/scan_header.h"

namespace kelvora {

// True for names ending in ".dpx", in any letter case.
bool isDpxName(const std::string& name);

// Reads the rows of `band` of a DPX scan straight from the file, reading only their
// bytes: 8, 10, 12 or 16 bits, filled (method A or B) or packed, lines padded to a
// whole word or run on, either byte order, one to four samples a pixel. At
// SampleDepth::Own the samples come at the file's depth (8 bits as CV_8U, deeper as
// CV_16U, 10 and 12 bits taken to 16), at Bytes reduced to 8 bits by the rules of a
// 16-bit TIFF (see sample_depth.h); grey or blue-green-red, alpha dropped, or of a
// colour scan only the colour element `element` names. `scanSize`, when given,
// receives the whole scan's size. NotHandled for what it leaves to the
// general decoder (not DPX, run-length encoded, YCbCr, floating point); Failed, with
// the cause in `error`, for a picture of no pixels or too large to load, or a file
// too short for its picture.
DirectRead readDpxDirect(const std::string& path, cv::Mat& image, std::string& error,
                         SampleDepth depth = SampleDepth::Bytes, const RowBand& band = {},
                         cv::Size* scanSize = nullptr, int element = kEveryElement);

// Reads a whole DPX scan at the jobs' 8 bits, as readDpxDirect does at
// SampleDepth::Bytes, or through the general decoder where that leaves the file.
// Returns "" or why the file could not be read.
std::string readDpx(const std::string& path, cv::Mat& image);

// A TIFF or DPX scan at the depth it holds, for readers that use all of it: 8-bit
// samples as CV_8U, deeper ones as CV_16U (10 and 12 bits taken to 16), colour
// blue-green-red, alpha dropped. Returns "" or why the file could not be read.
std::string readFullDepth(const std::string& path, cv::Mat& image);

// The header of a DPX scan as the direct reader reads it: size, samples and depth of
// its picture, format "dpx", and the film header's frame rate, film format and edge
// code as the file holds them. `read` is false for a file the direct reader does not
// take (see readDpxDirect).
ScanHeader readDpxHeader(const std::string& path);

}  // namespace kelvora
