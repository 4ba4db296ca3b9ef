#include "modules/module_loader.h"

#include <dlfcn.h>

#include <filesystem>
#include <vector>

namespace kelvora {

namespace {

// Where the module may lie: beside the program, then where the build put it.
std::vector<std::filesystem::path> modulePlaces(const std::string& fileName,
                                                const std::string& builtPath) {
  std::vector<std::filesystem::path> places;
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec) places.push_back(self.parent_path() / fileName);
  places.emplace_back(builtPath);
  return places;
}

}  // namespace

LoadedModule loadModule(const std::string& fileName, const std::string& builtPath,
                        const char* entryName, const std::string& what) {
  LoadedModule loaded;
  for (const std::filesystem::path& place : modulePlaces(fileName, builtPath)) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(place, ec)) continue;
    void* module = ::dlopen(place.c_str(), RTLD_LAZY | RTLD_LOCAL);
    if (module == nullptr) {
      const char* error = ::dlerror();
      loaded.why = "the " + what + " module " + place.string() + " cannot be loaded" +
                   (error != nullptr ? std::string(" (") + error + ")" : std::string());
      return loaded;
    }
    loaded.entry = ::dlsym(module, entryName);
    if (loaded.entry == nullptr)
      loaded.why = "the " + what + " module " + place.string() + " is not Kelvora's";
    return loaded;
  }
  loaded.why = "the " + what + " module " + fileName + " is missing: it belongs beside the program";
  return loaded;
}

}  // namespace kelvora
