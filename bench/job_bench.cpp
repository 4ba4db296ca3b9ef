// The whole soundtrack and movie jobs against cv::imread's decode of the same scans,
// in one run, on generated reels: 35 mm grey and colour at 900, 1800 and 3600 dpi,
// and 16 mm long strips. Prints each job's time per frame and its ratio to imread.
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>

#include <benchmark/benchmark.h>
#include <opencv2/imgcodecs.hpp>

#include "jobs/frame_listing.h"
#include "quiet_controls.h"
#include "reel/reel.h"
#include "runner/reel_runner.h"
#include "scans/dpx_reader.h"
#include "scans/memory.h"
#include "scans/scan_loader.h"
#include "views/inspect_view.h"

namespace {

struct BenchReel {
  const char* name;
  int filmType;
  int dpi;
  bool colour;
  bool longStrip;
  int scans;
  int dpxBits = 0;
};

// Fewer scans at 3600 dpi keep the reel on disk under a gigabyte.
const BenchReel kReels[] = {
    {"grey_900", 1, 900, false, false, 100},   {"colour_900", 1, 900, true, false, 100},
    {"grey_1800", 1, 1800, false, false, 60},  {"colour_1800", 1, 1800, true, false, 60},
    {"grey_3600", 1, 3600, false, false, 20},  {"colour_3600", 1, 3600, true, false, 20},
    {"strip16_1800", 3, 1800, true, true, 20}, {"dpx10_1800", 1, 1800, true, false, 60, 10},
};

kelvora::reel::ReelOptions optionsFor(const BenchReel& r) {
  kelvora::reel::ReelOptions options;
  options.filmType = r.filmType;
  options.dpi = r.dpi;
  options.colour = r.colour;
  options.longStrip = r.longStrip;
  options.scans = r.scans;
  options.dpxBits = r.dpxBits;
  options.sixteenBit = r.dpxBits > 8;
  return options;
}

std::string reelDirectory(const BenchReel& r) {
  const std::string path =
      (std::filesystem::temp_directory_path() / (std::string("kelvora-bench-") + r.name)).string();
  if (kelvora::FrameListing::open(path).size() != r.scans) {
    std::filesystem::remove_all(path);
    kelvora::reel::writeReel(optionsFor(r), path);
  }
  return path + "/";
}

kelvora::ReelRequest reelRequest(const BenchReel& r, kelvora::Controls& controls) {
  kelvora::ReelRequest reel;
  reel.controls = &controls;
  reel.inputPath = reelDirectory(r);
  reel.startFrame = 1;
  reel.stopFrame = r.scans;
  reel.film.track = kelvora::trackOf(r.filmType);
  reel.film.longStrip = r.longStrip;
  return reel;
}

std::map<std::string, double> msPerFrame;  // by benchmark name

void record(benchmark::State& state, const BenchReel& r) {
  state.counters["frames/s"] =
      benchmark::Counter(r.scans, benchmark::Counter::kIsIterationInvariantRate);
}

void imreadOnly(benchmark::State& state, const BenchReel& r) {
  const kelvora::FrameListing listing = kelvora::FrameListing::open(reelDirectory(r));
  for (auto _ : state)
    for (int n = 1; n <= listing.size(); ++n)
      benchmark::DoNotOptimize(cv::imread(*listing.path(n), cv::IMREAD_ANYCOLOR).data);
  record(state, r);
}

void loadOnly(benchmark::State& state, const BenchReel& r) {
  const kelvora::FrameListing listing = kelvora::FrameListing::open(reelDirectory(r));
  for (auto _ : state)
    for (int n = 1; n <= listing.size(); ++n)
      benchmark::DoNotOptimize(kelvora::loadScan(*listing.path(n)).image.data);
  record(state, r);
}

// The image library's own reading, for the scans it would read in place of the loader.
void oiioOnly(benchmark::State& state, const BenchReel& r) {
  const kelvora::FrameListing listing = kelvora::FrameListing::open(reelDirectory(r));
  cv::Mat image;
  for (auto _ : state)
    for (int n = 1; n <= listing.size(); ++n) {
      kelvora::readFullDepth(*listing.path(n), image);
      benchmark::DoNotOptimize(image.data);
    }
  record(state, r);
}

// The preview of a reel's first scan, as `inspect` draws it: load, measure, draw.
void inspectFirstScan(benchmark::State& state, const BenchReel& r) {
  const kelvora::FrameListing listing = kelvora::FrameListing::open(reelDirectory(r));
  kelvora::InspectSettings s;
  s.film.track = kelvora::trackOf(r.filmType);
  s.film.longStrip = r.longStrip;
  for (auto _ : state) {
    const kelvora::LoadedScan scan = kelvora::loadScan(*listing.path(1));
    benchmark::DoNotOptimize(kelvora::inspectScan(scan.image, s).image.data);
  }
  state.counters["frames/s"] = benchmark::Counter(1, benchmark::Counter::kIsIterationInvariantRate);
}

void soundJob(benchmark::State& state, const BenchReel& r) {
  QuietControls controls;
  const kelvora::ReelRequest reel = reelRequest(r, controls);
  kelvora::SoundRequest request;
  request.output = (std::filesystem::temp_directory_path() / "kelvora-bench-sound.wav").string();
  for (auto _ : state) {
    if (kelvora::decodeSound(reel, request).outcome != kelvora::JobOutcome::Finished)
      state.SkipWithError("job failed");
  }
  record(state, r);
}

void movieJob(benchmark::State& state, const BenchReel& r) {
  QuietControls controls;
  const kelvora::ReelRequest reel = reelRequest(r, controls);
  kelvora::MovieRequest request;
  request.output = (std::filesystem::temp_directory_path() / "kelvora-bench-movie.avi").string();
  for (auto _ : state) {
    if (kelvora::makeMovie(reel, request).outcome != kelvora::JobOutcome::Finished)
      state.SkipWithError("job failed");
  }
  record(state, r);
}

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const auto it = run.counters.find("frames/s");
      if (it != run.counters.end() && it->second > 0)
        msPerFrame[run.benchmark_name()] = 1000.0 / it->second;
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

}  // namespace

int main(int argc, char** argv) {
  kelvora::keepScanMemory();
  benchmark::Initialize(&argc, argv);
  const auto name = [](const BenchReel& r, const char* stage) {
    return std::string(r.name) + "/" + stage;
  };
  for (const BenchReel& r : kReels) {
    for (const auto& [stage, run] :
         {std::pair{"imread", &imreadOnly}, std::pair{"load", &loadOnly},
          std::pair{"oiio", &oiioOnly}, std::pair{"sound", &soundJob},
          std::pair{"movie", &movieJob}, std::pair{"inspect", &inspectFirstScan}}) {
      if (r.dpxBits > 0 && run == &imreadOnly) continue;  // the general decoder reads no DPX
      benchmark::RegisterBenchmark(name(r, stage).c_str(), run, r)
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime()
          ->Iterations(3);
    }
  }
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\n%-14s %9s %9s %9s %9s %9s %7s %7s %9s\n", "reel", "imread", "load", "oiio",
              "sound", "movie", "snd/imr", "mov/imr", "inspect");
  for (const BenchReel& r : kReels) {
    const auto ms = [&](const char* stage) {
      const auto it = msPerFrame.find(name(r, stage) + "/iterations:3/real_time");
      return it == msPerFrame.end() ? 0.0 : it->second;
    };
    const double imread = ms("imread");
    if (ms("load") <= 0) continue;  // left out by the filter
    std::printf("%-14s %7.2fms %7.2fms %7.2fms %7.2fms %7.2fms %7.2f %7.2f %7.1fms\n", r.name,
                imread, ms("load"), ms("oiio"), ms("sound"), ms("movie"),
                imread > 0 ? ms("sound") / imread : 0.0, imread > 0 ? ms("movie") / imread : 0.0,
                ms("inspect"));
  }
  benchmark::Shutdown();
  return 0;
}
