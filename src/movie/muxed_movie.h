#pragma once

#include <memory>
#include <string>
#include <vector>

#include "movie/frame_sink.h"
#include "movie/movie_settings.h"

namespace kelvora {

class MuxedMovieEncoder;  // the codec module's movie (see movie_codecs.h)

// A viewing or archive copy with its sound: the pictures in H.264 (or FFV1, lossless)
// and the sound in FLAC (Matroska) or AAC (MP4), interleaved in time, through FFmpeg's
// libraries. The first picture fixes the movie's size; later ones of another size are
// scaled to it.
struct MuxedMovieSettings {
  std::string container;                     // "matroska" or "mp4"
  MovieCodec videoCodec = MovieCodec::H264;  // H264 or FFV1
  double fps = 25.0;
  std::string title;  // for the container's metadata
};

// Writes the pictures as they come, encoded, into a file of their own, and the movie
// itself once the sound is known: a reel's sound is finished only after its last scan.
class MuxedMovieWriter : public FrameSink {
 public:
  // The movie goes to `path`, the encoded pictures wait in `picturesPath` (the caller
  // removes both on failure). Nothing is opened until the first picture; `error` then
  // says what failed.
  MuxedMovieWriter(std::string path, std::string picturesPath, MuxedMovieSettings settings);
  ~MuxedMovieWriter() override;
  MuxedMovieWriter(const MuxedMovieWriter&) = delete;
  MuxedMovieWriter& operator=(const MuxedMovieWriter&) = delete;

  bool write(const cv::Mat& frame) override;
  // Completes the movie with `sound` (full scale -1..1, `rate` samples a second, from the
  // first picture on). When the two differ in length the shorter is padded so that both
  // end together: the last picture held, or silence. Returns whether it was completed.
  bool finish(const std::vector<float>& sound, int rate);

  int framesWritten() const;  // pictures in the movie, held ones included
  int picturesGiven() const;  // pictures written to it
  // How much longer the sound was than the pictures, in seconds (negative: shorter),
  // before either was padded.
  double soundOverrun() const;
  int width() const;
  int height() const;
  const std::string& error() const;

 private:
  // The codec module's movie, made at the first picture.
  MuxedMovieEncoder* encoder();

  std::string path_;
  std::string picturesPath_;
  MuxedMovieSettings settings_;
  std::unique_ptr<MuxedMovieEncoder> encoder_;
  std::string error_;  // when the codecs could not be loaded
};

// Lets the picture and sound encoders (and the AVI writer's) print their own messages
// on standard error, or keeps them quiet. The process's setting, for every thread.
void letEncodersSpeak(bool speak);

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
  double videoSeconds = 0.0;  // from the first picture to the end of the last
  std::vector<float> sound;   // the decoded sound track
};
MuxedMovieContents readMuxedMovie(const std::string& path, bool decodeSound);

}  // namespace kelvora
