#include "jobs/frame_listing.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace kelvora {

namespace {

char foldCase(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool endsWithFolded(const std::string& name, const std::string& suffix) {
  if (name.size() < suffix.size()) return false;
  const size_t offset = name.size() - suffix.size();
  for (size_t i = 0; i < suffix.size(); ++i)
    if (foldCase(name[offset + i]) != suffix[i]) return false;
  return true;
}

bool foldedLess(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return static_cast<unsigned char>(foldCase(x)) < static_cast<unsigned char>(foldCase(y));
  });
}

}  // namespace

bool isScanName(const std::string& name) {
  return endsWithFolded(name, ".tif") || endsWithFolded(name, ".tiff");
}

std::string JobDirectory(const std::string& inputPath, int inputPathLength) {
  const size_t length =
      std::min(static_cast<size_t>(std::max(inputPathLength, 0)), inputPath.size());
  const size_t slash = inputPath.rfind('/', length == 0 ? 0 : length - 1);
  if (length == 0 || slash == std::string::npos) return "./";
  return inputPath.substr(0, slash + 1);
}

FrameListing FrameListing::open(const std::string& directory) {
  namespace fs = std::filesystem;
  FrameListing listing;
  listing.directory_ = directory.empty() ? "./" : directory;
  if (listing.directory_.back() != '/') listing.directory_ += '/';

  std::error_code ec;
  fs::directory_iterator it(listing.directory_, ec);
  if (ec) return listing;
  for (const fs::directory_iterator end; it != end; it.increment(ec)) {
    if (ec) break;
    const std::string name = it->path().filename().string();
    std::error_code typeError;
    if (isScanName(name) && !it->is_directory(typeError)) listing.names_.push_back(name);
  }
  std::sort(listing.names_.begin(), listing.names_.end(), foldedLess);
  return listing;
}

std::optional<std::string> FrameListing::path(int frameNumber) const {
  if (frameNumber < 1 || frameNumber > size()) return std::nullopt;
  return directory_ + names_[static_cast<size_t>(frameNumber - 1)];
}

std::string countDirectory(const std::string& inputPath) {
  if (inputPath.find(".tif") == std::string::npos) return inputPath;
  const size_t slash = inputPath.rfind('/');
  if (slash == std::string::npos) return "./";
  return inputPath.substr(0, slash + 1);
}

int countScansForAll(Controls& controls, const std::string& inputPath) {
  const int count = FrameListing::open(countDirectory(inputPath)).size();
  if (count == 0) {
    controls.setText(Control::Status, "No *.tif files in current directory!");
    controls.enable(Control::StartEdit, false);
    controls.enable(Control::StopEdit, false);
    return 0;
  }
  controls.setText(Control::StartEdit, "1");
  controls.setText(Control::StopEdit, std::to_string(count));
  controls.enable(Control::StartEdit, false);
  controls.enable(Control::StopEdit, false);
  return count;
}

}  // namespace kelvora
