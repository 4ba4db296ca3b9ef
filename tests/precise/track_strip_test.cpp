// The track strip is the track side of a scan turned along the film: one colour element
// taken out and turned in one pass must give the samples the library's channel
// extraction and turn give, for every depth, layout and direction.
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "film/soundtrack_area.h"
#include "precise/track_strip.h"

namespace kelvora {
namespace {

struct StripCase {
  const char* name;
  int depth;
  int channels;
  int element;  // a channel, or kLuma
  int rows, cols, columns;
};

// The strip as the library's own steps make it.
cv::Mat libraryStrip(const cv::Mat& scan, int element, bool direction, int columns) {
  const int n = std::clamp(columns, 1, scan.rows);
  const cv::Mat band = direction ? scan.rowRange(0, n) : scan.rowRange(scan.rows - n, scan.rows);
  cv::Mat one, strip;
  if (band.channels() == 1)
    one = band;
  else if (element == kLuma)
    cv::cvtColor(band, one, band.channels() == 4 ? cv::COLOR_BGRA2GRAY : cv::COLOR_BGR2GRAY);
  else
    cv::extractChannel(band, one, element);
  if (direction) {
    cv::rotate(one, strip, cv::ROTATE_90_COUNTERCLOCKWISE);
  } else {
    cv::transpose(one, strip);
    cv::flip(strip, strip, -1);
  }
  return strip;
}

TEST(TrackStrip, IsTheLibrarysChannelAndTurn) {
  const std::vector<StripCase> cases = {
      {"grey 8-bit", CV_8U, 1, 1, 70, 130, 30},
      {"colour 8-bit, green", CV_8U, 3, 1, 200, 150, 65},
      {"colour 8-bit, luma", CV_8U, 3, kLuma, 90, 100, 40},
      {"colour 16-bit, blue", CV_16U, 3, 0, 131, 257, 129},
      {"colour 16-bit, red", CV_16U, 3, 2, 64, 64, 64},
      {"four channels 16-bit, red", CV_16U, 4, 2, 50, 77, 13},
      {"grey 16-bit, one column", CV_16U, 1, 0, 9, 11, 1},
      // Eight by eight at once, with rows and columns left over.
      {"grey 16-bit, odd sizes", CV_16U, 1, 0, 203, 141, 99},
      {"grey 8-bit, odd sizes", CV_8U, 1, 0, 77, 301, 75},
      {"grey 16-bit, whole eights", CV_16U, 1, 0, 64, 136, 64},
      {"columns beyond the scan", CV_8U, 3, 1, 20, 30, 500},
      {"float, green", CV_32F, 3, 1, 40, 50, 20},
  };
  cv::RNG rng(7);
  for (const StripCase& c : cases) {
    cv::Mat scan(c.rows, c.cols, CV_MAKETYPE(c.depth, c.channels));
    rng.fill(scan, cv::RNG::UNIFORM, 0, c.depth == CV_8U ? 256 : 65536);
    for (const bool direction : {true, false}) {
      SCOPED_TRACE(std::string(c.name) + (direction ? ", up" : ", down"));
      const cv::Mat want = libraryStrip(scan, c.element, direction, c.columns);
      const cv::Mat got = trackStrip(scan, c.element, direction, c.columns);
      ASSERT_EQ(got.type(), want.type());
      ASSERT_EQ(got.size(), want.size());
      EXPECT_EQ(cv::norm(got, want, cv::NORM_INF), 0.0);
    }
  }
}

}  // namespace
}  // namespace kelvora
