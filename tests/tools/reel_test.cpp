// The reel generator and its ideal reader: the yardstick the readers are measured by.
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include "audio/resample.h"
#include "reel/dust.h"
#include "reel/ideal_reader.h"
#include "reel/random_reel.h"
#include "reel/reel.h"
#include "reel/sound_quality.h"
#include "signal/rounding.h"
#include "support/sound_file.h"
#include "support/temp_dir.h"

namespace kelvora {
namespace {

using reel::ReelOptions;

constexpr double kTwoPi = 6.283185307179586;

struct FilmKind {
  const char* name;
  ReelOptions film;
  double idealDb;  // the ideal reader on it, clean: 8-bit variable density is held back by
                   // its levels, the same across the track
};

void PrintTo(const FilmKind& k, std::ostream* os) { *os << k.name; }

const FilmKind kKinds[] = {
    {"va35", {}, 45},
    {"vd35_negative", {.filmType = 2, .negative = true}, 30},
    {"va16_strips_deep", {.filmType = 3, .dpi = 1800, .longStrip = true, .deep = true}, 45},
    {"va35_unilateral_1200dpi_shrunk", {.dpi = 1200, .unilateral = true, .shrinkage = 0.01}, 45},
};

cv::Mat render(const ReelOptions& o, const reel::ReelGeometry& g, const reel::Film& film, int k) {
  return reel::renderTurnedScan(o, g, film, reel::scanPose(g, reel::scanWeaves(o), k));
}

class FilmKindTest : public ::testing::TestWithParam<FilmKind> {};

// A speck lies on the film: the two scans that hold a stretch of film both show it,
// the same, where the film is.
TEST_P(FilmKindTest, DustIsTheSameInBothScansOfTheFilmTheyShare) {
  ReelOptions o = GetParam().film;
  o.scans = 3;
  o.dust = 30;
  const reel::ReelGeometry g = reel::geometryFor(o);
  const reel::Film dusty = reel::printFilm(o, g);
  reel::Film clean = dusty;
  clean.specks.clear();
  for (int k = 0; k + 1 < o.scans; ++k) {
    const int advance = g.scanStart(k + 1) - g.scanStart(k);
    const cv::Mat earlier = render(o, g, dusty, k).rowRange(advance, g.scanLength);
    const cv::Mat later = render(o, g, dusty, k + 1).rowRange(0, g.scanLength - advance);
    EXPECT_EQ(cv::norm(earlier, later, cv::NORM_INF), 0.0) << "scans " << k << ", " << k + 1;
    const cv::Mat without = render(o, g, clean, k + 1).rowRange(0, g.scanLength - advance);
    cv::Mat changed;
    cv::compare(later, without, changed, cv::CMP_NE);
    EXPECT_GT(cv::countNonZero(changed.reshape(1)), 0) << "no speck in the overlap";
  }
  // Some specks lie on the track, and each is kept where the reader can find it.
  int onTrack = 0;
  for (const reel::Speck& s : dusty.specks) {
    EXPECT_GE(s.diameter, 1.0);
    EXPECT_LE(s.diameter, 6.0);
    const reel::RowRange rows = reel::trackRowsOf(g, s);
    if (rows.first <= rows.last) ++onTrack;
  }
  EXPECT_GT(onTrack, 0);
}

// The gate's shadow darkens both ends of every scan, about 2 % of it, and nothing else.
TEST_P(FilmKindTest, TheGateShadowDarkensBothEndsOfEachScanOnly) {
  ReelOptions o = GetParam().film;
  o.scans = 2;
  const reel::ReelGeometry g = reel::geometryFor(o);
  const reel::Film film = reel::printFilm(o, g);
  const cv::Mat open = render(o, g, film, 1);
  for (const double strength : {0.0, 0.5, 1.0}) {
    ReelOptions shaded = o;
    shaded.gateShadow = strength;
    const cv::Mat scan = render(shaded, g, film, 1);
    const int band = reel::gateShadowRows(shaded, g);
    EXPECT_NEAR(band, strength > 0 ? 0.02 * g.scanLength : 0, 1.0);
    const cv::Rect inside(0, band, g.filmWidth, g.scanLength - 2 * band);
    EXPECT_EQ(cv::norm(scan(inside), open(inside), cv::NORM_INF), 0.0) << strength;
    if (strength == 0.0) continue;
    for (const int y : {0, band / 2, g.scanLength - 1 - band / 2, g.scanLength - 1}) {
      const double dark = cv::mean(scan.row(y))[2];
      const double lit = cv::mean(open.row(y))[2];
      EXPECT_LT(dark, (1.0 - 0.9 * strength) * lit + 8.0) << "row " << y << ", " << strength;
    }
  }
}

// The ideal reader, on a clean reel of each kind, gives back the sound on the film.
TEST_P(FilmKindTest, TheIdealReaderReadsACleanReelWell) {
  test::TempDir dir;
  ReelOptions o = GetParam().film;
  o.scans = 6;
  o.grain = 0.5;
  const reel::Reel r = reel::writeReel(o, dir.file("reel"));
  const reel::SoundQuality q = reel::trackedQuality(reel::idealSound(r), r.audio);
  EXPECT_GT(q.snrDb, GetParam().idealDb);
  EXPECT_EQ(q.lagChanges, 0);
  EXPECT_EQ(q.firstLag, 0);
}

INSTANTIATE_TEST_SUITE_P(Reels, FilmKindTest, ::testing::ValuesIn(kKinds),
                         [](const auto& info) { return std::string(info.param.name); });

// With every fault at once it still reads what a reader could: dust and a scratch read
// around, the gate's shadow and the missing scan skipped, the light taken off.
TEST(IdealReaderTest, ReadsAReelWithEveryFaultAtOnce) {
  test::TempDir dir;
  ReelOptions o;
  o.scans = 8;
  o.grain = 0.5;
  o.shrinkage = 0.01;
  o.weave = 3.0;
  o.skewDegrees = 0.3;
  o.turnWander = 0.1;
  o.scratch = 0.3;
  o.darkScratch = true;
  o.negative = true;
  o.vignetting = 0.15;
  o.flicker = 0.05;
  o.densityDrift = 0.1;
  o.splices = {4};
  o.dust = 8;
  o.gateShadow = 0.9;
  o.partRowSteps = true;
  o.missingScans = {6};
  const reel::Reel r = reel::writeReel(o, dir.file("reel"));
  EXPECT_EQ(r.scanPaths.size(), 7u);
  EXPECT_FALSE(std::filesystem::exists(dir.file("reel/scan_0007.tif")));
  std::vector<float> reference = r.audio;
  const std::vector<bool> scanned = reel::scannedRows(r);
  for (size_t i = 0; i < reference.size(); ++i)
    if (!scanned[i]) reference[i] = 0.0f;
  const reel::SoundQuality q = reel::trackedQuality(reel::idealSound(r), reference);
  EXPECT_GT(q.snrDb, 30.0);
  EXPECT_EQ(q.lagChanges, 0);
}

// Random archive reels: one seed, one reel; over many seeds, everything archives hold.
TEST(RandomReelTest, OneSeedOneReelAndEveryKindAndFaultAcrossSeeds) {
  std::set<std::string> descriptions, kinds;
  std::set<int> resolutions;
  for (unsigned seed = 1; seed <= 40; ++seed) {
    const ReelOptions o = reel::randomArchiveReel(seed);
    const std::string d = reel::describeReel(o);
    EXPECT_EQ(d, reel::describeReel(reel::randomArchiveReel(seed)));
    descriptions.insert(d);
    resolutions.insert(o.dpi);
    kinds.insert(d.substr(0, d.find(',')));
    const std::string faults = d.substr(d.find(';') + 2);
    EXPECT_GE(std::count(faults.begin(), faults.end(), ',') + 1, 2) << d;
    EXPECT_LE(o.shrinkage, 0.015);
    EXPECT_GE(o.overlap, 0.1);
    EXPECT_LE(o.overlap, 0.35);
    for (const char* fault : {"shrunk", "weave", "skew", "scratch", "negative", "light", "drift",
                              "splice", "missing", "dust", "gate shadow", "leader"})
      if (d.find(fault) != std::string::npos) kinds.insert(fault);
  }
  EXPECT_EQ(descriptions.size(), 40u);
  for (const char* kind :
       {"35 mm VA bilateral", "35 mm VA unilateral", "35 mm VD", "16 mm VA bilateral",
        "16 mm VA unilateral", "shrunk", "weave", "skew", "scratch", "negative", "light", "drift",
        "splice", "missing", "dust", "gate shadow", "leader"})
    EXPECT_TRUE(kinds.count(kind)) << kind;
  for (const int dpi : {1200, 2000}) EXPECT_TRUE(resolutions.count(dpi)) << dpi;
  EXPECT_GE(*resolutions.rbegin(), 3900);
}

TEST(RandomReelTest, TheSameSeedWritesTheSameScans) {
  test::TempDir dir;
  ReelOptions o = reel::randomArchiveReel(8);
  o.scans = 3;
  o.missingScans.clear();
  o.splices.clear();
  const reel::Reel a = reel::writeReel(o, dir.file("a"));
  const reel::Reel b = reel::writeReel(o, dir.file("b"));
  ASSERT_EQ(a.scanPaths.size(), 3u);
  const auto bytes = [](const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  for (size_t k = 0; k < a.scanPaths.size(); ++k)
    EXPECT_EQ(bytes(a.scanPaths[k]), bytes(b.scanPaths[k])) << k;
  EXPECT_NE(reel::describeReel(reel::randomArchiveReel(9)), reel::describeReel(o));
}

// Clicks are found where they lie on the film, whatever the reader's delay and gain, in
// a silent leader too; a leader fits no delay.
TEST(SoundQualityTest, ClicksAreFoundAtTheirPlaceOnTheFilm) {
  struct Case {
    int delay;
    float gain;
    std::vector<int> clicks;
    int leader = 0;  // samples of silence the reference opens with
  } cases[] = {{0, 1.0f, {}},       {0, 1.0f, {3000, 9100}},
               {37, -0.5f, {5000}}, {-25, 2.0f, {2600, 2610}},
               {0, 1.0f, {}, 4200}, {12, 0.7f, {1500}, 4200}};
  for (const Case& c : cases) {
    std::vector<float> reference(12000, 0.0f);
    for (size_t i = static_cast<size_t>(c.leader); i < reference.size(); ++i)
      reference[i] = static_cast<float>(0.3 * std::sin(0.05 * i) + 0.2 * std::sin(0.31 * i + 1.0));
    std::vector<float> sound(reference.size(), 0.0f);
    for (size_t i = 0; i < sound.size(); ++i) {
      const long at = static_cast<long>(i) - c.delay;
      if (at >= 0 && at < static_cast<long>(reference.size()))
        sound[i] = c.gain * reference[static_cast<size_t>(at)] + 0.1f;
    }
    for (const int click : c.clicks) sound[static_cast<size_t>(click + c.delay)] += c.gain * 0.2f;
    const reel::SoundQuality q = reel::trackedQuality(sound, reference);
    EXPECT_EQ(q.firstLag, -c.delay);
    EXPECT_EQ(q.lagChanges, 0);
    EXPECT_EQ(q.snrDb > 60.0, c.clicks.empty()) << q.snrDb;
    const std::vector<int> found = reel::clicksIn(reel::trackedResidual(sound, reference));
    // Two clicks closer than the gap between them are one.
    const size_t expected =
        c.clicks.size() == 2 && c.clicks[1] - c.clicks[0] < 16 ? 1 : c.clicks.size();
    ASSERT_EQ(found.size(), expected) << c.delay;
    for (size_t k = 0; k < found.size(); ++k) EXPECT_NEAR(found[k], c.clicks[k], 2) << c.delay;
    // Each click's run reaches from its first sample to its last, two clicks taken as one
    // spanning both: another sound's error anywhere on it is near it.
    const std::vector<reel::ClickRun> runs =
        reel::clickRunsIn(reel::trackedResidual(sound, reference));
    ASSERT_EQ(runs.size(), found.size());
    for (size_t k = 0; k < runs.size(); ++k) {
      EXPECT_EQ(runs[k].peak, found[k]);
      EXPECT_NEAR(runs[k].first, c.clicks[k], 2) << c.delay;
      EXPECT_NEAR(runs[k].last, expected < c.clicks.size() ? c.clicks.back() : c.clicks[k], 2)
          << c.delay;
    }
  }
}

// A sound file printed on the film comes back from it: two channels mixed to one,
// resampled to the film's rate.
TEST(PrintedSoundTest, AReelGivesBackTheSoundFilePrintedOnIt) {
  test::TempDir dir;
  const int fileRate = 44100;
  std::vector<float> stereo;
  std::vector<float> mono;
  for (int i = 0; i < fileRate / 2; ++i) {
    const double t = static_cast<double>(i) / fileRate;
    const float left = static_cast<float>(0.6 * std::sin(kTwoPi * 440 * t));
    const float right = static_cast<float>(0.4 * std::sin(kTwoPi * 1250 * t + 1.0));
    stereo.push_back(left);
    stereo.push_back(right);
    mono.push_back(0.5f * (left + right));
  }
  ASSERT_TRUE(test::writeFloatWav(dir.file("speech.wav"), stereo, fileRate, 2));

  ReelOptions o;
  o.soundFile = dir.file("speech.wav");
  o.scans = 14;  // half a second at 25 frames a second, and more
  o.grain = 0.5;
  const reel::Reel r = reel::writeReel(o, dir.file("reel"));
  const std::vector<float> expected = resample(mono, fileRate, roundToInt(r.geometry.trueRate));
  EXPECT_GT(reel::trackedQuality(r.audio, expected).snrDb, 40.0);
  EXPECT_GT(reel::trackedQuality(reel::idealSound(r), expected).snrDb, 35.0);
  EXPECT_THROW(
      [&] {
        ReelOptions bad = o;
        bad.soundFile = dir.file("none.wav");
        reel::writeReel(bad, dir.file("bad"));
      }(),
      std::runtime_error);
}

}  // namespace
}  // namespace kelvora
