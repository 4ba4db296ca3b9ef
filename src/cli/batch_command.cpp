#include "cli/batch_command.h"

#include <sched.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "cli/batch_progress.h"
#include "cli/exit_codes.h"
#include "cli/reel_plan.h"
#include "cli/stop_on_signal.h"
#include "jobs/frame_listing.h"
#include "jobs/output_path.h"
#include "jobs/staged_file.h"
#include "runner/reel_input.h"
#include "runner/reel_record.h"

namespace kelvora {

namespace fs = std::filesystem;

namespace {

struct Finished {
  const ReelPlan* plan = nullptr;
  ReelResult result;
};

std::string reelLine(const ReelPlan& plan, const ReelResult& r) {
  char line[256];
  std::snprintf(line, sizeof line, "%s: %s, %d frames in %.1f s", plan.name.c_str(),
                describe(r.outcome), r.frames, r.seconds);
  std::string text = line;
  if (!r.warnings.empty()) text += ", " + std::to_string(r.warnings.size()) + " warnings";
  if (!r.error.empty() && r.outcome != ReelOutcome::Stopped) text += ": " + r.error;
  return text;
}

void printTable(const std::vector<Finished>& reels) {
  size_t width = 4;
  for (const Finished& f : reels) width = std::max(width, f.plan->name.size());
  const int w = static_cast<int>(width);
  std::fprintf(stderr, "%-*s  %-8s %7s %8s %8s\n", w, "reel", "outcome", "frames", "seconds",
               "warnings");
  for (const Finished& f : reels) {
    std::fprintf(stderr, "%-*s  %-8s %7d %8.1f %8zu", w, f.plan->name.c_str(),
                 describe(f.result.outcome), f.result.frames, f.result.seconds,
                 f.result.warnings.size());
    if (f.result.outcome == ReelOutcome::Failed)
      std::fprintf(stderr, "  %s", f.result.error.c_str());
    std::fputc('\n', stderr);
  }
}

// The scans the reels will decode, for the time left.
long framesToDo(const std::vector<const ReelPlan*>& reels) {
  long frames = 0;
  for (const ReelPlan* reel : reels) {
    const InputSelection input = selectInput(reel->directory);
    const int start = reel->settings.film.start.value_or(1);
    const int stop = reel->settings.film.stop.value_or(std::max(input.scans, start));
    if (input.error.empty() && frameRangeProblem(input.scans, start, stop).empty())
      frames += stop - start + 1;
  }
  return frames;
}

}  // namespace

int defaultBatchJobs() {
  // The cores this process may run on: under a scheduler that binds tasks to cores,
  // those it was given, not all the machine's.
  cpu_set_t cpus;
  CPU_ZERO(&cpus);
  if (::sched_getaffinity(0, sizeof cpus, &cpus) == 0 && CPU_COUNT(&cpus) > 0)
    return CPU_COUNT(&cpus);
  const unsigned cores = std::thread::hardware_concurrency();
  return cores == 0 ? 1 : static_cast<int>(cores);
}

CLI::App* addBatchCommand(CLI::App& app, BatchOptions& o) {
  CLI::App* batch = app.add_subcommand(
      "batch",
      "Decode many reels: every reel directory a manifest lists, each to files of its name");
  batch
      ->add_option("manifest", o.manifest,
                   "A text file of reel directories, one per line with any options of its own, "
                   "or a CSV with a header; - reads standard input")
      ->required();
  batch
      ->add_option("-o,--output", o.outputDirectory,
                   "Directory for REEL.wav, REEL.avi and REEL.json (made if missing)")
      ->required();
  batch
      ->add_option("--jobs", o.jobs,
                   "Reels decoded at once (default: " + std::to_string(defaultBatchJobs()) + ")")
      ->check(CLI::Range(1, 64));
  batch->add_flag("--sound", o.sound, "Decode each reel's soundtrack (the default)");
  batch->add_flag("--movie", o.movie, "Cut each reel's pictures into a movie");
  batch->add_flag("--force", o.force, "Do every reel again, even one already done");
  batch->add_flag("--skip-unreadable", o.skipUnreadable,
                  "Bridge a scan that cannot be read (silence, black pictures) instead of "
                  "failing the reel");
  batch->add_option("--shard", o.shard,
                    "Take only every N-th reel of the manifest, starting at the I-th (I/N)");
  addReelSettings(*batch, o.common);
  return batch;
}

int runBatchCommand(const BatchOptions& o) {
  const auto refuse = [](const std::string& error) {
    std::fprintf(stderr, "kelvora-cli batch: %s\n", error.c_str());
    return kExitUsage;
  };
  Shard shard;
  if (!o.shard.empty())
    if (const std::string e = parseShard(o.shard, shard); !e.empty()) return refuse(e);

  std::error_code ec;
  fs::create_directories(o.outputDirectory, ec);
  if (!fs::is_directory(o.outputDirectory, ec))
    return refuse("cannot make the output directory " + o.outputDirectory +
                  (ec ? ": " + ec.message() : ""));
  const std::string outputDirectory =
      o.outputDirectory.size() > 1 && o.outputDirectory.back() == '/'
          ? o.outputDirectory.substr(0, o.outputDirectory.size() - 1)
          : o.outputDirectory;
  if (const std::string e = probeWriteError(outputDirectory + "/batch.json"); !e.empty())
    return refuse("cannot write in " + outputDirectory + ": " + e);

  const Manifest manifest = readManifest(o.manifest);
  if (!manifest.error.empty()) return refuse(manifest.error);
  BatchRequest request;
  request.common = o.common;
  request.outputDirectory = outputDirectory;
  request.sound = o.sound || !o.movie;
  request.movie = o.movie;
  request.bridgeUnreadable = o.skipUnreadable;
  const BatchPlan plan = planBatch(manifest, request);
  if (!plan.error.empty()) return refuse(plan.error);

  std::vector<const ReelPlan*> reels;
  for (const size_t k : reelsOfShard(plan.reels.size(), shard)) reels.push_back(&plan.reels[k]);
  const std::string summaryName =
      o.shard.empty()
          ? "batch.json"
          : "batch-" + std::to_string(shard.index) + "-of-" + std::to_string(shard.count) + ".json";

  const auto started = std::chrono::steady_clock::now();
  StopSwitch stop;
  std::vector<Finished> finished(reels.size());
  {
    const StopOnSignal stopOnCtrlC([&stop] { stop.stopAll(); });
    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    std::atomic<long> framesDone{0};
    BatchProgress progress(stderr, terminal, static_cast<int>(reels.size()),
                           terminal ? framesToDo(reels) : 0, framesDone);
    std::atomic<size_t> next{0};
    const int workers = std::max(
        1, std::min(o.jobs > 0 ? o.jobs : defaultBatchJobs(), static_cast<int>(reels.size())));
    std::vector<std::thread> pool;
    for (int w = 0; w < workers; ++w) {
      pool.emplace_back([&] {
        for (size_t k = next++; k < reels.size(); k = next++) {
          Finished& f = finished[k];
          f.plan = reels[k];
          if (stop.stopped()) {
            f.result.outcome = ReelOutcome::Stopped;
            continue;
          }
          f.result = runBatchReel(batchReelOf(*reels[k]), o.force, stop, framesDone,
                                  [&progress, name = reels[k]->name](const std::string& w) {
                                    progress.reelSays(name + ": warning: " + w);
                                  });
          progress.reelEnded(reelLine(*reels[k], f.result));
        }
      });
    }
    for (std::thread& t : pool) t.join();
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

  printTable(finished);
  int failed = 0;
  int stopped = 0;
  long decoded = 0;
  nlohmann::ordered_json summary;
  summary["manifest"] = o.manifest;
  summary["shard"] = o.shard.empty() ? "1/1" : o.shard;
  summary["jobs"] = o.jobs > 0 ? o.jobs : defaultBatchJobs();
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const Finished& f : finished) {
    failed += f.result.outcome == ReelOutcome::Failed;
    stopped += f.result.outcome == ReelOutcome::Stopped;
    if (f.result.outcome == ReelOutcome::Done) decoded += f.result.frames;
    nlohmann::ordered_json reel;
    reel["reel"] = f.plan->name;
    reel["input"] = f.plan->directory;
    reel["line"] = f.plan->line;
    reel["outcome"] = describe(f.result.outcome);
    reel["frames"] = f.result.frames;
    reel["seconds"] = f.result.seconds;
    reel["warnings"] = f.result.warnings;
    if (f.result.outcome == ReelOutcome::Failed) reel["error"] = f.result.error;
    list.push_back(std::move(reel));
  }
  summary["reels"] = std::move(list);
  summary["failed"] = failed;
  summary["seconds"] = seconds;
  summary["frames_per_second"] = seconds > 0 ? static_cast<double>(decoded) / seconds : 0.0;
  if (const std::string e = writeJsonFile(outputDirectory + "/" + summaryName, summary);
      !e.empty()) {
    std::fprintf(stderr, "kelvora-cli batch: cannot write %s/%s: %s\n", outputDirectory.c_str(),
                 summaryName.c_str(), e.c_str());
    return kExitFailed;
  }
  if (stopped > 0) return kExitStopped;
  return failed > 0 ? kExitFailed : kExitOk;
}

}  // namespace kelvora
