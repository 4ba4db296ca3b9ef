#pragma once

#include <string>

#include <opencv2/core.hpp>

namespace kelvora {

// The size of the movie's pictures: 640 by 480, 320 by 240, or the picture's own.
enum class FrameSize { Large, Small, Native };

// How the pictures are compressed: the classic AVI's codecs, or for a movie with its
// sound H.264 or lossless FFV1.
enum class MovieCodec { Mpg4, Divx, Xvid, H264, Ffv1 };

// How the movie is made, as the Movie Parameters dialog sets it.
struct MovieSettings {
  FrameSize size = FrameSize::Large;
  MovieCodec codec = MovieCodec::Mpg4;
  bool cutSoundtrack = false;  // leave the soundtrack out of the pictures
};

// The frame size in pixels; empty for the picture's own.
inline cv::Size pixelsOf(FrameSize size) {
  return size == FrameSize::Large   ? cv::Size(640, 480)
         : size == FrameSize::Small ? cv::Size(320, 240)
                                    : cv::Size();
}

// True for the codecs written with the sound in Matroska or MP4.
inline bool isMuxedCodec(MovieCodec codec) {
  return codec == MovieCodec::H264 || codec == MovieCodec::Ffv1;
}

// "MPG4", "DIVX", "XVID", "H264" or "FFV1", as the dialog and the options name them.
const char* codecName(MovieCodec codec);

}  // namespace kelvora
