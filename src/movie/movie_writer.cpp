#include "movie/movie_writer.h"

#include <opencv2/imgproc.hpp>

#include "movie/movie_codecs.h"
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

MovieWriter::MovieWriter(std::string path, std::string fourcc, double fps, cv::Size size)
    : path_(std::move(path)), fourcc_(std::move(fourcc)), fps_(fps), size_(size) {}

MovieWriter::~MovieWriter() { release(); }

bool MovieWriter::open() {
  if (tried_) return encoder_ != nullptr;
  tried_ = true;
  std::string why;
  const MovieCodecs* codecs = movieCodecs(why);
  if (codecs != nullptr && !evenSize().empty())
    encoder_ = codecs->openMovie(path_, fourcc_, fps_, evenSize());
  if (encoder_ == nullptr)
    error_ = codecs == nullptr ? why : "the movie writer cannot open it with codec " + fourcc_;
  return encoder_ != nullptr;
}

bool MovieWriter::write(const cv::Mat& frame) {
  if (frame.empty() || !open()) return false;
  const cv::Mat colour =
      frame.channels() == 3 && frame.size() == size_ ? frame : movieFrame(frame, size_);
  // A frame the file refused shows when the movie is read back. An odd last column or
  // row is left out.
  encoder_->write(colour(cv::Rect(cv::Point(), evenSize())));
  ++frames_;
  return true;
}

void MovieWriter::release() {
  if (encoder_ != nullptr) completed_ = encoder_->finish();
  encoder_.reset();
}

int countMovieFrames(const std::string& path) {
  std::string why;
  const MovieCodecs* codecs = movieCodecs(why);
  return codecs == nullptr ? 0 : codecs->countMovieFrames(path);
}

}  // namespace kelvora
