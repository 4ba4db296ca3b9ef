#include "jobs/scan_loader.h"

#include <filesystem>
#include <new>
#include <system_error>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace kelvora {

LoadedScan loadScan(const std::string& path) {
  LoadedScan scan;
  scan.path = path;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    scan.error = "no such file";
    return scan;
  }
  cv::Mat image;
  try {
    image = cv::imread(path, cv::IMREAD_ANYCOLOR);
  } catch (const cv::Exception& e) {
    scan.error = std::string("cannot decode the image: ") + e.what();
    return scan;
  } catch (const std::bad_alloc&) {
    scan.error = "the image is too large to load";
    return scan;
  }
  if (image.empty() || image.cols < 1 || image.rows < 1) {
    scan.error = "not a readable TIFF image";
    return scan;
  }
  if (image.depth() != CV_8U) {
    scan.error = "unsupported sample depth";
    return scan;
  }
  if (image.channels() == 4) {
    cv::cvtColor(image, image, cv::COLOR_BGRA2BGR);
  } else if (image.channels() == 2) {
    cv::extractChannel(image, image, 0);
  } else if (image.channels() != 1 && image.channels() != 3) {
    scan.error = "unsupported channel count";
    return scan;
  }
  scan.image = image;
  return scan;
}

ScanReader::ScanReader(const FrameListing& listing, int first, int last, Prepare prepare)
    : listing_(listing), last_(last), prepare_(std::move(prepare)) {
  if (first <= last) {
    pendingFrame_ = first;
    pending_ = start(first);
  }
}

ScanReader::~ScanReader() {
  if (pending_.valid()) pending_.wait();
}

std::future<LoadedScan> ScanReader::start(int frameNumber) const {
  const std::optional<std::string> path = listing_.path(frameNumber);
  if (!path) {
    std::promise<LoadedScan> none;
    none.set_value(LoadedScan{cv::Mat(), "", "frame number past the last scan"});
    return none.get_future();
  }
  return std::async(std::launch::async, [path = *path, prepare = prepare_] {
    LoadedScan scan = loadScan(path);
    if (scan.ok() && prepare) scan.image = prepare(scan.image);
    return scan;
  });
}

LoadedScan ScanReader::load(int frameNumber) {
  LoadedScan scan;
  if (pending_.valid() && pendingFrame_ == frameNumber) {
    scan = pending_.get();
  } else {
    if (pending_.valid()) pending_.wait();
    scan = start(frameNumber).get();
  }
  if (frameNumber < last_) {
    pendingFrame_ = frameNumber + 1;
    pending_ = start(pendingFrame_);
  }
  return scan;
}

}  // namespace kelvora
