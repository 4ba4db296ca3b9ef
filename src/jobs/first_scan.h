#pragma once

#include <string>

#include <opencv2/core.hpp>

#include "film/film_geometry.h"
#include "jobs/job_records.h"
#include "jobs/sound_job.h"
#include "jobs/status_log.h"

namespace kelvora {

// What a soundtrack job takes from its first scan: the resolution and the track's
// geometry at it.
struct FirstScan {
  Resolution resolution;
  Parameters parameters;
};

// Measures the first scan of a soundtrack job, `frame` as loaded (and trimmed) from
// `path`: reads its header, checks the settings against the film it shows, finds the
// resolution (or takes the manual one) and shows it on the status line. Fills the
// report's header, warnings, resolution and parameters.
FirstScan measureFirstScan(const cv::Mat& frame, const std::string& path,
                           const Picture_Parameters& record, StatusLog& statusLog,
                           SoundJobReport& out);

}  // namespace kelvora
