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

namespace {

// True when `path` ends in `end` (lower case), in any letter case.
bool endsWithFolded(const std::string& path, const std::string& end) {
  if (path.size() < end.size()) return false;
  for (size_t i = 0; i < end.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(path[path.size() - end.size() + i])) != end[i])
      return false;
  return true;
}

}  // namespace

std::string movieOutputNamed(const std::string& path, bool withSound) {
  const auto swapped = [&path](size_t end, const char* to) {
    return path.substr(0, path.size() - end) + to;
  };
  if (withSound && endsWithFolded(path, ".avi")) return swapped(4, ".mkv");
  if (!withSound && (endsWithFolded(path, ".mkv") || endsWithFolded(path, ".mp4")))
    return swapped(4, ".avi");
  return path;
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
