#include "jobs/output_path.h"

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

}  // namespace kelvora
