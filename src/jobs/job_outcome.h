#pragma once

#include <string>

namespace kelvora {

// How a job ended.
enum class JobOutcome {
  Finished,     // output written
  Stopped,      // Stop seen between frames; no sound file, movie kept so far
  Unreadable,   // a scan could not be loaded ("Wrong file format !!!")
  WriteFailed,  // the output file could not be created or completed
};

// A short English name of the outcome, for messages.
std::string describe(JobOutcome outcome);

}  // namespace kelvora
