// A plain decode of a reel: each scan of a directory read with cv::imread, nothing
// else linked in. The job bench times the movie job against it as whole processes.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s DIRECTORY\n", argv[0]);
    return 2;
  }
  std::vector<std::filesystem::path> scans;
  for (const auto& entry : std::filesystem::directory_iterator(argv[1]))
    if (entry.path().extension() == ".tif") scans.push_back(entry.path());
  std::sort(scans.begin(), scans.end());
  for (const auto& scan : scans)
    if (cv::imread(scan.string(), cv::IMREAD_ANYCOLOR).empty()) return 1;
  return scans.empty() ? 1 : 0;
}
