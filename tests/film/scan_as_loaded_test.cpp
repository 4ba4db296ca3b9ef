// The analysis that reads a scan as it was loaded must give, bit for bit, what the
// classic functions give on the scan turned a quarter turn.
#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "film/orientation.h"
#include "film/soundtrack_area.h"
#include "reel/reel.h"
#include "signal/image_ops.h"
#include "signal/profile.h"

namespace kelvora {
namespace {

bool same(const cv::Mat& a, const cv::Mat& b) {
  return a.size() == b.size() && a.type() == b.type() &&
         (a.empty() || cv::norm(a, b, cv::NORM_INF) == 0);
}

bool same(const Profile& a, const Profile& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (!(a[i] == b[i] || (std::isnan(a[i]) && std::isnan(b[i])))) return false;
  return true;
}

// Raw scans of every film type and layout, as the reel generator makes them, plus
// small and odd ones.
std::vector<cv::Mat> scans() {
  std::vector<cv::Mat> out;
  for (const int filmType : {1, 2, 3}) {
    for (const bool colour : {true, false}) {
      for (const bool up : {true, false}) {
        reel::ReelOptions o;
        o.filmType = filmType;
        o.colour = colour;
        o.directionUp = up;
        o.dpi = filmType == 3 ? 1800 : 900;
        o.longStrip = filmType == 3 && !up;
        const reel::ReelGeometry g = reel::geometryFor(o);
        cv::Mat turned =
            reel::renderTurnedScan(o, g, reel::printFilm(o, g), reel::scanPose(g, {}, 1));
        if (!colour) cv::cvtColor(turned, turned, cv::COLOR_BGR2GRAY);
        // Back to the way the scanner saw it: film side to side, track on top for UP.
        cv::Mat raw = rot90(turned, 3);
        if (!up) cv::flip(raw, raw, 0);
        out.push_back(raw);
      }
    }
  }
  cv::Mat noise(33, 47, CV_8UC3);
  cv::randu(noise, 0, 256);
  out.push_back(noise);
  out.push_back(cv::Mat(1, 1, CV_8UC1, cv::Scalar(200)));
  out.push_back(cv::Mat(2, 300, CV_8UC3, cv::Scalar(10, 200, 90)));
  return out;
}

TEST(ScanAsLoadedTest, SoundtrackCutsMatchTheTurnedScan) {
  const Parameters filPar[] = {{85, 680}, {90, 680}, {170, 540}, {3, 9}};
  for (const cv::Mat& scan : scans()) {
    for (const bool trimmed : {false, true}) {
      const cv::Mat s = trimmed ? frameCorrection(scan, 1, false) : scan;
      const cv::Mat turned = rot90(s, 1);
      for (const int filmType : {1, 2, 3})
        for (const Parameters& p : filPar)
          for (const int image : {0, 1, 2, 3})
            for (const bool direction : {true, false}) {
              ASSERT_TRUE(same(preprocessingBWOfScan(s, filmType, p, image, direction),
                               preprocessingBW(turned, filmType, p, image, direction)))
                  << s.cols << "x" << s.rows << " film " << filmType << " image " << image;
              ASSERT_TRUE(same(preprocessingOfScan(s, filmType, p, image, direction),
                               preprocessing(turned, filmType, p, image, direction)))
                  << s.cols << "x" << s.rows << " film " << filmType << " image " << image;
            }
    }
  }
}

TEST(ScanAsLoadedTest, PictureProfilesMatchTheTurnedScan) {
  for (const cv::Mat& scan : scans()) {
    const cv::Mat turned = rot90(scan, 1);
    const int m = turned.rows / 10;
    const std::pair<int, int> bands[] = {{m, turned.cols}, {1, turned.cols - m},
                                         {1, 1},           {-5, 100000},
                                         {7, 3},           {turned.cols + 2, turned.cols + 9}};
    for (const auto& [startW, stopW] : bands)
      for (const int k : {1, 2, 3, 4})
        ASSERT_TRUE(same(turnedRowMeans(scan, startW, stopW, k),
                         meanValue(turned, startW, stopW, 1, turned.rows, k, false)))
            << scan.cols << "x" << scan.rows << " band " << startW << ".." << stopW << " k " << k;
  }
}

// Every one of the 2^24 colours, one row of 4096 per blue-green pair block.
TEST(ScanAsLoadedTest, BrightPixelsCountedAsTheGreyConversionRoundsThem) {
  cv::Mat every(4096, 4096, CV_8UC3);
  for (int y = 0; y < every.rows; ++y)
    for (int x = 0; x < every.cols; ++x) {
      const int c = y * every.cols + x;
      every.at<cv::Vec3b>(y, x) = cv::Vec3b(c & 255, (c >> 8) & 255, c >> 16);
    }
  cv::Mat grey;
  cv::cvtColor(every, grey, cv::COLOR_BGR2GRAY);
  const std::vector<std::uint32_t> counted = brightInRows(every);
  const std::vector<std::uint32_t> fromGrey = brightInRows(grey);
  ASSERT_EQ(counted.size(), static_cast<size_t>(every.rows));
  for (int y = 0; y < every.rows; ++y) {
    ASSERT_EQ(counted[y], static_cast<std::uint32_t>(cv::countNonZero(grey.row(y) > 127))) << y;
    ASSERT_EQ(counted[y], fromGrey[y]) << y;
  }
}

}  // namespace
}  // namespace kelvora
