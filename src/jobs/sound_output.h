#pragma once

#include <string>
#include <vector>

#include "jobs/job_outcome.h"
#include "jobs/job_records.h"
#include "jobs/sound_job.h"
#include "jobs/staged_file.h"
#include "jobs/status_log.h"

namespace kelvora {

// Ends a soundtrack job whose output cannot be written, before any frame is decoded.
JobOutcome soundCannotBeWritten(const StagedFile& staged, Picture_Parameters& record,
                                StatusLog& statusLog, SoundJobReport& out);

// Ends a soundtrack job at a scan it cannot read: frame `frame`, file `path`, for `cause`.
JobOutcome soundScanUnreadable(Picture_Parameters& record, SoundJobReport& out, int frame,
                               const std::string& path, const std::string& cause);

// Ends a soundtrack job whose frames are all read: writes the finished `samples`
// (classic float samples, see img2sou) into the staged output in the record's
// format, the classic 8-bit WAV at `filmRate` or an archive format and rate, puts it
// in place, and shows the job's last status line. Fills the report's rates, format,
// failure and samples written. `samples` is emptied.
JobOutcome finishSoundJob(std::vector<float>& samples, Picture_Parameters& record, int filmRate,
                          StagedFile& staged, StatusLog& statusLog, SoundJobReport& out);

}  // namespace kelvora
