#pragma once

#include <vector>

#include <opencv2/core.hpp>

namespace kelvora {

// The 2 * `reach` weights that read a row of samples `part` (0 to 1) of a row past a
// whole row y, for the rows y - reach + 1 to y + reach: a Lanczos-windowed sinc,
// summing to 1.
std::vector<double> lanczosWeights(double part, int reach);

// Values a row apart read between rows by those weights, over `reach` rows either side
// of a place (the ends standing for the rows beyond them), the weights kept for `parts`
// parts of a row and taken for the part nearest the place's.
class RowsBetween {
 public:
  RowsBetween(int reach, int parts);
  // `values` (non-empty) at `place`.
  double at(const std::vector<double>& values, double place) const;
  // `values` (non-empty) at each of `places`, into `out`: the same as at() place by
  // place, bit for bit; four places are read side by side.
  void at(const std::vector<double>& values, const std::vector<double>& places,
          std::vector<double>& out) const;

 private:
  // The first row read for `place`, and its weights.
  long tapsFor(double place, const double*& weights) const;
  double clamped(const std::vector<double>& values, long first, const double* w) const;
  int reach_;
  int parts_;
  std::vector<double> table_;
};

// The level of each row of `film` (a float image of levels), the mean of its columns
// near the row's median: a speck of dust or dirt on some of them is left out, and the
// grain still averages. Suits film plain across the row: a variable-density track, the
// clear film beside a track.
std::vector<double> rowLevels(const cv::Mat& film);

// The middle one of the `n` levels from `levels` (the one a sort would put at n / 2):
// the level with no more than n / 2 below it and more than n / 2 below or at it. Each is
// counted against all the others, which for a few dozen is quicker than reordering them.
float middleOfFew(const float* levels, int n);

// The middle one of `values` (the one a sort would put at size / 2; they may be
// reordered), or 0 where there are none: a few that stand apart, a speck's, do not move
// it. Levels from 0 to below 256 are counted by their whole part, and only those of the
// middle's whole part put in order (none where all are whole, as an 8-bit strip's are
// where nothing was read between its pixels); others put in order about the middle.
double middleValue(std::vector<float>& values);

// The level of each row of the window of a variable-density track (levels, rows along
// the film, specks left out as rowLevels leaves them) on a scan turned in the gate by
// `skew` (the film's sideways drift per row): each band of columns few enough for the
// turn to move alike is read at the place the window's middle column shows on the row,
// between rows where it falls there, so that the turn neither delays nor blurs the
// sound. Without a turn, rowLevels of the window.
// Where the window follows the film across the gate (see acrossTheFilm), its row y lying
// `drift` (columns a row) times y - `middleRow` further across than its middle row does,
// the turn shows the film's rows there that much further on: each row is read where the
// window's middle row's column of the gate shows it, so that the rows keep the film's own
// spacing along it, not one stretched by the turn times the drift.
// The columns `leftOut` marks (one entry a column, where given) are not read: a scratch
// hides the film there, and the track's density is the same across it, so the columns
// beside it read the row alone, each with its own grain, as no mended column would.
std::vector<double> densityRows(const cv::Mat& window, double skew, double drift = 0.0,
                                double middleRow = 0.0, const std::vector<bool>& leftOut = {});

}  // namespace kelvora
