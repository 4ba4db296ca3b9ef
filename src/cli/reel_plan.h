#pragma once

#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "cli/manifest.h"
#include "cli/movie_command.h"
#include "cli/sound_command.h"
#include "runner/batch_reel.h"

namespace kelvora {

// The settings a batch gives every reel, and that a manifest line may change for
// its reel.
struct ReelSettings {
  FilmOptions film;
  SoundOptions sound;  // its `film` is ignored: `film` above holds for both jobs
  MovieOptions movie;  // likewise
  std::string name;    // the outputs' name; empty for the directory's own
};

// Registers every option a manifest line may give.
void addReelSettings(CLI::App& command, ReelSettings& settings);

// One reel of a batch as it will be run.
struct ReelPlan {
  std::string name;       // OUTDIR/name.wav, .avi, .json
  std::string directory;  // as the manifest gives it
  int line = 0;
  ReelSettings settings;
  bool sound = true;
  bool movie = false;
  bool bridgeUnreadable = false;
  std::string outputDirectory;
  std::string error;  // the line or its options cannot be used; the reel fails alone

  std::string soundPath() const {
    return outputDirectory + "/" + name +
           extensionOf(parseSoundFormat(settings.sound.format).value_or(SoundFormat::Wav8));
  }
  std::string moviePath() const { return outputDirectory + "/" + name + ".avi"; }
  std::string recordPath() const { return outputDirectory + "/" + name + ".json"; }
};

// What decides a reel's outputs, in one line: a finished reel whose record holds the
// same line need not be done again.
std::string describeSettings(const ReelPlan& plan);

// The reel as the runner does it: its options as typed settings.
BatchReel batchReelOf(const ReelPlan& plan);

// What a batch asks of every reel.
struct BatchRequest {
  ReelSettings common;
  std::string outputDirectory;
  bool sound = true;
  bool movie = false;
  bool bridgeUnreadable = false;
};

struct BatchPlan {
  std::vector<ReelPlan> reels;  // every reel of the manifest, in its order
  std::string error;            // the batch cannot start
};

// Plans every reel of the manifest: the common settings with the line's own on top
// and the name its outputs get. Two reels that would write the same outputs are
// refused (every shard plans the whole manifest, so all agree on that).
BatchPlan planBatch(const Manifest& manifest, const BatchRequest& request);

}  // namespace kelvora
