#include "movie/picture_area.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "movie/picture_cut.h"
#include "signal/image_ops.h"

namespace kelvora {
namespace {

TEST(FilParametersMTest, ThirtyFiveMmFromTheResolution) {
  const cv::Mat unused(10, 10, CV_8UC1, cv::Scalar(0));
  ParametersM p;
  filParametersM(unused, 1, Resolution{300, 300}, p, 0);
  EXPECT_EQ(p.margin_x, 24);
  EXPECT_EQ(p.cut_height, 224);
  EXPECT_EQ(p.cut_width, 0);
  filParametersM(unused, 1, Resolution{300, 300}, p, 1);
  EXPECT_EQ(p.cut_height, 180);
  EXPECT_EQ(p.cut_width, 248);
  filParametersM(unused, 2, Resolution{300, 300}, p, 1);
  EXPECT_EQ(p.cut_width, 242);
  filParametersM(unused, 2, Resolution{0, 0}, p, 1);
  EXPECT_EQ(p.margin_x, 0);
  EXPECT_EQ(p.cut_height, 0);
  EXPECT_EQ(p.cut_width, 0);
  ParametersM untouched{1, 2, 3};
  filParametersM(unused, 7, Resolution{300, 300}, untouched, 0);
  EXPECT_EQ(untouched.cut_height, 2);
}

// A turned 16 mm strip: bright pictures, dark frame lines `pitch` rows apart.
cv::Mat sixteenMmStrip(int width, int height, int pitch, int firstLine, int lineHeight) {
  cv::Mat img(height, width, CV_8UC3, cv::Scalar(160, 170, 180));
  for (int y = firstLine; y < height; y += pitch)
    img.rowRange(y, std::min(y + lineHeight, height)).setTo(cv::Scalar(10, 10, 10));
  return img;
}

TEST(FilParametersMTest, SixteenMmMeasuresFourFramesBetweenFrameLines) {
  ParametersM p;
  const cv::Mat strip = sixteenMmStrip(340, 1215, 270, 30, 20);
  filParametersM(strip, 3, Resolution{300, 300}, p, 0);
  EXPECT_EQ(p.margin_x, 30);
  EXPECT_EQ(p.cut_width, 83);
  // Line ends 3 pitches apart: 4 x (810 / 3 + 1).
  EXPECT_EQ(p.cut_height, 4 * 271);
}

TEST(FilParametersMTest, UniformSixteenMmScanStillGivesAHeight) {
  ParametersM p;
  filParametersM(cv::Mat(1000, 300, CV_8UC1, cv::Scalar(200)), 3, Resolution{300, 300}, p, 1);
  // No rising step: each search takes its first zero difference.
  EXPECT_EQ(p.cut_height, 4 * ((700 - 1) / 3 + 1));
  filParametersM(cv::Mat(2, 3, CV_8UC1, cv::Scalar(9)), 3, Resolution{300, 300}, p, 1);
}

TEST(ScanBrightnessTest, FirstChannelMeanAndBinaryLevels) {
  EXPECT_FLOAT_EQ(scanBrightness(cv::Mat(4, 4, CV_8UC3, cv::Scalar(30, 90, 200))), 30.0f);
  const cv::Mat grey = (cv::Mat_<std::uint8_t>(1, 4) << 3, 4, 63, 64);
  const cv::Mat dark = binaryAbove(grey, 255 * 0.015);
  const cv::Mat bright = binaryAbove(grey, 255 * 0.25);
  EXPECT_EQ(dark.at<std::uint8_t>(0, 0), 0);
  EXPECT_EQ(dark.at<std::uint8_t>(0, 1), 1);
  EXPECT_EQ(bright.at<std::uint8_t>(0, 2), 0);
  EXPECT_EQ(bright.at<std::uint8_t>(0, 3), 1);
}

// Every colour there is, at every level the picture search uses: the same binary image
// as the image library's grey conversion and threshold.
TEST(ScanBrightnessTest, ColourBinaryAsGreyThenThreshold) {
  cv::Mat all(4096, 4096, CV_8UC3);
  for (int y = 0; y < all.rows; ++y)
    for (int x = 0; x < all.cols; ++x) {
      const int c = y * all.cols + x;
      all.at<cv::Vec3b>(y, x) = cv::Vec3b(c & 255, (c >> 8) & 255, c >> 16);
    }
  for (const double fraction : {0.005, 0.015, 0.09, 0.15, 0.2, 0.25}) {
    cv::Mat grey, expected;
    cv::cvtColor(all, grey, cv::COLOR_BGR2GRAY);
    cv::threshold(grey, expected, 255.0 * fraction, 1, cv::THRESH_BINARY);
    EXPECT_EQ(cv::norm(binaryAbove(all, 255.0 * fraction), expected, cv::NORM_INF), 0.0)
        << "level " << 255.0 * fraction;
  }
}

bool same(const cv::Mat& a, const cv::Mat& b) {
  if (a.empty() || b.empty()) return a.empty() && b.empty();
  return a.size() == b.size() && a.type() == b.type() && cv::norm(a, b, cv::NORM_INF) == 0;
}

class RecordingSink : public FrameSink {
 public:
  bool write(const cv::Mat& frame) override {
    frames.push_back(frame.clone());
    return true;
  }
  std::vector<cv::Mat> frames;
};

// A turned 35 mm scan: dark soundtrack side, bright picture below a frame line.
cv::Mat thirtyFiveMmScan(int width, int height, int lineStart, int lineEnd, int pictureLeft) {
  cv::Mat img(height, width, CV_8UC3, cv::Scalar(150, 160, 170));
  img.colRange(0, pictureLeft).setTo(cv::Scalar(15, 15, 15));
  img.rowRange(lineStart, lineEnd).setTo(cv::Scalar(10, 10, 10));
  return img;
}

TEST(CutBWTest, ThirtyFiveMmPictureStartsAfterTheFrameLine) {
  const cv::Mat scan = thirtyFiveMmScan(700, 900, 60, 180, 100);
  cv::Mat marked = scan.clone();
  marked.at<cv::Vec3b>(180, 300) = cv::Vec3b(1, 2, 3);
  RecordingSink sink;
  const ParametersM area{0, 500, 0};
  const cv::Mat picture = cutBW(marked, sink, area, 1, 0, 0, 640, 480);
  EXPECT_TRUE(sink.frames.empty());
  ASSERT_EQ(picture.cols, 700);
  ASSERT_EQ(picture.rows, 500);
  EXPECT_EQ(picture.at<cv::Vec3b>(0, 300), cv::Vec3b(1, 2, 3));
}

TEST(CutBWTest, CutSoundtrackStartsAtThePictureEdge) {
  const cv::Mat scan = thirtyFiveMmScan(700, 900, 60, 180, 100);
  RecordingSink sink;
  const ParametersM area{0, 400, 300};
  const PictureRect r = findPicture(scan, area, 1, 0, 1);
  EXPECT_EQ(r.left, 99);
  EXPECT_EQ(r.right, 399);
  EXPECT_EQ(cutBW(scan, sink, area, 1, 0, 1, 640, 480).cols, 301);
}

TEST(CutBWTest, RectanglesAreClippedToTheScan) {
  const cv::Mat scan = thirtyFiveMmScan(700, 900, 60, 180, 100);
  RecordingSink sink;
  const cv::Mat picture = cutBW(scan, sink, ParametersM{0, 5000, 9000}, 2, 0, 1, 640, 480);
  EXPECT_EQ(picture.rows, 720);
  EXPECT_EQ(picture.cols, 700);
  EXPECT_FALSE(
      cutBW(cv::Mat(3, 2, CV_8UC1, cv::Scalar(0)), sink, ParametersM{0, 0, 0}, 1, 0, 1, 640, 480)
          .empty());
}

TEST(CutBWTest, UniformScanStartsOneRowIntoTheSearch) {
  const cv::Mat scan(400, 300, CV_8UC1, cv::Scalar(120));
  RecordingSink sink;
  EXPECT_EQ(findPicture(scan, ParametersM{0, 100, 0}, 1, 0, 0).top, 20 + 1);
}

TEST(CutBWTest, SixteenMmStripWritesFourMirroredFrames) {
  cv::Mat strip = sixteenMmStrip(340, 1215, 270, 30, 20);
  strip(cv::Rect(0, 60, 20, 20)).setTo(cv::Scalar(0, 0, 255));  // a mark near the left
  RecordingSink sink;
  ParametersM area;
  filParametersM(strip, 3, Resolution{300, 300}, area, 0);
  EXPECT_TRUE(cutBW(strip, sink, area, 3, 1, 0, 320, 240).empty());
  ASSERT_EQ(sink.frames.size(), 4u);
  for (const cv::Mat& f : sink.frames) EXPECT_EQ(f.size(), cv::Size(320, 240));
  // The mark comes out on the right of the first frame.
  const cv::Vec3b right = sink.frames[0].at<cv::Vec3b>(20, 315);
  const cv::Vec3b left = sink.frames[0].at<cv::Vec3b>(20, 4);
  EXPECT_GT(right[2], 200);
  EXPECT_LT(right[0], 60);
  EXPECT_GT(left[0], 100);
}

// The pictures cut from the scan as loaded against those cut from the scan turned
// whole, for every direction, inverse, film, strip and soundtrack cut, grey and colour,
// on film-like scans and on noise (where any misplaced pixel shows).
TEST(CutUnturnedTest, EqualsCuttingTheTurnedScan) {
  cv::Mat noise(310, 433, CV_8UC3);
  cv::randu(noise, 0, 255);
  cv::Mat film = thirtyFiveMmScan(700, 900, 60, 180, 100);
  cv::Mat grain(film.size(), film.type());
  cv::randu(grain, 0, 20);
  film += grain;
  cv::Mat strip = sixteenMmStrip(340, 1215, 270, 30, 20);
  cv::Mat stripGrain(strip.size(), strip.type());
  cv::randu(stripGrain, 0, 20);
  strip += stripGrain;
  std::vector<cv::Mat> scans;
  const cv::Mat tiny = noise(cv::Rect(0, 0, 5, 3)).clone();
  for (const cv::Mat& turned : {film, strip, noise, tiny}) {
    // The tests' scans are drawn turned; the job sees them as loaded.
    scans.push_back(rot90(turned, 3));
    cv::Mat grey;
    cv::cvtColor(scans.back(), grey, cv::COLOR_BGR2GRAY);
    scans.push_back(grey);
  }
  for (const cv::Mat& scan : scans)
    for (const bool mirrorBefore : {false, true})
      for (const bool mirrorAfter : {false, true})
        for (const auto& [filmType, longstrip] :
             {std::pair{1, 0}, std::pair{2, 0}, std::pair{3, 0}, std::pair{3, 1}})
          for (const int imageSound : {0, 1}) {
            const cv::Mat turned = turnQuarter(scan, mirrorBefore, mirrorAfter);
            ParametersM area;
            filParametersM(turned, filmType, Resolution{300, 300}, area, imageSound);
            RecordingSink expectedFrames;
            RecordingSink frames;
            const cv::Mat expected =
                cutBW(turned, expectedFrames, area, filmType, longstrip, imageSound, 320, 240);
            const ScanPicture lying = cutUnturned(scan, mirrorBefore, mirrorAfter, frames, area,
                                                  filmType, longstrip, imageSound, 320, 240);
            const cv::Mat picture = upright(lying);
            const std::string where =
                "scan " + std::to_string(scan.cols) + "x" + std::to_string(scan.rows) + "/" +
                std::to_string(scan.channels()) + ", mirrors " + std::to_string(mirrorBefore) +
                std::to_string(mirrorAfter) + ", film " + std::to_string(filmType) + "/" +
                std::to_string(longstrip) + ", cut " + std::to_string(imageSound);
            EXPECT_TRUE(same(picture, expected)) << where;
            if (!expected.empty()) {
              cv::Mat scaled;
              cv::resize(expected, scaled, cv::Size(320, 240), 0, 0, cv::INTER_CUBIC);
              EXPECT_TRUE(same(uprightScaled(lying, cv::Size(320, 240)), scaled)) << where;
            }
            ASSERT_EQ(frames.frames.size(), expectedFrames.frames.size()) << where;
            for (size_t k = 0; k < frames.frames.size(); ++k)
              EXPECT_TRUE(same(frames.frames[k], expectedFrames.frames[k]))
                  << where << ", frame " << k;
          }
}

}  // namespace
}  // namespace kelvora
