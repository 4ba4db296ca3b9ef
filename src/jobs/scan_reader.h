#pragma once

#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <opencv2/core.hpp>

#include "jobs/frame_listing.h"
#include "scans/scan_needs.h"

namespace kelvora {

// One scan loaded for each of a job's needs, or why it could not be.
struct LoadedScans {
  std::string path;             // empty when the frame number is past the listing
  std::string error;            // empty on success
  cv::Size scanSize;            // the whole scan as the file holds it
  std::vector<cv::Mat> images;  // one a need, in their order
  bool ok() const { return error.empty() && !images.empty(); }
};

// Loads the frames `first`..`last` of a listing in order, reading the next scan on a
// second thread while the present one is worked on. Each scan is read once for every
// kind of load the needs ask for (8-bit or own depth, a band of rows), and each need's
// preparation runs on that thread too. The thread lives as long as the reader: a
// thread started for each scan would wait whenever another thread loads a library.
class ScanReader {
 public:
  ScanReader(const FrameListing& listing, int first, int last, std::vector<ScanNeeds> needs);
  ~ScanReader();
  ScanReader(const ScanReader&) = delete;
  ScanReader& operator=(const ScanReader&) = delete;

  // The scan of frame `frameNumber`, which must follow the previous call's by one.
  LoadedScans load(int frameNumber);

 private:
  std::future<LoadedScans> start(int frameNumber);
  void run();  // the loading thread

  const FrameListing& listing_;
  int last_;
  std::vector<ScanNeeds> needs_;
  int pendingFrame_ = 0;
  std::future<LoadedScans> pending_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::packaged_task<LoadedScans()>> tasks_;
  bool closing_ = false;
  std::thread loader_;
};

// Loads one scan for `needs`, as the reader's thread does.
LoadedScans loadForNeeds(const std::string& path, const std::vector<ScanNeeds>& needs);

}  // namespace kelvora
