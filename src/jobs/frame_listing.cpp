#include "jobs/frame_listing.h"

#include <cctype>

#include <algorithm>
#include <filesystem>
#include <string_view>
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

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The end of the run of digits or of non-digits that starts at `at`.
size_t runEnd(const std::string& s, size_t at) {
  const bool digits = isDigit(s[at]);
  while (at < s.size() && isDigit(s[at]) == digits) ++at;
  return at;
}

// Compares two runs of digits by their value, then the shorter (less padded) first.
int compareNumbers(std::string_view a, std::string_view b) {
  const auto significant = [](std::string_view v) {
    const size_t first = v.find_first_not_of('0');
    return first == std::string_view::npos ? std::string_view() : v.substr(first);
  };
  const std::string_view x = significant(a);
  const std::string_view y = significant(b);
  if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
  if (const int c = x.compare(y); c != 0) return c;
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return 0;
}

int compareFolded(std::string_view a, std::string_view b) {
  for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
    const auto x = static_cast<unsigned char>(foldCase(a[i]));
    const auto y = static_cast<unsigned char>(foldCase(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return 0;
}

}  // namespace

bool naturalLess(const std::string& a, const std::string& b) {
  size_t i = 0;
  size_t j = 0;
  while (i < a.size() && j < b.size()) {
    const bool digitsA = isDigit(a[i]);
    const bool digitsB = isDigit(b[j]);
    if (digitsA != digitsB) return digitsA;
    const size_t endA = runEnd(a, i);
    const size_t endB = runEnd(b, j);
    const std::string_view runA(a.data() + i, endA - i);
    const std::string_view runB(b.data() + j, endB - j);
    const int c = digitsA ? compareNumbers(runA, runB) : compareFolded(runA, runB);
    if (c != 0) return c < 0;
    i = endA;
    j = endB;
  }
  if ((i < a.size()) != (j < b.size())) return j < b.size();
  return a < b;
}

namespace {

bool isTiffName(const std::string& name) {
  return endsWithFolded(name, ".tif") || endsWithFolded(name, ".tiff");
}

}  // namespace

bool isScanName(const std::string& name) {
  return isTiffName(name) || endsWithFolded(name, ".dpx");
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
    if (isScanName(name) && name.front() != '.' && !it->is_directory(typeError))
      listing.names_.push_back(name);
  }
  const auto tiffs = std::count_if(listing.names_.begin(), listing.names_.end(), isTiffName);
  if (tiffs > 0 && static_cast<size_t>(tiffs) < listing.names_.size()) {
    listing.problem_ = "the directory holds both .tif and .dpx scans (" + std::to_string(tiffs) +
                       " and " + std::to_string(listing.names_.size() - tiffs) +
                       "); keep one kind of scan per reel";
    listing.names_.clear();
    return listing;
  }
  std::sort(listing.names_.begin(), listing.names_.end(), naturalLess);
  return listing;
}

std::optional<std::string> FrameListing::path(int frameNumber) const {
  if (frameNumber < 1 || frameNumber > size()) return std::nullopt;
  return directory_ + names_[static_cast<size_t>(frameNumber - 1)];
}

std::string countDirectory(const std::string& inputPath) {
  if (inputPath.find(".tif") == std::string::npos && inputPath.find(".dpx") == std::string::npos)
    return inputPath;
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
