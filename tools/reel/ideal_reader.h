#pragma once

#include <vector>

#include "reel/reel.h"

namespace kelvora::reel {

// The reader every other is held against: the best a reader could do that knew how
// the generator made the reel. It reads the scan files itself (the red element of a
// colour scan, the grey of a grey one, at their full depth) and knows
// - where the track lies on every row of every scan (the weave, its wander and the
//   scan's turn in the gate) and where every scan lies on the film (the joins, part
//   rows included, and the scans left out);
// - the scanner's light on every pixel (the lamp's flicker, the fall towards the
//   corners, the gate's shadow) and the film's clear and opaque levels along the reel
//   (density drift, a negative, a splice's cement);
// - where every speck of dust and the scratch lie, and reads around them: on a
//   variable-area track a covered pixel is read from its mirror across a bilateral
//   track or from the pixels beside it, on a variable-density track it is left out.
// It reads the mean transmission over the track, gives each film row the mean of the
// scans that hold it out of the gate's shadow, and takes off the track's resting level. It undoes
// nothing it would have to guess: the scanner's noise, the slant of a turned scan's track edges, a
// speck over a moving edge. Returns one sample a film row, in playing order, the reference's scale
// (-1..1); rows no scan holds are silent. Throws std::runtime_error when a scan cannot be read.
std::vector<float> idealSound(const Reel& reel);

// For each film row, whether a scan written holds it where the scan is more than half
// lit (out of the gate's shadow): the rows a reader can have. The others are silent in
// the ideal reader's sound.
std::vector<bool> scannedRows(const Reel& reel);

}  // namespace kelvora::reel
