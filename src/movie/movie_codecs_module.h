#pragma once

// What the movie codec module's files give its entry point (see movie_codecs.h).
#include <memory>
#include <string>

#include "movie/movie_codecs.h"

namespace kelvora {

std::unique_ptr<MovieEncoder> openMovieFile(const std::string& path, const std::string& fourcc,
                                            double fps, cv::Size size);
int countMovieFileFrames(const std::string& path);
std::unique_ptr<MuxedMovieEncoder> openMuxedMovieFile(const std::string& path,
                                                      const std::string& picturesPath,
                                                      const MuxedMovieSettings& settings);
MuxedMovieContents readMuxedMovieFile(const std::string& path, bool decodeSound);
void letLibrariesSpeak(bool speak);

}  // namespace kelvora
