#pragma once

#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "reel/reel.h"
#include "scans/dpx_layout.h"

namespace kelvora::test {

// How a DPX file is laid out, as scanners of different makes write them.
struct DpxFileLayout {
  int bits = 10;
  DpxPacking packing = DpxPacking::FilledA;
  bool bigEndian = true;
  bool runOn = false;   // lines run on without padding to a whole word
  int descriptor = 0;   // 0: from the channel count (luma, two samples, RGB, RGBA)
  int linePadding = 0;  // bytes after each line, declared in the header
  // Film header text, stored byte for byte (cut to its field, NUL-filled after).
  std::string filmFormat;
  std::string manufacturer;      // the edge code's two-character manufacturer field
  bool undefinedFilled = false;  // the film header's unused bytes 0xFF, not NUL
};

// A short name of `layout` for test traces: "10A-be-3ch-runon".
std::string nameOf(const DpxFileLayout& layout, int channels);

// Writes `samples` (CV_16U, or CV_8U for 8 bits; 1 to 4 channels in the file's order,
// RGB then alpha) of `layout.bits` bits each as a DPX file of that layout, encoded
// sample by sample, independently of the reader.
void writeDpxFile(const std::string& path, const cv::Mat& samples, const DpxFileLayout& layout);

// The samples a scanner writing `bits` bits stores for `image` (8 or 16 bits a
// channel, grey or blue-green-red): rounded to that depth, in the file's order, with
// `channels` samples a pixel (grey twice, or RGB with an alpha after it, when asked).
cv::Mat samplesAtDepth(const cv::Mat& image, int bits, int channels);

// What a reader must give for `samples` of `bits` bits: the picture at 8 bits if the
// file holds 8, else taken to 16 by repeating the high bits; grey or blue-green-red.
// Written as a TIFF this is the DPX file's twin.
cv::Mat pictureOf(const cv::Mat& samples, int bits);

// Writes the scans of `reel` (TIFF, 8 or 16 bits) into `directory` as DPX files of
// `layout` with `channels` samples a pixel, named as the reel's; returns their paths.
std::vector<std::string> writeDpxReel(const reel::Reel& reel, const DpxFileLayout& layout,
                                      int channels, const std::string& directory);

// Writes into `directory` the TIFF twin of any DPX reel writeDpxReel makes of `reel` at
// `bits`: each scan's picture as the DPX holds it (see pictureOf); returns the paths.
std::vector<std::string> writeTwinReel(const reel::Reel& reel, int bits,
                                       const std::string& directory);

}  // namespace kelvora::test
