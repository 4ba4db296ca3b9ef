#pragma once

#include <memory>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "movie/muxed_movie.h"

namespace kelvora {

// A movie file being encoded: frames of three 8-bit channels (blue, green, red) of
// exactly the size it was opened for.
class MovieEncoder {
 public:
  virtual ~MovieEncoder() = default;
  // Encodes and writes one frame; false when it could not be.
  virtual bool write(const cv::Mat& bgr) = 0;
  // Flushes the encoder and completes the file; false when anything failed.
  virtual bool finish() = 0;
};

// A movie with its sound being made, as `MuxedMovieWriter` describes it.
class MuxedMovieEncoder {
 public:
  virtual ~MuxedMovieEncoder() = default;
  virtual bool write(const cv::Mat& frame) = 0;
  virtual bool finish(const std::vector<float>& sound, int rate) = 0;
  virtual int framesWritten() const = 0;
  virtual int picturesGiven() const = 0;
  virtual double soundOverrun() const = 0;
  virtual int width() const = 0;
  virtual int height() const = 0;
  virtual const std::string& error() const = 0;
};

// FFmpeg's libraries bring eighty others with them, which every process would pay for at
// its start; only movies need them, so they live in a module of their own, loaded by
// the first movie job. The module's one entry point returns this table.
struct MovieCodecs {
  // The AVI (or the container the path's ending names) as `MovieWriter` describes it;
  // nullptr when it cannot be opened.
  std::unique_ptr<MovieEncoder> (*openMovie)(const std::string& path, const std::string& fourcc,
                                             double fps, cv::Size size);
  int (*countMovieFrames)(const std::string& path);
  // A movie with its sound, opened at its first picture.
  std::unique_ptr<MuxedMovieEncoder> (*openMuxedMovie)(const std::string& path,
                                                       const std::string& picturesPath,
                                                       const MuxedMovieSettings& settings);
  MuxedMovieContents (*readMuxedMovie)(const std::string& path, bool decodeSound);
  void (*letSpeak)(bool speak);
};

// The codecs, loaded on first use (or by `loadMovieCodecsAhead`) and kept for the life of
// the process; nullptr, with the cause in `why`, when the module cannot be loaded.
const MovieCodecs* movieCodecs(std::string& why);

// Starts loading the codecs on a thread of their own, so that a movie job measures and
// cuts its first scans meanwhile. Returns at once.
void loadMovieCodecsAhead();

// Lets the codecs print their own messages on standard error, or keeps them quiet (the
// default), now or once they are loaded.
void letMovieCodecsSpeak(bool speak);

}  // namespace kelvora

// The module's one entry point.
extern "C" const kelvora::MovieCodecs* kelvoraMovieCodecs();
