#pragma once

#include <vector>

namespace kelvora {

// The widest speck of dust or dirt the reader reads around, in columns.
inline constexpr int kWidestSpeck = 6;

// The columns of a variable-area track's window that are clear on nearly every row, both
// ends included: the widest stretch of them, about the middle of a bilateral track, from
// the fixed edge of a unilateral one out to where its moving edge comes nearest. `clear`
// counts, for each column, the rows on which it is clear. Empty when no column is. A
// unilateral track's fixed edge lies on the side (`fixedSide`, -1 before `first`, 1 after
// `last`) where the film falls from clear on nearly every row to clear on nearly none
// within a speck's rim; the moving edge's swing leaves film clear on some rows beyond the
// other end. 0 where that does not tell the sides apart.
struct ClearCore {
  int first = 0;
  int last = -1;
  int fixedSide = 0;
  bool empty() const { return last < first; }
};
ClearCore clearCore(const std::vector<int>& clear);

// The column of a variable-area track's window that is clear on most rows: the middle
// of its clear core (see clearCore). -1 when no column is clear.
int clearAnchor(const std::vector<int>& clear);

// The columns of a variable-area track's window that a scratch along the film puts out
// of order. `clear` counts, for each column, the rows (of `rows` counted) on which it is
// clear. The clear part grows outwards from `anchor` (see clearAnchor), so a column of
// film is clear no less often than any beyond it: one clear far less often lies under
// a dark scratch, or between the anchor and a bright one (a negative's dark scratch,
// turned over); one clear far more often than any nearer the anchor under a bright
// scratch, or beyond a dark one. A speck of dust covers too few rows to count, and a
// run of columns wider than `widest` is film (the opaque band beside a unilateral
// track's fixed edge, with clear film beyond it), not a scratch.
std::vector<bool> scratchedColumns(const std::vector<int>& clear, int anchor, int rows, int widest);

// The columns of a variable-area track's window that a dark scratch along the film
// hides: clear on no more of `rows` than a speck or two covers, where film beyond them,
// further from `anchor` (see clearAnchor), is clear on more, but on no more than the
// film just nearer the anchor (a bright scratch beyond is no film). A run wider than
// `widest` is film. Only what the sound shows beyond it is found: a scan whose sound never
// reaches past the scratch shows none, and the columns `known` to be hidden on earlier
// scans (the scratch runs along the film) are taken where they are as seldom clear. The
// column beside a run on the anchor's side, clear on fewer than half the rows the film
// just nearer is, lies partly under the scratch and is taken in.
std::vector<bool> hiddenColumns(const std::vector<int>& clear, int anchor, int rows, int widest,
                                const std::vector<bool>& known = {});

// The columns of a unilateral track's window that a line along the film, clear on every
// row, puts out of order beyond the moving edge (a negative's dark scratch, printed
// clear): clear on all of `rows` but a speck's, where film nearer `anchor`, on the side
// the sound moves the edge (the side whose film is clear on some rows and not on others
// the furthest out from the clear core), is clear on fewer by an eighth of the rows at
// least, more than specks could take, and the film just beyond the run is clear on fewer
// too. The clear part grows outwards from the anchor: no film clears more often than the
// film nearer it. On the loudest rows the edge runs on into the line, and the track would
// read wider by all of it. Runs wider than `widest` are film.
std::vector<bool> clearBeyondEdge(const std::vector<int>& clear, int anchor, int rows, int widest);

// The columns of a bilateral track's window, about twice its middle `mirrorSum`, that
// a dark scratch puts out of order where only the loudest moments reach it, with no
// clearer film beyond it to show it: clear on no more of `rows` than a speck covers,
// where the mirror image is clear on more. Columns whose mirror image is already
// `scratched` are not judged; runs wider than `widest` are film. None when mirrorSum is -1.
std::vector<bool> darkAgainstMirror(const std::vector<int>& clear, double mirrorSum, int rows,
                                    const std::vector<bool>& scratched, int widest);

// The columns of a bilateral track's window, about twice its middle `mirrorSum`, that
// a bright scratch puts out of order near the middle, where only the loudest moments
// bring an edge under it and the clear part inside it hides it: clear on all of `rows`
// but a speck's, where the mirror image, a column either way, is clear on fewer by
// more than grain and the mirror's own placing could make. Runs of one column, or
// wider than `widest`, are film. None when mirrorSum is -1.
std::vector<bool> brightAgainstMirror(const std::vector<int>& clear, double mirrorSum, int rows,
                                      int widest);

// Whether a variable-area track's window is its own mirror image about twice its middle
// `mirrorSum` (-1 where there is none) in the columns the sound moves, clear on some of
// `rows` and not on others, as `clear` counts them: the track is bilateral, and its
// middle measured right. Not so on a unilateral track, nor where nothing moves: a silent
// stretch's clear part is its own mirror image about many a middle.
bool mirrorsItself(const std::vector<int>& clear, double mirrorSum, int rows);

// The columns of a bilateral track's window, about twice its middle `mirrorSum`, that a
// bright line along the film puts out of order where an edge comes under it on a few
// rows only, too few for brightAgainstMirror to see in `clear` (see mirrorsItself): of
// the rows on which a column's mirror image is opaque (`imageOpaque`, at least two), it
// is clear on all but a quarter (`clearOnIt`). Film is opaque where its image is, but
// for an edge's grain. Runs of one column, or wider than `widest`, are film. None where
// the window does not mirror itself.
std::vector<bool> brightOverMirror(const std::vector<int>& clear, int rows,
                                   const std::vector<int>& imageOpaque,
                                   const std::vector<int>& clearOnIt, double mirrorSum, int widest);

// The columns of a bilateral track's window that a bright line along the film puts out
// of order where no edge ever comes under it, on film clear on every row but a speck's
// (`always`): a print whose clear film has darkened with age leaves the line brighter
// than it, and every row would read the track wider by the line's excess. Its mean level
// (`means`, one a column) stands above the clear film either side of it, three to six
// columns away, by more than a few hundredths of `range` (opaque to clear); above the
// clear film on one side where the other is the edges' reach, clear on some rows only.
// Runs wider than `widest` are film.
std::vector<bool> brightInClear(const std::vector<float>& means, const std::vector<bool>& always,
                                float range, int widest);

// The columns of a variable-area track's window that a dark line along the film puts out
// of order where it lies on the opaque film, beyond where the edges usually swing: only
// the loudest moments, too few rows to show in `clear` against the mirror image, bring
// the clear part under it, and there it cuts the edge off short. Opaque film is the
// darkest a track holds, so the line shows by its level alone: a run of columns clear on
// no more of `rows` than a speck covers whose mean level (`means`) lies below that of the
// window's opaque film by more than a few hundredths of `range`, with film on both sides
// of it, opaque on one side at least: a line the edges pass on both sides is theirs to
// read. Runs wider than `widest` are film.
std::vector<bool> darkInOpaque(const std::vector<float>& means, const std::vector<int>& clear,
                               int rows, float range, int widest);

// The clear width, in columns, of one row of a variable-area track: `shares` holds
// each column's share of clear film (0 opaque, 1 clear). The sound lies in the edges
// of the clear part that covers or lies nearest `anchor`, each edge a ramp where the
// sound moved within the row; a dark speck inside the clear part is read as clear, a
// bright speck on the opaque film around it as opaque. `mirrorSum` is the sum of a
// bilateral track's mirrored columns (-1, or far from twice the anchor, on a unilateral
// track): a narrow clear run beyond a speck whose mirror image is clear is track, and
// so is the clear part beyond a dark gap wider than a speck (a scratch, at most a
// twelfth of the row) where the gap's mirror image and the run's are clear. A gap no
// darker than the clear film either side of it is an edge's ramp that grain splits
// into runs: read as it is, so a quiet row whose clear part ends short of `anchor` is
// read whole. On a unilateral track a darker gap no wider than a speck within the `core`
// (see clearCore), with clear film beyond it out to the core's end, is a speck: those
// columns are clear on nearly every row. So is a clear part that stops short of the core's
// end at the fixed edge by no more than a speck: a speck on the fixed edge. A dark speck on an
// edge's ramp leaves a dip in it that the film beyond comes back from, and goes on falling: the dip
// is read across.
double clearWidth(const std::vector<float>& shares, int anchor, int mirrorSum, ClearCore core = {});

// The clear width of one row (see clearWidth), and what it would be were the first gap
// no wider than a speck that ends the clear part on either side crossed: one row alone
// cannot tell a dark speck that cuts off the clear film before the edge from a bright
// speck on the opaque film just beyond it. The rows either side of it can. The two are
// the same where no such gap ends the clear part, and on the fixed edge's side of the
// `core` (see clearCore), or where the core does not tell which side that is.
struct ClearReadings {
  double width = 0.0;
  double throughSpeck = 0.0;
};
ClearReadings clearReadings(const std::vector<float>& shares, int anchor, int mirrorSum,
                            ClearCore core = {});

// Each row's clear width, of `readings` one a row, chosen from the two of it that nearest
// the line through the rows either side where no speck leaves a choice, within a speck's
// width: the sound passes on from row to row. Only where the two lie apart by more than
// twice the usual step from row to row of the plain rows about it: where the sound moves
// as fast, the rows either side do not tell. Returns the rows read through a speck.
int readThroughSpecks(const std::vector<ClearReadings>& readings, std::vector<double>& widths);

// The clear width of one row of a bilateral track (see clearWidth) in its two halves,
// before and after the track's middle `middle` (a column, to a part of one): each
// half's edge moves on its own side, and on a turned scan shows its sound a little
// earlier or later than the other's.
struct ClearSides {
  double before = 0.0;
  double after = 0.0;
};
ClearSides clearSides(const std::vector<float>& shares, int anchor, int mirrorSum, double middle,
                      ClearCore core = {});

// Mends the rows of a bilateral track whose halves' clear widths (see clearSides, one a
// row) a speck on one of them sets apart: the two halves hold one sound, and lie apart
// by as much on every row, but for grain. Where they lie apart by far more than usual for
// at least three rows and no more than `longest` (a speck's, and a row either side of it
// that it covers in part), the half that leaves the curve through the two rows either
// side of them much further, the speck's, is read from the other. A row or two alone is
// the sound outrunning the rows. Returns the rows mended.
int mendHalves(std::vector<double>& before, std::vector<double>& after, int longest);

}  // namespace kelvora
