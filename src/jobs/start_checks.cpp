#include "jobs/start_checks.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <filesystem>
#include <system_error>

namespace kelvora {

namespace fs = std::filesystem;

bool resolutionAcceptable(const FilmSettings& film) {
  if (!film.manualResolution) return true;
  const auto inRange = [](int dpi) {
    return dpi >= kMinimumResolution && dpi <= kMaximumResolution;
  };
  return inRange(film.manualResolution->x) && inRange(film.manualResolution->y);
}

std::string scanNamedBy(const FrameListing& listing, const std::string& outputPath) {
  std::error_code ec;
  if (!fs::exists(outputPath, ec)) return "";
  for (int n = 1; n <= listing.size(); ++n) {
    const std::string scan = *listing.path(n);
    if (fs::equivalent(outputPath, scan, ec)) return scan;
  }
  return "";
}

std::string directoryOf(const std::string& path) {
  const fs::path parent = fs::path(path).parent_path();
  return parent.empty() ? "." : parent.string();
}

std::string outputPathProblem(const std::string& path) {
  const auto words = [](int error) { return std::generic_category().message(error); };
  std::error_code ec;
  const std::string directory = directoryOf(path);
  const std::string name = fs::path(path).filename().string();
  if (name.empty() || fs::is_directory(path, ec)) return words(EISDIR);
  const long nameMax = ::pathconf(directory.c_str(), _PC_NAME_MAX);
  if (path.size() >= PATH_MAX ||
      name.size() > static_cast<size_t>(nameMax > 0 ? nameMax : NAME_MAX))
    return words(ENAMETOOLONG);
  if (!fs::is_directory(directory, ec)) return words(ENOENT);
  if (::access(directory.c_str(), W_OK) != 0) return words(errno);
  return "";
}

}  // namespace kelvora
