#pragma once

#include <functional>
#include <future>
#include <string>

#include "jobs/frame_listing.h"
#include "scans/scan_loader.h"

namespace kelvora {

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
