#pragma once

#include <optional>
#include <string>
#include <vector>

#include "jobs/controls.h"

namespace kelvora {

// True for names ending in ".tif", ".tiff" or ".dpx", in any letter case.
bool isScanName(const std::string& name);

// The directory part of a job's input path, up to and including its last '/', as
// far as `inputPathLength`; "./" when there is no separator.
std::string JobDirectory(const std::string& inputPath, int inputPathLength);

// Natural order of scan names, case folded: runs of digits compare by their value
// (then the shorter run first), other runs by bytes, a digit run before any other;
// a name that runs out first comes first; ties go by the raw bytes. "2.tif" comes
// before "10.tif", and zero-padded names keep their plain order.
bool naturalLess(const std::string& a, const std::string& b);

// The scans of one directory in natural order of their names; hidden files (names
// beginning with '.', such as the "._" companions of a Mac copy) are left out.
// Frame n is the n-th scan. A directory holds one kind of scan: TIFF or DPX. One that
// holds both lists none, and says so in `problem`.
class FrameListing {
 public:
  // Lists `directory` (which may or may not end in '/'). An unreadable or missing
  // directory gives an empty listing.
  static FrameListing open(const std::string& directory);

  int size() const { return static_cast<int>(names_.size()); }
  const std::vector<std::string>& names() const { return names_; }

  // The path of frame `frameNumber` (1-based), or nothing past either end.
  std::optional<std::string> path(int frameNumber) const;

  // Why a directory with scans lists none; "" otherwise.
  const std::string& problem() const { return problem_; }

 private:
  std::string directory_;
  std::vector<std::string> names_;
  std::string problem_;
};

// The directory that "All" counts for an input path: the parent of a path that
// contains ".tif" or ".dpx", otherwise the path itself.
std::string countDirectory(const std::string& inputPath);

// "All": counts the scans of the input directory and fills the frame boxes with 1
// and the count, disabling both; with no scans, shows "No *.tif files in current
// directory!" and disables the boxes without changing their text. Returns the count.
int countScansForAll(Controls& controls, const std::string& inputPath);

}  // namespace kelvora
