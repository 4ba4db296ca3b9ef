#pragma once

#include <string>

#include "film/film_settings.h"
#include "jobs/frame_listing.h"

namespace kelvora {

// Typed resolutions outside this range are refused before a job: no scanner makes
// them, and 0 would declare a WAV of no samples per second.
constexpr int kMinimumResolution = 100;
constexpr int kMaximumResolution = 20000;
constexpr const char* kResolutionRangeMessage = "Resolution must be between 100 and 20000 dpi";
constexpr const char* kOutputIsInputMessage = "Output file is one of the input scans!";

// False when Manual resolution is on and either typed value is outside the range.
bool resolutionAcceptable(const FilmSettings& film);

// The scan of `listing` that `outputPath` names (the same file, through any link), or
// "" when it names none.
std::string scanNamedBy(const FrameListing& listing, const std::string& outputPath);

// The directory `path` lies in; "." for a bare file name.
std::string directoryOf(const std::string& path);

// Why `path` cannot be written as an output, in the system's words ("File name too
// long", "Permission denied", "Is a directory", "No such file or directory" for a
// missing directory), or "" when it can.
std::string outputPathProblem(const std::string& path);

}  // namespace kelvora
