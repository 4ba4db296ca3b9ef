#include "movie/muxed_movie.h"

#include <cctype>
#include <filesystem>

#include <opencv2/core/utils/logger.hpp>

#include "movie/movie_codecs.h"

namespace kelvora {

MuxedMovieWriter::MuxedMovieWriter(std::string path, std::string picturesPath,
                                   MuxedMovieSettings settings)
    : path_(std::move(path)),
      picturesPath_(std::move(picturesPath)),
      settings_(std::move(settings)) {}

MuxedMovieWriter::~MuxedMovieWriter() = default;

MuxedMovieEncoder* MuxedMovieWriter::encoder() {
  if (encoder_ == nullptr && error_.empty()) {
    const MovieCodecs* codecs = movieCodecs(error_);
    if (codecs != nullptr) encoder_ = codecs->openMuxedMovie(path_, picturesPath_, settings_);
  }
  return encoder_.get();
}

bool MuxedMovieWriter::write(const cv::Mat& frame) {
  MuxedMovieEncoder* movie = encoder();
  return movie != nullptr && movie->write(frame);
}

bool MuxedMovieWriter::finish(const std::vector<float>& sound, int rate) {
  MuxedMovieEncoder* movie = encoder();
  return movie != nullptr && movie->finish(sound, rate);
}

int MuxedMovieWriter::framesWritten() const { return encoder_ ? encoder_->framesWritten() : 0; }
int MuxedMovieWriter::picturesGiven() const { return encoder_ ? encoder_->picturesGiven() : 0; }
double MuxedMovieWriter::soundOverrun() const { return encoder_ ? encoder_->soundOverrun() : 0.0; }
int MuxedMovieWriter::width() const { return encoder_ ? encoder_->width() : 0; }
int MuxedMovieWriter::height() const { return encoder_ ? encoder_->height() : 0; }
const std::string& MuxedMovieWriter::error() const { return encoder_ ? encoder_->error() : error_; }

void letEncodersSpeak(bool speak) {
  letMovieCodecsSpeak(speak);
  cv::utils::logging::setLogLevel(speak ? cv::utils::logging::LOG_LEVEL_INFO
                                        : cv::utils::logging::LOG_LEVEL_SILENT);
}

std::string containerFor(const std::string& path) {
  std::string end = std::filesystem::path(path).extension().string();
  for (char& c : end) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return end == ".mkv" ? "matroska" : end == ".mp4" ? "mp4" : "";
}

MuxedMovieContents readMuxedMovie(const std::string& path, bool decodeSound) {
  std::string why;
  const MovieCodecs* codecs = movieCodecs(why);
  return codecs == nullptr ? MuxedMovieContents{} : codecs->readMuxedMovie(path, decodeSound);
}

}  // namespace kelvora
