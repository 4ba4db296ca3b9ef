#include "scans/general_decoder.h"

#include <dlfcn.h>

#include <filesystem>
#include <vector>

namespace kelvora {

namespace {

struct LoadedDecoder {
  const GeneralDecoder* decoder = nullptr;
  std::string why;
};

// Where the module may lie: beside the program, then where the build put it.
std::vector<std::filesystem::path> modulePlaces() {
  std::vector<std::filesystem::path> places;
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec) places.push_back(self.parent_path() / KELVORA_DECODER_MODULE_NAME);
  places.emplace_back(KELVORA_DECODER_MODULE);
  return places;
}

LoadedDecoder load() {
  LoadedDecoder loaded;
  for (const std::filesystem::path& place : modulePlaces()) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(place, ec)) continue;
    // Never closed: the decoder's code must outlive every scan read with it.
    void* module = ::dlopen(place.c_str(), RTLD_LAZY | RTLD_LOCAL);
    if (module == nullptr) {
      const char* error = ::dlerror();
      loaded.why = "the image decoder module " + place.string() + " cannot be loaded" +
                   (error != nullptr ? std::string(" (") + error + ")" : std::string());
      return loaded;
    }
    const auto entry =
        reinterpret_cast<const GeneralDecoder* (*)()>(::dlsym(module, "kelvoraGeneralDecoder"));
    if (entry == nullptr) {
      loaded.why = "the image decoder module " + place.string() + " is not Kelvora's";
      return loaded;
    }
    loaded.decoder = entry();
    return loaded;
  }
  loaded.why = "the image decoder module " + std::string(KELVORA_DECODER_MODULE_NAME) +
               " is missing: it belongs beside the program";
  return loaded;
}

}  // namespace

const GeneralDecoder* generalDecoder(std::string& why) {
  static const LoadedDecoder loaded = load();
  why = loaded.why;
  return loaded.decoder;
}

}  // namespace kelvora
