#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "film/film_settings.h"
#include "movie/movie_settings.h"
#include "readers/sound_settings.h"

namespace kelvora {

// Stops every job of a batch at once: the ones running and any started later.
class StopSwitch {
 public:
  void stopAll();
  bool stopped() const { return stopped_; }

  // While alive, `flag` is set when the batch is stopped.
  class Registration {
   public:
    Registration(StopSwitch& stop, std::atomic<bool>& flag);
    ~Registration();
    Registration(const Registration&) = delete;
    Registration& operator=(const Registration&) = delete;

   private:
    StopSwitch& stop_;
    std::atomic<bool>& flag_;
  };

 private:
  std::atomic<bool> stopped_{false};
  std::mutex mutex_;
  std::set<std::atomic<bool>*> flags_;
};

// One reel of a batch as it will be run.
struct BatchReel {
  std::string name;       // OUTDIR/name.wav (or .flac), .avi, .json
  std::string directory;  // the reel's scans
  std::string outputDirectory;
  std::string settingsLine;  // what decides its outputs, in one line: a finished reel whose
                             // record holds the same line need not be done again
  FilmSettings film;
  bool filmFromFirstScan = false;
  std::optional<int> start;  // the frame range; all scans by default
  std::optional<int> stop;
  bool sound = true;
  SoundSettings soundSettings;
  bool movie = false;
  MovieSettings movieSettings;
  bool bridgeUnreadable = false;
  std::string error;  // its line or options cannot be used; the reel fails alone

  std::string soundPath() const;
  std::string moviePath() const { return outputDirectory + "/" + name + ".avi"; }
  std::string recordPath() const { return outputDirectory + "/" + name + ".json"; }
};

enum class ReelOutcome { Done, Skipped, Failed, Stopped };

// "done", "skipped", "failed" or "stopped".
const char* describe(ReelOutcome outcome);

struct ReelResult {
  ReelOutcome outcome = ReelOutcome::Failed;
  int frames = 0;  // the scans of the reel's range
  double seconds = 0;
  std::vector<std::string> warnings;
  std::string error;  // why it failed
};

// Does one reel: the sound and the movie it asks for, each into a hidden file of the
// output directory, then puts them in place together and writes the reel's record
// last. A reel already done with the same settings is skipped unless `force`. Each
// frame decoded adds one to `framesDone`; each warning is passed to `onWarning` (on the
// job's thread) as it is found. Nothing is printed.
ReelResult runBatchReel(const BatchReel& reel, bool force, StopSwitch& stop,
                        std::atomic<long>& framesDone,
                        const std::function<void(const std::string&)>& onWarning = {});

}  // namespace kelvora
