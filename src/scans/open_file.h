#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <string>

namespace kelvora {

// A file open for reading, closed when the object goes. `fd` is negative when the file
// could not be opened.
class OpenFile {
 public:
  explicit OpenFile(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
  ~OpenFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
};

}  // namespace kelvora
