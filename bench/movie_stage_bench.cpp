// Where a movie job's time goes, stage by stage, on the job bench's generated 35 mm
// reels at 1800 dpi (grey and colour): decoding a scan (the loader, and imread beside
// it), finding its picture, standing the picture upright and scaling it (turned then
// scaled by the image library, and in one step), making it colour, encoding it, and
// reading the finished movie back. Each stage runs alone over the whole reel on one
// thread; ms a scan, median of 5 interleaved rounds.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "film/orientation.h"
#include "film/resolution.h"
#include "jobs/frame_listing.h"
#include "movie/movie_writer.h"
#include "movie/picture_area.h"
#include "movie/picture_cut.h"
#include "reel/reel.h"
#include "scans/memory.h"
#include "scans/scan_loader.h"
#include "signal/image_ops.h"

namespace {

constexpr int kRounds = 5;
const cv::Size kFrame(640, 480);

struct StageReel {
  const char* name;
  bool colour;
};
// The job bench's reels of the same names: written by whichever bench runs first.
const StageReel kReels[] = {{"grey_1800", false}, {"colour_1800", true}};

std::string reelDirectory(const StageReel& r) {
  const std::string path =
      (std::filesystem::temp_directory_path() / (std::string("kelvora-bench-") + r.name)).string();
  if (kelvora::FrameListing::open(path).size() != 60) {
    std::filesystem::remove_all(path);
    kelvora::reel::ReelOptions options;
    options.filmType = 1;
    options.dpi = 1800;
    options.colour = r.colour;
    options.scans = 60;
    kelvora::reel::writeReel(options, path);
  }
  return path + "/";
}

// A reel's scans as the movie job holds them: decoded, and the pictures found in them.
struct Reel {
  std::vector<std::string> paths;
  std::vector<cv::Mat> scans;
  std::vector<kelvora::ScanPicture> pictures;
  std::vector<cv::Mat> frames;  // upright, scaled and colour
};

class NoFrames : public kelvora::FrameSink {
 public:
  bool write(const cv::Mat&) override { return true; }
};

kelvora::ParametersM areaOf(const cv::Mat& firstScan) {
  const cv::Mat oriented = kelvora::turnQuarter(firstScan, false, false);
  kelvora::Resolution res;
  kelvora::resolution(oriented, 1, res, false, true);
  kelvora::ParametersM area;
  kelvora::filParametersM(oriented, 1, res, area, 0);
  return area;
}

kelvora::ScanPicture pictureOf(const cv::Mat& scan, const kelvora::ParametersM& area) {
  NoFrames none;
  return kelvora::cutUnturned(scan, false, false, none, area, 1, 0, 0, kFrame.width, kFrame.height);
}

Reel loaded(const StageReel& r) {
  Reel reel;
  const kelvora::FrameListing listing = kelvora::FrameListing::open(reelDirectory(r));
  for (int n = 1; n <= listing.size(); ++n) {
    reel.paths.push_back(*listing.path(n));
    reel.scans.push_back(kelvora::loadScan(reel.paths.back()).image);
  }
  const kelvora::ParametersM area = areaOf(reel.scans.front());
  for (const cv::Mat& scan : reel.scans) {
    reel.pictures.push_back(pictureOf(scan, area));
    reel.frames.push_back(
        kelvora::movieFrame(kelvora::uprightScaled(reel.pictures.back(), kFrame), kFrame));
  }
  return reel;
}

std::map<std::string, std::vector<double>> stageMs;  // ms a scan, by reel/stage

void runStage(benchmark::State& state, const std::string& key, const Reel& reel,
              const std::string& stage) {
  const kelvora::ParametersM area = areaOf(reel.scans.front());
  const std::string movie =
      (std::filesystem::temp_directory_path() / "kelvora-bench-stage.avi").string();
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    if (stage == "imread") {
      for (const std::string& p : reel.paths)
        benchmark::DoNotOptimize(cv::imread(p, cv::IMREAD_ANYCOLOR).data);
    } else if (stage == "load") {
      for (const std::string& p : reel.paths)
        benchmark::DoNotOptimize(kelvora::loadScan(p).image.data);
    } else if (stage == "search") {
      for (const cv::Mat& scan : reel.scans)
        benchmark::DoNotOptimize(pictureOf(scan, area).pixels.data);
    } else if (stage == "turn-then-scale") {
      for (const kelvora::ScanPicture& p : reel.pictures) {
        cv::Mat scaled;
        cv::resize(kelvora::upright(p), scaled, kFrame, 0, 0, cv::INTER_CUBIC);
        benchmark::DoNotOptimize(scaled.data);
      }
    } else if (stage == "scaled-turn") {
      for (const kelvora::ScanPicture& p : reel.pictures)
        benchmark::DoNotOptimize(kelvora::uprightScaled(p, kFrame).data);
    } else if (stage == "colour") {
      for (const kelvora::ScanPicture& p : reel.pictures) {
        const cv::Mat scaled = kelvora::uprightScaled(p, kFrame);
        benchmark::DoNotOptimize(kelvora::movieFrame(scaled, kFrame).data);
      }
    } else if (stage == "encode") {
      kelvora::MovieWriter writer(movie, "MP42", 25.0, kFrame);
      for (const cv::Mat& frame : reel.frames) writer.write(frame);
      writer.release();
    } else if (stage == "read-back") {
      benchmark::DoNotOptimize(kelvora::countMovieFrames(movie));
    }
    stageMs[key].push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count() /
        static_cast<double>(reel.scans.size()));
  }
}

const char* const kStages[] = {"imread",      "load",   "search", "turn-then-scale",
                               "scaled-turn", "colour", "encode", "read-back"};

double median(std::vector<double> v) {
  if (v.empty()) return 0.0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  kelvora::keepScanMemory();
  cv::setNumThreads(1);  // each stage on one thread, as the job runs it beside the others
  benchmark::Initialize(&argc, argv);
  std::map<std::string, Reel> reels;
  for (const StageReel& r : kReels) reels[r.name] = loaded(r);
  for (int round = 1; round <= kRounds; ++round)
    for (const StageReel& r : kReels)
      for (const char* stage : kStages) {
        const std::string key = std::string(r.name) + "/" + stage;
        benchmark::RegisterBenchmark((key + "/round:" + std::to_string(round)).c_str(),
                                     [&reel = reels[r.name], key, stage](benchmark::State& s) {
                                       runStage(s, key, reel, stage);
                                     })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->Iterations(1);
      }
  benchmark::RunSpecifiedBenchmarks();
  std::printf("\nA movie job's stages, each alone on one thread, ms a scan, median of %d rounds\n",
              kRounds);
  std::printf("%-12s", "reel");
  for (const char* stage : kStages) std::printf(" %15s", stage);
  std::printf("\n");
  for (const StageReel& r : kReels) {
    std::printf("%-12s", r.name);
    for (const char* stage : kStages)
      std::printf(" %15.2f", median(stageMs[std::string(r.name) + "/" + stage]));
    std::printf("\n");
  }
  benchmark::Shutdown();
  return 0;
}
