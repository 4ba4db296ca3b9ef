// Writes a generated test reel: scans of a film whose soundtrack and pictures are
// known, for trying Kelvora out and for its tests.
#include <cmath>
#include <cstdio>
#include <exception>
#include <string>

#include <CLI/CLI.hpp>

#include "reel/random_reel.h"
#include "reel/reel.h"

int main(int argc, char** argv) {
  namespace reel = kelvora::reel;
  CLI::App app{"Generates scanned film with a known soundtrack (kelvora test reel)"};
  reel::ReelOptions options;
  std::string directory;
  std::string film = "35va";
  unsigned randomSeed = 0;
  app.add_option("directory", directory, "Where to write the scans")->required();
  auto* random = app.add_option("--random", randomSeed,
                                "A reel as archives hold them, drawn from this seed (the other "
                                "film and fault options are then ignored)");
  app.add_option("--audio", options.soundFile,
                 "A sound file to print on the film instead of the generated programme "
                 "(mixed to mono; without --scans, as many scans as it fills)")
      ->check(CLI::ExistingFile);
  app.add_option("--film", film, "Film type: 35va, 35vd or 16va")
      ->check(CLI::IsMember({"35va", "35vd", "16va"}));
  app.add_option("--dpi", options.dpi, "Scanner resolution")->check(CLI::Range(300, 4000));
  auto* scans =
      app.add_option("--scans", options.scans, "Number of scans")->check(CLI::Range(1, 10000));
  app.add_option("--fps", options.fps, "Film speed")->check(CLI::IsMember({24, 25}));
  app.add_flag("--long-strip", options.longStrip, "Several frames per scan");
  bool down = false;
  bool grey = false;
  app.add_flag("--down", down, "Soundtrack along the bottom edge");
  app.add_flag("--inverse", options.inverse, "Film scanned tail first");
  app.add_flag("--grey", grey, "Grey scans instead of colour");
  app.add_flag("--sixteen-bit", options.sixteenBit, "16 bits per channel");
  app.add_option("--dpx", options.dpxBits, "Write DPX scans of 8, 10, 12 or 16 bits")
      ->check(CLI::IsMember({8, 10, 12, 16}));
  app.add_option("--grain", options.grain, "Scanner noise, grey levels")
      ->check(CLI::Range(0.0, 50.0));
  app.add_option("--seed", options.seed, "Random seed");
  app.add_option("--modulation", options.modulation, "Share of the track swing used, 0..1")
      ->check(CLI::Range(0.0, 1.0));
  app.add_option("--level", options.level, "Programme gain (1: peaks near 0.8)")
      ->check(CLI::Range(0.0, 10.0));
  app.add_option("--overlap", options.overlap, "Film a per-frame scan holds beyond its frame")
      ->check(CLI::Range(0.05, 0.9));
  app.add_option("--strip-overlap", options.stripOverlap,
                 "Film a long strip holds beyond its frames, in frames")
      ->check(CLI::Range(0.05, 2.0));
  app.add_flag("--unilateral", options.unilateral, "Variable area with one edge fixed");
  app.add_option("--shrinkage", options.shrinkage, "Share the film has shrunk (0.01: 1 %)")
      ->check(CLI::Range(0.0, 0.05));
  app.add_option("--weave", options.weave, "Sideways wander in the gate, pixels")
      ->check(CLI::Range(0.0, 20.0));
  app.add_option("--skew", options.skewDegrees, "The scan turned in the gate, degrees")
      ->check(CLI::Range(-2.0, 2.0));
  app.add_option("--turn-wander", options.turnWander,
                 "Degrees the turn differs either way from scan to scan")
      ->check(CLI::Range(0.0, 1.0));
  app.add_option("--scratch", options.scratch, "A scratch across the track at this share of it")
      ->check(CLI::Range(0.0, 1.0));
  app.add_flag("--dark-scratch", options.darkScratch, "The scratch is dark, not bright");
  app.add_flag("--negative", options.negative, "A sound negative");
  app.add_option("--vignetting", options.vignetting, "Light falloff towards the corners")
      ->check(CLI::Range(0.0, 0.5));
  app.add_option("--flicker", options.flicker, "Lamp level from scan to scan")
      ->check(CLI::Range(0.0, 0.3));
  app.add_option("--density-drift", options.densityDrift, "Print density wander over the reel")
      ->check(CLI::Range(0.0, 0.3));
  app.add_option("--splice", options.splices, "Frames after which frames were cut out");
  app.add_option("--frames-cut", options.framesCut, "Frames cut out at each splice")
      ->check(CLI::Range(1, 100));
  app.add_flag("--deep", options.deep, "16-bit scans from full precision");
  app.add_option("--leader", options.leaderFrames, "Frames of silent leader before the programme")
      ->check(CLI::Range(0, 100000));
  app.add_option("--step-jitter", options.stepJitter,
                 "Rows the scanner's step from scan to scan wanders either way")
      ->check(CLI::Range(0.0, 50.0));
  app.add_flag("--part-row-steps", options.partRowSteps,
               "The scanner steps by the film's own pitch, not whole rows");
  app.add_option("--dust", options.dust, "Specks of dust and dirt a frame, on track and picture")
      ->check(CLI::Range(0.0, 100.0));
  app.add_option("--gate-shadow", options.gateShadow,
                 "The gate's shadow across both ends of every scan: 0 none, 1 black")
      ->check(CLI::Range(0.0, 1.0));
  app.add_option("--missing", options.missingScans,
                 "Scans (1-based) left out of the directory, their numbers skipped")
      ->check(CLI::PositiveNumber);
  bool tones = false;
  app.add_flag("--tones", tones, "Sustained tones instead of speech-like sound");
  CLI11_PARSE(app, argc, argv);

  options.filmType = film == "35va" ? 1 : film == "35vd" ? 2 : 3;
  options.directionUp = !down;
  options.colour = !grey;
  if (tones) options.programme = reel::Programme::Tones;
  for (int& m : options.missingScans) --m;
  try {
    if (random->count() > 0) {
      const std::string audio = options.soundFile;
      options = reel::randomArchiveReel(randomSeed);
      options.soundFile = audio;
    }
    if (!options.soundFile.empty() && scans->count() == 0 && random->count() == 0) {
      // As many scans as the sound fills up to its last audible sample: scans of
      // silent film at the end give joins the readers cannot match. The sound's last
      // frame or so (its overlap included) is left off.
      const reel::ReelGeometry g = reel::geometryFor(options);
      const double frames = reel::audibleSeconds(options.soundFile) * options.fps;
      options.scans = std::max(1, static_cast<int>(std::floor((frames - 1.0) / g.framesPerScan)));
    }
    const reel::Reel r = reel::writeReel(options, directory);
    std::printf("Wrote %zu scans (%d x %d) to %s; source audio %s/source.wav at %d Hz\n",
                r.scanPaths.size(), r.geometry.scanLength, r.geometry.filmWidth, directory.c_str(),
                directory.c_str(), static_cast<int>(std::lround(r.geometry.trueRate)));
    std::printf("%s\n", reel::describeReel(options).c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make_reel: %s\n", e.what());
    return 1;
  }
  return 0;
}
