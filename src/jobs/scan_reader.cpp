#include "jobs/scan_reader.h"

namespace kelvora {

ScanReader::ScanReader(const FrameListing& listing, int first, int last, Prepare prepare, Load load)
    : listing_(listing), last_(last), prepare_(std::move(prepare)), loadFile_(std::move(load)) {
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
    none.set_value(LoadedScan{cv::Mat(), "", "frame number past the last scan", cv::Size()});
    return none.get_future();
  }
  return std::async(std::launch::async, [path = *path, prepare = prepare_, load = loadFile_] {
    LoadedScan scan = load(path);
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
