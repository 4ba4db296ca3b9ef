// Whole jobs on DPX reels of every layout: the same film as DPX and as TIFF gives the
// same sound, byte for byte, from both readers.
#include <filesystem>
#include <map>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include "support/dpx_file.h"
#include "support/sound_run.h"
#include "support/temp_dir.h"

namespace kelvora {
namespace {

struct Sounds {
  std::vector<std::uint8_t> classic;
  std::vector<std::uint8_t> precise;
};

Sounds soundsOf(const std::string& firstScan, const reel::ReelOptions& options,
                const std::string& output) {
  JobSettings s = test::settingsForReel(options);
  Sounds sounds;
  for (const Reader reader : {Reader::Classic, Reader::Precise}) {
    s.sound.reader = reader;
    const test::SoundRun run = test::runSoundJob(firstScan, output, s, 1, options.scans);
    EXPECT_EQ(run.outcome, JobOutcome::Finished) << firstScan;
    (reader == Reader::Classic ? sounds.classic : sounds.precise) = run.wav.data;
  }
  return sounds;
}

class DpxTwinTest : public testing::TestWithParam<int> {};

TEST_P(DpxTwinTest, EveryLayoutGivesTheSoundOfItsTiffTwin) {
  const int bits = GetParam();
  test::TempDir dir;
  // A grey and a colour film rendered at full precision, whose scans' width is not a
  // multiple of three.
  std::map<bool, reel::Reel> films;
  for (const bool colour : {false, true}) {
    reel::ReelOptions o;
    o.dpi = 600;
    o.scans = 4;
    o.deep = true;
    o.colour = colour;
    films[colour] = reel::writeReel(o, dir.file(colour ? "colour" : "grey"));
  }
  ASSERT_NE(cv::imread(films[true].scanPaths[0], cv::IMREAD_UNCHANGED).cols % 3, 0);

  std::map<bool, Sounds> twins;  // grey and colour
  int layouts = 0;
  for (const DpxPacking packing : {DpxPacking::FilledA, DpxPacking::FilledB, DpxPacking::Packed})
    for (const bool runOn : {false, true})
      for (const bool big : {true, false})
        for (const int channels : {1, 2, 3, 4}) {
          if ((bits == 8 || bits == 16) && packing != DpxPacking::FilledA) continue;
          if (runOn && bits != 10 && packing != DpxPacking::Packed) continue;
          test::DpxFileLayout l;
          l.bits = bits;
          l.packing = packing;
          l.runOn = runOn;
          l.bigEndian = big;
          SCOPED_TRACE(test::nameOf(l, channels));
          const bool colour = channels >= 3;
          const reel::Reel& film = films[colour];
          if (twins.count(colour) == 0) {
            const auto tiffs = test::writeTwinReel(film, bits, dir.file("twin"));
            twins[colour] = soundsOf(tiffs[0], film.options, dir.file("twin.wav"));
            std::filesystem::remove_all(dir.file("twin"));
          }
          const auto dpx = test::writeDpxReel(film, l, channels, dir.file("dpx"));
          const Sounds sounds = soundsOf(dpx[0], film.options, dir.file("dpx.wav"));
          EXPECT_FALSE(sounds.classic.empty());
          EXPECT_TRUE(sounds.classic == twins[colour].classic);
          EXPECT_TRUE(sounds.precise == twins[colour].precise);
          std::filesystem::remove_all(dir.file("dpx"));
          ++layouts;
        }
  EXPECT_EQ(layouts, bits == 8 || bits == 16 ? 8 : bits == 10 ? 48 : 32);
}

INSTANTIATE_TEST_SUITE_P(Depths, DpxTwinTest, testing::Values(8, 10, 12, 16),
                         [](const testing::TestParamInfo<int>& depth) {
                           return std::to_string(depth.param) + "bits";
                         });

}  // namespace
}  // namespace kelvora
