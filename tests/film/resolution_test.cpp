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

TEST(ResolutionTest, ThirtyFiveMmAt1800Dpi) {
  const cv::Mat scan = framesWithLines(1481, 1815, {150, 1510});
  for (int type : {1, 2}) {
    Resolution res;
    EXPECT_EQ(resolution(scan, type, res, false, true), 0);
    EXPECT_EQ(res.x, 1800);
    EXPECT_EQ(res.y, 1800);
  }
}

TEST(ResolutionTest, SixteenMm) {
  // 1360 columns measure 3598 dpi; lines 540 rows apart measure 1799.
  const cv::Mat scan = framesWithLines(1360, 720, {100, 640});
  Resolution res;
  resolution(scan, 3, res, false, true);
  EXPECT_EQ(res.x, 3600);
  EXPECT_EQ(res.y, 1800);
}

TEST(ResolutionTest, LongStripSearchesTheFirstFifth) {
  // Frame lines 680 rows apart on a 2300-row strip: windows of 460 rows.
  const cv::Mat scan = framesWithLines(741, 2300, {300, 980, 1660});
  Resolution res;
  resolution(scan, 1, res, true, true);
  EXPECT_EQ(res.x, 900);
  EXPECT_EQ(res.y, 900);
}

TEST(ResolutionTest, TheSoundtrackSideIsLeftOut) {
  cv::Mat scan = framesWithLines(1481, 1815, {150, 1510});
  // A darker bar in the soundtrack band, 400 rows off: UP must not see it.
  scan(cv::Rect(0, 400, 300, 60)).setTo(0);
  scan(cv::Rect(0, 1150, 300, 60)).setTo(0);
  Resolution res;
  resolution(scan, 1, res, false, true);
  EXPECT_EQ(res.y, 1800);
  // For DOWN the soundtrack lies on the right, so mirror the scan.
  cv::Mat mirrored;
  cv::flip(scan, mirrored, 1);
  resolution(mirrored, 1, res, false, false);
  EXPECT_EQ(res.y, 1800);
}

TEST(ResolutionTest, NoFrameLineGivesSquarePixels) {
  Resolution res;
  resolution(cv::Mat(1815, 1481, CV_8UC1, cv::Scalar(128)), 1, res, false, true);
  EXPECT_EQ(res.y, res.x);
  resolution(cv::Mat(900, 741, CV_8UC1, cv::Scalar(0)), 1, res, false, true);
  EXPECT_EQ(res.x, 900);
  EXPECT_EQ(res.y, 900);
}

TEST(ResolutionTest, TinyScansGive450) {
  for (const cv::Size size : {cv::Size(1, 100), cv::Size(100, 3), cv::Size(1, 1)}) {
    Resolution res;
    resolution(cv::Mat(size, CV_8UC3, cv::Scalar(90)), 1, res, false, true);
    EXPECT_EQ(res.x, 450);
    EXPECT_EQ(res.y, 450);
  }
}

}  // namespace
}  // namespace kelvora
