// The module holding FFmpeg's libraries (see movie_codecs.h).
#include "movie/movie_codecs_module.h"

extern "C" const kelvora::MovieCodecs* kelvoraMovieCodecs() {
  static const kelvora::MovieCodecs codecs{kelvora::openMovieFile, kelvora::countMovieFileFrames,
                                           kelvora::openMuxedMovieFile, kelvora::readMuxedMovieFile,
                                           kelvora::letLibrariesSpeak};
  return &codecs;
}
