#pragma once

#include <memory>

#include "readers/sound_reader.h"

namespace kelvora {

// The classic reader: cuts the soundtrack area out of every scan, averages each row
// of the cut into a sample and joins consecutive scans where their sound (and, unless
// the cut is by the soundtrack alone, their pictures) overlap.
std::unique_ptr<SoundReader> makeClassicReader(const FilmSettings& film, const SoundSettings& sound,
                                               int startFrame, int stopFrame, Warn warn);

}  // namespace kelvora
