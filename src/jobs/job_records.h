#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "audio/sound_format.h"
#include "jobs/controls.h"
#include "jobs/reader.h"
#include "jobs/settings.h"
#include "movie/muxed_movie.h"

namespace kelvora {

// The soundtrack job's record, filled by Start from the window's settings. The job
// reads it; while the job runs the window writes only `stopRequested`.
struct Picture_Parameters {
  Controls* controls = nullptr;  // the window's controls, not owned
  std::string inputPath;
  std::string outputPath;
  std::int32_t startFrame = 1;
  std::int32_t stopFrame = 1;
  std::int32_t filmType = 1;
  std::int32_t resX = 0;
  std::int32_t resY = 0;
  std::int32_t fps = 25;
  std::int32_t colorElement = 2;
  std::int32_t inputPathLength = 0;
  bool longstrip = false;
  bool crossfade = true;
  bool removeDC = true;
  bool inverse = false;
  bool manualResolution = false;
  bool cutBySoundtrack = false;
  bool direction = true;
  std::atomic<bool> stopRequested{false};
  bool frameCorrection = false;
  bool aChain = true;
  bool bridgeUnreadable = false;  // for batch work: see BridgedScan
  SoundOutput output;             // the classic 8-bit WAV unless an archive format is asked for
  Reader reader = Reader::Classic;
};

// The movie job's record.
struct Image_Parameters {
  Controls* controls = nullptr;  // the window's controls, not owned
  std::int32_t filmType = 1;
  std::int32_t longstrip = 0;
  std::int32_t colorElement = 2;
  std::int32_t inverse = 0;
  std::int32_t cutSoundtrack = 0;
  std::int32_t startFrame = 1;
  std::int32_t stopFrame = 1;
  std::int32_t resX = 0;
  std::int32_t resY = 0;
  std::int32_t filmSize = 0;
  std::int32_t compression = 0;
  std::int32_t speedIndex = 1;
  std::int32_t inputPathLength = 0;
  std::string inputPath;
  std::string outputPath;
  std::atomic<bool> stopRequested{false};
  bool manualResolution = false;
  bool direction = true;
  bool frameCorrection = false;
  bool bridgeUnreadable = false;  // for batch work: see BridgedScan
  // A movie with its sound (Matroska or MP4) instead of the classic silent AVI.
  bool withSound = false;
  bool nativeSize = false;  // the pictures keep their own size
  MuxedMovieSettings muxed;
};

// What Start hands over besides the settings.
struct JobRequest {
  Controls* controls = nullptr;
  std::string inputPath;
  std::string outputPath;  // already completed
  int startFrame = 1;
  int stopFrame = 1;
};

// Overwrites every field of the record for a new job.
void fillPictureParameters(Picture_Parameters& record, const JobSettings& settings,
                           const JobRequest& request);
void fillImageParameters(Image_Parameters& record, const JobSettings& settings,
                         const JobRequest& request);

}  // namespace kelvora
