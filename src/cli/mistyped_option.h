#pragma once

#include <string>
#include <vector>

#include <CLI/CLI.hpp>

namespace kelvora {

// For command-line words that no option of the command they follow takes ("--flim"),
// a message naming the first of them and the option most like it: "--flim is no
// option of sound: did you mean --film?". "" when every "--" word is an option.
std::string mistypedOption(const CLI::App& app, const std::vector<std::string>& words);

}  // namespace kelvora
