#include "jobs/job_outcome.h"

namespace kelvora {

std::string describe(JobOutcome outcome) {
  switch (outcome) {
    case JobOutcome::Finished:
      return "finished";
    case JobOutcome::Stopped:
      return "stopped";
    case JobOutcome::Unreadable:
      return "unreadable scan";
    case JobOutcome::WriteFailed:
      return "output not written";
  }
  return "unknown";
}

}  // namespace kelvora
