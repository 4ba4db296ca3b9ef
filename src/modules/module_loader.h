#pragma once

#include <string>

namespace kelvora {

// One of our modules: a library of its own that brings others with it, loaded only by
// the processes that need it. `entry` is its entry point's address; nullptr, with the
// cause in `why`, when it cannot be loaded.
struct LoadedModule {
  void* entry = nullptr;
  std::string why;
};

// Loads the module `fileName` from beside the program, or else from `builtPath`, where
// the build put it, and finds its entry point `entryName`. `what` names the module in
// the cause, for the user. The module is never unloaded: code and data from it may be
// in use until the process ends.
LoadedModule loadModule(const std::string& fileName, const std::string& builtPath,
                        const char* entryName, const std::string& what);

}  // namespace kelvora
