#pragma once

#include <functional>
#include <future>
#include <string>

#include <opencv2/core.hpp>

#include "jobs/frame_listing.h"
#include "jobs/row_band.h"

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

// Makes a loaded scan smaller than that unreadable, saying why.
void requireAFrame(LoadedScan& scan);

// Loads a scan at 8 bits per channel with its own channel count: a 16-bit scan is
// reduced to 8 bits, an alpha channel dropped. A missing or unreadable file, a file
// that is not an image, a truncated one, one whose decoder reported corrupt data, or
// an empty image gives an error instead, in words fit for the user.
LoadedScan loadScan(const std::string& path);

// Loads a scan at the depth it holds (see readFullDepth), with the same checks; of a
// TIFF only the rows of `band` are read, of other scans only those are kept.
LoadedScan loadFullDepth(const std::string& path, const RowBand& band = {});

// Loads the frames `first`..`last` of a listing in order, reading the next scan on a
// second thread while the present one is worked on. `prepare`, when given, runs on
// that thread too, on every scan that loaded, and replaces its image; it must not
// depend on anything the job learns from earlier frames.
class ScanReader {
 public:
  using Prepare = std::function<cv::Mat(const cv::Mat&)>;
  using Load = std::function<LoadedScan(const std::string&)>;
  ScanReader(const FrameListing& listing, int first, int last, Prepare prepare = {},
             Load load = loadScan);
  ~ScanReader();
  ScanReader(const ScanReader&) = delete;
  ScanReader& operator=(const ScanReader&) = delete;

  // The scan of frame `frameNumber`, which must follow the previous call's by one.
  LoadedScan load(int frameNumber);

 private:
  std::future<LoadedScan> start(int frameNumber) const;

  const FrameListing& listing_;
  int last_;
  Prepare prepare_;
  Load loadFile_;
  int pendingFrame_ = 0;
  std::future<LoadedScan> pending_;
};

}  // namespace kelvora
