// The preview a person checks a reel's settings by: `inspect` on reels of every film
// type draws the track where the generator put it, read back from the PNG's pixels.
#include <algorithm>
#include <cmath>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include "reel/reel.h"
#include "support/cli_run.h"
#include "support/temp_dir.h"
#include "views/inspect_view.h"

namespace kelvora {
namespace {

struct PreviewCase {
  const char* name;
  const char* options;
  reel::ReelOptions reel;
};

// The rows of the scan as loaded that the generator's track reached on the first
// scan: the full swing of a variable-area clear area (of its dark area on a negative),
// the band of a density track.
std::pair<double, double> trackRows(const reel::Reel& r) {
  const reel::ReelGeometry& g = r.geometry;
  double first = g.trackStart, last = g.trackStart + g.trackWidth - 1;
  if (r.options.filmType != 2) {
    const auto [quietest, loudest] =
        std::minmax_element(r.audio.begin(), r.audio.begin() + g.scanLength);
    const double t = g.trackWidth;
    const double m = r.options.modulation;
    if (r.options.unilateral) {
      // One edge stays put; the other swings with the sound.
      first = 0.1 * t;
      last = first + t * (0.4 + 0.38 * m * *loudest) - 1;
    } else {
      const double half = t * (0.2 + 0.18 * m * std::max(*loudest, -*quietest));
      first = 0.5 * t - half;
      last = 0.5 * t + half - 1;
    }
  }
  if (!r.options.directionUp) return {g.filmWidth - 1 - last, g.filmWidth - 1 - first};
  return {first, last};
}

// The image rows of the one-pixel lines of `colour` in a column of the preview.
std::vector<int> linesOf(const cv::Mat& png, int column, const cv::Scalar& colour) {
  std::vector<int> rows;
  const cv::Vec3b c(colour[0], colour[1], colour[2]);
  for (int y = 0; y < png.rows; ++y)
    if (png.at<cv::Vec3b>(y, column) == c) rows.push_back(y);
  return rows;
}

TEST(InspectTest, DrawsTheTrackWhereTheFilmHasIt) {
  const PreviewCase cases[] = {
      {"35va", "", {}},
      {"35va down", "--down", {.dpi = 1800, .directionUp = false}},
      {"35vd", "--film 35vd", {.filmType = 2}},
      {"16va strip",
       "--film 16va --down --long-strip",
       {.filmType = 3, .dpi = 1800, .longStrip = true, .directionUp = false}},
      // A sound negative: the area that swings is the dark one.
      {"35va negative", "", {.negative = true}},
      {"35va negative down", "--down", {.directionUp = false, .negative = true}},
      {"35va unilateral", "", {.unilateral = true}},
      {"35va unilateral negative", "", {.unilateral = true, .negative = true}},
      {"16va unilateral negative down",
       "--film 16va --down",
       {.filmType = 3, .directionUp = false, .unilateral = true, .negative = true}},
      {"35vd negative", "--film 35vd", {.filmType = 2, .negative = true}},
  };
  test::TempDir dir;
  for (const PreviewCase& c : cases) {
    SCOPED_TRACE(c.name);
    reel::ReelOptions o = c.reel;
    o.scans = 2;
    const reel::Reel r = reel::writeReel(o, dir.file(c.name));
    const std::string png = dir.file(std::string(c.name) + ".png");
    const test::CliResult run =
        test::runCli("inspect '" + dir.file(c.name) + "' " + c.options + " -o '" + png + "'");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output.find("warning"), std::string::npos) << run.output;
    const cv::Mat image = cv::imread(png, cv::IMREAD_COLOR);
    ASSERT_EQ(image.cols, 1600);
    const double scale = 1600.0 / r.geometry.scanLength;
    const std::vector<int> lines = linesOf(image, 1600 - 3, kTrackColour);
    ASSERT_EQ(lines.size(), 2u);
    const auto [first, last] = trackRows(r);
    EXPECT_NEAR(lines[0] / scale, first, 2.0);
    EXPECT_NEAR(lines[1] / scale, last, 2.0);
    // The classic reader's cut is drawn beside it (on loud film it is the narrower).
    EXPECT_EQ(linesOf(image, 3, kClassicColour).size(), 2u);
  }
}

// Each mark drawn on the scan has a line in the legend whose swatch is the mark's own
// colour.
TEST(InspectTest, TheLegendNamesEachMarkInItsColour) {
  test::TempDir dir;
  const reel::Reel r = reel::writeReel({.scans = 2}, dir.file("reel"));
  const cv::Mat scan = cv::imread(r.scanPaths[0], cv::IMREAD_UNCHANGED);
  ASSERT_FALSE(scan.empty());
  const InspectView v = inspectScan(scan, InspectSettings{});
  ASSERT_FALSE(v.frameLines.empty());
  const int legendTop = static_cast<int>(scan.rows * v.scale);
  const cv::Mat legend = v.image.rowRange(legendTop, v.image.rows);
  const struct {
    const char* mark;
    cv::Scalar colour;
  } marks[] = {{"classic cut", kClassicColour},
               {"track", kTrackColour},
               {"picture", kPictureColour},
               {"frame lines", kFrameLineColour}};
  for (const auto& m : marks) {
    SCOPED_TRACE(m.mark);
    EXPECT_EQ(linesOf(legend, 24, m.colour).size(), 4u);  // the swatch's rows
  }
}

}  // namespace
}  // namespace kelvora
