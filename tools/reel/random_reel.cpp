#include "reel/random_reel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>
#include <vector>

namespace kelvora::reel {

namespace {

// Draws from one generator, in an order fixed by the code: the same seed, the same reel.
class Draw {
 public:
  explicit Draw(unsigned seed) : rng_(seed * 2246822519u + 3266489917u) {}
  double unit() { return std::uniform_real_distribution<double>(0.0, 1.0)(rng_); }
  double between(double lo, double hi) { return lo + (hi - lo) * unit(); }
  int whole(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
  bool chance(double p) { return unit() < p; }
  template <typename T>
  T pick(const std::vector<T>& list) {
    return list[static_cast<size_t>(whole(0, static_cast<int>(list.size()) - 1))];
  }

 private:
  std::mt19937 rng_;
};

enum Fault {
  kShrinkage,
  kWeave,
  kSkew,
  kScratch,
  kNegative,
  kLight,
  kDrift,
  kSplices,
  kMissing,
  kDust,
  kGateShadow,
  kLeader,
  kSteps,
  kFaults
};

// How often an archive's reel shows each fault.
constexpr double kLikelihood[kFaults] = {0.5,  0.35, 0.25, 0.25, 0.25, 0.3, 0.25,
                                         0.25, 0.2,  0.55, 0.4,  0.2,  0.15};

std::string format(const char* pattern, double value) {
  char text[64];
  std::snprintf(text, sizeof text, pattern, value);
  return text;
}

}  // namespace

ReelOptions randomArchiveReel(unsigned seed) {
  Draw draw(seed);
  ReelOptions o;
  o.seed = seed;
  const double gauge = draw.unit();
  o.filmType = gauge < 0.45 ? 1 : gauge < 0.65 ? 2 : 3;
  const bool sixteen = o.filmType == 3;
  o.unilateral = o.filmType != 2 && draw.chance(0.4);
  o.dpi = sixteen ? draw.pick<int>({1200, 1800, 1800, 2000, 2400, 3970, 4000})
                  : draw.pick<int>({900, 1200, 1200, 1800, 2000, 2000, 2400, 3970, 4000});
  o.fps = draw.chance(0.5) ? 24 : 25;
  o.directionUp = draw.chance(0.5);
  o.inverse = draw.chance(0.25);
  o.longStrip = draw.chance(0.3);
  o.colour = draw.chance(0.7);
  o.deep = draw.chance(0.4);
  o.programme = draw.chance(0.2) ? Programme::Tones : Programme::Speech;
  o.level = draw.between(0.5, 1.8);
  o.grain = draw.between(1.5, 4.0);
  o.overlap = draw.between(0.1, 0.35);
  o.stripOverlap = o.overlap;

  // As many scans as a few tens of megapixels hold: fewer at the highest resolutions.
  const ReelGeometry one = geometryFor(o);
  const double pixels = static_cast<double>(one.scanLength) * one.filmWidth;
  const int fewest = o.dpi >= 3000 ? 5 : o.longStrip ? 8 : 10;
  const int most = o.dpi >= 3000 ? 8 : o.longStrip ? 12 : 24;
  o.scans = std::clamp(static_cast<int>(40e6 / pixels * draw.between(0.7, 1.3)), fewest, most);
  const int frames = o.scans * one.framesPerScan;

  bool has[kFaults] = {};
  int count = 0;
  for (int f = 0; f < kFaults; ++f) count += (has[f] = draw.chance(kLikelihood[f])) ? 1 : 0;
  while (count < 2) {
    const int f = draw.whole(0, kFaults - 1);
    if (!has[f]) has[f] = true, ++count;
  }
  const double scale = o.dpi / 900.0;  // faults measured on the film, in pixels at this dpi
  if (has[kShrinkage]) o.shrinkage = draw.between(0.002, 0.015);
  if (has[kWeave]) o.weave = std::min(20.0, draw.between(0.5, 3.5) * scale);
  if (has[kSkew]) {
    const double sign = draw.chance(0.5) ? 1.0 : -1.0;
    o.skewDegrees = sign * draw.between(0.05, 0.4);
  }
  if (has[kScratch]) {
    o.scratch = draw.between(0.1, 0.9);
    o.darkScratch = draw.chance(0.4);
  }
  o.negative = has[kNegative];
  if (has[kLight]) {
    o.vignetting = draw.between(0.05, 0.2);
    o.flicker = draw.between(0.02, 0.08);
  }
  if (has[kDrift]) o.densityDrift = draw.between(0.05, 0.15);
  if (has[kSplices]) {
    o.framesCut = draw.whole(1, 4);
    const int splices = frames >= 12 && draw.chance(0.4) ? 2 : 1;
    for (int k = 0; k < splices; ++k) {
      const int lo = 2 + k * (frames - 4) / splices;
      const int hi = std::max(lo, (k + 1) * (frames - 4) / splices);
      o.splices.push_back(draw.whole(lo, hi));
    }
  }
  if (has[kMissing] && o.scans >= 5) {
    o.missingScans.push_back(draw.whole(2, o.scans - 2));
    if (o.scans >= 12 && draw.chance(0.3)) {
      const int second = draw.whole(2, o.scans - 2);
      if (std::abs(second - o.missingScans.front()) > 1) o.missingScans.push_back(second);
    }
    std::sort(o.missingScans.begin(), o.missingScans.end());
  }
  if (has[kDust]) o.dust = draw.between(2.0, 10.0);
  if (has[kGateShadow]) o.gateShadow = draw.between(0.5, 1.0);
  if (has[kLeader]) o.leaderFrames = std::max(1, std::min(draw.whole(2, 6), frames / 3));
  if (has[kSteps]) {
    if (draw.chance(0.5))
      o.partRowSteps = true;
    else
      o.stepJitter = draw.between(1.0, 4.0);
  }
  // Strips are laid in the gate one by one, each a little differently turned. (Drawn
  // last, so that every draw before it stays as it was.)
  if (has[kSkew] && o.longStrip) o.turnWander = draw.between(0.03, 0.12);
  return o;
}

std::string describeReel(const ReelOptions& o) {
  std::string d = o.filmType == 3 ? "16 mm VA" : o.filmType == 2 ? "35 mm VD" : "35 mm VA";
  if (o.filmType != 2) d += o.unilateral ? " unilateral" : " bilateral";
  d += ", " + std::to_string(o.dpi) + " dpi";
  d += o.deep || o.sixteenBit ? ", 16-bit" : ", 8-bit";
  d += o.colour ? " colour" : " grey";
  d += o.directionUp ? ", UP" : ", DOWN";
  if (o.inverse) d += " Inverse";
  d += o.longStrip ? ", strips" : ", frames";
  d += ", " + std::to_string(o.scans) + " scans at " + std::to_string(o.fps) + " fps";
  d += format(", overlap %.2f", o.longStrip && o.stripOverlap >= 0 ? o.stripOverlap : o.overlap);
  if (!o.soundFile.empty())
    d += ", " + std::filesystem::path(o.soundFile).filename().string();
  else
    d += o.programme == Programme::Tones ? ", tones" : ", speech";
  d += format(" x%.2f", o.level);
  std::vector<std::string> faults;
  if (o.shrinkage > 0) faults.push_back(format("shrunk %.2f %%", 100 * o.shrinkage));
  if (o.weave > 0) faults.push_back(format("weave %.1f px", o.weave));
  if (o.skewDegrees != 0 || o.turnWander != 0)
    faults.push_back(format("skew %.2f deg", o.skewDegrees) +
                     (o.turnWander != 0 ? format(" +-%.2f", o.turnWander) : std::string()));
  if (o.scratch >= 0)
    faults.push_back(
        format(o.darkScratch ? "dark scratch at %.2f" : "bright scratch at %.2f", o.scratch));
  if (o.negative) faults.push_back("negative");
  if (o.vignetting > 0 || o.flicker > 0)
    faults.push_back(format("light %.2f", o.vignetting) + format("/%.2f", o.flicker));
  if (o.densityDrift > 0) faults.push_back(format("drift %.2f", o.densityDrift));
  for (const int s : o.splices)
    faults.push_back("splice after " + std::to_string(s) + " (" + std::to_string(o.framesCut) +
                     " cut)");
  for (const int m : o.missingScans) faults.push_back("scan " + std::to_string(m + 1) + " missing");
  if (o.dust > 0) faults.push_back(format("dust %.1f/frame", o.dust));
  if (o.gateShadow > 0) faults.push_back(format("gate shadow %.2f", o.gateShadow));
  if (o.leaderFrames > 0) faults.push_back("leader " + std::to_string(o.leaderFrames));
  if (o.partRowSteps) faults.push_back("part-row steps");
  if (o.stepJitter > 0) faults.push_back(format("step jitter %.1f", o.stepJitter));
  if (o.clickFrame >= 0) faults.push_back("click in frame " + std::to_string(o.clickFrame));
  d += "; ";
  if (faults.empty()) d += "clean";
  for (size_t k = 0; k < faults.size(); ++k) d += (k > 0 ? ", " : "") + faults[k];
  return d;
}

}  // namespace kelvora::reel
