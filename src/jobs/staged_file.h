#pragma once

#include <string>

namespace kelvora {

// An output written aside and put in place only once it is complete, so a failed or
// stopped job never destroys an older file of the same name. The temporary file is
// hidden in the output's own directory (a rename there cannot cross file systems)
// and is removed unless `commit` succeeds. Its name carries the process's id and the
// machine's name, so that the next output staged in that directory removes what a
// killed run left there.
class StagedFile {
 public:
  // Checks that `path` can be written (its directory exists and is writable, its
  // name is not too long, it is no directory) and creates the temporary file, whose
  // name ends in `suffix`. Check `ok`; `error` then says why not.
  StagedFile(std::string path, const std::string& suffix);
  ~StagedFile();
  StagedFile(const StagedFile&) = delete;
  StagedFile& operator=(const StagedFile&) = delete;

  bool ok() const { return !tempPath_.empty(); }
  const std::string& path() const { return path_; }
  const std::string& tempPath() const { return tempPath_; }
  // The cause of the last failure in the system's words, such as "File name too long".
  const std::string& error() const { return error_; }

  // Flushes the temporary file to disk. Returns false, with `error` set, when that
  // fails (a full disk may say so only here).
  bool sync();
  // Flushes the temporary file to disk (unless `sync` did) and renames it over `path`.
  // Returns false, with `error` set, when that fails; the temporary file is then removed.
  bool commit();
  // Removes the temporary file; nothing is left.
  void discard();

 private:
  std::string path_;
  std::string tempPath_;
  std::string error_;
  bool synced_ = false;
};

// The system's words for an error number, such as "No space left on device".
std::string systemError(int errorNumber);

// Why files cannot be written beside `path`: writes and flushes a small probe file in
// its directory and returns the system's words for the failure, or "" when writing
// works.
std::string probeWriteError(const std::string& path);

}  // namespace kelvora
