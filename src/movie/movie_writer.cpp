#include "movie/movie_writer.h"

#include <opencv2/imgproc.hpp>

namespace kelvora {

std::string codecCode(int compression) {
  switch (compression) {
    case 1:
      return "DIV3";
    case 2:
      return "XVID";
    default:
      return "MP42";
  }
}

MovieWriter::MovieWriter(const std::string& path, const std::string& fourcc, double fps,
                         cv::Size size)
    : size_(size) {
  try {
    writer_.open(path, cv::CAP_FFMPEG,
                 cv::VideoWriter::fourcc(fourcc[0], fourcc[1], fourcc[2], fourcc[3]), fps, size,
                 true);
  } catch (const cv::Exception&) {
    writer_.release();
  }
}

MovieWriter::~MovieWriter() { release(); }

bool MovieWriter::write(const cv::Mat& frame) {
  if (!writer_.isOpened() || frame.empty()) return false;
  cv::Mat colour;
  if (frame.channels() == 1) {
    cv::cvtColor(frame, colour, cv::COLOR_GRAY2BGR);
  } else if (frame.channels() == 4) {
    cv::cvtColor(frame, colour, cv::COLOR_BGRA2BGR);
  } else {
    colour = frame;
  }
  if (colour.size() != size_) cv::resize(colour, colour, size_, 0, 0, cv::INTER_CUBIC);
  writer_.write(colour);
  ++frames_;
  return true;
}

void MovieWriter::release() {
  if (writer_.isOpened()) writer_.release();
}

int countMovieFrames(const std::string& path) {
  try {
    cv::VideoCapture capture(path, cv::CAP_FFMPEG);
    if (!capture.isOpened()) return 0;
    int frames = 0;
    while (capture.grab()) ++frames;
    return frames;
  } catch (const cv::Exception&) {
    return 0;
  }
}

}  // namespace kelvora
