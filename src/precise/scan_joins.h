#pragma once

#include <utility>
#include <vector>

#include "audio/join_kind.h"
#include "precise/gate_shadow.h"
#include "precise/scan_sound.h"

namespace kelvora {

// How one scan takes over from the one before it.
struct ScanJoin {
  int advance = 0;          // rows from the previous scan's first row to this one's
  double part = 0.0;        // and the part of a row beyond them, where the scanner steps
                            // between rows
  double confidence = 0.0;  // normalised correlation of the overlap there; NaN when unmeasured
  JoinKind kind = JoinKind::Clean;
  int missing = 0;  // scans known to be missing before this one
};

struct JoinPlan {
  std::vector<ScanJoin> joins;  // one a scan; the first scan's is empty
  int typicalAdvance = 0;       // the reel's usual advance from scan to scan
  double meanAdvance = 0.0;     // the film's own advance from scan to scan, fractional: the
                                // mean over clean joins, or where each scan holds a frame,
                                // the frame pitch its frame lines measure
  int cleanJoins = 0;
};

// Finds every scan's advance on the one before it by normalised correlation of their
// overlapping sound: near each whole number of frames for the first joins, which give
// the reel's usual advance, then close to it. Where each scan holds a frame, or long
// strips match nowhere, the frame lines of the scans' pictures give the advance of a
// quiet overlap and of a gap in the file numbers, settle a periodic sound's, and
// measure the frame pitch. A scanner that steps by the film's own pitch has its
// scans placed between rows. `framePitch` is the nominal frame pitch in rows;
// `missingBefore[k]` counts the scans that may be missing before scan k: they are
// taken as missing unless the sound matches beyond doubt at the usual advance. `leads[k]`
// counts the rows left unread at the start of scan k (the gate's shadow): advances are
// between the scans' samples, the usual one the scanner's between whole scans.
JoinPlan planJoins(const std::vector<ScanSound>& scans, int framePitch,
                   const std::vector<int>& missingBefore, const std::vector<int>& leads = {});

// The scans' samples laid end to end at their advances (a scan that starts between rows
// read onto the first scan's rows): each overlap blended with a
// raised-cosine crossfade (`crossfade`) or cut in its middle, a gap bridged at the
// resting level of the scans either side: eased into and out of in a couple of
// milliseconds where the gate's shadow leaves rows unread between two scans; where scans
// are missing, met where the rows read end, more than half lit. `evenly`: the crossfade
// holds both scans alike over most of the overlap, for a track whose every row is read
// as well on one scan as on the other (variable density: the grain of the two averages),
// but where a splice lies in or about it. `bandReach`, when above 0: rows either side of
// a splice's middle its band may darken; where one scan of an overlap found a band there
// and the other did not, those rows are taken from the one that found it.
// `fromLast`: the sound is laid on the last scan's rows instead, the others read between
// them: a reel read backwards (Inverse) is played from its last scan, whose first row the
// sound starts on. `restNearby`: across missing scans the sound rests at the level of
// the scans either side, not the reel's: a variable-density track's level is the print's
// density and the lamp's light, which wander along the reel.
std::vector<float> assembleScans(const std::vector<ScanSound>& scans, const JoinPlan& plan,
                                 bool crossfade, bool evenly = false, int bandReach = 0,
                                 bool fromLast = false, bool restNearby = false);

// Scales each scan's samples by its step in level from the scan before it across a
// clean or quiet join of `plan`: the middle of the ratios of the rows they share (a
// splice's band or a speck on one of them passed by). The level over a few scans
// either side stays as each scan's own, so that no error is carried along the reel. For
// a variable-density negative, whose grainy film beside the track measures its light a
// few tenths of a per cent apart from scan to scan. A missing or unmatched join, or an
// overlap under 32 rows, is no step.
void matchOverlapLevels(std::vector<ScanSound>& scans, const JoinPlan& plan);

// Gives the rows of the gate's penumbra read on each scan (`lits[k]`, as read: the
// shares of light its rows were given back by) the light the gate leaves them, the same
// on every scan: measured row by row of the scan where a neighbour across a clean or
// quiet join of `plan` reads the same film fully lit, the middle over the scans. For a
// variable-density negative, whose rows' clearest film is its track (the sound moves
// it), so that the shares given back are only near.
void relightPenumbra(std::vector<ScanSound>& scans, const JoinPlan& plan,
                     const std::vector<LitRows>& lits);

// `sound` with `lead` samples before it and `tail` after it at its resting level (its
// mean), eased into and out of its own first and last samples: the rows in the gate's
// shadow at the reel's two ends, unread but still film, so that the sound starts on
// the first scan's first row.
std::vector<float> withShadowedEnds(const std::vector<float>& sound, int lead, int tail);

// The normalised correlation of `previous` from `advance` on with the start of
// `present`, over their overlap (at most `longest` samples of it); NaN when it is under
// 16 samples or either is flat.
double overlapCorrelation(const std::vector<float>& previous, const std::vector<float>& present,
                          int advance, long longest = 1L << 30);

// overlapCorrelation at advances `advance` and `advance + 1` together, each the same bit
// for bit: each sum is taken in the order of its rows, the two advances' side by side,
// and the present scan's own, the same for both over the rows both overlap, once.
std::pair<double, double> overlapCorrelations(const std::vector<float>& previous,
                                              const std::vector<float>& present, int advance,
                                              long longest = 1L << 30);

}  // namespace kelvora
