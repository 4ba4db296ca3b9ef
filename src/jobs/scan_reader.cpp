#include "jobs/scan_reader.h"

#include "scans/scan_loader.h"

namespace kelvora {

LoadedScans loadForNeeds(const std::string& path, const std::vector<ScanNeeds>& needs) {
  LoadedScans scans;
  scans.path = path;
  std::vector<LoadedScan> loaded;  // one for each distinct load, in the needs' order
  std::vector<size_t> loadOf;      // which of them each need takes
  for (const ScanNeeds& need : needs) {
    size_t k = 0;
    while (k < loadOf.size() && !needs[loadOf[k]].loadsAs(need)) ++k;
    if (k < loadOf.size()) {
      loadOf.push_back(loadOf[k]);
      continue;
    }
    loadOf.push_back(loaded.size());
    loaded.push_back(need.ownDepth ? loadFullDepth(path, need.band, need.element) : loadScan(path));
    const LoadedScan& scan = loaded.back();
    if (!scan.ok()) {
      scans.error = scan.error;
      return scans;
    }
    scans.scanSize = scan.scanSize;
  }
  for (size_t k = 0; k < needs.size(); ++k) {
    const cv::Mat& image = loaded[loadOf[k]].image;
    const RowBand& band = needs[k].band;
    // An 8-bit scan is loaded whole; a need for a band of it takes only those rows.
    const cv::Mat rows =
        needs[k].ownDepth || band.whole() ? image : image.rowRange(band.of(image.rows));
    scans.images.push_back(needs[k].prepare ? needs[k].prepare(rows) : rows);
  }
  return scans;
}

ScanReader::ScanReader(const FrameListing& listing, int first, int last,
                       std::vector<ScanNeeds> needs)
    : listing_(listing), last_(last), needs_(std::move(needs)), loader_([this] { run(); }) {
  if (first <= last) {
    pendingFrame_ = first;
    pending_ = start(first);
  }
}

ScanReader::~ScanReader() {
  if (pending_.valid()) pending_.wait();
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
  }
  wake_.notify_all();
  loader_.join();
}

void ScanReader::run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return !tasks_.empty() || closing_; });
    if (tasks_.empty()) return;
    std::packaged_task<LoadedScans()> task = std::move(tasks_.front());
    tasks_.pop_front();
    lock.unlock();
    task();
    lock.lock();
  }
}

std::future<LoadedScans> ScanReader::start(int frameNumber) {
  const std::optional<std::string> path = listing_.path(frameNumber);
  if (!path) {
    std::promise<LoadedScans> none;
    LoadedScans past;
    past.error = "frame number past the last scan";
    none.set_value(std::move(past));
    return none.get_future();
  }
  std::packaged_task<LoadedScans()> task(
      [path = *path, this] { return loadForNeeds(path, needs_); });
  std::future<LoadedScans> loaded = task.get_future();
  {
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
  }
  wake_.notify_one();
  return loaded;
}

LoadedScans ScanReader::load(int frameNumber) {
  LoadedScans scans;
  if (pending_.valid() && pendingFrame_ == frameNumber) {
    scans = pending_.get();
  } else {
    if (pending_.valid()) pending_.wait();
    scans = start(frameNumber).get();
  }
  if (frameNumber < last_) {
    pendingFrame_ = frameNumber + 1;
    pending_ = start(pendingFrame_);
  }
  return scans;
}

}  // namespace kelvora
