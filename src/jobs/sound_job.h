#pragma once

#include <string>
#include <vector>

#include "film/film_settings.h"
#include "jobs/frame_loop.h"
#include "jobs/sound_sink.h"
#include "readers/sound_reader.h"
#include "readers/sound_settings.h"

namespace kelvora {

// What one soundtrack job measured and did.
struct SoundJobReport : JobReport {
  Reader reader = Reader::Classic;
  Parameters parameters;  // the track width and frame pitch at the resolution taken
  int filmRate = 0;       // a sample a scanned row: frames per second times the frame pitch
  int sampleRate = 0;     // of the sound as stored
  SoundFormat format = SoundFormat::Wav8;
  size_t samplesWritten = 0;
  std::vector<FrameReading> frames;  // each scan read, and how it took over
  FilmReading reading;               // what the reader measured of the film
  LeastAlikeJoin leastAlikeJoin;
};

// A consumer of the frame loop that reads the reel's sound with `reader` and, once
// every frame is read, reverses it for Inverse, filters it for A-Chain and stores it
// in `sink`. For a job that makes more than the sound (the movie with its sound).
class SoundConsumer : public FrameConsumer {
 public:
  SoundConsumer(SoundReader& reader, SoundSink& sink, const FilmSettings& film,
                const SoundSettings& sound, SoundJobReport& report, Warn warn);

  std::vector<ScanNeeds> needs() const override;
  std::string ready() override;
  Resolution first(const std::vector<ScanInput>& scans, const FirstScan& first) override;
  ReaderFailure next(std::vector<ScanInput> scans) override;
  void gap(int frame) override;
  Finish finish() override;
  void stopped() override {}
  void unreadable() override {}

 private:
  SoundReader& reader_;
  SoundSink& sink_;
  const FilmSettings& film_;
  const SoundSettings& sound_;
  SoundJobReport& report_;
  Warn warn_;
};

// The soundtrack job: decodes frames startFrame..stopFrame of the request's input
// directory into one mono sound and stores it in `sink`. It drives the window only
// through the request's controls, checks Stop once a frame, and stores nothing when
// stopped or when a scan cannot be read (with bridgeUnreadable, silence stands in for
// such a scan). `report` receives the measurements.
JobOutcome ThreadPicture(const JobRequest& request, const FilmSettings& film,
                         const SoundSettings& sound, SoundSink& sink, SoundJobReport& report);

}  // namespace kelvora
