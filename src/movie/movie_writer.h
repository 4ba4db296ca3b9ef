#pragma once

#include <memory>
#include <string>

#include "movie/frame_sink.h"

namespace kelvora {

class MovieEncoder;  // the codec module's encoder (see movie_codecs.h)

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

// An AVI file (or whatever container the path's ending names), its frames taken from
// blue-green-red to 4:2:0 by bicubic conversion and encoded by the codec the four-
// character code names, at a bit rate of twice the pixels a second, a key frame at
// least every twelve frames. Every frame is brought to three 8-bit channels of
// exactly the movie's size before it is written. The file is opened at the first
// frame (or by `open`), once the movie codecs have loaded, and completed by `release`
// or the destructor.
class MovieWriter : public FrameSink {
 public:
  MovieWriter(std::string path, std::string fourcc, double fps, cv::Size size);
  ~MovieWriter() override;
  MovieWriter(const MovieWriter&) = delete;
  MovieWriter& operator=(const MovieWriter&) = delete;

  // Opens the file now, if it is not yet; false (and `error` says why) when it cannot be.
  bool open();
  bool write(const cv::Mat& frame) override;
  void release();
  int framesWritten() const { return frames_; }
  // Whether the file was completed, every frame and the index written without an error.
  bool completed() const { return completed_; }
  const std::string& error() const { return error_; }

 private:
  // 4:2:0 pictures have even sides.
  cv::Size evenSize() const { return {size_.width & ~1, size_.height & ~1}; }

  std::string path_;
  std::string fourcc_;
  double fps_;
  cv::Size size_;
  std::unique_ptr<MovieEncoder> encoder_;
  std::string error_;
  bool tried_ = false;
  int frames_ = 0;
  bool completed_ = false;
};

// The frames of the finished movie at `path`, as its index counts them, provided the
// last one decodes and nothing follows it; 0 when it does not open or does not add up.
int countMovieFrames(const std::string& path);

}  // namespace kelvora
