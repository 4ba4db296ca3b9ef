#pragma once

#include <memory>

#include "readers/sound_reader.h"

namespace kelvora {

// The precise reader: reads only the track side of each scan at its own depth,
// follows the track over the reel, reads all of its width against the film's clear
// and opaque levels, joins scans where their overlapping sound matches and measures
// the rate on the film (see precise/).
std::unique_ptr<SoundReader> makePreciseReader(const FilmSettings& film, const SoundSettings& sound,
                                               int startFrame, int stopFrame, Warn warn);

}  // namespace kelvora
