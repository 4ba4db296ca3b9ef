#pragma once

#include <string>

#include <CLI/CLI.hpp>

#include "cli/reel_plan.h"

namespace kelvora {

struct BatchOptions {
  std::string manifest;  // a file, or "-" for standard input
  std::string outputDirectory;
  int jobs = 0;  // reels at once; 0 for the default
  bool sound = false;
  bool movie = false;
  bool force = false;
  bool skipUnreadable = false;
  std::string shard;  // "I/N", empty for the whole manifest
  ReelSettings common;
};

// How many reels run at once by default: one per core this process may use.
int defaultBatchJobs();

// Registers `batch` on the application.
CLI::App* addBatchCommand(CLI::App& app, BatchOptions& options);

// Runs every reel of the manifest (or of its shard); returns the process exit status.
int runBatchCommand(const BatchOptions& options);

}  // namespace kelvora
