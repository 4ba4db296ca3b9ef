// The precise reader against the classic one and against the ideal reader (which
// knows the track's columns, the joins, the light and the dust), on generated reels
// of each kind of fault real film and scanners have, one at a time. For each reel: tracked SNR of
// the three, the joins that slipped and those flagged, the declared rate's error, and the time of
// the precise job against the classic one in the same run (median of seven runs).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "audio/archive_writer.h"
#include "jobs/sound_job.h"
#include "quiet_controls.h"
#include "reel/ideal_reader.h"
#include "reel/reel.h"
#include "reel/sound_quality.h"
#include "runner/reel_runner.h"

namespace {

using kelvora::reel::ReelOptions;

constexpr int kRuns = 7;  // each job, for the median of its times

struct Kind {
  const char* name;
  std::function<void(ReelOptions&)> set;
  int missingScan = -1;  // a scan file taken away (0-based)
};

ReelOptions base() {
  ReelOptions o;
  o.scans = 24;
  o.grain = std::getenv("GRAIN") ? std::atof(std::getenv("GRAIN")) : 3.0;
  return o;
}

const std::vector<Kind>& kinds() {
  static const std::vector<Kind> list = {
      {"35 VA grey, tones",
       [](ReelOptions& o) {
         o.colour = false;
         o.programme = kelvora::reel::Programme::Tones;
       }},
      {"35 VA colour, speech", [](ReelOptions&) {}},
      {"35 VA loud bilateral", [](ReelOptions& o) { o.level = 2.0; }},
      {"35 VA loud unilateral",
       [](ReelOptions& o) {
         o.level = 2.0;
         o.unilateral = true;
       }},
      {"35 VA shrunk 1 %", [](ReelOptions& o) { o.shrinkage = 0.01; }},
      {"35 VA weave 3 px", [](ReelOptions& o) { o.weave = 3.0; }},
      {"35 VA skew 0.3 deg", [](ReelOptions& o) { o.skewDegrees = 0.3; }},
      {"35 VA bright scratch", [](ReelOptions& o) { o.scratch = 0.3; }},
      {"35 VA dark scratch",
       [](ReelOptions& o) {
         o.scratch = 0.55;
         o.darkScratch = true;
       }},
      {"35 VA negative", [](ReelOptions& o) { o.negative = true; }},
      {"35 VA uneven light",
       [](ReelOptions& o) {
         o.vignetting = 0.15;
         o.flicker = 0.05;
       }},
      {"35 VA density drift", [](ReelOptions& o) { o.densityDrift = 0.15; }},
      {"35 VA overlap 0.1", [](ReelOptions& o) { o.overlap = 0.1; }},
      {"35 VA splices",
       [](ReelOptions& o) {
         o.splices = {6, 15};
       }},
      {"35 VA 16-bit, quiet",
       [](ReelOptions& o) {
         o.deep = true;
         o.level = 0.1;
         o.grain = 1.0;
       }},
      {"35 VA DOWN Inverse",
       [](ReelOptions& o) {
         o.directionUp = false;
         o.inverse = true;
       }},
      {"35 VA long strips",
       [](ReelOptions& o) {
         o.longStrip = true;
         o.scans = 10;
       }},
      {"35 VD", [](ReelOptions& o) { o.filmType = 2; }},
      {"35 VD negative, drift",
       [](ReelOptions& o) {
         o.filmType = 2;
         o.negative = true;
         o.densityDrift = 0.1;
       }},
      {"16 VA per frame",
       [](ReelOptions& o) {
         o.filmType = 3;
         o.dpi = 1800;
       }},
      {"16 VA long strips DOWN",
       [](ReelOptions& o) {
         o.filmType = 3;
         o.dpi = 1800;
         o.longStrip = true;
         o.directionUp = false;
         o.scans = 10;
       }},
      {"35 VA silent leader", [](ReelOptions& o) { o.leaderFrames = 8; }},
      {"35 VA shrunk, part-row steps, tones",
       [](ReelOptions& o) {
         o.shrinkage = 0.01;
         o.partRowSteps = true;
         o.programme = kelvora::reel::Programme::Tones;
       }},
      {"16 VA part-row steps, tones, 1800 dpi",
       [](ReelOptions& o) {
         o.filmType = 3;
         o.dpi = 1800;
         o.shrinkage = 0.007;
         o.partRowSteps = true;
         o.programme = kelvora::reel::Programme::Tones;
       }},
      {"35 VA shrunk, leader, step jitter 4",
       [](ReelOptions& o) {
         o.shrinkage = 0.01;
         o.leaderFrames = 8;
         o.stepJitter = 4.0;
       }},
      {"35 VA missing scan", [](ReelOptions&) {}, 9},
      {"35 VA dust", [](ReelOptions& o) { o.dust = 6.0; }},
      {"35 VA gate shadow", [](ReelOptions& o) { o.gateShadow = 0.8; }},
      {"35 VA all faults",
       [](ReelOptions& o) {
         o.shrinkage = 0.01;
         o.weave = 3.0;
         o.skewDegrees = 0.3;
         o.scratch = 0.3;
         o.vignetting = 0.15;
         o.flicker = 0.05;
         o.densityDrift = 0.1;
         o.level = 1.6;
         o.splices = {10};
       }},
  };
  return list;
}

struct Run {
  std::vector<float> sound;
  kelvora::SoundJobReport report;
  double seconds = 0.0;
};

Run runJob(const std::string& dir, const ReelOptions& o, kelvora::Reader reader,
           const std::string& out) {
  QuietControls controls;
  kelvora::ReelRequest reel;
  reel.controls = &controls;
  reel.inputPath = dir + "/scan_0001.tif";
  reel.startFrame = 1;
  reel.stopFrame = static_cast<int>(
      std::count_if(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator(),
                    [](const auto& e) { return e.path().extension() == ".tif"; }));
  reel.film.track = kelvora::trackOf(o.filmType);
  reel.film.fps = o.fps;
  reel.film.longStrip = o.longStrip;
  reel.film.direction = o.directionUp ? kelvora::Direction::Up : kelvora::Direction::Down;
  reel.film.inverse = o.inverse;
  kelvora::SoundRequest request;
  request.output = out;
  request.sound.output.format = kelvora::SoundFormat::Float;
  request.sound.reader = reader;
  request.sound.aChain = false;  // the output low-pass would only blur the comparison
  Run run;
  const auto t0 = std::chrono::steady_clock::now();
  run.report = kelvora::decodeSound(reel, request).report;
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  int rate = 0;
  kelvora::readSoundSamples(out, run.sound, rate);
  return run;
}

}  // namespace

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  const std::string only = argc > 1 ? argv[1] : "";
  const fs::path root = fs::temp_directory_path() / "kelvora_precise_bench";
  std::printf(
      "| reel | classic dB | precise dB | ideal dB | slipped | flagged | rate ppm | classic ms | "
      "precise ms | time |\n");
  std::printf("|---|---|---|---|---|---|---|---|---|---|\n");
  for (const Kind& kind : kinds()) {
    if (!only.empty() && std::string(kind.name).find(only) == std::string::npos) continue;
    ReelOptions o = base();
    kind.set(o);
    if (kind.missingScan >= 0) o.missingScans = {kind.missingScan};
    const std::string dir = (root / "reel").string();
    fs::remove_all(dir);
    kelvora::reel::Reel reel = kelvora::reel::writeReel(o, dir);
    // The sound on the film in playing order, silent where no scan holds it.
    std::vector<float> reference = reel.audio;
    const std::vector<bool> scanned = kelvora::reel::scannedRows(reel);
    for (size_t i = 0; i < reference.size(); ++i)
      if (!scanned[i]) reference[i] = 0.0f;
    const std::vector<float> ideal = kelvora::reel::idealSound(reel);
    std::vector<double> classicTimes, preciseTimes;
    Run classic, precise;
    for (int i = 0; i < kRuns; ++i) {
      classic = runJob(dir, o, kelvora::Reader::Classic, (root / "classic.wav").string());
      precise = runJob(dir, o, kelvora::Reader::Precise, (root / "precise.wav").string());
      classicTimes.push_back(classic.seconds);
      preciseTimes.push_back(precise.seconds);
    }
    std::sort(classicTimes.begin(), classicTimes.end());
    std::sort(preciseTimes.begin(), preciseTimes.end());
    const auto qc = kelvora::reel::trackedQuality(classic.sound, reference);
    const auto qp = kelvora::reel::trackedQuality(precise.sound, reference);
    const auto qi = kelvora::reel::trackedQuality(ideal, reference);
    const double ppm =
        1e6 * (precise.report.sampleRate - reel.geometry.trueRate) / reel.geometry.trueRate;
    std::printf("| %s | %.1f | %.1f | %.1f | %d | %d | %+.0f | %.1f | %.1f | %.2fx |\n", kind.name,
                qc.snrDb, qp.snrDb, qi.snrDb, qp.lagChanges, precise.report.reading.flaggedJoins,
                ppm, 1e3 * classicTimes[kRuns / 2], 1e3 * preciseTimes[kRuns / 2],
                preciseTimes[kRuns / 2] / classicTimes[kRuns / 2]);
    for (const auto& w : precise.report.warnings) std::printf("    warning: %s\n", w.c_str());
    std::fflush(stdout);
  }
  fs::remove_all(root);
  return 0;
}
