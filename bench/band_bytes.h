#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "scans/row_band.h"

// A stretch of a file.
struct ByteRange {
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
};

// The stretches of a scan file that hold the rows of `band` as stored: a DPX's lines,
// a TIFF's strips or tiles, neighbours merged. Empty when the file is neither.
std::vector<ByteRange> bandBytes(const std::string& path, const kelvora::RowBand& band);

// Reads `ranges` of the file at `path` a quarter of a megabyte at a time, as the scan
// readers do, after dropping its pages from the page cache when `cold`. Returns the
// bytes read.
std::uint64_t readRanges(const std::string& path, const std::vector<ByteRange>& ranges, bool cold);

// Reads the whole file so that its pages are in the page cache.
void warmFile(const std::string& path);
