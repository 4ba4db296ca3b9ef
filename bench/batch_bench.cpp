// Batch throughput: eight generated reels (35 mm grey and colour, 16 mm) decoded by
// `kelvora-cli batch` in-process with 1, 2 and 3 reels at once, sound alone and sound
// with movie. Reports scans per second and the cores the batch kept busy (process CPU
// time over wall time); with one reel at once that is the CPU use of one job.
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "cli/batch_command.h"
#include "jobs/frame_listing.h"
#include "reel/reel.h"
#include "scans/memory.h"

namespace {

namespace fs = std::filesystem;

constexpr int kScansPerReel = 60;

// The manifest of the eight reels, written on first use.
std::string manifest() {
  const fs::path root = fs::temp_directory_path() / "kelvora-bench-batch";
  const std::string list = (root / "manifest.txt").string();
  std::ofstream out;
  for (int k = 1; k <= 8; ++k) {
    kelvora::reel::ReelOptions options;
    options.dpi = 1800;
    options.scans = kScansPerReel;
    options.seed = static_cast<unsigned>(k);
    options.colour = k % 4 == 1;
    options.filmType = k % 4 == 3 ? 3 : 1;
    const std::string dir = (root / ("reel" + std::to_string(k))).string();
    if (kelvora::FrameListing::open(dir).size() != kScansPerReel) {
      fs::remove_all(dir);
      kelvora::reel::writeReel(options, dir);
    }
    if (!out.is_open()) out.open(list);
    out << dir << (options.filmType == 3 ? " --film 16va" : "") << "\n";
  }
  return list;
}

double processCpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Every scan read once before anything is timed, so no count starts with a cold
// page cache.
void warmUp() {
  for (const auto& entry : fs::recursive_directory_iterator(fs::path(manifest()).parent_path())) {
    std::ifstream in(entry.path(), std::ios::binary);
    std::vector<char> buffer(1 << 20);
    while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()))) {
    }
  }
}

void batch(benchmark::State& state, bool movie) {
  kelvora::BatchOptions options;
  options.manifest = manifest();
  options.outputDirectory = (fs::temp_directory_path() / "kelvora-bench-batch-out").string();
  options.jobs = static_cast<int>(state.range(0));
  options.force = true;
  options.sound = true;
  options.movie = movie;
  // The batch's lines and table go nowhere while it is timed.
  const int kept = ::dup(STDERR_FILENO);
  const int devnull = ::open("/dev/null", O_WRONLY);
  double cpu = 0;
  for (auto _ : state) {
    ::dup2(devnull, STDERR_FILENO);
    const double before = processCpuSeconds();
    const int status = kelvora::runBatchCommand(options);
    cpu += processCpuSeconds() - before;
    ::dup2(kept, STDERR_FILENO);
    if (status != 0) state.SkipWithError("the batch failed");
  }
  ::close(devnull);
  ::close(kept);
  state.counters["scans/s"] =
      benchmark::Counter(8 * kScansPerReel, benchmark::Counter::kIsIterationInvariantRate);
  state.counters["cpu_s"] = benchmark::Counter(cpu, benchmark::Counter::kAvgIterations);
}

}  // namespace

int main(int argc, char** argv) {
  kelvora::keepScanMemory();
  benchmark::Initialize(&argc, argv);
  warmUp();
  for (const bool movie : {false, true})
    benchmark::RegisterBenchmark(movie ? "batch_sound_movie" : "batch_sound", batch, movie)
        ->ArgName("jobs")
        ->Arg(1)
        ->Arg(2)
        ->Arg(3)
        ->Arg(4)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Iterations(3);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
