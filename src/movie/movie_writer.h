#pragma once

#include <string>

#include <opencv2/videoio.hpp>

#include "movie/frame_sink.h"

namespace kelvora {

// The four-character code for a Movie Parameters "Compression" entry: "MPG4" writes
// "MP42", "DIVX" writes "DIV3", "XVID" writes "XVID".
std::string codecCode(int compression);

// The frame as the movie stores it: three 8-bit channels of exactly `size` (an empty
// size keeps the frame's own), scaled with bicubic interpolation (a grey picture is
// scaled before it is made colour).
cv::Mat movieFrame(const cv::Mat& frame, cv::Size size);

// Passes every frame on as `movieFrame` makes it, so the scaling can run on a thread
// of its own ahead of the encoder.
class ScalingSink : public FrameSink {
 public:
  ScalingSink(FrameSink& out, cv::Size size) : out_(out), size_(size) {}
  bool write(const cv::Mat& frame) override {
    return !frame.empty() && out_.write(movieFrame(frame, size_));
  }
  // A lying picture is stood upright and scaled in one step.
  bool writePicture(const ScanPicture& picture) override {
    if (!picture.lying || size_.empty()) return write(upright(picture));
    return !picture.pixels.empty() && out_.write(movieFrame(uprightScaled(picture, size_), size_));
  }

 private:
  FrameSink& out_;
  cv::Size size_;
};

// An AVI file written through the FFmpeg backend. Every frame is brought to three
// 8-bit channels of exactly the movie's size before it is written, since the
// library silently drops frames of any other shape. Released (and the file
// completed) by `release` or the destructor.
class MovieWriter : public FrameSink {
 public:
  // Opens `path`; check `isOpened`.
  MovieWriter(const std::string& path, const std::string& fourcc, double fps, cv::Size size);
  ~MovieWriter() override;
  MovieWriter(const MovieWriter&) = delete;
  MovieWriter& operator=(const MovieWriter&) = delete;

  bool isOpened() const { return writer_.isOpened(); }
  bool write(const cv::Mat& frame) override;
  void release();
  int framesWritten() const { return frames_; }

 private:
  cv::VideoWriter writer_;
  cv::Size size_;
  int frames_ = 0;
};

// The frames of the finished movie at `path`, as its index counts them, provided the
// last one decodes and nothing follows it; 0 when it does not open or does not add up.
int countMovieFrames(const std::string& path);

}  // namespace kelvora
