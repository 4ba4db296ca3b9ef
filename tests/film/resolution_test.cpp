#include "film/resolution.h"

#include <gtest/gtest.h>

namespace kelvora {
namespace {

// A turned scan: bright picture with dark frame lines starting at `lines`, each
// `lineHeight` rows tall.
cv::Mat framesWithLines(int width, int height, std::initializer_list<int> lines,
                        int lineHeight = 40) {
  cv::Mat img(height, width, CV_8UC3, cv::Scalar(150, 160, 170));
  for (int start : lines) img.rowRange(start, std::min(start + lineHeight, height)).setTo(12);
  return img;
}

TEST(SnapResolutionTest, Thresholds) {
  EXPECT_EQ(snapResolution(-5), 450);
  EXPECT_EQ(snapResolution(674), 450);
  EXPECT_EQ(snapResolution(675), 900);
  EXPECT_EQ(snapResolution(2090), 1800);
  EXPECT_EQ(snapResolution(10799), 7200);
  EXPECT_EQ(snapResolution(10800), 14400);
}

// Frame lines measure the resolution along the film and the film's width across it,
// the soundtrack's side left out; with no line the pixels are square, and a scan too
// small to measure is taken at 450 dpi.
TEST(ResolutionTest, FromTheFrameLinesAndTheFilmsWidth) {
  const cv::Mat thirtyFive = framesWithLines(1481, 1815, {150, 1510});
  // A darker bar in the soundtrack band, 400 rows off: neither direction may see it.
  cv::Mat bars = thirtyFive.clone(), mirrored;
  bars(cv::Rect(0, 400, 300, 60)).setTo(0);
  bars(cv::Rect(0, 1150, 300, 60)).setTo(0);
  cv::flip(bars, mirrored, 1);  // for DOWN the soundtrack lies on the right
  const struct {
    const char* name;
    cv::Mat scan;
    int filmType;
    bool longStrip, up;
    int x, y;
  } cases[] = {
      {"35 mm at 1800 dpi", thirtyFive, 1, false, true, 1800, 1800},
      {"35 mm variable density", thirtyFive, 2, false, true, 1800, 1800},
      // 1360 columns measure 3598 dpi; lines 540 rows apart measure 1799.
      {"16 mm", framesWithLines(1360, 720, {100, 640}), 3, false, true, 3600, 1800},
      // Frame lines 680 rows apart on a 2300-row strip: windows of 460 rows.
      {"a long strip's first fifth", framesWithLines(741, 2300, {300, 980, 1660}), 1, true, true,
       900, 900},
      {"bars beside the track, UP", bars, 1, false, true, 1800, 1800},
      {"bars beside the track, DOWN", mirrored, 1, false, false, 1800, 1800},
      {"black", cv::Mat(900, 741, CV_8UC1, cv::Scalar(0)), 1, false, true, 900, 900},
      {"one column", cv::Mat(100, 1, CV_8UC3, cv::Scalar(90)), 1, false, true, 450, 450},
      {"three rows", cv::Mat(3, 100, CV_8UC3, cv::Scalar(90)), 1, false, true, 450, 450},
      {"one pixel", cv::Mat(1, 1, CV_8UC3, cv::Scalar(90)), 1, false, true, 450, 450},
  };
  for (const auto& c : cases) {
    Resolution res;
    EXPECT_EQ(resolution(c.scan, c.filmType, res, c.longStrip, c.up), 0) << c.name;
    EXPECT_EQ(res.x, c.x) << c.name;
    EXPECT_EQ(res.y, c.y) << c.name;
  }
  Resolution grey;
  resolution(cv::Mat(1815, 1481, CV_8UC1, cv::Scalar(128)), 1, grey, false, true);
  EXPECT_EQ(grey.y, grey.x);
}

}  // namespace
}  // namespace kelvora
