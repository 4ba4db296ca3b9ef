#include "support/cli_run.h"

#include <sys/wait.h>

#include <array>
#include <cstdio>

namespace kelvora::test {

CliResult runCli(const std::string& args, const std::string& shellPrefix) {
  return runShell(shellPrefix + KELVORA_CLI_PATH + " " + args + " 2>&1");
}

CliResult runShell(const std::string& command) {
  CliResult result;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return result;
  std::array<char, 4096> buffer{};
  size_t n;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
    result.output.append(buffer.data(), n);
  const int raw = ::pclose(pipe);
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return result;
}

}  // namespace kelvora::test
