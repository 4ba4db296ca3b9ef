#pragma once

#include <string>

namespace kelvora::test {

struct CliResult {
  int status = -1;     // the exit status, or -1 when it did not exit
  std::string output;  // stdout and stderr together
};

// Runs the real kelvora-cli with `args` through the shell, after `shellPrefix`.
CliResult runCli(const std::string& args, const std::string& shellPrefix = "");

// Runs a shell command line as it stands; its standard output and exit status.
CliResult runShell(const std::string& command);

}  // namespace kelvora::test
