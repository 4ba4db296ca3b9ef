#include "jobs/output_path.h"

#include <cctype>

namespace kelvora {

namespace {

constexpr const char* kSoundName = "/sound.wav";
constexpr const char* kMovieName = "/movie.avi";

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
}

}  // namespace

void completeOutputPath(OutputChoice& choice, bool soundChecked) {
  if (soundChecked && !choice.outputIsSound) {
    if (choice.outputIsMovie) {
      replaceAll(choice.outputPath, kMovieName, kSoundName);
      choice.outputIsMovie = false;
    } else {
      choice.outputPath += kSoundName;
    }
    choice.outputIsSound = true;
  }
  if (!soundChecked && !choice.outputIsMovie) {
    if (choice.outputIsSound) {
      replaceAll(choice.outputPath, kSoundName, kMovieName);
      choice.outputIsSound = false;
    } else {
      choice.outputPath += kMovieName;
    }
    choice.outputIsMovie = true;
  }
}

std::string soundOutputNamed(const std::string& path, SoundFormat format) {
  const std::string wanted = extensionOf(format);
  for (const std::string other : {".wav", ".flac"}) {
    if (other == wanted || path.size() < other.size()) continue;
    std::string end = path.substr(path.size() - other.size());
    for (char& c : end) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (end == other) return path.substr(0, path.size() - other.size()) + wanted;
  }
  return path;
}

}  // namespace kelvora
