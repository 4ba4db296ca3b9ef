// The whole soundtrack and movie jobs against cv::imread's decode of the same scans,
// in one run, on generated reels: 35 mm grey and colour at 900, 1800 and 3600 dpi,
// and 16 mm long strips. Prints each job's time per frame and its ratio to imread.
//
// Then the movie job as the command line runs it against a program that only decodes
// the scans with imread, as whole processes, grey and colour at 1800 dpi, interleaved
// in rounds: each starts, reads or films the reel and ends.
//
// Then a 10-bit colour DPX reel against the same film as 8-bit TIFF, at 1800 and
// 4000 dpi: both sound readers and their reads, interleaved in rounds, beside the
// floor (the time to read the bytes of the rows a reader needs, warm and cold page
// cache), and the jobs' peak memory against the reel's length.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <opencv2/imgcodecs.hpp>

#include "band_bytes.h"
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

constexpr int kProcessRounds = 9;

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

std::map<std::string, std::vector<double>> processMs;  // ms a scan, by reel/stage

// A whole process as a user starts one: the command line's movie job, or a program
// that only decodes the scans with cv::imread and links nothing else. Its own start and
// end are in the time.
bool spawnStage(const std::string& stage, const BenchReel& r) {
  const std::string reel = reelDirectory(r);
  const std::string movie = (std::filesystem::temp_directory_path() /
                             ("kelvora-bench-process-" + std::string(r.name) + ".avi"))
                                .string();
  std::vector<std::string> args =
      stage == "movie" ? std::vector<std::string>{KELVORA_CLI_PATH, "movie", reel, "-o", movie}
                       : std::vector<std::string>{KELVORA_PLAIN_DECODE_PATH, reel};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t quiet;
  posix_spawn_file_actions_init(&quiet);
  posix_spawn_file_actions_addopen(&quiet, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&quiet, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t child = 0;
  const bool spawned = posix_spawn(&child, argv[0], &quiet, nullptr, argv.data(), environ) == 0;
  posix_spawn_file_actions_destroy(&quiet);
  int status = 0;
  return spawned && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

void processStage(benchmark::State& state, const BenchReel& r, const std::string& stage) {
  reelDirectory(r);  // written first if need be
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    if (!spawnStage(stage, r)) state.SkipWithError("the process failed");
    processMs[std::string(r.name) + "/" + stage].push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count() /
        r.scans);
  }
}

const BenchReel* reelNamed(const std::string& name) {
  for (const BenchReel& r : kReels)
    if (name == r.name) return &r;
  return nullptr;
}

const char* const kProcessReels[] = {"grey_1800", "colour_1800"};

void registerProcesses() {
  for (int round = 1; round <= kProcessRounds; ++round)
    for (const char* name : kProcessReels)
      for (const char* stage : {"decode", "movie"})
        benchmark::RegisterBenchmark(
            ("process/" + std::string(name) + "/" + stage + "/round:" + std::to_string(round))
                .c_str(),
            [r = *reelNamed(name), stage](benchmark::State& s) { processStage(s, r, stage); })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->Iterations(1);
}

// The twins: one film as 8-bit colour TIFF and as 10-bit colour DPX. The 1800 dpi pair
// is the general table's; at 4000 dpi a scan is 4033x3291 pixels.
struct Twin {
  int dpi;
  BenchReel tiff;
  BenchReel dpx;
};
const Twin kTwins[] = {
    {1800, kReels[3], kReels[7]},
    {4000, {"colour_4000", 1, 4000, true, false, 20}, {"dpx10_4000", 1, 4000, true, false, 20, 10}},
};
constexpr int kRounds = 5;
// The track side the precise reader reads of a 35 mm scan, UP, in its usual colour
// element, red.
constexpr kelvora::RowBand kTrackSide{0.25, true};
constexpr int kTrackElement = 2;

std::map<std::string, std::vector<double>> twinMs;  // ms a scan, by case, one per round

std::map<std::string, std::vector<double>> twinCpuMs;  // processor time, all threads

double processCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// Real and processor time from its making to `record`, per scan.
class Stopwatch {
 public:
  void record(const std::string& key, int scans) const {
    twinMs[key].push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start_)
            .count() /
        scans);
    twinCpuMs[key].push_back((processCpuMs() - cpuStart_) / scans);
  }

 private:
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  double cpuStart_ = processCpuMs();
};

// Runs the sound job with `reader` over the first `scans` scans of a reel.
bool runSound(const BenchReel& r, kelvora::Reader reader, int scans) {
  QuietControls controls;
  kelvora::ReelRequest reel = reelRequest(r, controls);
  reel.stopFrame = scans;
  kelvora::SoundRequest request;
  request.sound.reader = reader;
  request.output = (std::filesystem::temp_directory_path() / "kelvora-bench-twin.wav").string();
  return kelvora::decodeSound(reel, request).outcome == kelvora::JobOutcome::Finished;
}

void twinSound(benchmark::State& state, const BenchReel& r, kelvora::Reader reader,
               const std::string& key) {
  reelDirectory(r);  // written first if need be
  for (auto _ : state) {
    const Stopwatch watch;
    if (!runSound(r, reader, r.scans)) state.SkipWithError("job failed");
    watch.record(key, r.scans);
  }
}

// What each reader's loading costs alone: the whole scan at 8 bits, or the track side
// at its own depth in one colour element.
void twinLoad(benchmark::State& state, const BenchReel& r, bool band, const std::string& key) {
  const kelvora::FrameListing listing = kelvora::FrameListing::open(reelDirectory(r));
  for (auto _ : state) {
    const Stopwatch watch;
    for (int n = 1; n <= listing.size(); ++n) {
      const kelvora::LoadedScan scan =
          band ? kelvora::loadFullDepth(*listing.path(n), kTrackSide, kTrackElement)
               : kelvora::loadScan(*listing.path(n));
      if (!scan.ok()) state.SkipWithError(scan.error.c_str());
      benchmark::DoNotOptimize(scan.image.data);
    }
    watch.record(key, listing.size());
  }
}

// The floor: reading the bytes of the rows a reader needs and nothing else.
void twinFloor(benchmark::State& state, const BenchReel& r, bool band, bool cold,
               const std::string& key) {
  const kelvora::FrameListing listing = kelvora::FrameListing::open(reelDirectory(r));
  std::vector<std::pair<std::string, std::vector<ByteRange>>> files;
  for (int n = 1; n <= listing.size(); ++n)
    files.emplace_back(*listing.path(n),
                       bandBytes(*listing.path(n), band ? kTrackSide : kelvora::RowBand{}));
  for (auto _ : state) {
    const Stopwatch watch;
    for (const auto& [path, ranges] : files)
      if (readRanges(path, ranges, cold) == 0) state.SkipWithError("nothing read");
    watch.record(key, listing.size());
  }
  if (cold)
    for (const auto& [path, ranges] : files) warmFile(path);  // the jobs run warm
}

double median(std::vector<double> v) {
  if (v.empty()) return 0.0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

void printProcesses() {
  std::printf(
      "\nThe movie job (the command line) against a plain decode (a program of cv::imread "
      "alone),\neach a whole process, ms a scan, median of %d rounds\n",
      kProcessRounds);
  std::printf("%-14s %9s %9s %7s\n", "reel", "decode", "movie", "mov/dec");
  for (const char* name : kProcessReels) {
    const double decode = median(processMs[std::string(name) + "/decode"]);
    const double movie = median(processMs[std::string(name) + "/movie"]);
    if (decode <= 0 && movie <= 0) continue;  // left out by the filter
    std::printf("%-14s %7.2fms %7.2fms %7.2f\n", name, decode, movie,
                decode > 0 ? movie / decode : 0.0);
  }
}

void registerTwins() {
  const std::pair<const char*, kelvora::Reader> readers[] = {{"classic", kelvora::Reader::Classic},
                                                             {"precise", kelvora::Reader::Precise}};
  for (int round = 1; round <= kRounds; ++round)
    for (const Twin& t : kTwins)
      for (const auto& [format, reel] : {std::pair{"tiff", &t.tiff}, std::pair{"dpx", &t.dpx}}) {
        const std::string at = "twin/" + std::to_string(t.dpi) + "/" + format + "/";
        const auto add = [&](const std::string& stage, auto run) {
          benchmark::RegisterBenchmark((at + stage + "/round:" + std::to_string(round)).c_str(),
                                       run)
              ->Unit(benchmark::kMillisecond)
              ->UseRealTime()
              ->Iterations(1);
        };
        for (const auto& [name, reader] : readers)
          add(name, [r = *reel, reader, key = at + name](benchmark::State& s) {
            twinSound(s, r, reader, key);
          });
        for (const bool band : {false, true}) {
          const std::string part = band ? "band" : "whole";
          add("load-" + part, [r = *reel, band, key = at + "load-" + part](benchmark::State& s) {
            twinLoad(s, r, band, key);
          });
          for (const bool cold : {false, true}) {
            const std::string floor = "floor-" + part + (cold ? "-cold" : "-warm");
            add(floor, [r = *reel, band, cold, key = at + floor](benchmark::State& s) {
              twinFloor(s, r, band, cold, key);
            });
          }
        }
      }
}

void printTwins() {
  const auto key = [](const Twin& t, const char* format, const std::string& stage) {
    return std::string("twin/") + std::to_string(t.dpi) + "/" + format + "/" + stage;
  };
  const auto ms = [&](const Twin& t, const char* format, const std::string& stage) {
    return median(twinMs[key(t, format, stage)]);
  };
  const auto cpu = [&](const Twin& t, const char* format, const std::string& stage) {
    return median(twinCpuMs[key(t, format, stage)]);
  };
  std::printf(
      "\nDPX 10-bit colour against its 8-bit TIFF twin, ms a scan, median of %d rounds\n"
      "(job and load: real time, and in brackets the processor time of all threads; floor: "
      "reading the bytes of the rows the reader needs)\n",
      kRounds);
  std::printf("%-5s %-7s %-5s %17s %17s %10s %10s %9s %9s\n", "dpi", "reader", "reel", "job",
              "load", "floor warm", "floor cold", "dpx/tiff", "(cpu)");
  for (const Twin& t : kTwins)
    for (const std::string reader : {"classic", "precise"}) {
      const std::string part = reader == "classic" ? "whole" : "band";
      const std::string load = "load-" + part, warm = "floor-" + part + "-warm",
                        cold = "floor-" + part + "-cold";
      for (const char* format : {"tiff", "dpx"}) {
        if (ms(t, format, reader) <= 0 && ms(t, format, load) <= 0 && ms(t, format, warm) <= 0)
          continue;  // left out by the filter
        std::printf("%-5d %-7s %-5s %8.2f (%6.2f) %8.2f (%6.2f) %10.2f %10.2f", t.dpi,
                    reader.c_str(), format, ms(t, format, reader), cpu(t, format, reader),
                    ms(t, format, load), cpu(t, format, load), ms(t, format, warm),
                    ms(t, format, cold));
        if (std::string(format) == "dpx" && ms(t, "tiff", reader) > 0)
          std::printf(" %9.2f %9.2f", ms(t, "dpx", reader) / ms(t, "tiff", reader),
                      cpu(t, "dpx", reader) / cpu(t, "tiff", reader));
        std::printf("\n");
      }
    }
}

// The peak resident memory of a sound job over the first `scans` scans of a reel, run
// in a process of its own, in megabytes.
double peakMegabytes(const BenchReel& r, kelvora::Reader reader, int scans) {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(runSound(r, reader, scans) ? 0 : 1);
  int status = 0;
  struct rusage usage {};
  if (child < 0 || ::wait4(child, &status, 0, &usage) != child || status != 0) return 0.0;
  return usage.ru_maxrss / 1024.0;
}

void printMemory(int dpi) {
  std::printf("\nPeak memory of a sound job against the scans it reads, MB\n");
  std::printf("%-12s %-7s %8s %8s %8s\n", "reel", "reader", "1/4", "1/2", "all");
  for (const Twin& t : kTwins)
    for (const BenchReel* r : {&t.tiff, &t.dpx}) {
      if (dpi != 0 && t.dpi != dpi) continue;
      for (const auto& [name, reader] : {std::pair{"classic", kelvora::Reader::Classic},
                                         std::pair{"precise", kelvora::Reader::Precise}}) {
        std::printf("%-12s %-7s", r->name, name);
        for (const int share : {4, 2, 1})
          std::printf(" %8.0f", peakMegabytes(*r, reader, r->scans / share));
        std::printf("  (%d scans)\n", r->scans);
      }
    }
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
  // `--memory` adds the memory table of the twins, `--memory=4000` of those at 4000 dpi.
  int memoryDpi = 0;
  bool measureMemory = false;
  for (int i = 1; i < argc; ++i)
    if (std::string(argv[i]).rfind("--memory", 0) == 0) {
      measureMemory = true;
      const std::string arg = argv[i];
      memoryDpi = arg.size() > 9 ? std::stoi(arg.substr(9)) : 0;
      std::copy(argv + i + 1, argv + argc, argv + i);
      --argc;
      break;
    }
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
  registerProcesses();
  registerTwins();
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
  printProcesses();
  printTwins();
  if (measureMemory) printMemory(memoryDpi);
  benchmark::Shutdown();
  return 0;
}
