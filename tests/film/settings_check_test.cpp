// What the first scan says of the settings: on generated reels of every kind the
// measurement finds the edge, gauge, strip length and resolution, a wrong setting
// is named and the right ones give no warning.
#include "film/settings_check.h"

#include "film/resolution.h"
#include "signal/image_ops.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include "reel/reel.h"
#include "support/temp_dir.h"

namespace kelvora {
namespace {

struct ReelKind {
  const char* name;
  reel::ReelOptions film;
};

TEST(SettingsCheckTest, EachWrongSettingIsNamedAndTheRightOnesAreNot) {
  using reel::Programme;
  const ReelKind kinds[] = {
      {"35va up", {}},
      {"35va down grey 1800",
       {.dpi = 1800, .directionUp = false, .colour = false, .programme = Programme::Tones}},
      {"35va strip", {.longStrip = true}},
      {"35vd", {.filmType = 2}},
      {"16va", {.filmType = 3, .dpi = 1800, .programme = Programme::Tones}},
      {"16va down strip",
       {.filmType = 3, .dpi = 1800, .longStrip = true, .directionUp = false, .colour = false}},
      // A picture that looks more alike three frames on than one: the frame lines' edges
      // still tell the pitch.
      {"16va down strip 3970",
       {.filmType = 3, .dpi = 3970, .longStrip = true, .directionUp = false}},
      {"16va strip 4000 grey",
       {.filmType = 3,
        .dpi = 4000,
        .longStrip = true,
        .colour = false,
        .programme = Programme::Tones}},
  };
  test::TempDir dir;
  for (const ReelKind& k : kinds) {
    SCOPED_TRACE(k.name);
    reel::ReelOptions o = k.film;
    o.scans = 2;
    const reel::Reel r = reel::writeReel(o, dir.file(k.name));
    const cv::Mat scan = cv::imread(r.scanPaths[0], cv::IMREAD_ANYCOLOR);
    const FilmMeasurement m = measureFilm(scan);
    std::printf("%-22s top %.2f bottom %.2f pitch %.1f (%d) frames %.2f dpi %.0f gauge %d vd %d\n",
                k.name, m.trackScore[0], m.trackScore[1], m.framePitch, r.geometry.pitch,
                m.framesPerScan, m.dpi, m.gauge, m.variableDensity);
    ASSERT_TRUE(m.measured);
    EXPECT_TRUE(m.sureOfEdge);
    EXPECT_EQ(m.trackOnTop, o.directionUp);
    EXPECT_EQ(m.gauge, o.filmType == 3 ? 16 : 35);
    EXPECT_NEAR(m.dpi, o.dpi, 0.03 * o.dpi);
    EXPECT_EQ(m.variableDensity, o.filmType == 2);

    FilmSettings right;
    right.track = trackOf(o.filmType);
    right.direction = o.directionUp ? Direction::Up : Direction::Down;
    right.longStrip = o.longStrip;
    EXPECT_EQ(settingsWarnings(m, right), std::vector<std::string>{});
    const Resolution dpi{o.dpi, o.dpi};
    EXPECT_EQ(resolutionWarnings(m, right, dpi, dpi, true), std::vector<std::string>{});
    const FilmSettings auto_ = settingsFromMeasurement(m, FilmSettings{});
    EXPECT_EQ(auto_.track, right.track);
    EXPECT_EQ(isUp(auto_.direction), o.directionUp);
    EXPECT_EQ(auto_.longStrip, right.longStrip);

    const struct {
      void (*wrong)(FilmSettings&);
      std::string warning;
    } wrongs[] = {
        {[](FilmSettings& s) { s.direction = isUp(s.direction) ? Direction::Down : Direction::Up; },
         o.directionUp ? "along the top edge: did you mean UP?"
                       : "along the bottom edge: did you mean DOWN?"},
        {[](FilmSettings& s) { s.longStrip = !s.longStrip; },
         o.longStrip ? "did you mean Long strip?" : "did you mean to leave Long strip off?"},
        {[](FilmSettings& s) {
           s.track = isSixteenMm(s.track) ? Track::VariableArea35 : Track::VariableArea16;
         },
         o.filmType == 3 ? "did you mean 16 mm?" : "did you mean 35 mm?"},
    };
    for (const auto& w : wrongs) {
      FilmSettings s = right;
      w.wrong(s);
      const std::vector<std::string> said = settingsWarnings(m, s);
      ASSERT_EQ(said.size(), 1u) << w.warning;
      EXPECT_NE(said[0].find(w.warning), std::string::npos) << said[0];
    }
    // A reader that measures its own rate is told of a typed resolution far off.
    FilmSettings typed = right;
    typed.manualResolution = Resolution{1200, 1200};
    const std::vector<std::string> said =
        resolutionWarnings(m, typed, Resolution{}, *typed.manualResolution, false);
    ASSERT_EQ(said.size(), 1u);
    EXPECT_NE(said[0].find("the resolution is set to 1200,1200: did you mean"), std::string::npos);
  }
}

// The classic reader takes one of six standard resolutions; a reel scanned at another,
// or shrunk, plays off its speed, and says so by how much with the resolution to type.
// A reader that measures its rate on the film is not warned.
TEST(SettingsCheckTest, AWrongSpeedIsSaidInPerCentWithTheFix) {
  const struct {
    int dpi;
    double shrinkage;
    int taken;       // what the classic reader rounds it to
    double percent;  // how far off the sound plays, 0 for nothing said
    const char* way;
  } cases[] = {
      {1200, 0.0, 900, 25.0, "slow"},  {600, 0.0, 450, 25.0, "slow"},
      {2000, 0.0, 1800, 10.0, "slow"}, {1800, 0.01, 1800, 1.0, "fast"},
      {900, 0.02, 900, 2.0, "fast"},   {1800, 0.003, 1800, 0.0, ""},
      {1800, 0.0, 1800, 0.0, ""},
  };
  test::TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.dpi) + " dpi, shrunk " + std::to_string(c.shrinkage));
    reel::ReelOptions o;
    o.scans = 1;
    o.dpi = c.dpi;
    o.shrinkage = c.shrinkage;
    const reel::Reel r =
        reel::writeReel(o, dir.file(std::to_string(c.dpi) + "-" + std::to_string(c.shrinkage)));
    const cv::Mat scan = cv::imread(r.scanPaths[0], cv::IMREAD_ANYCOLOR);
    Resolution taken;
    resolution(rot90(scan, 1), kVariableArea35, taken, false, true);
    ASSERT_EQ(taken.y, c.taken);
    const FilmMeasurement m = measureFilm(scan);
    const std::vector<std::string> said =
        resolutionWarnings(m, FilmSettings{}, Resolution{c.dpi, c.dpi}, taken, true);
    if (c.percent == 0.0) {
      EXPECT_EQ(said, std::vector<std::string>{});
    } else {
      ASSERT_EQ(said.size(), 1u);
      double percent = 0.0;
      char way[8] = {};
      ASSERT_EQ(std::sscanf(said[0].c_str(), "the sound will play %lf %% %7[a-z]", &percent, way),
                2)
          << said[0];
      EXPECT_NEAR(percent, c.percent, 0.2) << said[0];
      EXPECT_STREQ(way, c.way);
      const int filmDpi = static_cast<int>(std::lround(c.dpi / (1.0 - c.shrinkage)));
      EXPECT_NE(said[0].find("--resolution " + std::to_string(c.dpi) + ","), std::string::npos)
          << said[0] << " (" << filmDpi << ")";
      EXPECT_TRUE(
          resolutionWarnings(m, FilmSettings{}, Resolution{c.dpi, c.dpi}, taken, false).empty());
    }
  }
}

// Film as archives hold it: shrunk, weaving in the gate, dusty, its scans' ends in the
// gate's shadow. The right settings draw no question.
TEST(SettingsCheckTest, AgedFilmWithTheRightSettingsDrawsNoQuestion) {
  const ReelKind reels[] = {
      {"16 mm strips shrunk and weaving",
       {.filmType = 3, .dpi = 1800, .longStrip = true, .shrinkage = 0.015, .weave = 4.0}},
      {"16 mm strips, dust, the gate's shadow",
       {.filmType = 3,
        .dpi = 2400,
        .longStrip = true,
        .weave = 8.0,
        .dust = 7.0,
        .gateShadow = 0.98}},
      {"16 mm frames shrunk, weaving, shaded",
       {.filmType = 3, .dpi = 1200, .shrinkage = 0.012, .weave = 3.0, .gateShadow = 0.8}},
      {"35 mm strips of a dusty negative, shaded",
       {.longStrip = true, .weave = 2.0, .negative = true, .dust = 6.0, .gateShadow = 0.9}},
  };
  test::TempDir dir;
  int k = 0;
  for (const auto& kind : reels) {
    SCOPED_TRACE(kind.name);
    reel::ReelOptions o = kind.film;
    o.scans = 2;
    const reel::Reel r = reel::writeReel(o, dir.file("reel" + std::to_string(k++)));
    const cv::Mat scan = cv::imread(r.scanPaths[0], cv::IMREAD_ANYCOLOR);
    const FilmMeasurement m = measureFilm(scan);
    FilmSettings right;
    right.track = trackOf(o.filmType);
    right.longStrip = o.longStrip;
    EXPECT_EQ(settingsWarnings(m, right), std::vector<std::string>{});
  }
}

}  // namespace
}  // namespace kelvora
