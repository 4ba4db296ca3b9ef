// Archive sound files: every format read back with its header and metadata, a tone
// through the resampler, and what 24 bits keep of a quiet reel that 8 bits lose.
#include <sndfile.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include <gtest/gtest.h>

#include "audio/archive_writer.h"
#include "audio/resample.h"
#include "support/sound_file.h"
#include "support/sound_run.h"
#include "support/temp_dir.h"

namespace kelvora {
namespace {

using test::readSound;

struct FormatCase {
  const char* name;
  SoundFormat format;
  int rate;  // 0: the film's
  int container;
  int subtype;
  bool bext;
};

class ArchiveSoundTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    reel::ReelOptions o;
    o.scans = 6;
    o.programme = reel::Programme::Tones;
    reel_ = new reel::Reel(reel::writeReel(o, dir_.file("reel")));
  }
  static void TearDownTestSuite() { delete reel_; }
  static test::TempDir dir_;
  static reel::Reel* reel_;
};
test::TempDir ArchiveSoundTest::dir_;
reel::Reel* ArchiveSoundTest::reel_ = nullptr;

TEST_F(ArchiveSoundTest, EveryFormatReadsBackWithItsHeaderAndMetadata) {
  const FormatCase cases[] = {
      {"wav8 48k", SoundFormat::Wav8, 48000, SF_FORMAT_WAV, SF_FORMAT_PCM_U8, false},
      {"wav16 48k", SoundFormat::Wav16, 48000, SF_FORMAT_WAV, SF_FORMAT_PCM_16, true},
      {"wav24 96k", SoundFormat::Wav24, 96000, SF_FORMAT_WAV, SF_FORMAT_PCM_24, true},
      {"wav24 film", SoundFormat::Wav24, 0, SF_FORMAT_WAV, SF_FORMAT_PCM_24, true},
      {"float 44.1k", SoundFormat::Float, 44100, SF_FORMAT_WAV, SF_FORMAT_FLOAT, true},
      {"flac 48k", SoundFormat::Flac, 48000, SF_FORMAT_FLAC, SF_FORMAT_PCM_24, false},
  };
  const int filmRate = reel_->geometry.sampleRate;
  const size_t filmSamples = static_cast<size_t>(reel_->geometry.totalRows);
  for (const FormatCase& c : cases) {
    SCOPED_TRACE(c.name);
    JobSettings s = test::settingsForReel(reel_->options);
    s.sound.aChain = false;
    s.sound.output = SoundOutput{c.format, c.rate};
    const std::string out = dir_.file(std::string("out") + extensionOf(c.format));
    const auto run = test::runSoundJob(reel_->scanPaths.front(), out, s, 1, reel_->options.scans);
    ASSERT_EQ(run.outcome, JobOutcome::Finished);
    const test::SoundFile f = readSound(out);
    ASSERT_TRUE(f.opened);
    EXPECT_EQ(f.format, c.container | c.subtype);
    EXPECT_EQ(f.channels, 1);
    const int rate = c.rate == 0 ? filmRate : c.rate;
    EXPECT_EQ(f.rate, rate);
    EXPECT_EQ(run.report.sampleRate, rate);
    EXPECT_EQ(run.report.filmRate, filmRate);
    const size_t expected =
        static_cast<size_t>(std::llround(static_cast<double>(filmSamples) * rate / filmRate));
    EXPECT_EQ(f.samples.size(), expected);
    EXPECT_EQ(run.report.samplesWritten, expected);

    EXPECT_EQ(f.hasBext, c.bext);
    const std::string description = c.format == SoundFormat::Flac ? f.title : f.description;
    const std::string history = c.format == SoundFormat::Flac ? f.comment : f.codingHistory;
    const std::string originator = c.format == SoundFormat::Flac ? f.software : f.originator;
    if (c.bext || c.format == SoundFormat::Flac) {
      EXPECT_NE(description.find(dir_.file("reel")), std::string::npos) << description;
      EXPECT_NE(description.find("35 mm variable area, 25 fps"), std::string::npos);
      EXPECT_EQ(originator.rfind("Kelvora " KELVORA_VERSION, 0), 0u) << originator;
      EXPECT_NE(history.find("classic reader, film rate " + std::to_string(filmRate) + " Hz"),
                std::string::npos)
          << history;
      EXPECT_EQ(history.find("resampled") != std::string::npos, rate != filmRate) << history;
    }
    if (c.bext) {
      EXPECT_EQ(f.originationDate.size(), 10u);
    }

    // What is heard: at the film's rate the samples are the reel's sound.
    if (c.rate == 0) {
      EXPECT_GT(test::snrDb(f.samples, reel_->audio), 20.0);
    }
  }
}

// The chunks of a RIFF file before its samples, by name: their sizes and bodies.
std::map<std::string, std::string> chunksBeforeData(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::map<std::string, std::string> chunks;
  for (size_t at = 12; at + 8 <= bytes.size();) {
    const std::string id = bytes.substr(at, 4);
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data() + at + 4);
    const size_t size = b[0] | b[1] << 8 | b[2] << 16 | static_cast<size_t>(b[3]) << 24;
    chunks[id] = bytes.substr(at + 8, id == "data" ? 0 : size);
    if (id == "data") break;
    at += 8 + size + size % 2;
  }
  return chunks;
}

unsigned littleEndian(const std::string& s, size_t at, int bytes) {
  unsigned v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(s[at + i]);
  return v;
}

// Strict readers want a float WAV's format chunk with its extension size (0) and a
// fact chunk with the sample count; integer PCM keeps the plain 16-byte chunk.
TEST(FloatWavHeaderTest, TheFormatChunkIsCompleteAndTheSamplesReadBack) {
  const struct {
    const char* name;
    SoundFormat format;
    unsigned formatTag;
    size_t fmtSize;
    bool fact;
  } cases[] = {
      {"float", SoundFormat::Float, 3, 18, true},
      {"wav16", SoundFormat::Wav16, 1, 16, false},
      {"wav24", SoundFormat::Wav24, 1, 16, false},
  };
  test::TempDir dir;
  std::vector<float> samples(1001);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = std::sin(0.05f * i) * 0.5f;
  SoundMetadata m;
  m.description = "reel";
  m.codingHistory = "A=PCM,F=48000,W=32,M=mono\r\n";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.file(std::string(c.name) + ".wav");
    ASSERT_EQ(writeArchiveSound(samples, 48000, c.format, m, path), "");
    const std::map<std::string, std::string> chunks = chunksBeforeData(path);
    ASSERT_EQ(chunks.count("fmt "), 1u);
    ASSERT_EQ(chunks.count("data"), 1u);
    const std::string& fmt = chunks.at("fmt ");
    ASSERT_EQ(fmt.size(), c.fmtSize);
    EXPECT_EQ(littleEndian(fmt, 0, 2), c.formatTag);
    if (c.fmtSize == 18) {
      EXPECT_EQ(littleEndian(fmt, 16, 2), 0u);  // no extension bytes
    }
    EXPECT_EQ(chunks.count("fact"), c.fact ? 1u : 0u);
    if (c.fact) {
      ASSERT_EQ(chunks.at("fact").size(), 4u);
      EXPECT_EQ(littleEndian(chunks.at("fact"), 0, 4), samples.size());
    }
    EXPECT_EQ(chunks.count("bext"), 1u);
    const test::SoundFile f = readSound(path);
    ASSERT_TRUE(f.opened);
    ASSERT_EQ(f.samples.size(), samples.size());
    if (c.format == SoundFormat::Float) {
      EXPECT_EQ(f.samples, samples);
    }
    EXPECT_NE(f.codingHistory.find("A=PCM"), std::string::npos);
  }
}

struct ToneCase {
  double fromRate;
  double frequency;
  double outOfBand;  // a second tone above 24 kHz that must not come back as an alias
};

TEST(ResampleTest, AToneKeepsItsLevelAndFrequencyAt48k) {
  const ToneCase cases[] = {
      {34000, 1000, 0},  {32640, 9000, 0},     {12960, 5000, 0},
      {36264, 15000, 0}, {96000, 3000, 30000}, {68000, 19000, 29000},
  };
  test::TempDir dir;
  for (const ToneCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.fromRate) + " Hz, " + std::to_string(c.frequency) + " Hz");
    std::vector<float> in = test::tone(c.frequency, c.fromRate, 4.0, 0.5);
    if (c.outOfBand > 0) {
      const std::vector<float> above = test::tone(c.outOfBand, c.fromRate, 4.0, 0.4);
      for (size_t i = 0; i < in.size(); ++i) in[i] += above[i];
    }
    const std::vector<float> out = resample(in, c.fromRate, 48000);
    ASSERT_EQ(out.size(), static_cast<size_t>(std::llround(in.size() * 48000.0 / c.fromRate)));
    // Through the file, as a player reads it.
    const std::string path = dir.file("tone.wav");
    ASSERT_EQ(writeArchiveSound(out, 48000, SoundFormat::Float, SoundMetadata{}, path), "");
    const test::SoundFile f = readSound(path);
    ASSERT_EQ(f.rate, 48000);
    // The middle 2.5 s, away from the filter's start and end.
    const std::vector<float> middle(f.samples.begin() + 48000 / 2,
                                    f.samples.begin() + 48000 / 2 + 120000);
    const std::vector<float> pure = test::tone(c.frequency, c.fromRate, 4.0, 0.5);
    EXPECT_NEAR(test::rmsDb(middle), test::rmsDb(pure), 0.1);
    if (c.outOfBand == 0) {
      EXPECT_NEAR(test::toneFrequency(middle, 48000), c.frequency, 0.1);
    }
    const double spur = test::strongestOtherDb(middle, 48000, {c.frequency}, 60);
    std::printf("%.0f Hz tone from %.0f Hz: level %+.4f dB, %.4f Hz, strongest other %.1f dB\n",
                c.frequency, c.fromRate, test::rmsDb(middle) - test::rmsDb(pure),
                test::toneFrequency(middle, 48000), spur);
    EXPECT_LT(spur, -90.0);
  }
}

// A quiet 16-bit reel: the classic reader averages the track's width, so its samples
// hold more than 8 bits; the 24-bit file keeps what the 8-bit one rounds away.
TEST(ArchiveDepthTest, A16BitReelAt24BitsIsCleanerThanAt8Bits) {
  test::TempDir dir;
  reel::ReelOptions o;
  o.scans = 6;
  o.sixteenBit = true;
  o.colour = false;
  o.grain = 0.5;
  o.programme = reel::Programme::Tones;
  o.level = 0.05;
  const reel::Reel r = reel::writeReel(o, dir.file("reel"));
  double snr[2] = {};
  for (const int i : {0, 1}) {
    JobSettings s = test::settingsForReel(o);
    s.sound.aChain = false;
    s.sound.output.format = i == 0 ? SoundFormat::Wav8 : SoundFormat::Wav24;
    const std::string out = dir.file(i == 0 ? "eight.wav" : "deep.wav");
    ASSERT_EQ(test::runSoundJob(r.scanPaths.front(), out, s, 1, o.scans).outcome,
              JobOutcome::Finished);
    snr[i] = test::snrDb(readSound(out).samples, r.audio, 0, 0);
  }
  RecordProperty("snr_8bit_db", std::to_string(snr[0]));
  RecordProperty("snr_24bit_db", std::to_string(snr[1]));
  std::printf("16-bit quiet reel: %.1f dB at 8 bits, %.1f dB at 24 bits\n", snr[0], snr[1]);
  EXPECT_GT(snr[1], snr[0] + 3.0);
}

}  // namespace
}  // namespace kelvora
