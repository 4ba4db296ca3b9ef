#pragma once

#include <memory>
#include <string>
#include <vector>

#include "movie/frame_sink.h"

namespace kelvora {

// A viewing or archive copy with its sound: the pictures in H.264 (or FFV1, lossless)
// and the sound in FLAC (Matroska) or AAC (MP4), interleaved in time, through FFmpeg's
// libraries. The first picture fixes the movie's size; later ones of another size are
// scaled to it.
struct MuxedMovieSettings {
  std::string container;   // "matroska" or "mp4"
  std::string videoCodec;  // "H264" or "FFV1"
  double fps = 25.0;
  std::vector<float> sound;  // full scale -1..1, starting with the first picture
  int soundRate = 48000;
  std::string title;  // for the container's metadata
};

class MuxedMovieWriter : public FrameSink {
 public:
  // Nothing is opened until the first picture; `error` then says what failed.
  MuxedMovieWriter(std::string path, MuxedMovieSettings settings);
  ~MuxedMovieWriter() override;
  MuxedMovieWriter(const MuxedMovieWriter&) = delete;
  MuxedMovieWriter& operator=(const MuxedMovieWriter&) = delete;

  bool write(const cv::Mat& frame) override;
  // Writes the rest of the sound, flushes both encoders and completes the file.
  // Returns whether it was completed.
  bool finish();

  int framesWritten() const { return frames_; }
  int width() const;
  int height() const;
  const std::string& error() const { return error_; }

  struct State;  // the libraries' contexts, in the .cpp

 private:
  std::string path_;
  MuxedMovieSettings settings_;
  std::unique_ptr<State> state_;
  int frames_ = 0;
  std::string error_;
  bool finished_ = false;
};

// The container name for an output: "matroska" for ".mkv", "mp4" for ".mp4", "" for
// any other name.
std::string containerFor(const std::string& path);

// What a muxed movie holds as its demuxer reads it to the end.
struct MuxedMovieContents {
  bool opened = false;
  int videoPackets = 0;
  int width = 0;
  int height = 0;
  std::string videoCodec;  // the library's codec names: "h264", "ffv1"
  std::string audioCodec;  // "flac", "aac"
  int audioRate = 0;
  double fps = 0.0;
  std::vector<float> sound;  // the decoded sound track
};
MuxedMovieContents readMuxedMovie(const std::string& path, bool decodeSound);

}  // namespace kelvora
