#pragma once

#include <nlohmann/json.hpp>

#include "jobs/movie_job.h"
#include "jobs/sound_job.h"

namespace kelvora {

// What a soundtrack job measured: resolution, track width, frame pitch, sample rate,
// samples written and each frame's samples and cut point.
nlohmann::ordered_json soundMeasurements(const SoundJobReport& report);

// What a movie job wrote: frames, size, rate and codec.
nlohmann::ordered_json movieMeasurements(const MovieJobReport& report);

// The whole report of a soundtrack job: how it ended, its output and its measurements.
std::string soundReportJson(const SoundJobReport& report, JobOutcome outcome,
                            const std::string& output);

// `j` as text, indented, any bytes that are not UTF-8 replaced.
std::string dumpJson(const nlohmann::ordered_json& j);

// The scans a job bridged, each with its frame, path and cause.
nlohmann::ordered_json bridgedScans(const std::vector<BridgedScan>& bridged);

}  // namespace kelvora
