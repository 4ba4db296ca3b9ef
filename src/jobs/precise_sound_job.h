#pragma once

#include "jobs/job_outcome.h"
#include "jobs/job_records.h"
#include "jobs/sound_job.h"

namespace kelvora {

// The soundtrack job with the precise reader (see ThreadPicture, which hands a record
// asking for it here). Frames, stop checks, status lines, endings and settings are the
// classic job's; the samples are read and joined as precise/ describes: the track is
// located once over the first scans and followed, each row read as the clear share of
// the track at the scan's own depth, scans joined where their overlapping sound
// matches, the level taken off over the whole reel, and the rate measured on the film.
JobOutcome preciseSoundJob(Picture_Parameters& record, SoundJobReport& out);

}  // namespace kelvora
