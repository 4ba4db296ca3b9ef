#include "film/soundtrack_area.h"

#include <gtest/gtest.h>

namespace kelvora {
namespace {

Parameters at(int filmType, int dpi) {
  Parameters p;
  filParametersT(filmType, Resolution{dpi, dpi}, p);
  return p;
}

TEST(FilParametersTTest, TrackWidthAndFramePitch) {
  EXPECT_EQ(at(1, 1800).trackWidth, 170);
  EXPECT_EQ(at(1, 1800).framePitch, 1360);
  EXPECT_EQ(at(2, 1800).trackWidth, 180);
  EXPECT_EQ(at(3, 1800).framePitch, 540);
  EXPECT_EQ(at(1, 450).framePitch, 340);
  EXPECT_EQ(at(2, 900).trackWidth, 90);
  EXPECT_EQ(at(3, 3600).framePitch, 1080);
  EXPECT_EQ(at(1, 2000).framePitch, 1511);
  EXPECT_EQ(at(3, 2000).framePitch, 600);
  Parameters untouched{7, 9};
  filParametersT(4, Resolution{1800, 1800}, untouched);
  EXPECT_EQ(untouched.trackWidth, 7);
  EXPECT_EQ(untouched.framePitch, 9);
}

// A turned colour scan whose columns before `edge` are dark and after it bright.
cv::Mat edgeAt(int width, int edge, bool mirrored = false) {
  cv::Mat img(40, width, CV_8UC3, cv::Scalar(200, 200, 200));
  img.colRange(0, edge + 1).setTo(cv::Scalar(20, 20, 20));
  if (mirrored) cv::flip(img, img, 1);
  return img;
}

TEST(PreprocessingTest, CutWidthsPerFilmType) {
  const Parameters t170{170, 1360};
  const Parameters t180{180, 1360};
  EXPECT_EQ(preprocessing(edgeAt(1000, 12), 1, t170, 2, true).cols, 171);
  EXPECT_EQ(preprocessing(edgeAt(1000, 12), 2, t180, 2, true).cols, 134);
  EXPECT_EQ(preprocessing(edgeAt(1000, 30), 3, t170, 2, true).cols, 188);
}

TEST(PreprocessingTest, CutsFromTheTrackSideEdge) {
  // Red locates the track; blue numbers the columns.
  cv::Mat scan = edgeAt(1000, 12);
  for (int x = 13; x < 1000; ++x) scan.col(x).setTo(cv::Scalar(x % 250, 200, 200));
  const cv::Mat cut = preprocessing(scan, 1, Parameters{170, 1360}, kBlue, true);
  ASSERT_EQ(cut.cols, 171);
  EXPECT_EQ(cut.at<std::uint8_t>(0, 0), 20);     // column 12
  EXPECT_EQ(cut.at<std::uint8_t>(0, 1), 13);     // column 13
  EXPECT_EQ(cut.at<std::uint8_t>(0, 170), 182);  // column 182
}

TEST(PreprocessingTest, DownMapsTheCutBackOntoTheScan) {
  cv::Mat scan = edgeAt(1000, 12, true);
  scan.col(817).setTo(cv::Scalar(1, 1, 1));
  scan.col(987).setTo(cv::Scalar(3, 3, 3));
  const cv::Mat cut = preprocessing(scan, 1, Parameters{170, 1360}, 2, false);
  ASSERT_EQ(cut.cols, 171);
  EXPECT_EQ(cut.at<std::uint8_t>(5, 0), 1);
  EXPECT_EQ(cut.at<std::uint8_t>(5, 170), 3);
}

TEST(PreprocessingBWTest, VariableDensityCutsBetweenTenAndEightyFivePercent) {
  // Columns up to 200 are bright in 30 % of the rows, the rest always bright.
  cv::Mat scan(100, 2000, CV_8UC1, cv::Scalar(230));
  scan(cv::Rect(0, 30, 201, 70)).setTo(40);
  scan.col(20).setTo(1);
  scan.col(170).setTo(2);
  const cv::Mat cut = preprocessingBW(scan, 2, Parameters{180, 1360}, 2, true);
  ASSERT_EQ(cut.cols, 151);
  EXPECT_EQ(cut.at<std::uint8_t>(0, 0), 1);
  EXPECT_EQ(cut.at<std::uint8_t>(0, 150), 2);
}

TEST(PreprocessingBWTest, VariableAreaWithoutEdgesCutsTheMiddleOfTheTrack) {
  const cv::Mat scan(60, 1000, CV_8UC3, cv::Scalar(90, 90, 90));
  EXPECT_EQ(preprocessingBW(scan, 1, Parameters{170, 1360}, 2, true).cols, 153 - 17 + 1);
}

TEST(PreprocessingBWTest, VariableAreaCutsAroundTheBrightPart) {
  cv::Mat scan(60, 1000, CV_8UC1, cv::Scalar(10));
  scan.colRange(61, 151).setTo(240);
  scan.col(43).setTo(5);
  scan.col(167).setTo(6);
  const cv::Mat cut = preprocessingBW(scan, 1, Parameters{170, 1360}, 2, true);
  ASSERT_EQ(cut.cols, 167 - 43 + 1);
  EXPECT_EQ(cut.at<std::uint8_t>(0, 0), 5);
  EXPECT_EQ(cut.at<std::uint8_t>(0, cut.cols - 1), 6);
}

TEST(CutSoundtrackTest, ColourElements) {
  const cv::Mat scan(3, 4, CV_8UC3, cv::Scalar(10, 20, 30));
  EXPECT_EQ(cutSoundtrack(scan, 0, 1, kBlue).at<std::uint8_t>(0, 0), 10);
  EXPECT_EQ(cutSoundtrack(scan, 0, 1, kGreen).at<std::uint8_t>(0, 0), 20);
  EXPECT_EQ(cutSoundtrack(scan, 0, 1, kRed).at<std::uint8_t>(0, 0), 30);
  EXPECT_EQ(cutSoundtrack(scan, 0, 1, kLuma).at<std::uint8_t>(0, 0), 21);
  const cv::Mat grey(3, 4, CV_8UC1, cv::Scalar(77));
  for (int e : {0, 1, 2, 3}) EXPECT_EQ(cutSoundtrack(grey, 0, 3, e).at<std::uint8_t>(2, 3), 77);
}

TEST(CutSoundtrackTest, RangesAreClampedToTheScan) {
  const cv::Mat scan(10, 50, CV_8UC3, cv::Scalar(1, 2, 3));
  EXPECT_EQ(cutSoundtrack(scan, -20, 500, kRed).cols, 50);
  EXPECT_EQ(cutSoundtrack(scan, 80, 10, kRed).cols, 1);
  // A manual resolution far too high for the scan.
  const Parameters huge{5000, 20000};
  for (int type : {1, 2, 3}) {
    for (bool up : {true, false}) {
      EXPECT_LE(preprocessing(scan, type, huge, 2, up).cols, 50);
      EXPECT_LE(preprocessingBW(scan, type, huge, 2, up).cols, 50);
    }
  }
}

TEST(CutSoundtrackTest, TinyScansDoNotReadOutside) {
  for (const cv::Size size : {cv::Size(1, 1), cv::Size(2, 1), cv::Size(1, 9), cv::Size(12, 3)}) {
    const cv::Mat scan(size, CV_8UC3, cv::Scalar(200, 100, 50));
    for (int type : {1, 2, 3}) {
      const cv::Mat a = preprocessing(scan, type, Parameters{43, 340}, 2, true);
      const cv::Mat b = preprocessingBW(scan, type, Parameters{43, 340}, 2, false);
      EXPECT_EQ(a.rows, size.height);
      EXPECT_EQ(b.rows, size.height);
    }
  }
}

}  // namespace
}  // namespace kelvora
