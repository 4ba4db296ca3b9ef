#include "jobs/sound_sink.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "audio/archive_writer.h"
#include "audio/resample.h"
#include "audio/wav_writer.h"

namespace kelvora {

namespace {

std::string codingHistory(const SoundOrigin& origin, int filmRate, int rate) {
  const SoundOutput& o = origin.sound.output;
  std::string pcm = "A=PCM,F=" + std::to_string(rate) + ",W=" + std::to_string(bitsOf(o.format)) +
                    ",M=mono,T=Kelvora " + KELVORA_VERSION + ", " +
                    readerName(origin.sound.reader) + " reader, film rate " +
                    std::to_string(filmRate) + " Hz";
  if (rate != filmRate) pcm += ", resampled by " + resamplerName();
  if (bitsOf(o.format) < 24) pcm += ", TPDF dither";
  if (o.format == SoundFormat::Float) pcm += ", 32-bit float";
  return std::string("A=ANALOGUE,M=mono,T=optical soundtrack, ") +
         filmTypeName(filmTypeOf(origin.film.track)) + ", " + std::to_string(origin.film.fps) +
         " fps\r\n" + pcm + "\r\n";
}

std::vector<float> fullScale(const std::vector<float>& samples, bool removeDC) {
  std::vector<float> out(samples.size());
  std::transform(samples.begin(), samples.end(), out.begin(),
                 [removeDC](float s) { return fullScaleOf(s, removeDC); });
  return out;
}

class SoundFileSink : public SoundSink {
 public:
  SoundFileSink(StagedFile& file, const SoundOrigin& origin) : file_(file), origin_(origin) {}

  std::string problem() const override { return file_.ok() ? "" : file_.error(); }

  SoundStored store(const std::vector<float>& samples, int filmRate) override {
    SoundStored stored = origin_.sound.output.classic() ? writeClassic(samples, filmRate)
                                                        : writeArchive(samples, filmRate);
    if (stored.error.empty() && !file_.sync()) stored.error = file_.error();
    return stored;
  }

 private:
  // The classic file: each sample truncated to a byte, at the film's own rate.
  SoundStored writeClassic(const std::vector<float>& samples, int filmRate) {
    SoundStored stored;
    stored.rate = filmRate;
    stored.samples = samples.size();
    Plik plik;
    plik.sampleRate = filmRate;
    plik.bitsPerSample = 8;  // the classic file: a byte a sample
    if (plik.CreateWaveFile(file_.tempPath()) != 0) {
      stored.error = systemError(plik.errorNumber());
      return stored;
    }
    std::vector<std::uint8_t> bytes(samples.size());
    const bool removeDC = origin_.sound.removeDC;
    std::transform(samples.begin(), samples.end(), bytes.begin(),
                   [removeDC](float s) { return sampleToByte(s, removeDC); });
    bool ok = true;
    if (plik.WriteSamples(bytes) != bytes.size()) {
      std::fputs("Data lost\n", stdout);
      std::fflush(stdout);
      ok = false;
    }
    ok = plik.CloseSoundFile() == 0 && ok;
    if (!ok) stored.error = systemError(plik.errorNumber());
    return stored;
  }

  // An archive file: full scale, resampled when another rate is asked for, stored with
  // the reel's description and coding history, and read back whole.
  SoundStored writeArchive(const std::vector<float>& samples, int filmRate) {
    SoundStored stored;
    const SoundOutput& output = origin_.sound.output;
    std::vector<float> sound = fullScale(samples, origin_.sound.removeDC);
    stored.rate = output.rate == 0 ? filmRate : output.rate;
    if (stored.rate != filmRate) {
      sound = resample(sound, filmRate, stored.rate, &stored.error);
      if (!stored.error.empty()) return stored;
    }
    std::error_code ec;
    const std::filesystem::path reel = std::filesystem::absolute(origin_.reelDirectory, ec);
    SoundMetadata metadata =
        metadataNow(reel.lexically_normal().string(), describeSoundSettings(origin_));
    metadata.codingHistory = codingHistory(origin_, filmRate, stored.rate);
    const std::string& path = file_.tempPath();
    stored.error = writeArchiveSound(sound, stored.rate, output.format, metadata, path);
    stored.samples = sound.size();
    // A library's complaint may hide a full disk: the disk has its say.
    if (!stored.error.empty())
      if (std::string cause = probeWriteError(path); !cause.empty()) stored.error = cause;
    // Read back whole: a failed write must not pass for a finished file.
    if (stored.error.empty() && readableSamples(path) != static_cast<long long>(stored.samples)) {
      stored.error = probeWriteError(path);
      if (stored.error.empty()) stored.error = "the written file does not read back whole";
    }
    return stored;
  }

  StagedFile& file_;
  SoundOrigin origin_;
};

}  // namespace

float fullScaleOf(float s, bool removeDC) {
  if (std::isnan(s)) return 0.0f;
  return (s + (removeDC ? 256.0f : 0.0f) - 128.0f) / 128.0f;
}

std::unique_ptr<SoundSink> soundFileSink(StagedFile& file, const SoundOrigin& origin) {
  return std::make_unique<SoundFileSink>(file, origin);
}

SoundStored SoundInMemory::store(const std::vector<float>& classic, int filmRate) {
  SoundStored stored;
  samples = fullScale(classic, removeDC_);
  rate = rate_ == 0 ? filmRate : rate_;
  if (rate != filmRate) samples = resample(samples, filmRate, rate, &stored.error);
  stored.rate = rate;
  stored.samples = samples.size();
  return stored;
}

std::string describeSoundSettings(const SoundOrigin& origin) {
  static const char* const kElements[] = {"B", "G", "R", "Y"};
  const FilmSettings& f = origin.film;
  const SoundSettings& s = origin.sound;
  std::string d = std::string(filmTypeName(filmTypeOf(f.track))) + ", " + std::to_string(f.fps) +
                  " fps, frames " + std::to_string(origin.startFrame) + "-" +
                  std::to_string(origin.stopFrame) + ", colour " +
                  kElements[static_cast<int>(s.color)];
  if (f.longStrip) d += ", long strip";
  if (!isUp(f.direction)) d += ", track down";
  if (f.inverse) d += ", inverse";
  if (f.frameCorrection) d += ", frame correction";
  if (s.cutBySoundtrack) d += ", cut by soundtrack";
  if (!s.removeDC) d += ", no -DC";
  if (!s.crossfade) d += ", no crossfade";
  if (!s.aChain) d += ", no A-Chain";
  if (s.reader == Reader::Precise) d += ", precise reader";
  return d;
}

}  // namespace kelvora
