#include "movie/movie_codecs.h"

#include <atomic>
#include <future>
#include <mutex>

#include "modules/module_loader.h"

namespace kelvora {

namespace {

struct LoadedCodecs {
  const MovieCodecs* codecs = nullptr;
  std::string why;
};

// The codecs as the process has them: loaded once, by whichever thread asks first.
class CodecsModule {
 public:
  static CodecsModule& process() {
    static CodecsModule module;
    return module;
  }

  const LoadedCodecs& loaded() {
    std::call_once(once_, [this] {
      const LoadedModule module = loadModule(KELVORA_CODECS_MODULE_NAME, KELVORA_CODECS_MODULE,
                                             "kelvoraMovieCodecs", "movie codec");
      loaded_.why = module.why;
      if (module.entry == nullptr) return;
      loaded_.codecs = reinterpret_cast<const MovieCodecs* (*)()>(module.entry)();
      loaded_.codecs->letSpeak(speak_);
      isLoaded_ = true;
    });
    return loaded_;
  }

  void loadAhead() {
    std::lock_guard lock(aheadMutex_);
    if (!ahead_.valid()) ahead_ = std::async(std::launch::async, [this] { loaded(); });
  }

  // Kept until the codecs load, and given to them then.
  void letSpeak(bool speak) {
    speak_ = speak;
    if (isLoaded_) loaded_.codecs->letSpeak(speak);
  }

 private:
  std::once_flag once_;
  LoadedCodecs loaded_;
  std::atomic<bool> speak_ = false;
  std::atomic<bool> isLoaded_ = false;
  std::mutex aheadMutex_;
  std::future<void> ahead_;
};

}  // namespace

const MovieCodecs* movieCodecs(std::string& why) {
  const LoadedCodecs& loaded = CodecsModule::process().loaded();
  why = loaded.why;
  return loaded.codecs;
}

void loadMovieCodecsAhead() { CodecsModule::process().loadAhead(); }

void letMovieCodecsSpeak(bool speak) { CodecsModule::process().letSpeak(speak); }

}  // namespace kelvora
