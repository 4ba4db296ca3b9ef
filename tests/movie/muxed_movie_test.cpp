// A movie with its sound: the pictures and the sound of a generated reel come back
// from the muxed file in step, whatever the container and codec.
#include "movie/muxed_movie.h"

#include <cmath>
#include <cstdio>

#include <gtest/gtest.h>

#include "reel/reel.h"
#include "support/cli_run.h"
#include "support/temp_dir.h"

namespace kelvora {
namespace {

struct MuxCase {
  const char* output;
  const char* options;
  const char* videoCodec;
  const char* audioCodec;
  bool native;
};

// Where the loudest moment of the sound lies, in seconds.
double loudestAt(const std::vector<float>& sound, int rate) {
  size_t at = 0;
  for (size_t i = 1; i < sound.size(); ++i)
    if (std::abs(sound[i]) > std::abs(sound[at])) at = i;
  return static_cast<double>(at) / rate;
}

TEST(MuxedMovieTest, AClickOnTheFilmLandsOnItsFrame) {
  test::TempDir dir;
  reel::ReelOptions o;
  o.scans = 16;
  o.level = 0.05;
  o.clickFrame = 11;
  const reel::Reel r = reel::writeReel(o, dir.file("reel"));
  const MuxCase cases[] = {
      {"a.mkv", "--with-sound auto", "h264", "flac", false},
      {"b.mp4", "--with-sound auto", "h264", "aac", false},
      {"c.mkv", "--with-sound auto --codec FFV1 --size native", "ffv1", "flac", true},
  };
  for (const MuxCase& c : cases) {
    SCOPED_TRACE(c.output);
    const test::CliResult run =
        test::runCli("movie " + dir.file("reel") + " -o " + dir.file(c.output) + " " + c.options);
    ASSERT_EQ(run.status, 0) << run.output;
    const MuxedMovieContents m = readMuxedMovie(dir.file(c.output), true);
    ASSERT_TRUE(m.opened);
    EXPECT_EQ(m.videoPackets, o.scans);
    EXPECT_EQ(m.videoCodec, c.videoCodec);
    EXPECT_EQ(m.audioCodec, c.audioCodec);
    EXPECT_EQ(m.audioRate, 48000);
    EXPECT_DOUBLE_EQ(m.fps, 25.0);
    if (c.native) {
      EXPECT_NE(m.width, 640);
    } else {
      EXPECT_EQ(m.width, 640);
      EXPECT_EQ(m.height, 480);
    }
    // The sound runs as long as the pictures, and the click plays while its frame shows.
    const double frame = 1.0 / 25.0;
    EXPECT_NEAR(static_cast<double>(m.sound.size()) / 48000, o.scans * frame, frame);
    const double click = loudestAt(m.sound, 48000);
    std::printf("%s: click at %.4f s, its frame shows from %.4f s\n", c.output, click,
                o.clickFrame * frame);
    EXPECT_NEAR(click, o.clickFrame * frame, frame);
  }
}

}  // namespace
}  // namespace kelvora
