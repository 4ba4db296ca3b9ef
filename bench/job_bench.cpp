// The whole soundtrack and movie jobs on a generated 100-frame 35 mm colour reel at
// 1800 dpi (scans 1815 x 1481), against loading the same scans and nothing else.
#include <cstdio>
#include <filesystem>
#include <string>

#include <benchmark/benchmark.h>
#include <opencv2/imgcodecs.hpp>

#include "jobs/frame_listing.h"
#include "jobs/memory.h"
#include "jobs/scan_loader.h"
#include "jobs/sound_job.h"
#include "movie/movie_job.h"
#include "reel/reel.h"

namespace {

constexpr int kFrames = 100;

class QuietControls : public kelvora::Controls {
 public:
  void enable(kelvora::Control, bool) override {}
  void show(kelvora::Control, bool) override {}
  void setText(kelvora::Control, const std::string&) override {}
  std::string text(kelvora::Control) override { return {}; }
  void redraw(kelvora::Control) override {}
  bool isChecked(kelvora::Control) override { return false; }
  void setProgressRange(int, int) override {}
  void setProgressStep(int) override {}
  void stepProgress() override {}
  void setProgressPosition(int) override {}
};

const std::string& reelDirectory() {
  static const std::string dir = [] {
    const std::string path =
        (std::filesystem::temp_directory_path() / "kelvora-bench-reel-1800").string();
    if (kelvora::FrameListing::open(path).size() != kFrames) {
      std::filesystem::remove_all(path);
      kelvora::reel::ReelOptions options;
      options.dpi = 1800;
      options.scans = kFrames;
      kelvora::reel::writeReel(options, path);
    }
    return path + "/";
  }();
  return dir;
}

double decodeSeconds = 0;
double soundSeconds = 0;
double movieSeconds = 0;

void BM_DecodeOnly(benchmark::State& state) {
  const kelvora::FrameListing listing = kelvora::FrameListing::open(reelDirectory());
  for (auto _ : state) {
    for (int n = 1; n <= listing.size(); ++n)
      benchmark::DoNotOptimize(kelvora::loadScan(*listing.path(n)).image.data);
  }
  state.counters["frames/s"] =
      benchmark::Counter(kFrames, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_SoundJob(benchmark::State& state) {
  const std::string out =
      (std::filesystem::temp_directory_path() / "kelvora-bench-sound.wav").string();
  QuietControls controls;
  for (auto _ : state) {
    kelvora::Picture_Parameters record;
    kelvora::fillPictureParameters(
        record, kelvora::JobSettings{},
        kelvora::JobRequest{&controls, reelDirectory(), out, 1, kFrames});
    if (kelvora::ThreadPicture(record) != kelvora::JobOutcome::Finished)
      state.SkipWithError("job failed");
  }
  state.counters["frames/s"] =
      benchmark::Counter(kFrames, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_MovieJob(benchmark::State& state) {
  const std::string out =
      (std::filesystem::temp_directory_path() / "kelvora-bench-movie.avi").string();
  QuietControls controls;
  for (auto _ : state) {
    kelvora::Image_Parameters record;
    kelvora::fillImageParameters(record, kelvora::JobSettings{},
                                 kelvora::JobRequest{&controls, reelDirectory(), out, 1, kFrames});
    if (kelvora::ThreadMovie(record) != kelvora::JobOutcome::Finished)
      state.SkipWithError("job failed");
  }
  state.counters["frames/s"] =
      benchmark::Counter(kFrames, benchmark::Counter::kIsIterationInvariantRate);
}

BENCHMARK(BM_DecodeOnly)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_SoundJob)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_MovieJob)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const double seconds = run.GetAdjustedRealTime() / 1e3;
      if (run.benchmark_name().find("BM_DecodeOnly") == 0) decodeSeconds = seconds;
      if (run.benchmark_name().find("BM_SoundJob") == 0) soundSeconds = seconds;
      if (run.benchmark_name().find("BM_MovieJob") == 0) movieSeconds = seconds;
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

}  // namespace

int main(int argc, char** argv) {
  kelvora::keepScanMemory();
  benchmark::Initialize(&argc, argv);
  reelDirectory();
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const auto ratio = [](const char* job, double seconds) {
    if (decodeSeconds > 0 && seconds > 0)
      std::printf("%s job / decode time: %.2f (job %.2f s, decode %.2f s for %d frames)\n", job,
                  seconds / decodeSeconds, seconds, decodeSeconds, kFrames);
  };
  ratio("sound", soundSeconds);
  ratio("movie", movieSeconds);
  benchmark::Shutdown();
  return 0;
}
