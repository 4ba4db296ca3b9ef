#pragma once

#include <atomic>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "cli/reel_plan.h"

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
// frame decoded adds one to `framesDone`. Nothing is printed.
ReelResult runReel(const ReelPlan& plan, bool force, StopSwitch& stop,
                   std::atomic<long>& framesDone);

}  // namespace kelvora
