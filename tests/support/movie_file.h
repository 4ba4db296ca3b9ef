#pragma once

#include <string>
#include <vector>

#include <opencv2/core.hpp>

namespace kelvora::test {

// A movie as a player reads it back.
struct MovieFile {
  bool opened = false;
  std::string fourcc;
  double fps = 0;
  cv::Size size;
  std::vector<cv::Mat> frames;
};

MovieFile readMovie(const std::string& path);

}  // namespace kelvora::test
