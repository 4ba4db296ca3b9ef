#include "movie/movie_writer.h"

#include <opencv2/imgproc.hpp>

#include "movie/movie_settings.h"

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

const char* codecName(MovieCodec codec) {
  switch (codec) {
    case MovieCodec::Divx:
      return "DIVX";
    case MovieCodec::Xvid:
      return "XVID";
    case MovieCodec::H264:
      return "H264";
    case MovieCodec::Ffv1:
      return "FFV1";
    default:
      return "MPG4";
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

cv::Mat movieFrame(const cv::Mat& frame, cv::Size size) {
  if (size.empty()) size = frame.size();  // the picture's own size
  cv::Mat colour;
  if (frame.channels() == 1) {
    // A grey picture is scaled before it is made colour: the three channels would
    // be scaled alike, at three times the cost.
    cv::Mat grey = frame;
    if (grey.size() != size) cv::resize(frame, grey, size, 0, 0, cv::INTER_CUBIC);
    cv::cvtColor(grey, colour, cv::COLOR_GRAY2BGR);
    return colour;
  }
  if (frame.channels() == 4) {
    cv::cvtColor(frame, colour, cv::COLOR_BGRA2BGR);
  } else {
    colour = frame;
  }
  if (colour.size() != size) cv::resize(colour, colour, size, 0, 0, cv::INTER_CUBIC);
  return colour;
}

bool MovieWriter::write(const cv::Mat& frame) {
  if (!writer_.isOpened() || frame.empty()) return false;
  const cv::Mat colour =
      frame.channels() == 3 && frame.size() == size_ ? frame : movieFrame(frame, size_);
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
    // The index a complete AVI ends with gives the count; the last frame must then be
    // there and decode (a file cut short by a full disk has no index, or no last frame).
    const int frames = static_cast<int>(capture.get(cv::CAP_PROP_FRAME_COUNT));
    if (frames <= 0) return 0;
    if (!capture.set(cv::CAP_PROP_POS_FRAMES, frames - 1) || !capture.grab()) return 0;
    return capture.grab() ? 0 : frames;
  } catch (const cv::Exception&) {
    return 0;
  }
}

}  // namespace kelvora
