// Whole soundtrack jobs with the precise reader on generated reels of aged film,
// against the ideal reader that knows where the generator put the track and the joins.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include "audio/archive_writer.h"
#include "jobs/frame_listing.h"
#include "jobs/sound_job.h"
#include "precise/reel_level.h"
#include "precise/reel_track.h"
#include "precise/scan_joins.h"
#include "precise/scan_sound.h"
#include "reel/dust.h"
#include "reel/ideal_reader.h"
#include "reel/random_reel.h"
#include "reel/reel.h"
#include "reel/sound_quality.h"
#include "scans/scan_names.h"
#include "support/sound_run.h"
#include "support/temp_dir.h"

namespace kelvora {
namespace {

struct AgedReel {
  const char* name;
  std::function<void(reel::ReelOptions&)> age;
  int missingScan = -1;      // a scan file taken away (0-based)
  int flagged = 0;           // joins the reader must flag
  int splices = 0;           // splices it must find
  double shortfall = 1.0;    // dB the reader may lie under the ideal one
  int clicks = 0;            // clicks it may have that neither the ideal reader nor dust has
  bool joinsToARow = false;  // joins placed by the frame lines may lie a row off
};

// Samples of the sound tracked against the film at one lag and gain (see trackedQuality).
constexpr long kTrackingBlock = 2048;

// Clicks in the sound `read` that the ideal reader's sound does not have near, and that
// lie away from every speck of dust crossing the track and from a bridged gap between
// `gapFrom` and `gapTo`.
int clicksOffTheDust(const reel::Reel& reel, const std::vector<float>& read,
                     const std::vector<float>& ideal, long gapFrom = 0, long gapTo = -1) {
  const std::vector<reel::ClickRun> idealClicks =
      reel::clickRunsIn(reel::trackedResidual(ideal, reel.audio));
  int count = 0;
  for (const int at : reel::clicksIn(reel::trackedResidual(read, reel.audio))) {
    // Near anywhere on the ideal reader's run of errors, not only where it departs most.
    const bool inIdeal = std::any_of(
        idealClicks.begin(), idealClicks.end(),
        [at](const reel::ClickRun& c) { return at >= c.first - 16 && at <= c.last + 16; });
    const bool onDust =
        std::any_of(reel.film.specks.begin(), reel.film.specks.end(), [&](const reel::Speck& s) {
          const reel::RowRange r = reel::trackRowsOf(reel.geometry, s);
          return r.first <= r.last && at >= r.first - 4 && at <= r.last + 4;
        });
    // The ideal reader reads the scan that is missing: a block of the sound that holds
    // the bridge fits the film at another gain, and its whole residual stands out.
    const bool nearGap = at >= gapFrom - kTrackingBlock && at <= gapTo + kTrackingBlock;
    count += inIdeal || onDust || nearGap ? 0 : 1;
  }
  return count;
}

void PrintTo(const AgedReel& kind, std::ostream* os) { *os << kind.name; }

// The gap a missing scan leaves (before the scan read as `later`) holds the resting
// level: no step from the sound around it, no thump.
void expectQuietBridge(const std::vector<float>& sound, const SoundJobReport& report, int later) {
  const std::vector<FrameReading>& frames = report.frames;
  ASSERT_LT(later, static_cast<int>(frames.size()));
  long place = 0;
  for (int k = 1; k < later; ++k) place += frames[static_cast<size_t>(k)].cutPoint;
  const long from = place + frames[static_cast<size_t>(later - 1)].samples;
  const long to = place + frames[static_cast<size_t>(later)].cutPoint;
  // Clear of the gate's shadow and of the ease into the gap at either end.
  const long margin = (to - from) / 10;
  ASSERT_GT(to - from, 4 * margin);
  ASSERT_LE(to, static_cast<long>(sound.size()));
  double sum = 0.0, around = 0.0;
  float step = 0.0f;
  for (long i = from + margin; i < to - margin; ++i) {
    sum += sound[static_cast<size_t>(i)];
    step =
        std::max(step, std::abs(sound[static_cast<size_t>(i)] - sound[static_cast<size_t>(i - 1)]));
  }
  const long span = to - from;
  for (long i = std::max(0L, from - span); i < from; ++i) around += sound[static_cast<size_t>(i)];
  const double gapLevel = sum / static_cast<double>(to - from - 2 * margin);
  const double aroundLevel = around / static_cast<double>(from - std::max(0L, from - span));
  EXPECT_LT(std::abs(gapLevel - aroundLevel), 0.01) << "the bridge stands off the sound's level";
  EXPECT_LT(step, 0.002f) << "the bridge moves";
}

class PreciseReaderTest : public ::testing::TestWithParam<AgedReel> {};

TEST_P(PreciseReaderTest, ReadsAllTheSoundTheFilmHolds) {
  const AgedReel& kind = GetParam();
  test::TempDir dir;
  reel::ReelOptions o;
  o.scans = 24;
  kind.age(o);
  const reel::Reel reel = reel::writeReel(o, dir.file("reel"));
  const std::vector<float> ideal = reel::idealSound(reel);
  if (kind.missingScan >= 0)
    std::filesystem::remove(reel.scanPaths[static_cast<size_t>(kind.missingScan)]);

  JobSettings s = test::settingsForReel(o);
  s.sound.reader = Reader::Precise;
  s.sound.output.format = SoundFormat::Float;
  s.sound.aChain = false;
  const int scans = o.scans - (kind.missingScan >= 0 ? 1 : 0);
  const test::SoundRun run =
      test::runSoundJob(reel.scanPaths.front(), dir.file("precise.wav"), s, 1, scans);
  ASSERT_EQ(run.outcome, JobOutcome::Finished) << run.report.failure;
  EXPECT_TRUE(run.status.back().ends_with("Pictures were tranlated succesfully!"));
  std::vector<float> sound;
  int rate = 0;
  ASSERT_EQ(readSoundSamples(dir.file("precise.wav"), sound, rate), "");

  const reel::SoundQuality precise = reel::trackedQuality(sound, reel.audio);
  const reel::SoundQuality best = reel::trackedQuality(ideal, reel.audio);
  long gapFrom = 0, gapTo = -1;
  if (kind.missingScan >= 0) {
    for (int k = 1; k < kind.missingScan; ++k) gapFrom += run.report.frames[k].cutPoint;
    gapFrom += run.report.frames[static_cast<size_t>(kind.missingScan - 1)].samples;
    gapTo = gapFrom - run.report.frames[static_cast<size_t>(kind.missingScan - 1)].samples +
            run.report.frames[static_cast<size_t>(kind.missingScan)].cutPoint;
  }
  const int clicks = clicksOffTheDust(reel, sound, ideal, gapFrom, gapTo);
  std::printf("%s: precise %.1f dB, ideal %.1f dB, %d clicks off the dust\n", kind.name,
              precise.snrDb, best.snrDb, clicks);
  EXPECT_LE(clicks, kind.clicks);
  if (kind.missingScan < 0) {
    EXPECT_GE(precise.snrDb, best.snrDb - kind.shortfall);
  } else {
    expectQuietBridge(sound, run.report, kind.missingScan);
    // Against the film as the scans left hold it (rows no scan holds silent, in the
    // ideal reader's sound too, which read the scan taken away): the sound meets the
    // silence where the scans end, and the rows either side of the gap are read.
    reel::Reel left = reel;
    left.scanNumbers.erase(left.scanNumbers.begin() + kind.missingScan);
    const std::vector<bool> held = reel::scannedRows(left);
    std::vector<float> film = reel.audio, idealLeft = ideal;
    for (size_t i = 0; i < held.size() && i < film.size() && i < idealLeft.size(); ++i)
      if (!held[i]) film[i] = idealLeft[i] = 0.0f;
    const double heldPrecise = reel::trackedQuality(sound, film).snrDb;
    const double heldIdeal = reel::trackedQuality(idealLeft, film).snrDb;
    std::printf("%s, the film the scans hold: precise %.1f dB, ideal %.1f dB\n", kind.name,
                heldPrecise, heldIdeal);
    EXPECT_GE(heldPrecise, heldIdeal - kind.shortfall);
  }
  if (!kind.joinsToARow) {
    EXPECT_EQ(precise.lagChanges, 0) << "a sample dropped or repeated";
  }
  // Every join, quiet ones too, where the scanner put it (scans in the files' order);
  // steps between rows are joined at whole rows and placed by the reel's step.
  const int n = o.scans;
  for (int k = 1; k < n && kind.missingScan < 0 && !o.partRowSteps; ++k) {
    const int later = o.inverse ? n - k : k;
    EXPECT_NEAR(run.report.frames[static_cast<size_t>(k)].cutPoint,
                reel.geometry.scanStart(later) - reel.geometry.scanStart(later - 1),
                kind.joinsToARow ? 1 : 0)
        << "join " << k;
  }
  EXPECT_EQ(run.report.reading.flaggedJoins, kind.flagged);
  EXPECT_EQ(static_cast<int>(run.report.reading.spliceSeconds.size()), kind.splices)
      << (run.report.warnings.empty() ? "" : run.report.warnings.front());
  EXPECT_EQ(run.report.reading.negative, o.negative);
  EXPECT_LT(std::abs(rate - reel.geometry.trueRate) / reel.geometry.trueRate, 100e-6);
}

// The aged reels, each a fault or several on the generator's film, with what the
// reader may fall short of the ideal reader by.
std::vector<AgedReel> agedReels() {
  return {
      AgedReel{"silent_leader_then_loud_unilateral",
               [](reel::ReelOptions& o) {
                 o.leaderFrames = 6;
                 o.level = 2.0;
                 o.unilateral = true;
               },
               -1, 0, 0, 2.0},
      // A turned scan's slanting edges are read a little less well than the ideal reader reads
      // them.
      AgedReel{"shrunk_weave_skew_jitter",
               [](reel::ReelOptions& o) {
                 o.shrinkage = 0.01;
                 o.weave = 3.0;
                 o.skewDegrees = 0.3;
                 o.stepJitter = 3.0;
               },
               -1, 0, 0, 3.0},
      AgedReel{"scratch_negative",
               [](reel::ReelOptions& o) {
                 o.negative = true;
                 o.scratch = 0.55;
                 o.darkScratch = true;
               },
               -1, 0, 0, 1.0, 9},
      AgedReel{"uneven_light_drift",
               [](reel::ReelOptions& o) {
                 o.vignetting = 0.15;
                 o.flicker = 0.05;
                 o.densityDrift = 0.15;
               }},
      AgedReel{"grey_16bit_DOWN_inverse",
               [](reel::ReelOptions& o) {
                 o.colour = false;
                 o.deep = true;
                 o.level = 0.3;
                 o.directionUp = false;
                 o.inverse = true;
                 o.overlap = 0.1;
               }},
      AgedReel{"variable_density_negative_after_leader",
               [](reel::ReelOptions& o) {
                 o.filmType = 2;
                 o.negative = true;
                 o.densityDrift = 0.1;
                 o.leaderFrames = 6;
               },
               -1, 0, 0, 0.5},
      AgedReel{"sixteen_strips_DOWN",
               [](reel::ReelOptions& o) {
                 o.filmType = 3;
                 o.dpi = 1800;
                 o.longStrip = true;
                 o.directionUp = false;
                 o.scans = 10;
               }},
      AgedReel{"shrunk_steps_between_rows_tones",
               [](reel::ReelOptions& o) {
                 o.shrinkage = 0.01;
                 o.partRowSteps = true;
                 o.programme = reel::Programme::Tones;
               }},
      AgedReel{"thirtyfive_strips_tones",
               [](reel::ReelOptions& o) {
                 o.longStrip = true;
                 o.scans = 10;
                 o.programme = reel::Programme::Tones;
               }},
      // The cement band of a splice dims the track: given its light back, the clicks left at its
      // edges are held where they stand.
      AgedReel{"splices_and_a_silent_leader_jittered",
               [](reel::ReelOptions& o) {
                 o.splices = {10, 17};
                 o.leaderFrames = 8;
                 o.stepJitter = 4.0;
               },
               // The cement's band is read through, as the sound under it.
               -1, 0, 2, 3.0, 4},
      AgedReel{"missing_scan", [](reel::ReelOptions&) {}, 9, 1, 0, 1.0, 32},
      // A negative's lamp flickering from scan to scan and falling off towards the corners, a scan
      // missing: the scans meet at one level across their overlaps, and the gap rests at theirs.
      // The fall along each scan is still taken out a little off, scan by scan: what that loses is
      // held where it stands.
      AgedReel{"variable_density_negative_flicker_missing_scan",
               [](reel::ReelOptions& o) {
                 o.filmType = 2;
                 o.negative = true;
                 o.vignetting = 0.14;
                 o.flicker = 0.08;
                 o.densityDrift = 0.1;
               },
               9, 1, 0, 2.0},
      // Dust on the film, the same specks in both scans that overlap: read around. What the reader
      // still loses against the ideal reader, and the clicks it still has off the dust, are held
      // where they stand.
      AgedReel{"dust_bilateral", [](reel::ReelOptions& o) { o.dust = 8.0; }, -1, 0, 0, 2.0},
      AgedReel{"dust_unilateral",
               [](reel::ReelOptions& o) {
                 o.dust = 8.0;
                 o.unilateral = true;
                 o.level = 1.5;
               },
               -1, 0, 0, 1.0},
      // Dusty 16 mm unilateral frames, shrunk and weaving, tones: a speck lying on the moving
      // edge's tip hides where it went on the rows it ends, read from the rows about them.
      AgedReel{"dust_on_a_unilateral_edge_tip",
               [](reel::ReelOptions& o) { o = reel::randomArchiveReel(113); }, -1, 0, 0, 0.0},
      // A lamp falling off across a loud 16 mm unilateral track: its moving edge reaches into
      // columns lit otherwise than those about its fixed one. Read as if lit alike, its loudest
      // peaks do not swell, and it is read above the ideal reader as on even light.
      AgedReel{"loud_unilateral_in_uneven_light",
               [](reel::ReelOptions& o) {
                 o.filmType = 3;
                 o.unilateral = true;
                 o.dpi = 3970;
                 o.scans = 6;
                 o.level = 1.55;
                 o.vignetting = 0.18;
               },
               -1, 0, 0, -2.0},
      AgedReel{"sixteen_strips_bright_scratch_dust",
               [](reel::ReelOptions& o) {
                 o.filmType = 3;
                 o.dpi = 1800;
                 o.longStrip = true;
                 o.scans = 10;
                 o.scratch = 0.4;
                 o.dust = 8.0;
               },
               -1, 0, 0, 1.0, 14},
      AgedReel{"dust_negative_unilateral_weave_flicker",
               [](reel::ReelOptions& o) {
                 o.negative = true;
                 o.unilateral = true;
                 o.dust = 8.0;
                 o.weave = 2.0;
                 o.vignetting = 0.1;
                 o.flicker = 0.05;
               },
               -1, 0, 0, 2.5},
      // Light uneven along the scans and from scan to scan moves the clear film beside a variable-
      // density positive's track more than its sound moves the track: the track is still found
      // within its own edges, and read as a positive. The lamp's field falls deeper along the
      // track, further out across the film, than beside it: the overlaps show how much.
      AgedReel{"variable_density_uneven_light_gate_shadow",
               [](reel::ReelOptions& o) {
                 o.filmType = 2;
                 o.scans = 10;
                 o.overlap = 0.19;
                 o.vignetting = 0.2;
                 o.flicker = 0.08;
                 o.gateShadow = 0.88;
               },
               -1, 0, 0, 0.5},
      // A bright scratch across the track, which the weave moves, does not end the track there. A
      // variable-density track turned in the gate at a fine resolution: its rows are timed at one
      // column of the gate, not where the film's drift across carries the track, whose rows would
      // play a few in a hundred thousand slow and lose the top of the sound scan by scan.
      AgedReel{"variable_density_turned_fine",
               [](reel::ReelOptions& o) {
                 o.filmType = 2;
                 o.scans = 6;
                 o.dpi = 1800;
                 o.colour = false;
                 o.skewDegrees = 0.4;
               },
               -1, 0, 0, 0.5},
      // A bright scratch in a unilateral track's swing, at a fine resolution wider than the film
      // each column is held against: a still run between the moving film, mended across.
      AgedReel{"sixteen_unilateral_wide_bright_scratch",
               [](reel::ReelOptions& o) {
                 o.filmType = 3;
                 o.dpi = 2400;
                 o.scans = 6;
                 o.colour = false;
                 o.unilateral = true;
                 o.scratch = 0.43;
               },
               // An edge under the scratch is read at its middle, as the ideal reader reads it: it
               // errs alike, a little apart.
               -1, 0, 0, 1.0, 2},
      // A dark scratch on the opaque film that only the loudest moments' clear part reaches: it
      // cuts their edge short unless mended.
      AgedReel{"bilateral_dark_scratch_at_the_loud_reach",
               [](reel::ReelOptions& o) {
                 o.dpi = 2400;
                 o.scans = 5;
                 o.colour = false;
                 o.scratch = 0.15;
                 o.darkScratch = true;
               }},
      // A dark scratch in a unilateral track's swing, which hides the moving edge on the rows whose
      // sound lies in a band: the rows about them tell where it went.
      AgedReel{"unilateral_dark_scratch_in_the_swing",
               [](reel::ReelOptions& o) {
                 o.dpi = 2000;
                 o.scans = 5;
                 o.colour = false;
                 o.unilateral = true;
                 o.level = 0.53;
                 o.scratch = 0.56;
                 o.darkScratch = true;
               },
               // The ideal reader puts the edge in the scratch's middle: read from the rows about,
               // well above it. A loud moment that lingers under it errs alike.
               -1, 0, 0, -6.0, 2},
      // Loud speech at a fine resolution: the edge sweeps a dozen columns within a row, its ramp
      // across the scratch, and the scratch's far edge covers part of the column after it.
      AgedReel{"unilateral_dark_scratch_crossed_by_ramps",
               [](reel::ReelOptions& o) {
                 o.dpi = 4000;
                 o.scans = 4;
                 o.colour = false;
                 o.unilateral = true;
                 o.level = 1.26;
                 o.scratch = 0.34;
                 o.darkScratch = true;
               }},
      // The same on a turned negative, where the scratch shows as a clear line.
      AgedReel{"unilateral_negative_dark_scratch_turned",
               [](reel::ReelOptions& o) {
                 o.dpi = 1200;
                 o.scans = 6;
                 o.colour = false;
                 o.unilateral = true;
                 o.negative = true;
                 o.programme = reel::Programme::Tones;
                 o.level = 1.46;
                 o.skewDegrees = 0.29;
                 o.scratch = 0.77;
                 o.darkScratch = true;
               },
               -1, 0, 0, 1.0, 1},
      AgedReel{"variable_density_bright_scratch_weave_light",
               [](reel::ReelOptions& o) {
                 o.filmType = 2;
                 o.scans = 8;
                 o.dpi = 2000;
                 o.colour = false;
                 o.weave = 1.6;
                 o.scratch = 0.64;
                 o.vignetting = 0.18;
                 o.flicker = 0.05;
               }},
      // Quiet joins on a silent leader, a short overlap away, placed by the frame lines: on the row
      // the scanner stepped the shrunken film to.
      AgedReel{"variable_density_shrunk_leader_short_overlap",
               [](reel::ReelOptions& o) {
                 o.filmType = 2;
                 o.scans = 11;
                 o.dpi = 2000;
                 o.colour = false;
                 o.deep = true;
                 o.fps = 24;
                 o.overlap = 0.11;
                 o.shrinkage = 0.0109;
                 o.leaderFrames = 3;
                 o.vignetting = 0.09;
                 o.flicker = 0.02;
                 o.directionUp = false;
               }},
      AgedReel{"dust_variable_density_negative_drift",
               [](reel::ReelOptions& o) {
                 o.filmType = 2;
                 o.negative = true;
                 o.dust = 6.0;
                 o.flicker = 0.05;
                 o.densityDrift = 0.1;
                 o.deep = true;
               },
               -1, 0, 0, 1.0},
      // A negative's splices are found as a positive's, and no speck is one.
      AgedReel{"splices_on_a_dusty_negative",
               [](reel::ReelOptions& o) {
                 o.negative = true;
                 o.splices = {10, 17};
                 o.dust = 8.0;
               },
               -1, 0, 2, 1.5},
      // Strips turned in the gate: the sound reaches near the rows' own limit, and the turn moves
      // the track's columns by parts of a row.
      AgedReel{"turned_sixteen_strips",
               [](reel::ReelOptions& o) {
                 o.filmType = 3;
                 o.dpi = 1800;
                 o.longStrip = true;
                 o.scans = 8;
                 o.skewDegrees = -0.34;
               },
               -1, 0, 0, 4.5, 1},
      // A short scan turned a little in the gate, drifting across by a column, and a scanner
      // stepping by the film's own pitch: the scans' drifts agree on the turn, which times the
      // moving edge a part of a row early or late across its swing; the scans lie between rows.
      AgedReel{"sixteen_negative_inverse_turned_a_little_"
               "between_rows",
               [](reel::ReelOptions& o) {
                 o.filmType = 3;
                 o.dpi = 1200;
                 o.scans = 16;
                 o.unilateral = true;
                 o.negative = true;
                 o.inverse = true;
                 o.directionUp = false;
                 o.level = 1.4;
                 o.shrinkage = 0.012;
                 o.skewDegrees = 0.14;
                 o.partRowSteps = true;
               },
               -1, 0, 0, 1.0},
      // What it still loses there against the ideal reader is held where it stands.
      AgedReel{"splices_in_sixteen_strips",
               [](reel::ReelOptions& o) {
                 o.filmType = 3;
                 o.dpi = 1800;
                 o.longStrip = true;
                 o.scans = 8;
                 o.splices = {6, 19};
               },
               -1, 0, 2, 5.5, 2},
      AgedReel{"gate_shadow", [](reel::ReelOptions& o) { o.gateShadow = 0.9; }},
      AgedReel{"dusty_weaving_negative_in_long_strips",
               [](reel::ReelOptions& o) {
                 o.negative = true;
                 o.longStrip = true;
                 o.scans = 8;
                 o.dust = 6.0;
                 o.weave = 2.0;
                 o.dpi = 1200;
               },
               // Specks on the first strips leave the track where it is: every join matches.
               -1, 0, 0, 1.0},
      AgedReel{"dark_scratch_dust_bilateral",
               [](reel::ReelOptions& o) {
                 o.scans = 8;
                 o.dpi = 2400;
                 o.scratch = 0.2;
                 o.darkScratch = true;
                 o.dust = 4.0;
                 o.level = 1.5;
               },
               // Peaks whose edge lies under the scratch, read from the other side.
               -1, 0, 0, 1.0},
      // A dark scratch on a unilateral negative, clear once turned over, just beyond where the
      // loudest tones take the moving edge: the edge runs on into it unless it is mended.
      AgedReel{"unilateral_negative_clear_line_beyond_"
               "the_edge",
               [](reel::ReelOptions& o) {
                 o.scans = 4;
                 o.dpi = 3000;
                 o.inverse = true;
                 o.colour = false;
                 o.unilateral = true;
                 o.negative = true;
                 o.programme = reel::Programme::Tones;
                 o.level = 1.15;
                 o.scratch = 0.74;
                 o.darkScratch = true;
               },
               // A peak whose edge lies under the line is read between the film either side.
               -1, 0, 0, 1.0, 1},
      AgedReel{"dark_scratch_on_a_dusty_negative",
               [](reel::ReelOptions& o) {
                 o.scans = 8;
                 o.dpi = 2000;
                 o.negative = true;
                 o.scratch = 0.66;
                 o.darkScratch = true;
                 o.dust = 4.0;
               }},
      // A bright scratch on a negative, dark once turned over, out where only the loudest moments
      // reach: the track as located ends at it, and its mirror image says it is a scratch.
      AgedReel{"sixteen_strips_bright_scratch_on_a_negative",
               [](reel::ReelOptions& o) {
                 o.filmType = 3;
                 o.dpi = 1800;
                 o.longStrip = true;
                 o.scans = 8;
                 o.negative = true;
                 o.inverse = true;
                 o.scratch = 0.22;
               }},
      AgedReel{"turned_negative_strips_gate_shadow",
               [](reel::ReelOptions& o) {
                 o.scans = 4;
                 o.dpi = 2400;
                 o.longStrip = true;
                 o.negative = true;
                 o.unilateral = true;
                 o.skewDegrees = 0.2;
                 o.gateShadow = 0.7;
               },
               // The track is found past the film's edge that the turn moves across the strip's
               // first columns, its rows timed where its moving edge lies.
               -1, 0, 0, 1.0},
      // The clicks it still has off the dust, in the scans before the gap, are held where they
      // stand.
      AgedReel{"missing_scan_dust_gate_shadow",
               [](reel::ReelOptions& o) {
                 o.dust = 6.0;
                 o.gateShadow = 0.7;
               },
               // The penumbra's dimmed rows either side of the gap, which the ideal reader reads,
               // are lost.
               9, 1, 0, 3.0, 31},
      AgedReel{"dust_gate_shadow_shrunk_loud",
               [](reel::ReelOptions& o) {
                 o.dust = 6.0;
                 o.gateShadow = 0.8;
                 o.shrinkage = 0.012;
                 o.level = 1.3;
               },
               -1, 0, 0, 8.0},
      // Unilateral tracks whose loudest peaks swing past the track the first scans showed, on a row
      // or two each: the window read is widened for them, and no peak is cut off. 16 mm at 2400 dpi
      // after a silent leader, dusty; 35 mm strips at 900 dpi in the gate's shadow.
      AgedReel{"unilateral_peaks_past_a_leader_dust",
               [](reel::ReelOptions& o) { o = reel::randomArchiveReel(28); }},
      // A bright scratch in a unilateral track's swing, in 35 mm strips at 1200 dpi, inverse: the
      // columns it covers in part show the film through the rest and are read through it, where a
      // straight line across the scratch clicks wherever the edge ends under it. A loud row whose
      // edge ends under the columns it covers whole is read from the rows about it.
      AgedReel{"unilateral_strips_bright_scratch_in_the_swing",
               [](reel::ReelOptions& o) {
                 o = reel::randomArchiveReel(70);
                 o.scans = 4;
               }},
      // A peak of the strips whose edge moved far within the row runs out of the window in a ramp
      // of half-clear columns: the window is widened for it too.
      AgedReel{"unilateral_strips_peaks_in_shadow",
               [](reel::ReelOptions& o) { o = reel::randomArchiveReel(38); }},
      // 35 mm frames after a silent leader, the gate's shadow deep: a peak swings past the window
      // widened once for it, and the window is widened again until it holds the peak.
      AgedReel{"unilateral_peak_past_a_window_widened_once",
               [](reel::ReelOptions& o) {
                 o = reel::randomArchiveReel(4);
                 o.missingScans.clear();
               }},
      // A bilateral negative in 35 mm strips, loud speech, spliced: both edges are long ramps where
      // grain splits each into runs, mirror images of each other. A half-clear column between them
      // is the ramp's, read as it is.
      AgedReel{"bilateral_negative_strips_ramps_split_by_grain",
               [](reel::ReelOptions& o) { o = reel::randomArchiveReel(9); }, -1, 0, 2},
      // Variable density turned in the gate and weaving, a splice on it: the track found across its
      // whole width, not at the film's edge, read across all of it but its edges' own columns, and
      // the splice's band read against the light it leaves: each end of it, which the film beside
      // the track shows a part of a row away, darkens the track's rows by the part of them it
      // covers, not spread over two.
      AgedReel{"variable_density_turned_spliced",
               [](reel::ReelOptions& o) {
                 o.filmType = 2;
                 o.dpi = 1200;
                 o.scans = 13;
                 o.shrinkage = 0.014;
                 o.weave = 1.0;
                 o.skewDegrees = -0.3;
                 o.splices = {7};
                 o.framesCut = 2;
               },
               -1, 0, 1, 1.0},
      // Variable density in 35 mm frames turned in the gate and weaving, two splices, the gate's
      // shadow: each band's ends placed on the clear film beside the track by the rows next to
      // them, not through the grain of rows a few away, which puts an end a tenth of a row off and
      // the row it lies in clicks.
      AgedReel{"variable_density_turned_two_splices_shadow",
               [](reel::ReelOptions& o) { o = reel::randomArchiveReel(102); }, -1, 0, 2, 0.5},
      AgedReel{"variable_density_inverse_strips_splice",
               [](reel::ReelOptions& o) {
                 o.filmType = 2;
                 o.dpi = 1200;
                 o.longStrip = true;
                 o.scans = 8;
                 o.directionUp = false;
                 o.inverse = true;
                 o.splices = {2};
                 o.framesCut = 2;
               },
               -1, 0, 1, 0.5},
      // Variable density turned, weaving and shaded by the gate, a scan missing: the gap said and
      // bridged without a step, the penumbra's rows more than half lit read.
      AgedReel{"variable_density_shadow_missing_scan",
               [](reel::ReelOptions& o) {
                 o.filmType = 2;
                 o.dpi = 1200;
                 o.weave = 2.6;
                 o.skewDegrees = -0.36;
                 o.gateShadow = 0.6;
                 o.programme = reel::Programme::Tones;
               },
               9, 1, 0, 2.0, 2},
      // Tones on dusty variable density in long strips, a scan missing: the tones match a period
      // away across the gap, which is still said.
      AgedReel{"variable_density_dusty_strips_tones_missing",
               [](reel::ReelOptions& o) {
                 o.filmType = 2;
                 o.dpi = 1200;
                 o.longStrip = true;
                 o.scans = 8;
                 o.programme = reel::Programme::Tones;
                 o.level = 1.5;
                 o.dust = 6.0;
                 o.densityDrift = 0.12;
                 o.shrinkage = 0.012;
               },
               3, 1, 0, 1.0, 1},
      // Variable-density negatives: the film beside the track is dark and grainy, the track the
      // clearest film, so the light along a scan and in the gate's penumbra is measured over the
      // reel, not row by row.
      AgedReel{"variable_density_negative_deep_shadow_weave",
               [](reel::ReelOptions& o) {
                 o.filmType = 2;
                 o.dpi = 1200;
                 o.negative = true;
                 o.deep = true;
                 o.weave = 1.7;
                 o.shrinkage = 0.011;
                 o.gateShadow = 0.93;
               },
               -1, 0, 0, 1.0},
      // What the first still loses against the ideal reader (the rows about the gap) is held where
      // it stands. The second's light along the scan is the gate's, the same on every scan: read
      // over the whole reel, on its track as well as on the dark film beside it.
      AgedReel{"variable_density_negative_turned_shadow_gap",
               [](reel::ReelOptions& o) {
                 o.filmType = 2;
                 o.dpi = 1200;
                 o.negative = true;
                 o.weave = 2.6;
                 o.skewDegrees = -0.36;
                 o.gateShadow = 0.6;
                 o.programme = reel::Programme::Tones;
               },
               9, 1, 0, 5.5, 2},
      // A dark scratch along a negative's track, under a flickering lamp whose field falls off
      // towards the corners: the scratch's columns left out of the rows, the overlaps read from
      // both scans alike.
      AgedReel{"variable_density_negative_dark_scratch_flicker",
               [](reel::ReelOptions& o) {
                 o.filmType = 2;
                 o.dpi = 900;
                 o.fps = 24;
                 o.scans = 16;
                 o.overlap = 0.12;
                 o.negative = true;
                 o.inverse = true;
                 o.scratch = 0.59;
                 o.darkScratch = true;
                 o.vignetting = 0.14;
                 o.flicker = 0.08;
                 o.level = 1.74;
               },
               -1, 0, 0, 0.8},
      AgedReel{"variable_density_negative_dust_light",
               [](reel::ReelOptions& o) {
                 o.filmType = 2;
                 o.dpi = 2000;
                 o.scans = 10;
                 o.negative = true;
                 o.colour = false;
                 o.dust = 6.0;
                 o.vignetting = 0.18;
                 o.flicker = 0.05;
                 o.gateShadow = 0.9;
               },
               -1, 0, 0, 1.0},
      AgedReel{"sixteen_strips_dust_shadow_weave_shrunk",
               [](reel::ReelOptions& o) {
                 o.filmType = 3;
                 o.dpi = 2000;
                 o.longStrip = true;
                 o.scans = 8;
                 o.dust = 6.0;
                 o.gateShadow = 0.6;
                 o.weave = 2.0;
                 o.shrinkage = 0.01;
               },
               -1, 0, 0, 5.0},
      // 16 mm strips at about 4000 dpi whose overlap lies in the gate's penumbra: its rows more
      // than half lit are read, given their light back, and the strips join on them.
      AgedReel{"sixteen_strips_4000_dpi_tones_overlap_in_the_"
               "shadow",
               [](reel::ReelOptions& o) {
                 o.filmType = 3;
                 o.dpi = 4000;
                 o.longStrip = true;
                 o.stripOverlap = 0.11;
                 o.scans = 6;
                 o.programme = reel::Programme::Tones;
                 o.gateShadow = 0.64;
                 o.shrinkage = 0.004;
               },
               -1, 0, 0, 1.0, 1},
      // A loud tone matches across a missing scan a few rows off the scanner's step: the scan is
      // still missing.
      AgedReel{"tones_across_a_missing_scan",
               [](reel::ReelOptions& o) {
                 o.filmType = 3;
                 o.dpi = 1800;
                 o.programme = reel::Programme::Tones;
                 o.level = 0.54;
                 o.overlap = 0.32;
                 o.stepJitter = 3.0;
               },
               13, 1, 0, 1.0, 32},
      // The frame lines either side of a missing scan count its step in the film's pitch.
      AgedReel{"thirtyfive_3970_dpi_jittered_missing_scan",
               [](reel::ReelOptions& o) {
                 o.dpi = 3970;
                 o.shrinkage = 0.0055;
                 o.stepJitter = 2.0;
                 o.overlap = 0.19;
               },
               3, 1, 0, 1.0, 32},
      // A dark scratch inside the clear part of a bilateral 16 mm track, under light falling
      // towards the scan's corners: the scratch's edge columns are no mirror image, the rest is,
      // and the scratch is read from its mirror.
      AgedReel{"sixteen_dark_scratch_in_the_clear_part",
               [](reel::ReelOptions& o) {
                 o.filmType = 3;
                 o.dpi = 1200;
                 o.colour = false;
                 o.deep = true;
                 o.level = 0.63;
                 o.scratch = 0.32;
                 o.darkScratch = true;
                 o.vignetting = 0.19;
               }},
      // The gate's shadow on 16 mm frames with little overlap, the lamp's field falling towards the
      // scans' ends, a scan missing: the penumbra ends where the light meets the falling field, so
      // the overlaps are matched, and the gap holds only the rows no scan lights.
      AgedReel{"sixteen_shadow_falling_light_missing_scan",
               [](reel::ReelOptions& o) {
                 o.filmType = 3;
                 o.dpi = 1200;
                 o.overlap = 0.16;
                 o.gateShadow = 0.77;
                 o.vignetting = 0.19;
                 o.level = 0.63;
               },
               9, 1, 0, 3.0, 32},
      // 16 mm strips at 3970 dpi, weaving and turned in the gate: each scan's turn is measured
      // along its own length, so no scan is read unturned, and its rows are timed where the track
      // runs on the film's middle path through the gate. A splice's band lies beside the gate's
      // shadow in both scans that overlap there: it is film, read through, and said once. Loud
      // speech moves the unilateral edge by tens of columns within a row: the clear part is read
      // whole, from the fixed edge, at the row the moving edge shows by the turn the frame lines
      // tell (the weave adds its own drift to the scan's), not column by column, whose reading
      // between rows rings where the edge sweeps past. Where a peak swings faster than the film's
      // rows hold, the ideal reader errs too, on the same rows: no click is its own.
      AgedReel{"weaving_turned_strips_splice_by_the_shadow",
               [](reel::ReelOptions& o) { o = reel::randomArchiveReel(1); }, -1, 0, 1, 1.0, 0},
      // A splice near a scan's end: the later scan holds the cement's band from its first row, and
      // reads it through as the earlier one does. A bright scratch lies on the opaque film beyond
      // the loudest moments' reach, wider than a speck at 3970 dpi: no part of the track, whose
      // middle it would move.
      AgedReel{"sixteen_frames_splice_at_a_scans_end",
               [](reel::ReelOptions& o) {
                 o = reel::randomArchiveReel(6);
                 o.missingScans.clear();
               },
               -1, 0, 1},
      // A bilateral 35 mm track at 3970 dpi, weaving, a dark scratch where its louder moments'
      // edges pass: the scratch is read from the mirror image, about the track's middle measured on
      // the scan, however far the weave seemed to take it.
      AgedReel{"weaving_bilateral_dark_scratch_at_3970_dpi",
               [](reel::ReelOptions& o) { o = reel::randomArchiveReel(14); }},
      // 16 mm frames turned in the gate and weaving, loud tones, a bright scratch just beside the
      // bilateral track's middle: the loudest moments bring an edge under it. Each row is read
      // where the turn has moved the track, so the scratch stays in its columns, and it is read
      // from its mirror image, on the few rows an edge comes under it too. The print's clear film
      // darkens along the reel, and the scratch stands above it: the film's levels are its own, and
      // on the scans whose edges never reach it the scratch is found by its level, and read from
      // its mirror image all the same.
      AgedReel{"turned_bilateral_bright_scratch_by_the_middle",
               [](reel::ReelOptions& o) { o = reel::randomArchiveReel(18); }},
      // 16 mm strips turned in the gate, each a little its own way, fast loud speech, two splices:
      // each half of the bilateral track is read where its edge shows the film's row, its clear
      // width as a whole between rows, not column by column, and between the rows as they lie on
      // the film, which the fast edge crowds together or spreads apart: finer than the ideal reader
      // reads it.
      AgedReel{"turned_bilateral_strips_fast_speech_splices",
               [](reel::ReelOptions& o) {
                 o = reel::randomArchiveReel(2);
                 o.missingScans.clear();
               },
               -1, 0, 2, -2.5},
      // Dusty bilateral frames, a dark scratch whose mirror image a bright speck crosses, by the
      // edge of the loud speech's reach: the speck sets one half of the track apart from the other
      // for a few rows, and that half is read from the other there.
      AgedReel{"dusty_bilateral_speck_on_one_half",
               [](reel::ReelOptions& o) {
                 o = reel::randomArchiveReel(16);
                 o.missingScans.clear();
               }},
      // The same frames without the scratch: turned in the gate and weaving in it, each scan's rows
      // read at the gate's turn, not at the drift the weave adds to it, and timed where the track
      // runs on the film's middle path through the gate.
      AgedReel{"turned_and_weaving_bilateral_frames",
               [](reel::ReelOptions& o) {
                 o = reel::randomArchiveReel(18);
                 o.scratch = -1.0;
               }},
      // Variable density turned in the gate, a splice crossing it: the film beside the track shows
      // the cement's band a part of a row before the track's middle does, and the band's light is
      // taken from there, row by row. Each row is read where the film drifted to on it, the track's
      // full width but for the weave's margin.
      AgedReel{"turned_variable_density_splice",
               [](reel::ReelOptions& o) { o = reel::randomArchiveReel(40); }, -1, 0, 1, 1.1, 0},
      // Variable density lit unevenly, dusty, scratched and shaded by the gate: the light along
      // each scan is the gate's, read over the whole reel, and the overlaps are read from both
      // scans alike.
      AgedReel{"variable_density_light_scratch_dust_shadow",
               [](reel::ReelOptions& o) { o = reel::randomArchiveReel(17); }, -1, 0, 0, 1.0, 0},
      // The same as negatives, one splice or two: the film beside the track is dark and grainy, and
      // each band's edges are placed again on the track, the brightest film a negative has.
      AgedReel{"turned_variable_density_negative_splice",
               [](reel::ReelOptions& o) {
                 o = reel::randomArchiveReel(40);
                 o.negative = true;
               },
               -1, 0, 1, 1.2, 3},
      AgedReel{"turned_variable_density_negative_two_splices",
               [](reel::ReelOptions& o) {
                 o = reel::randomArchiveReel(40);
                 o.negative = true;
                 o.splices = {3, 9};
               },
               -1, 0, 2, 1.0, 1},
      // Variable-density negative strips whose splice's band runs into one strip's end, unread
      // there: the overlap is read from the strip that holds it whole.
      AgedReel{"variable_density_negative_strips_splice",
               [](reel::ReelOptions& o) {
                 o = reel::randomArchiveReel(39);
                 o.negative = true;
                 o.missingScans.clear();
               },
               -1, 0, 1, 1.0, 0},
      // 16 mm frames at 3970 dpi, unilateral, weaving, the gate's shadow, a splice: beside the
      // track the film is opaque, and its grain would set each row of the cement's band apart by a
      // few per cent; the band is read from the track's own clear film, row by row.
      AgedReel{"splice_on_a_weaving_unilateral_at_3970_dpi",
               [](reel::ReelOptions& o) { o = reel::randomArchiveReel(25); }, -1, 0, 1, 1.0, 0},
      // A weaving unilateral negative in 35 mm frames, its density drifting: the first scans are
      // laid alongside one another before the track is looked for, so the weave spreads neither the
      // film's edge into the track nor the track's edges; where the weave carries the window past
      // the film's edge, the gate's light there, brighter than the negative's clear film, stays out
      // of the film's levels.
      AgedReel{"weaving_unilateral_negative_dust_drift",
               [](reel::ReelOptions& o) { o = reel::randomArchiveReel(34); }, -1, 0, 0, 1.0, 0},
      // A unilateral negative in 35 mm strips at 2000 dpi, loud speech, dusty: the moving edge
      // travels far within a row, and specks lie on its ramp and by the fixed edge. The ramp is
      // read across a dark speck's dip, and the clear film a speck cuts off by the fixed edge is
      // film.
      AgedReel{"dusty_unilateral_negative_specks_on_the_edges",
               [](reel::ReelOptions& o) {
                 o = reel::randomArchiveReel(24);
                 o.missingScans.clear();
               }},
      // Loud tones on 16 mm spliced negative frames, a scan missing beside a splice: the gap is
      // bridged at the reel's resting level, not at the scans' either side, which the tones'
      // periods cut short move; the scan after it starts in the cement's band, and the film's
      // levels along it are fitted away from the band.
      AgedReel{"loud_tones_spliced_negative_missing_scan",
               [](reel::ReelOptions& o) {
                 o = reel::randomArchiveReel(21);
                 o.missingScans.clear();
               },
               4, 1, 2},
      // A short overlap whose ends lie in a deep penumbra, a scan missing: read there, the overlaps
      // match, and the sound meets the gap where the rows more than half lit end.
      AgedReel{"unilateral_short_overlap_deep_shadow_missing_scan",
               [](reel::ReelOptions& o) {
                 o.dpi = 1200;
                 o.unilateral = true;
                 o.overlap = 0.15;
                 o.shrinkage = 0.0044;
                 o.densityDrift = 0.08;
                 o.gateShadow = 0.94;
               },
               11, 1, 0, 1.0, 2},
      // A third of a second of tones on a unilateral negative: the reel's level is taken off, and
      // none of the sound with it.
      AgedReel{"tones_on_a_short_unilateral_negative",
               [](reel::ReelOptions& o) { o = reel::randomArchiveReel(11); }},
      // 16 mm strips at 4000 dpi turned in the gate, a dark scratch out where the loud tones' edges
      // pass, a splice in the gate's shadow where two strips overlap: the strips read straightened,
      // the scratch in its own columns from end to end, and the rows the shadow dims below half
      // read where neither strip holds them brighter. The shadow's penumbra fades in over rows too
      // faintly dimmed to be found, by a per cent or two, enough to move a loud moment's edge: each
      // is read at its own light.
      AgedReel{"turned_strips_dark_scratch_splice_in_shadow",
               [](reel::ReelOptions& o) { o = reel::randomArchiveReel(13); }, -1, 0, 1, 1.0, 0},
      // A unilateral track turned in the gate, a dark scratch in the middle of its edge's swing:
      // the columns it hides, seen where the loudest moments reach past it, are mended on every
      // scan after. The first loud scans reach past it too seldom to show it: the scan that first
      // does, and the one before it, are read again with it known, and the column its edge covers
      // in part is taken in with it. Its clicks are peaks whose edge lies under the scratch, where
      // the ideal reader is nearly as far off.
      AgedReel{"unilateral_turned_dark_scratch_in_the_swing",
               [](reel::ReelOptions& o) { o = reel::randomArchiveReel(33); }, -1, 0, 0, 1.0, 35},
      // A unilateral negative in strips at 3970 dpi, turned: its rows timed where its moving edge
      // lies, however far the window reaches past the fixed one. Where the edge sweeps fast across
      // the turn, the rows it shows its sound on crowd together or spread apart, and the sound is
      // read between them as they lie, finer than the ideal reader reads it.
      AgedReel{"turned_unilateral_negative_strips_at_3970_dpi",
               [](reel::ReelOptions& o) { o = reel::randomArchiveReel(19); }, -1, 0, 0, -2.0},
      // Unilateral strips laid in the gate one by one, each turned its own way: each is followed by
      // its straightened profile, which a turn does not smear, so that none is read off its track.
      // On the loudest rows the moving edge comes as near as the fixed edge, past the film clear on
      // nearly every row, and the clear part is still read whole from the fixed edge, at the row
      // the moving edge shows.
      AgedReel{"unilateral_strips_each_turned_their_own_way",
               [](reel::ReelOptions& o) { o = reel::randomArchiveReel(29); }, -1, 0, 1, 0.0, 0},
      // A dusty unilateral track at 1800 dpi, loud speech: specks cut the clear film off before the
      // moving edge's ramp, opaque ones among them, and lie on the fixed edge. The clear film
      // beyond them is read up to the edge.
      AgedReel{"dusty_unilateral_specks_before_the_ramp",
               [](reel::ReelOptions& o) { o = reel::randomArchiveReel(42); }, -1, 0, 2, 1.5, 0},
      // Variable-density strips whose short overlaps the gate's shadow leaves a few samples of at
      // the scanner's step: one overlap matches some 20 samples short of it as well as chance lets
      // it, and is no join; every scan lies a step on and the reel plays at the film's rate.
      AgedReel{"variable_density_strips_short_shaded_overlap",
               [](reel::ReelOptions& o) {
                 o = reel::randomArchiveReel(58);
                 o.missingScans.clear();
                 o.scans = 6;
               },
               -1, 0, 1, 1.0, 1},
      // A scanner stepping by the film's own pitch, a silent leader and the gate's shadow leaving a
      // row more or less unread: every scan still lies the step's part of a row on, and the reel,
      // read backwards, is laid on the rows of the scan played first.
      AgedReel{"steps_between_rows_leader_shadow_inverse",
               [](reel::ReelOptions& o) {
                 o.scans = 12;
                 o.partRowSteps = true;
                 o.shrinkage = 0.0045;
                 o.unilateral = true;
                 o.leaderFrames = 2;
                 o.inverse = true;
                 o.directionUp = false;
                 o.gateShadow = 0.58;
               },
               -1, 0, 0, 1.0, 0},
      // A scanner stepping by whole rows starts each frame up to half a row off it: across a
      // missing scan the frame lines' lag is read to a part of a row, and the two frames' pitch
      // carried over the gap lands on the right row.
      AgedReel{"whole_row_steps_shrunk_missing_scan",
               [](reel::ReelOptions& o) {
                 o.scans = 10;
                 o.dpi = 2000;
                 o.shrinkage = 0.0064;
                 o.overlap = 0.32;
                 o.programme = reel::Programme::Speech;
                 o.level = 0.96;
               },
               2, 1, 0, 1.0, 0},
      // A shrunk variable-density negative, Inverse, after a leader whose frame lines the dark film
      // hides at a quiet join: the scanner's steps to the row nearest each frame, which the joins
      // either side keep, place it on the right row. (Each scan's light along it is still read a
      // little off: the sound's level steps a little.)
      AgedReel{"shrunk_density_negative_leader_lines_hidden",
               [](reel::ReelOptions& o) {
                 o = reel::randomArchiveReel(51);
                 o.missingScans.clear();
               },
               -1, 0, 0, 2.5},
  };
}

INSTANTIATE_TEST_SUITE_P(AgedFilm, PreciseReaderTest, ::testing::ValuesIn(agedReels()),
                         [](const auto& info) { return std::string(info.param.name); });

// Strips of one film laid in the gate each turned its own way: straightened, their
// profiles lie in the same columns, a unilateral track's too, whose moving edge a turn
// smears unevenly.
TEST(PreciseReaderParts, StraightenedProfilesOfDifferentTurnsLieTogether) {
  constexpr int kRows = 4096, kCols = 200;
  const auto stripTurned = [&](double skew) {
    cv::Mat strip(kRows, kCols, CV_8UC1);
    for (int y = 0; y < kRows; ++y) {
      const double drift = skew * (y + 0.5 - 0.5 * kRows);
      // Opaque, the clear part from a fixed edge to one the sound moves, opaque again.
      const double fixed = 40.0 + drift;
      const double moving = 90.0 + 45.0 * std::abs(std::sin(0.013 * y)) + drift;
      for (int u = 0; u < kCols; ++u) {
        const double clear = std::clamp(std::min(u + 1.0 - fixed, moving - u), 0.0, 1.0);
        strip.at<std::uint8_t>(y, u) = cv::saturate_cast<std::uint8_t>(30.0 + 200.0 * clear);
      }
    }
    return strip;
  };
  const cv::Mat first = stripTurned(0.0036);
  const std::vector<float> reference = straightColumnLevels(first, levelsOf(first));
  for (const double skew : {0.0021, 0.0044, 0.0063, 0.0083}) {
    const cv::Mat turned = stripTurned(skew);
    EXPECT_NEAR(lateralOffset(reference, straightColumnLevels(turned, levelsOf(turned)), 40), 0.0,
                0.75)
        << "turned " << skew << " columns a row";
  }
}

TEST(PreciseReaderParts, TheGateTurnsEveryScanAlikeAndTheWeaveEachItsOwnWay) {
  // Drifts per row the scans of a reel measure, over scans of 600 rows.
  const std::vector<double> weaving = {-0.0063, -0.0080, -0.0082, -0.0068, -0.0047};
  struct Case {
    const char* name;
    double drift;
    std::vector<double> earlier;
    double turn;
  };
  const Case cases[] = {
      {"the first scan", -0.0055, {}, -0.0055},
      // The weave takes a little from this scan's drift: the middle of them all is the
      // gate's turn, not this one.
      {"a scan the weave straightens", -0.0039, weaving, -0.0063},
      {"a scan the weave turns further", -0.0086, weaving, -0.0068},
      // A strip laid on the scanner by hand lies at its own angle, further off the others
      // than the weave could take it.
      {"a strip turned on its own", 0.0040, weaving, 0.0040},
  };
  for (const Case& c : cases)
    EXPECT_NEAR(gateTurn(c.drift, c.earlier, 600), c.turn, 1e-9) << c.name;
}

// A turn of a tenth of a degree drifts a short scan by a column or so, as much as the
// weave may: the scans' drifts tell it by agreeing on it, where the weave drifts each scan
// its own way.
TEST(PreciseReaderParts, ASmallTurnIsToldByTheScansAgreeingOnIt) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    const char* name;
    double drift;
    std::vector<double> others;
    bool agreed;
  };
  const double turn = -0.0023;
  const Case cases[] = {
      {"every scan alike", -0.0022, {-0.0023, -0.0024, -0.0023}, true},
      {"the first two scans only", -0.0022, {-0.0023}, false},
      {"three with one untold", -0.0022, {-0.0023, nan, -0.0024}, true},
      {"one of five off by a speck", -0.0022, {-0.0023, -0.0012, -0.0024, -0.0023}, true},
      {"this scan woven off", -0.0011, {-0.0023, -0.0024, -0.0023}, false},
      {"weave, each its own way", -0.0022, {0.0011, -0.0030, 0.0004, -0.0019}, false},
      {"no turn", 0.0, {0.0, 0.0, 0.0}, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(turnAgreed(c.drift == 0.0 ? 0.0 : turn, c.drift, c.others), c.agreed) << c.name;
}

// A picture's frame lines, dark bars across the film between frames, tilted by the gate's
// turn: the film weaving sideways in the gate moves the picture across the scan, not its
// frame lines along it, and the turn they tell is the gate's alone.
TEST(PreciseReaderParts, FrameLinesTellTheTurnTheWeaveDoesNot) {
  constexpr int kRows = 2400, kCols = 300, kPicture = 100, kPitch = 380, kLine = 28;
  // Scan pixel (y, u) shows film row y + turn * u, and film column u - drift * y.
  const auto scanned = [&](double turn, double drift, bool lines) {
    cv::Mat strip(kRows, kCols, CV_8UC1, cv::Scalar(0));
    for (int y = 0; y < kRows; ++y) {
      for (int u = kPicture; u < kCols; ++u) {
        const double row = y + turn * u, column = u - drift * y;
        // The share of the pixel's row of film on a frame line.
        const double k = std::floor(row / kPitch);
        const double line = std::clamp(k * kPitch + kLine - row, 0.0, 1.0) +
                            std::clamp(row + 1.0 - (k + 1) * kPitch, 0.0, 1.0);
        const double picture = 150.0 + 40.0 * std::sin(0.011 * row + 0.03 * column);
        strip.at<std::uint8_t>(y, u) =
            cv::saturate_cast<std::uint8_t>(lines ? picture + line * (20.0 - picture) : picture);
      }
    }
    return strip;
  };
  struct Case {
    const char* name;
    double turn;
    double drift;  // the weave's within the scan
  };
  const Case cases[] = {
      {"turned, still", 0.0045, 0.0},
      {"turned, weaving further", 0.0045, 0.0030},
      {"turned the other way, weaving back", -0.0060, 0.0020},
      {"straight, weaving", 0.0, 0.0040},
  };
  for (const Case& c : cases) {
    const double turn = pictureTurn(scanned(c.turn, c.drift, true), {}, kPicture,
                                    cv::Range(0, kRows), c.turn + c.drift);
    EXPECT_NEAR(turn, c.turn, 0.05 * std::abs(c.turn) + 5e-5) << c.name;
  }
  EXPECT_TRUE(std::isnan(
      pictureTurn(scanned(0.0045, 0.0, false), {}, kPicture, cv::Range(0, kRows), 0.0045)))
      << "a picture with no frame lines tells no turn";
}

// Film with no track on it at all (blank film, or the wrong film settings): the job says
// so and leaves the older output alone.
TEST(PreciseReaderParts, FilmWithoutATrackIsRefused) {
  test::TempDir dir;
  const std::filesystem::path scans = dir.file("blank");
  std::filesystem::create_directories(scans);
  cv::Mat blank(741, 908, CV_8UC3, cv::Scalar(40, 40, 40));
  cv::randn(blank, cv::Scalar(40, 40, 40), cv::Scalar(3, 3, 3));
  for (int k = 1; k <= 9; ++k)
    ASSERT_TRUE(cv::imwrite((scans / ("scan_000" + std::to_string(k) + ".tif")).string(), blank));
  const std::string output = dir.file("sound.wav");
  { std::ofstream(output) << "the older take"; }
  JobSettings s;
  s.sound.reader = Reader::Precise;
  const test::SoundRun run = test::runSoundJob((scans / "scan_0001.tif").string(), output, s, 1, 9);
  EXPECT_EQ(run.outcome, JobOutcome::Unreadable);
  EXPECT_EQ(run.report.failure,
            "no soundtrack found on the first scans: the film settings may be wrong");
  std::ifstream older(output);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(older), {}), "the older take");
}

// Scans that start between two rows of the first one are read onto its rows.
TEST(PreciseReaderParts, ScansStartingBetweenRowsAreReadOntoTheFirstOnesRows) {
  const double pitch = 673.2;
  const auto sound = [](double x) { return std::sin(0.3 * x) + 0.5 * std::sin(0.05 * x); };
  std::vector<ScanSound> scans(6);
  JoinPlan plan;
  plan.joins.resize(scans.size());
  for (size_t k = 0; k < scans.size(); ++k) {
    for (int y = 0; y < 741; ++y)
      scans[k].samples.push_back(static_cast<float>(sound(k * pitch + y)));
    if (k > 0) plan.joins[k] = ScanJoin{673, 0.2};
  }
  const std::vector<float> joined = assembleScans(scans, plan, true);
  ASSERT_EQ(joined.size(), 3366u + 741u);  // the last scan starts on row 5 x 673.2
  for (size_t j = 0; j + 2 < joined.size(); ++j)
    ASSERT_NEAR(joined[j], sound(static_cast<double>(j)), 0.002) << "row " << j;
}

// A reel read backwards is played from its last scan: the sound is laid on that scan's
// rows, the first scan's read between them; read forwards, on the first scan's.
TEST(PreciseReaderParts, AReelReadBackwardsIsLaidOnItsLastScansRows) {
  struct Case {
    const char* name;
    bool fromLast;
    double firstRow;  // where the first scan's first row lies in the sound
  };
  const Case cases[] = {{"forwards", false, 0.0}, {"backwards", true, -0.5}};
  const double pitch = 673.3;
  const auto sound = [](double x) { return std::sin(0.9 * x) + 0.5 * std::sin(0.05 * x); };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<ScanSound> scans(6);
    JoinPlan plan;
    plan.joins.resize(scans.size());
    for (size_t k = 0; k < scans.size(); ++k) {
      for (int y = 0; y < 741; ++y)
        scans[k].samples.push_back(static_cast<float>(sound(k * pitch + y)));
      if (k > 0) plan.joins[k] = ScanJoin{673, 0.3};
    }
    const std::vector<float> joined = assembleScans(scans, plan, true, false, 0, c.fromLast);
    for (size_t j = 8; j + 8 < joined.size(); ++j)
      ASSERT_NEAR(joined[j], sound(static_cast<double>(j) - c.firstRow), 0.003) << "row " << j;
  }
}

// A scanner stepping by the film's own pitch starts every scan the same part of a row
// further on: the scans are placed to within a hundredth of a row, however the
// joins come (a scan missing, a silent overlap, the gate's shadow leaving a row more or
// less unread); one stepping by whole rows is placed on whole rows.
TEST(PreciseReaderParts, ScansSteppedByTheFilmsPitchArePlacedBetweenRows) {
  struct Case {
    const char* name;
    bool wholeRows;
    std::vector<int> missing;  // film scans left out
    int silentUntil;           // rows of film before the sound starts
    std::vector<int> leads;    // rows each scan read leaves unread at its start
  };
  const Case cases[] = {
      {"every join matches", false, {}, 0, {}},
      {"a scan missing", false, {3}, 0, {}},
      {"a silent leader", false, {}, 800, {}},
      {"the gate's shadow", false, {}, 0, {5, 6, 5, 4, 5, 5, 6, 4}},
      {"all together", false, {4}, 800, {5, 6, 5, 5, 4, 6, 5}},
      {"whole rows", true, {}, 0, {}},
  };
  const double step = 673.37;
  const auto sound = [](double x) {
    return 0.2 * std::sin(0.9 * x) + 0.15 * std::sin(0.31 * x + 1.0) + 0.1 * std::sin(1.7 * x) +
           0.1 * std::sin(0.05 * x);
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<ScanSound> scans;
    std::vector<double> places;  // of each scan's first sample read, on the film
    std::vector<int> missingBefore, leads;
    int skipped = 0;
    for (int film = 0; film < 8; ++film) {
      if (std::find(c.missing.begin(), c.missing.end(), film) != c.missing.end()) {
        ++skipped;
        continue;
      }
      const int lead = c.leads.empty() ? 0 : c.leads.at(scans.size());
      const double start = (c.wholeRows ? std::round(film * step) : film * step) + lead;
      ScanSound s;
      for (int y = 0; y < 900 - 2 * lead; ++y) {
        const double x = start + y;
        s.samples.push_back(x < c.silentUntil ? 0.0f : static_cast<float>(sound(x)));
      }
      scans.push_back(std::move(s));
      places.push_back(start);
      missingBefore.push_back(skipped);
      leads.push_back(lead);
      skipped = 0;
    }
    const JoinPlan plan = planJoins(scans, 673, missingBefore, leads);
    double place = places.front();
    for (size_t k = 1; k < scans.size(); ++k) {
      place += plan.joins[k].advance + plan.joins[k].part;
      EXPECT_NEAR(place, places[k], 0.01) << "scan " << k;
      if (c.wholeRows) {
        EXPECT_EQ(plan.joins[k].part, 0.0) << "scan " << k;
      }
    }
    EXPECT_NEAR(plan.meanAdvance, step, c.wholeRows ? 0.2 : 0.005);
  }
}

// How two scans' overlap is blended, as the share of the first scan each row takes: a
// raised cosine; most of it even where every row is read alike on both (variable
// density), but about a splice; a splice's band one scan found and the other did not
// (it ran into that scan's end) taken from the one that found it.
TEST(PreciseReaderParts, OverlapsAreBlendedAsTheScansReadThem) {
  struct Case {
    const char* name;
    bool evenly;
    int bandReach;
    std::vector<int> firstSplices, secondSplices;  // rows of each scan
    double atQuarter, atBand;  // the first scan's share a quarter into the overlap, and at row 500
  };
  const double cosine = 0.5 + 0.5 * std::cos(3.141592653589793 * 50.5 / 200);
  const double band = 0.5 + 0.5 * std::cos(3.141592653589793 * 100.5 / 200);
  const Case cases[] = {
      {"raised cosine", false, 0, {}, {}, cosine, band},
      {"even", true, 0, {}, {}, 0.5, 0.5},
      {"even but for a splice both found", true, 0, {500}, {100}, cosine, band},
      {"a band only the first found", false, 40, {500}, {}, cosine, 1.0},
      {"a band only the second found", true, 40, {}, {100}, cosine, 0.0},
      {"a band both found", false, 40, {500}, {101}, cosine, band},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<ScanSound> scans(2);
    scans[0].samples.assign(600, 1.0f);
    scans[1].samples.assign(600, 0.0f);
    scans[0].spliceRows = c.firstSplices;
    scans[1].spliceRows = c.secondSplices;
    JoinPlan plan;
    plan.joins.resize(2);
    plan.joins[1] = ScanJoin{400, 0.0};
    const std::vector<float> joined = assembleScans(scans, plan, true, c.evenly, c.bandReach);
    ASSERT_EQ(joined.size(), 1000u);
    EXPECT_NEAR(joined[450], c.atQuarter, 1e-5);
    EXPECT_NEAR(joined[500], c.atBand, 1e-5);
    EXPECT_GT(joined[400], 0.99f) << "the overlap starts on the first scan";
    EXPECT_LT(joined[599], 0.01f) << "and ends on the second";
  }
}

// Two scans whose brighter rows do not meet, the gate's shadow over their short overlap:
// the rows between are read from the faint rows either scan set aside, where they reach,
// and bridged at the resting level only where neither does, or across a missing scan.
TEST(PreciseReaderParts, FaintRowsBridgeScansWhoseLitRowsDoNotMeet) {
  struct Case {
    const char* name;
    int after, before;  // faint rows the first scan holds after its samples, the second before
    JoinKind kind;
    int read;  // of the gap's 20 rows, those read from the film
  };
  const Case cases[] = {
      {"both reach across", 14, 14, JoinKind::Clean, 20},
      {"together they meet", 12, 8, JoinKind::Clean, 20},
      {"one reaches across", 0, 25, JoinKind::Quiet, 20},
      {"neither reaches across", 5, 5, JoinKind::Clean, 10},
      {"none", 0, 0, JoinKind::Clean, 0},
      {"across missing scans", 14, 14, JoinKind::Missing, 0},
  };
  const auto film = [](int y) { return static_cast<float>(0.4 * std::sin(0.13 * y) + 0.5); };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<ScanSound> scans(2);
    for (int y = 0; y < 300; ++y) scans[0].samples.push_back(film(y));
    for (int y = 320; y < 620; ++y) scans[1].samples.push_back(film(y));
    for (int y = 300; y < 300 + c.after; ++y) scans[0].faintAfter.push_back(film(y));
    for (int y = 320 - c.before; y < 320; ++y) scans[1].faintBefore.push_back(film(y));
    JoinPlan plan;
    plan.joins.resize(2);
    plan.joins[1] = ScanJoin{320, 0.0, NAN, c.kind};
    const std::vector<float> joined = assembleScans(scans, plan, true);
    ASSERT_EQ(joined.size(), 620u);
    int read = 0;
    for (int y = 300; y < 320; ++y) read += std::abs(joined[y] - film(y)) < 1e-4f ? 1 : 0;
    EXPECT_EQ(read, c.read);
    for (int y = 0; y < 620; ++y) {
      if (y >= 300 && y < 320) continue;
      ASSERT_FLOAT_EQ(joined[y], film(y)) << "row " << y;
    }
  }
}

// Scans whose lit overlap is a few dozen rows: sound that does not continue matches
// as well as half by chance somewhere near the usual advance, and is no join.
TEST(PreciseReaderParts, AShortOverlapThatMatchesByChanceIsNoJoin) {
  cv::RNG rng(7);
  std::vector<ScanSound> scans(2);
  for (ScanSound& s : scans)
    for (int y = 0; y < 367; ++y) s.samples.push_back(static_cast<float>(rng.gaussian(0.1)));
  // The first 16 rows of the second scan, like the first's last 16 as much as chance
  // makes them over so few.
  for (int y = 0; y < 16; ++y)
    scans[1].samples[static_cast<size_t>(y)] =
        scans[0].samples[static_cast<size_t>(351 + y)] + static_cast<float>(rng.gaussian(0.13));
  ASSERT_GE(overlapCorrelation(scans[0].samples, scans[1].samples, 351), 0.5);
  const JoinPlan plan = planJoins(scans, 360, {0, 0});
  EXPECT_NE(plan.joins[1].kind, JoinKind::Clean);
  EXPECT_EQ(plan.joins[1].advance, 360);
  EXPECT_EQ(plan.cleanJoins, 0);
}

// Scans whose usual advance leaves fewer samples than can be read between the gate's
// shadows: only an advance short of it leaves an overlap to measure. Sound continued
// there only as much as chance may make it is no join; sound that plainly continues
// is, and where the usual advance can be read a fair match anywhere in reach still is.
TEST(PreciseReaderParts, AMatchOffAnUnreadUsualAdvanceMustBeBeyondDoubt) {
  struct Case {
    const char* name;
    int length;    // samples a scan holds: 360 a frame, the rest overlap
    int advance;   // where the second scan continues the first
    double noise;  // that differs between the scans' reading of the overlap
    JoinKind kind;
    int placed;
  } cases[] = {
      // 15 samples at the usual advance, 23 at the continuation's, matching about 0.7.
      {"unread usual, a chance-like match", 375, 352, 0.12, JoinKind::Quiet, 360},
      {"unread usual, a match beyond doubt", 375, 352, 0.02, JoinKind::Clean, 352},
      // 40 samples at the usual advance.
      {"read usual, a fair match in reach", 400, 352, 0.12, JoinKind::Clean, 352},
  };
  for (const Case& c : cases) {
    cv::RNG rng(11);
    std::vector<ScanSound> scans(2);
    for (ScanSound& s : scans)
      for (int y = 0; y < c.length; ++y) s.samples.push_back(static_cast<float>(rng.gaussian(0.1)));
    for (int y = 0; y + c.advance < c.length; ++y)
      scans[1].samples[static_cast<size_t>(y)] =
          scans[0].samples[static_cast<size_t>(c.advance + y)] +
          static_cast<float>(rng.gaussian(c.noise));
    const double match = overlapCorrelation(scans[0].samples, scans[1].samples, c.advance);
    if (c.noise > 0.05) {
      // Above both the least match and what chance gives over as many samples, short of
      // beyond doubt.
      ASSERT_GT(match, 0.65) << c.name;
      ASSERT_LT(match, 0.8) << c.name;
    } else {
      ASSERT_GT(match, 0.95) << c.name;
    }
    const JoinPlan plan = planJoins(scans, 360, {0, 0});
    EXPECT_EQ(plan.joins[1].kind, c.kind) << c.name;
    EXPECT_EQ(plan.joins[1].advance, c.placed) << c.name;
  }
}

TEST(PreciseReaderParts, ScanNumbersThatJump) {
  struct Case {
    const char* before;
    const char* after;
    int skipped;
  } cases[] = {{"scan_0006.tif", "scan_0007.tif", 0},
               {"scan_0006.tif", "scan_0009.tif", 2},
               {"a.tif", "b.tif", 0},
               {"scan_0009.tif", "scan_0002.tif", 0},
               {"reel2_10.dpx", "reel2_12.dpx", 1}};
  for (const Case& c : cases) EXPECT_EQ(numbersSkipped(c.before, c.after), c.skipped) << c.after;
}

TEST(PreciseReaderParts, ReelLevelGoesAndTheSoundStays) {
  // A slow drift of the print's density under a 60 Hz hum: the drift goes, the hum
  // keeps its level and phase, below either cutoff the reader takes.
  const double rate = 17000;
  for (const double cutoff : {2.0, 5.0}) {
    std::vector<float> sound(40000), hum(sound.size());
    for (size_t i = 0; i < sound.size(); ++i) {
      hum[i] = static_cast<float>(0.1 * std::sin(2 * 3.141592653589793 * 60 * i / rate));
      sound[i] = hum[i] + 0.5f + 0.3f * static_cast<float>(i) / sound.size();
    }
    removeReelLevel(sound, rate, cutoff);
    double worst = 0;
    for (size_t i = 4000; i + 4000 < sound.size(); ++i)
      worst = std::max(worst, static_cast<double>(std::abs(sound[i] - hum[i])));
    EXPECT_LT(worst, 0.002) << cutoff << " Hz";
  }
}

}  // namespace
}  // namespace kelvora
