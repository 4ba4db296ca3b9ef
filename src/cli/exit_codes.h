#pragma once

namespace kelvora {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;     // a scan could not be read or the output not written
constexpr int kExitUsage = 2;      // bad options, missing input, unwritable output
constexpr int kExitStopped = 130;  // stopped by Ctrl-C, like a shell's interrupted job

}  // namespace kelvora
