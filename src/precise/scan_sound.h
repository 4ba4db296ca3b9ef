#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "precise/hidden_edge.h"
#include "precise/reel_track.h"

namespace kelvora {

// The light along a scan a variable-density negative's samples were read with: `scale`
// times the parabola `shape` (1, t, t^2) in t, the place along the whole scan from -0.5
// to 0.5. Sample i lies at t = first + step * i. The rows it was fitted on summed up,
// their film beside the track (`seen`) and their moments (`moments`: the count, the sum
// of t and of t^2), so that any other shape is fitted on them alike.
struct LightFit {
  double scale = 0.0;
  cv::Vec3d shape{1.0, 0.0, 0.0};
  double seen = 0.0;
  cv::Vec3d moments{0.0, 0.0, 0.0};
  double first = 0.0;
  double step = 0.0;
};

// The sound one scan holds, read by the precise reader.
struct ScanSound {
  // One sample a row of the strip. Variable area: the share of the nominal track width
  // that is clear. Variable density: half the track's transmission against the film
  // beside it, in units of the reel's mean. A negative is read the right way up.
  std::vector<float> samples;
  double offset = 0.0;  // the film's sideways offset from the first scans, columns
  double skew = 0.0;    // sideways drift of the film per row: the turn and the weave
  // A scan read along its turn: the rows of film its samples hold are those at one column
  // of the gate, `timedShift` columns beyond where the track ran on the first scans, a
  // row of film moving `turn` rows for each column further across. 0 where not so read.
  double turn = 0.0;
  double timedShift = 0.0;
  int scratchColumns = 0;       // columns that do not modulate, left out
  std::vector<int> spliceRows;  // rows where the band of a film splice crosses the film
  std::vector<int> hidden;      // strip columns, at the first scans' place, a dark scratch
                                // hides on a unilateral track (see hiddenColumns)
  std::vector<float> picture;   // the mean level of each row of the picture's edge beside
                                // the track: its frame lines
  double pictureLag = 0.0;      // rows a turned scan's picture shows a frame line before the
                                // track's middle does
  int rowsAtFirstColumn = 0;    // variable area: rows whose clear part runs into the window's
  int rowsAtLastColumn = 0;     // first or last column
  int rowsPastTrack = 0;        // variable area: rows whose clear area reaches the window's
                                // outer columns, beyond the track located so far
  // The samples of the faint rows just before and after `samples`, which the gate's
  // shadow dims to under half its light: kept to bridge two scans whose brighter rows
  // do not meet, never matched or measured on.
  std::vector<float> faintBefore;
  std::vector<float> faintAfter;
  // Variable density: the light along the scan as the film beside its track shows it,
  // against its mean, on the rows its light was fitted on: to be added to the reel's
  // (ReelTrack::besideAlong).
  AlongSums besideAlong;
  // Variable density: each row's light as read against the light the fit gives it (1
  // but in the gate's shadow and, on a positive, a splice's band: read by the row's own
  // film).
  std::vector<float> ownLight;
  // Variable density: the track's own level along the scan, against its mean, on the
  // same rows: to be added to the reel's (ReelTrack::trackAlong).
  AlongSums trackAlong;
  // Variable density: the parabola along the scan its samples were read with (see
  // LightFit), to be fitted again to the reel's shape when all scans are read.
  LightFit lightFit;
};

// Reads the rows of `sound` (its faint ones with them) at the column of the gate `columns`
// beyond the one they were timed at (see ScanSound::turn), between rows.
void retimeScan(ScanSound& sound, double columns);

// Adds the light along `sound`'s scan, and its track's level along it, to the reel's
// `track`.
void poolLight(ReelTrack& track, const ScanSound& sound);

// Reads a variable-density track's scans again with the light along each that the
// track's own level along the scans of the whole reel shows (ReelTrack::trackAlong): the
// gate's field lights every scan alike and the sound averages out over them, and the
// track shows the field where it lies, not beside it. Each scan keeps its own level of
// light, as its film beside the track measured it, and the rows read by their own light
// keep it; its faint rows are left as they are. Scans read without a LightFit, or a
// reel whose track shows no shape, are left alone.
void relightAlongScans(std::vector<ScanSound>& scans, const ReelTrack& track);

// Sets the first `before` and the last `after` samples of `sound` aside as its faint
// ones, its splices and picture rows counted from the samples kept.
void setFaintAside(ScanSound& sound, int before, int after);

// Rows at the two ends of a strip that the gate's penumbra dims, given their light back
// (see litStrip): read, but left out of what is measured along the scan.
struct DimmedRows {
  int head = 0;
  int tail = 0;
  int before = 0;  // rows of the scan in the gate's shadow before the strip's first, and
  int after = 0;   // after its last, left unread
  // The share of light each dimmed row was given back by (see LitRows::head and tail):
  // from the strip's first row on, and from its last back.
  std::vector<float> headShares;
  std::vector<float> tailShares;
};

// The level of each column of a strip (rows along the film) as if the strip lay
// straight in the gate: its turn measured and taken out.
std::vector<float> straightColumnLevels(const cv::Mat& strip, const StripLevels& levels);

// The level of each column of a strip (rows along the film) as if the strip lay
// straight in the gate: its turn measured and taken out.
std::vector<float> straightColumnLevels(const cv::Mat& strip, const StripLevels& levels);

// The turn of the gate, as rows of film a column across, that the frame lines in the
// picture (columns `from` to the strip's end, rows `rows`) show: a frame line's edges lie
// across the film, so the turn tilts them and the film's weave, moving it sideways,
// does not. Each sharp step in the picture averaged across (a frame line's edge) is
// placed to a part of a row in each of a few bands of its columns, by the middle of its
// change there, near where the scan's drift `skew` puts it; a straight line through the
// places tilts by the turn. The middle of the steps' turns; NaN where they are too few,
// or disagree.
double pictureTurn(const cv::Mat& strip, const StripLevels& levels, int from, cv::Range rows,
                   double skew);

// Reads the sound of one track strip (see trackStrip) of a reel whose track is `track`;
// `trackWidth` is the nominal track width in columns. The film's place, turn, levels
// and scratches are measured on the rows `dimmed` leaves; its rows are read with them,
// each at its own clear or opaque level.
// `earlierDrifts` are the drifts (see ScanSound::skew) of the reel's scans read before it,
// `laterDrifts` those of scans after it already measured (see scanDrift).
ScanSound readScanSound(const cv::Mat& strip, const ReelTrack& track, int trackWidth,
                        DimmedRows dimmed = {}, const std::vector<double>& earlierDrifts = {},
                        const std::vector<double>& laterDrifts = {});

// The film's sideways drift per row on a track strip of a reel whose track is `track`, as
// readScanSound measures it (ScanSound::skew) on the rows `dimmed` leaves, before its
// sound is read; NaN where the strip does not tell it.
double scanDrift(const cv::Mat& strip, const ReelTrack& track, const DimmedRows& dimmed);

// Whether the drifts per row of a reel's scans, `drift` on one and `others` on the rest
// (NaN where untold), agree on the gate's turn `turn`: this scan's drift and three
// quarters of all, three at least, within a quarter of it. The film's weave drifts each
// scan its own way, and its drift over one scan may be as large as a small turn's.
bool turnAgreed(double turn, double drift, const std::vector<double>& others);
// The turn of the gate a scan of `rows` rows was read in, as rows of film per column
// across: the middle of the sideways drifts per row the scans of the reel measure,
// `drift` on this one and `earlierDrifts` on those before it. The gate's turn is the
// same for every scan; the film weaving in it adds a little to one scan's drift and
// takes a little from the next one's, so the middle of them is the turn. A scan whose
// drift lies further from it than the weave could take it, over its length, was turned
// on its own (a strip laid on the scanner by hand): its own drift is its turn.
double gateTurn(double drift, const std::vector<double>& earlierDrifts, int rows);

// Mends the scratches of a window of track (rows along the film): a line a few
// columns wide whose level stands apart from the film on both sides of it, or that
// stays put where the film on both sides moves with the sound. It is read from its
// mirror column where the track is bilateral, else as the film beside it.
// `mirrorSum`, when not -1, is twice the middle of a bilateral track, to a part of a
// column: its clear core is still and bright but film, and the column mirroring
// column x is mirrorSum - x, read between columns. `range` is the span from opaque to
// clear. The scratches are found on the rows `measured`, and mended on all. On a scan
// turned in the gate by `turn` rows of film a column across and straightened across only,
// a mirror column is read at the row that shows the film the mended column does.
// `widest`, when above 0: a scratch up to that many columns wide (a fine resolution's),
// whose middle columns the film either side no longer reaches, is found as a run of
// still columns between film that moves on every column a few either side of it; where
// `twoEdges` (a bilateral track, its clear core still between its moving edges) not
// about its middle. Returns the columns mended; each run of them a bright line holds is
// added to `mended` where given.
int mendScratches(cv::Mat& window, float range, double mirrorSum,
                  cv::Range measured = cv::Range::all(), double turn = 0.0, int widest = 0,
                  bool twoEdges = true, std::vector<ColumnSpan>* mended = nullptr);

// A smooth level along a scan: the least-squares parabola through `values` (one a
// row, weighted by `weights`), evaluated at every row.
std::vector<double> smoothLevel(const std::vector<double>& values,
                                const std::vector<double>& weights);

}  // namespace kelvora
