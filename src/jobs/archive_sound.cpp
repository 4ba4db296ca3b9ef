#include "jobs/archive_sound.h"

#include <cmath>
#include <filesystem>

#include "audio/archive_writer.h"
#include "audio/resample.h"
#include "film/film_geometry.h"
#include "jobs/frame_listing.h"
#include "jobs/staged_file.h"

namespace kelvora {

namespace {

float toFullScale(float s, bool removeDC) {
  if (std::isnan(s)) return 0.0f;
  return (s + (removeDC ? 256.0f : 0.0f) - 128.0f) / 128.0f;
}

std::string codingHistory(const Picture_Parameters& record, int filmRate, int rate) {
  const SoundOutput& o = record.output;
  std::string pcm = "A=PCM,F=" + std::to_string(rate) + ",W=" + std::to_string(bitsOf(o.format)) +
                    ",M=mono,T=Kelvora " + KELVORA_VERSION + ", classic reader, film rate " +
                    std::to_string(filmRate) + " Hz";
  if (rate != filmRate) pcm += ", resampled by " + resamplerName();
  if (bitsOf(o.format) < 24) pcm += ", TPDF dither";
  if (o.format == SoundFormat::Float) pcm += ", 32-bit float";
  return std::string("A=ANALOGUE,M=mono,T=optical soundtrack, ") + filmTypeName(record.filmType) +
         ", " + std::to_string(record.fps) + " fps\r\n" + pcm + "\r\n";
}

}  // namespace

std::string describeSoundSettings(const Picture_Parameters& record) {
  static const char* const kElements[] = {"B", "G", "R", "Y"};
  const int element = record.colorElement >= 0 && record.colorElement < 4 ? record.colorElement : 2;
  std::string s = std::string(filmTypeName(record.filmType)) + ", " + std::to_string(record.fps) +
                  " fps, frames " + std::to_string(record.startFrame) + "-" +
                  std::to_string(record.stopFrame) + ", colour " + kElements[element];
  if (record.longstrip) s += ", long strip";
  if (!record.direction) s += ", track down";
  if (record.inverse) s += ", inverse";
  if (record.frameCorrection) s += ", frame correction";
  if (record.cutBySoundtrack) s += ", cut by soundtrack";
  if (!record.removeDC) s += ", no -DC";
  if (!record.crossfade) s += ", no crossfade";
  if (!record.aChain) s += ", no A-Chain";
  return s;
}

ArchiveSound writeSoundForArchive(const std::vector<float>& samples,
                                  const Picture_Parameters& record, int filmRate,
                                  const std::string& path) {
  ArchiveSound result;
  std::vector<float> fullScale(samples.size());
  for (size_t i = 0; i < samples.size(); ++i)
    fullScale[i] = toFullScale(samples[i], record.removeDC);
  result.rate = record.output.rate == 0 ? filmRate : record.output.rate;
  if (result.rate != filmRate) {
    fullScale = resample(fullScale, filmRate, result.rate, &result.error);
    if (!result.error.empty()) return result;
  }
  std::error_code ec;
  const std::filesystem::path reel =
      std::filesystem::absolute(JobDirectory(record.inputPath, record.inputPathLength), ec);
  SoundMetadata metadata =
      metadataNow(reel.lexically_normal().string(), describeSoundSettings(record));
  metadata.codingHistory = codingHistory(record, filmRate, result.rate);
  result.error = writeArchiveSound(fullScale, result.rate, record.output.format, metadata, path);
  result.samples = fullScale.size();
  // Read back whole: a failed write must not pass for a finished file.
  if (result.error.empty() && readableSamples(path) != static_cast<long long>(result.samples)) {
    result.error = probeWriteError(path);
    if (result.error.empty()) result.error = "the written file does not read back whole";
  }
  return result;
}

}  // namespace kelvora
