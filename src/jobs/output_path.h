#pragma once

#include <string>

#include "audio/sound_format.h"

namespace kelvora {

// The window's output choice: a directory, or a file chosen in a save dialog.
struct OutputChoice {
  std::string outputPath;
  bool outputIsSound = false;  // outputPath already names the sound output
  bool outputIsMovie = false;  // outputPath already names the movie output
};

// Completes the output path at Start for the checked job kind: appends the default
// name "/sound.wav" or "/movie.avi" to a directory, or swaps one default name for the
// other when the job kind changed. A file chosen in a save dialog is kept as it is.
void completeOutputPath(OutputChoice& choice, bool soundChecked);

// The sound output's name for `format`: a name ending in ".wav" or ".flac" that does not
// fit the format gets the ending that does (the window's default "sound.wav" becomes
// "sound.flac" for FLAC); any other name is kept.
std::string soundOutputNamed(const std::string& path, SoundFormat format);

// The movie output's name: a name ending in ".avi" becomes ".mkv" for a movie with its
// sound, and ".mkv" or ".mp4" becomes ".avi" for the classic movie; any other name is kept.
std::string movieOutputNamed(const std::string& path, bool withSound);

}  // namespace kelvora
