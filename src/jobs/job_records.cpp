#include "jobs/job_records.h"

#include <cctype>
#include <limits>

namespace kelvora {

int leadingNumber(const std::string& text) {
  long long value = 0;
  for (const char ch : text) {
    if (!std::isdigit(static_cast<unsigned char>(ch))) break;
    value = value * 10 + (ch - '0');
    if (value > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
  }
  return static_cast<int>(value);
}

void fillPictureParameters(Picture_Parameters& record, const JobSettings& settings,
                           const JobRequest& request) {
  record.controls = request.controls;
  record.inputPath = request.inputPath;
  record.outputPath = request.outputPath;
  record.startFrame = request.startFrame;
  record.stopFrame = request.stopFrame;
  record.filmType = settings.soundtrackType + 1;
  record.resX = leadingNumber(settings.resolutionX);
  record.resY = leadingNumber(settings.resolutionY);
  record.fps = settings.speedIndex + 24;
  record.colorElement = settings.colorElement;
  record.inputPathLength = static_cast<std::int32_t>(request.inputPath.size());
  record.longstrip = settings.longStrip != 0;
  record.crossfade = settings.crossfade != 0;
  record.removeDC = settings.removeDC != 0;
  record.inverse = settings.inverse != 0;
  record.manualResolution = settings.manualResolution != 0;
  record.cutBySoundtrack = settings.cutBySoundtrack;
  record.direction = settings.directionUp;
  record.stopRequested = false;
  record.frameCorrection = settings.frameCorrection;
  record.aChain = settings.aChain;
  record.bridgeUnreadable = false;
  record.output = SoundOutput{settings.soundFormat, settings.soundRate};
  record.reader = settings.reader;
}

void fillImageParameters(Image_Parameters& record, const JobSettings& settings,
                         const JobRequest& request) {
  record.controls = request.controls;
  record.filmType = settings.soundtrackType + 1;
  record.longstrip = settings.longStrip;
  record.colorElement = settings.colorElement;
  record.inverse = settings.inverse;
  record.cutSoundtrack = settings.cutSoundtrack;
  record.startFrame = request.startFrame;
  record.stopFrame = request.stopFrame;
  record.resX = leadingNumber(settings.resolutionX);
  record.resY = leadingNumber(settings.resolutionY);
  record.filmSize = settings.filmSize;
  record.compression = settings.compression;
  record.speedIndex = settings.speedIndex;
  record.inputPathLength = static_cast<std::int32_t>(request.inputPath.size());
  record.inputPath = request.inputPath;
  record.outputPath = request.outputPath;
  record.stopRequested = false;
  record.manualResolution = settings.manualResolution != 0;
  record.direction = settings.directionUp;
  record.frameCorrection = settings.frameCorrection;
  record.bridgeUnreadable = false;
}

}  // namespace kelvora
