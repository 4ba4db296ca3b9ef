#include "jobs/staged_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

#include "jobs/start_checks.h"

namespace kelvora {

namespace {

// The permissions a plain fopen would give a new file (mkstemp makes them 0600).
mode_t newFileMode() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) == 0)
      return 0666 & ~static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
  }
  return 0644;
}

// This process's mark in its temporary files' names: its id and the machine's name,
// "4711-scanner3-". A later run can tell that the process is gone.
std::string processMark() {
  char host[256] = {};
  if (::gethostname(host, sizeof host - 1) != 0) host[0] = '\0';
  return std::to_string(::getpid()) + "-" + host + "-";
}

// Removes what a run killed on this machine (SIGKILL, a power loss) left in `directory`:
// hidden files named from `stem` whose process is gone.
void removeLeftovers(const std::string& directory, const std::string& stem) {
  char host[256] = {};
  if (::gethostname(host, sizeof host - 1) != 0) return;
  const std::string prefix = "." + stem + "-";
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(directory, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(prefix, 0) != 0) continue;
    const size_t dash = name.find('-', prefix.size());
    if (dash == std::string::npos || dash == prefix.size()) continue;
    const std::string pid = name.substr(prefix.size(), dash - prefix.size());
    if (pid.find_first_not_of("0123456789") != std::string::npos || pid.size() > 9) continue;
    if (name.compare(dash + 1, std::strlen(host) + 1, std::string(host) + "-") != 0) continue;
    if (::kill(static_cast<pid_t>(std::stol(pid)), 0) == 0 || errno != ESRCH) continue;
    std::filesystem::remove(entry.path(), ec);
  }
}

// Creates a hidden file named from `stem` in `directory`; returns its path, or "" with
// `error` set.
std::string createTemporary(const std::string& directory, const std::string& stem,
                            const std::string& suffix, std::string& error) {
  std::string name = directory + "/." + stem + "-" + processMark() + "XXXXXX" + suffix;
  std::vector<char> buffer(name.begin(), name.end());
  buffer.push_back('\0');
  const int fd = ::mkstemps(buffer.data(), static_cast<int>(suffix.size()));
  if (fd < 0) {
    error = systemError(errno);
    return "";
  }
  ::fchmod(fd, newFileMode());
  ::close(fd);
  return std::string(buffer.data());
}

}  // namespace

std::string systemError(int errorNumber) { return std::generic_category().message(errorNumber); }

StagedFile::StagedFile(std::string path, const std::string& suffix) : path_(std::move(path)) {
  error_ = outputPathProblem(path_);
  if (!error_.empty()) return;
  removeLeftovers(directoryOf(path_), "kelvora");
  tempPath_ = createTemporary(directoryOf(path_), "kelvora", suffix, error_);
}

StagedFile::~StagedFile() { discard(); }

bool StagedFile::sync() {
  if (tempPath_.empty()) return false;
  const int fd = ::open(tempPath_.c_str(), O_RDONLY);
  synced_ = fd >= 0 && ::fsync(fd) == 0;
  if (!synced_) error_ = systemError(errno);
  if (fd >= 0) ::close(fd);
  return synced_;
}

bool StagedFile::commit() {
  if (tempPath_.empty()) return false;
  bool synced = synced_ || sync();
  if (synced && std::rename(tempPath_.c_str(), path_.c_str()) != 0) {
    error_ = systemError(errno);
    synced = false;
  }
  if (!synced) {
    discard();
    return false;
  }
  tempPath_.clear();
  // The rename itself reaches the disk with the directory.
  const int dir = ::open(directoryOf(path_).c_str(), O_RDONLY | O_DIRECTORY);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

void StagedFile::discard() {
  if (tempPath_.empty()) return;
  ::unlink(tempPath_.c_str());
  tempPath_.clear();
}

std::string probeWriteError(const std::string& path) {
  std::string error;
  const std::string probe = createTemporary(directoryOf(path), "kelvora-probe", ".tmp", error);
  if (probe.empty()) return error;
  const int fd = ::open(probe.c_str(), O_WRONLY);
  const std::vector<char> block(64 * 1024, 0);
  size_t written = 0;
  ssize_t n = 0;
  while (fd >= 0 && written < block.size() &&
         (n = ::write(fd, block.data() + written, block.size() - written)) > 0)
    written += static_cast<size_t>(n);
  if (fd < 0 || n < 0 || ::fsync(fd) != 0) error = systemError(errno);
  if (fd >= 0) ::close(fd);
  ::unlink(probe.c_str());
  return error;
}

}  // namespace kelvora
