#include "support/movie_file.h"

#include <opencv2/videoio.hpp>

namespace kelvora::test {

MovieFile readMovie(const std::string& path) {
  MovieFile movie;
  cv::VideoCapture capture(path, cv::CAP_FFMPEG);
  movie.opened = capture.isOpened();
  if (!movie.opened) return movie;
  const int code = static_cast<int>(capture.get(cv::CAP_PROP_FOURCC));
  for (int i = 0; i < 4; ++i) movie.fourcc += static_cast<char>((code >> (8 * i)) & 0xff);
  movie.fps = capture.get(cv::CAP_PROP_FPS);
  movie.size = cv::Size(static_cast<int>(capture.get(cv::CAP_PROP_FRAME_WIDTH)),
                        static_cast<int>(capture.get(cv::CAP_PROP_FRAME_HEIGHT)));
  cv::Mat frame;
  while (capture.read(frame)) movie.frames.push_back(frame.clone());
  return movie;
}

}  // namespace kelvora::test
