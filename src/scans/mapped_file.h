#pragma once

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>

namespace kelvora {

// Bytes `from` to `to` of a file, mapped for reading and brought into memory at once;
// empty when that fails or they do not lie inside the file. Reading from the file's
// pages saves the copy a read into a buffer makes.
class MappedFile {
 public:
  MappedFile(int fd, std::uint64_t from, std::uint64_t to) {
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || st.st_size <= 0 || from >= to ||
        to > static_cast<std::uint64_t>(st.st_size))
      return;
    const auto page = static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
    const std::uint64_t start = from - from % page;
    void* p = ::mmap(nullptr, static_cast<size_t>(to - start), PROT_READ,
                     MAP_PRIVATE | MAP_POPULATE, fd, static_cast<off_t>(start));
    if (p == MAP_FAILED) return;
    mapping_ = p;
    length_ = static_cast<size_t>(to - start);
    start_ = start;
  }
  ~MappedFile() {
    if (mapping_ != nullptr) ::munmap(mapping_, length_);
  }
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  bool ok() const { return mapping_ != nullptr; }
  // The byte at `offset` in the file, which must lie in the mapped part.
  const std::uint8_t* at(std::uint64_t offset) const {
    return static_cast<const std::uint8_t*>(mapping_) + (offset - start_);
  }

 private:
  void* mapping_ = nullptr;
  size_t length_ = 0;
  std::uint64_t start_ = 0;
};

}  // namespace kelvora
