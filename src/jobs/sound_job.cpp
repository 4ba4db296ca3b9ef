#include "jobs/sound_job.h"

#include <algorithm>

#include "audio/filter.h"

namespace kelvora {

SoundConsumer::SoundConsumer(SoundReader& reader, SoundSink& sink, const FilmSettings& film,
                             const SoundSettings& sound, SoundJobReport& report, Warn warn)
    : reader_(reader),
      sink_(sink),
      film_(film),
      sound_(sound),
      report_(report),
      warn_(std::move(warn)) {
  report_.reader = sound.reader;
  report_.format = sound.output.format;
}

std::vector<ScanNeeds> SoundConsumer::needs() const { return {reader_.needs()}; }

std::string SoundConsumer::ready() { return sink_.problem(); }

Resolution SoundConsumer::first(const std::vector<ScanInput>& scans, const FirstScan& first) {
  const SoundGeometry g = reader_.first(scans.front(), first);
  report_.parameters = g.parameters;
  // Said before the second frame is read: a wrong speed can be stopped early.
  for (const std::string& w : resolutionWarnings(first.measured, film_, first.tagged, g.resolution,
                                                 !reader_.measuresRate()))
    warn_(w);
  return g.resolution;
}

ReaderFailure SoundConsumer::next(std::vector<ScanInput> scans) {
  return reader_.next(std::move(scans.front()));
}

void SoundConsumer::gap(int frame) { reader_.gap(frame); }

Finish SoundConsumer::finish() {
  SoundReading reading = reader_.finish();
  if (reading.failure.failed()) return Finish{JobOutcome::Unreadable, reading.failure, ""};
  report_.filmRate = reading.filmRate;
  report_.frames = std::move(reading.frames);
  report_.reading = std::move(reading.film);
  report_.leastAlikeJoin = std::move(reading.leastAlike);

  std::vector<float>& samples = reading.samples;
  if (film_.inverse) std::reverse(samples.begin(), samples.end());
  if (sound_.aChain) filter(samples);
  const SoundStored stored = sink_.store(samples, reading.filmRate);
  report_.sampleRate = stored.rate;
  report_.samplesWritten = stored.error.empty() ? stored.samples : 0;
  if (!stored.error.empty()) return Finish{JobOutcome::WriteFailed, {}, stored.error};
  return Finish{};
}

JobOutcome ThreadPicture(const JobRequest& request, const FilmSettings& film,
                         const SoundSettings& sound, SoundSink& sink, SoundJobReport& report) {
  report = SoundJobReport{};
  FrameLoop loop(JobKind::Sound, request, film, report);
  const std::unique_ptr<SoundReader> reader =
      makeSoundReader(film, sound, request.startFrame, request.stopFrame, loop.warner());
  SoundConsumer consumer(*reader, sink, film, sound, report, loop.warner());
  return loop.run(consumer);
}

}  // namespace kelvora
