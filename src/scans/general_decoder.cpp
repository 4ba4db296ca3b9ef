#include "scans/general_decoder.h"

#include "modules/module_loader.h"

namespace kelvora {

namespace {

struct LoadedDecoder {
  const GeneralDecoder* decoder = nullptr;
  std::string why;
};

LoadedDecoder load() {
  const LoadedModule module = loadModule(KELVORA_DECODER_MODULE_NAME, KELVORA_DECODER_MODULE,
                                         "kelvoraGeneralDecoder", "image decoder");
  LoadedDecoder loaded;
  loaded.why = module.why;
  if (module.entry != nullptr)
    loaded.decoder = reinterpret_cast<const GeneralDecoder* (*)()>(module.entry)();
  return loaded;
}

}  // namespace

const GeneralDecoder* generalDecoder(std::string& why) {
  static const LoadedDecoder loaded = load();
  why = loaded.why;
  return loaded.decoder;
}

}  // namespace kelvora
