// The silent AVI: what a player reads back from it, and the read-back check that tells a
// complete movie from one a full disk or a crash cut short.
#include "movie/movie_writer.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "support/damage.h"
#include "support/movie_file.h"
#include "support/temp_dir.h"

namespace kelvora {
namespace {

const cv::Size kSize(640, 480);

// Frame `k`: a grey level that tells the frame by its number, and a bar that moves.
cv::Mat frameNumbered(int k) {
  cv::Mat frame(kSize, CV_8UC3, cv::Scalar(40 + 6 * k, 60, 200 - 5 * k));
  cv::rectangle(frame, cv::Rect(20 * k, 100, 40, 200), cv::Scalar::all(250), cv::FILLED);
  return frame;
}

void writeMovie(const std::string& path, const std::string& code, double fps, int frames,
                bool asViews = false) {
  MovieWriter writer(path, code, fps, kSize);
  ASSERT_TRUE(writer.open());
  for (int k = 0; k < frames; ++k) {
    if (asViews) {
      // The frame as a view into a wider image: its rows are not 32-byte multiples apart.
      cv::Mat wide(kSize.height + 3, kSize.width + 7, CV_8UC3, cv::Scalar::all(0));
      frameNumbered(k).copyTo(wide(cv::Rect(cv::Point(5, 2), kSize)));
      ASSERT_TRUE(writer.write(wide(cv::Rect(cv::Point(5, 2), kSize))));
    } else {
      ASSERT_TRUE(writer.write(frameNumbered(k)));
    }
  }
  writer.release();
}

std::vector<char> bytesOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct AviCase {
  const char* code;  // what the file says it holds
  double fps;
  int frames;
};

TEST(MovieWriterTest, APlayerReadsBackEveryFrameInOrder) {
  const AviCase cases[] = {
      {"MP42", 25, 1}, {"MP42", 24, 30}, {"DIV3", 25, 13}, {"XVID", 24, 25}, {"XVID", 25, 2},
  };
  test::TempDir dir;
  for (const AviCase& c : cases) {
    SCOPED_TRACE(std::string(c.code) + " " + std::to_string(c.frames));
    const std::string path = dir.file(std::string(c.code) + std::to_string(c.frames) + ".avi");
    writeMovie(path, c.code, c.fps, c.frames);
    EXPECT_EQ(countMovieFrames(path), c.frames);
    const test::MovieFile movie = test::readMovie(path);
    ASSERT_TRUE(movie.opened);
    EXPECT_EQ(movie.fourcc, c.code);
    EXPECT_DOUBLE_EQ(movie.fps, c.fps);
    EXPECT_EQ(movie.size, kSize);
    ASSERT_EQ(static_cast<int>(movie.frames.size()), c.frames);
    for (int k = 0; k < c.frames; ++k) {
      const cv::Mat expected = frameNumbered(k);
      cv::Mat difference;
      cv::absdiff(movie.frames[k], expected, difference);
      EXPECT_LT(cv::mean(difference)[0], 6.0) << "frame " << k;
      // The bar stands where frame k put it, so no frame came early or late.
      const cv::Scalar bar = cv::mean(movie.frames[k](cv::Rect(20 * k + 10, 150, 20, 100)));
      EXPECT_GT(bar[1], 230) << "frame " << k;
    }
  }
}

TEST(MovieWriterTest, AFrameStoredAsAViewIsWrittenAsTheSameBytes) {
  test::TempDir dir;
  writeMovie(dir.file("whole.avi"), "MP42", 25, 14);
  writeMovie(dir.file("views.avi"), "MP42", 25, 14, true);
  EXPECT_EQ(bytesOf(dir.file("whole.avi")), bytesOf(dir.file("views.avi")));
}

TEST(MovieWriterTest, OnlyAWholeMovieCountsItsFrames) {
  struct Damage {
    const char* name;
    std::uintmax_t keep;  // bytes kept of the file, from its start
  };
  test::TempDir dir;
  const std::string whole = dir.file("whole.avi");
  writeMovie(whole, "MP42", 25, 26);
  ASSERT_EQ(countMovieFrames(whole), 26);
  const std::uintmax_t size = std::filesystem::file_size(whole);
  const Damage cases[] = {
      {"nothing", 0},
      {"the header alone", 2048},
      {"a third", size / 3},
      {"all but its index", size - 600},
      {"all but its last bytes", size - 8},
  };
  for (const Damage& d : cases) {
    SCOPED_TRACE(d.name);
    const std::string path = dir.file(std::string(d.name) + ".avi");
    std::filesystem::copy_file(whole, path);
    std::filesystem::resize_file(path, d.keep);
    EXPECT_EQ(countMovieFrames(path), 0);
  }
  EXPECT_EQ(countMovieFrames(dir.file("none.avi")), 0);
  test::writeText(dir.file("text.avi"), "not a movie\n");
  EXPECT_EQ(countMovieFrames(dir.file("text.avi")), 0);
}

TEST(MovieWriterTest, ACodeOrPlaceTheWriterCannotUseLeavesItClosed) {
  test::TempDir dir;
  EXPECT_FALSE(MovieWriter(dir.file("a.avi"), "QQQQ", 25, kSize).open());
  EXPECT_FALSE(MovieWriter(dir.file("missing/a.avi"), "MP42", 25, kSize).open());
  EXPECT_FALSE(MovieWriter(dir.file("a.avi"), "MP42", 0, kSize).open());
}

}  // namespace
}  // namespace kelvora
