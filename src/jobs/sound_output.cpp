#include "jobs/sound_output.h"

#include <algorithm>
#include <cstdio>

#include "audio/wav_writer.h"
#include "jobs/archive_sound.h"
#include "jobs/notifications.h"

namespace kelvora {

namespace {

// Converts and writes the finished sequence to `path`. Returns "" on success, or the
// cause of the failure in the system's words.
std::string writeSound(const std::vector<float>& samples, const std::string& path, int sampleRate,
                       bool removeDC) {
  Plik plik;
  plik.sampleRate = sampleRate;
  plik.bitsPerSample = 8;  // the classic file: a byte a sample
  if (plik.CreateWaveFile(path) != 0) return systemError(plik.errorNumber());

  std::vector<std::uint8_t> bytes(samples.size());
  std::transform(samples.begin(), samples.end(), bytes.begin(),
                 [removeDC](float s) { return sampleToByte(s, removeDC); });
  bool ok = true;
  if (plik.WriteSamples(bytes) != bytes.size()) {
    std::fputs("Data lost\n", stdout);
    std::fflush(stdout);
    ok = false;
  }
  ok = plik.CloseSoundFile() == 0 && ok;
  return ok ? "" : systemError(plik.errorNumber());
}

}  // namespace

JobOutcome soundCannotBeWritten(const StagedFile& staged, Picture_Parameters& record,
                                StatusLog& statusLog, SoundJobReport& out) {
  out.failure = staged.error();
  statusLog.replace("Cannot write the sound file!");
  ThreadEndPic(record);
  return JobOutcome::WriteFailed;
}

JobOutcome soundScanUnreadable(Picture_Parameters& record, SoundJobReport& out, int frame,
                               const std::string& path, const std::string& cause) {
  out.failedFrame = frame;
  out.failedPath = path;
  out.failure = cause;
  errorReadPic(record);
  return JobOutcome::Unreadable;
}

JobOutcome finishSoundJob(std::vector<float>& samples, Picture_Parameters& record, int filmRate,
                          StagedFile& staged, StatusLog& statusLog, SoundJobReport& out) {
  Controls& controls = *record.controls;
  out.filmRate = filmRate;
  out.format = record.output.format;
  std::string writeError;
  size_t count = samples.size();
  if (record.output.classic()) {
    out.sampleRate = filmRate;
    writeError = writeSound(samples, staged.tempPath(), filmRate, record.removeDC);
  } else {
    const ArchiveSound archive = writeSoundForArchive(samples, record, filmRate, staged.tempPath());
    out.sampleRate = archive.rate;
    writeError = archive.error;
    count = archive.samples;
  }
  if (writeError.empty() && !staged.commit()) writeError = staged.error();
  const bool written = writeError.empty();
  out.failure = writeError;
  out.samplesWritten = written ? count : 0;
  samples.clear();

  controls.setProgressPosition(0);
  statusLog.finish(written ? "Pictures were tranlated succesfully!"
                           : "Cannot write the sound file!");
  ThreadEndPic(record);
  return written ? JobOutcome::Finished : JobOutcome::WriteFailed;
}

}  // namespace kelvora
