#pragma once

#include <optional>
#include <string>
#include <vector>

#include "jobs/controls.h"

namespace kelvora {

// True for names ending in ".tif" or ".tiff", in any letter case.
bool isScanName(const std::string& name);

// The directory part of a job's input path, up to and including its last '/', as
// far as `inputPathLength`; "./" when there is no separator.
std::string JobDirectory(const std::string& inputPath, int inputPathLength);

// The scans of one directory, sorted by name (bytes compared after folding ASCII
// letters to lower case). Frame n is the n-th scan; numbers in the names play no
// part.
class FrameListing {
 public:
  // Lists `directory` (which may or may not end in '/'). An unreadable or missing
  // directory gives an empty listing.
  static FrameListing open(const std::string& directory);

  int size() const { return static_cast<int>(names_.size()); }
  const std::vector<std::string>& names() const { return names_; }

  // The path of frame `frameNumber` (1-based), or nothing past either end.
  std::optional<std::string> path(int frameNumber) const;

 private:
  std::string directory_;
  std::vector<std::string> names_;
};

// The directory that "All" counts for an input path: the parent of a path that
// contains ".tif", otherwise the path itself.
std::string countDirectory(const std::string& inputPath);

// "All": counts the scans of the input directory and fills the frame boxes with 1
// and the count, disabling both; with no scans, shows "No *.tif files in current
// directory!" and disables the boxes without changing their text. Returns the count.
int countScansForAll(Controls& controls, const std::string& inputPath);

}  // namespace kelvora
