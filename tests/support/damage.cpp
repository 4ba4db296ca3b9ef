#include "support/damage.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include <opencv2/imgcodecs.hpp>

namespace kelvora::test {

void replaceWithText(const std::string& path) { writeText(path, "not a tiff at all"); }

void truncateToAThird(const std::string& path) {
  std::filesystem::resize_file(path, std::filesystem::file_size(path) / 3);
}

void corruptImageData(const std::string& path) {
  // Stored LZW compressed, as many scanners do, then damaged in the middle of the data.
  const cv::Mat scan = cv::imread(path, cv::IMREAD_UNCHANGED);
  cv::imwrite(path, scan, {cv::IMWRITE_TIFF_COMPRESSION, 5});
  std::string bytes = fileText(path);
  for (size_t i = bytes.size() / 2; i < bytes.size() / 2 + 256 && i < bytes.size(); ++i)
    bytes[i] = static_cast<char>(bytes[i] ^ 0x5a);
  writeText(path, bytes);
}

void replaceWithTinyScan(const std::string& path, int width, int height) {
  cv::imwrite(path, cv::Mat(height, width, CV_8UC3, cv::Scalar(40, 80, 200)));
}

std::string fileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

int hiddenFiles(const std::string& directory) {
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(directory))
    if (entry.path().filename().string().front() == '.') ++count;
  return count;
}

}  // namespace kelvora::test
