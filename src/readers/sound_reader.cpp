#include "readers/sound_reader.h"

#include "readers/classic_reader.h"
#include "readers/precise_reader.h"

namespace kelvora {

std::unique_ptr<SoundReader> makeSoundReader(const FilmSettings& film, const SoundSettings& sound,
                                             int startFrame, int stopFrame, Warn warn) {
  if (sound.reader == Reader::Precise)
    return makePreciseReader(film, sound, startFrame, stopFrame, std::move(warn));
  return makeClassicReader(film, sound, startFrame, stopFrame, std::move(warn));
}

}  // namespace kelvora
