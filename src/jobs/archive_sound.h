#pragma once

#include <string>
#include <vector>

#include "jobs/job_records.h"

namespace kelvora {

// The finished classic sample sequence written in the record's archive format and
// rate: each sample taken to full scale as its 8-bit byte would lie (128 is silence,
// but without the byte's truncation), resampled from `filmRate` when another rate is
// asked for, then stored with the reel's description and coding history.
struct ArchiveSound {
  std::string error;  // "" on success, or the cause of the failure
  int rate = 0;       // samples per second in the file
  size_t samples = 0;
};
ArchiveSound writeSoundForArchive(const std::vector<float>& samples,
                                  const Picture_Parameters& record, int filmRate,
                                  const std::string& path);

// The sound settings of a record in one line, for a file's description.
std::string describeSoundSettings(const Picture_Parameters& record);

}  // namespace kelvora
