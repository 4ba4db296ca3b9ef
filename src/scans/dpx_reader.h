#pragma once

#include <string>

#include <opencv2/core.hpp>

namespace kelvora {

// True for names ending in ".dpx", in any letter case.
bool isDpxName(const std::string& name);

// Reads a DPX scan (8, 10, 12 or 16 bits, grey or RGB, with or without alpha) at the
// jobs' 8 bits, by the rules a 16-bit TIFF is reduced with: a deeper sample is first
// taken to 16 bits, then grey keeps its high byte and colour the nearest of 255 steps;
// colour comes out blue-green-red, alpha is dropped. Returns "" or why the file could
// not be read (a decoder error included).
std::string readDpx(const std::string& path, cv::Mat& image);

// A TIFF or DPX scan at the depth it holds, for readers that use all of it: 8-bit
// samples as CV_8U, deeper ones as CV_16U (10 and 12 bits scaled to 16), colour
// blue-green-red, alpha dropped. Returns "" or why the file could not be read.
std::string readFullDepth(const std::string& path, cv::Mat& image);

}  // namespace kelvora
