// The readers on the reels film archives hold: random archive reels from fixed seeds,
// each with two or more faults together, read by the classic reader and the precise
// reader (the kelvora-cli binary, as a user runs it) and by the ideal reader that knows
// how the generator made the reel. Prints a line a reel and a summary:
//   ideal/precise/classic dB  tracked SNR against the sound on the film
//   slip p/c                  joins whose advance is off the true one (a dropped or
//                             repeated sample), missing scans' joins left out
//   flags p                   missing scans and splices the precise reader warned of,
//                             of those the reel has
//   false p/c                 warnings where nothing is wrong (or said twice)
//   clicks p/c                clicks the ideal reader does not have, away from the dust
//                             crossing the track, on rows a scan holds
//   ppm p/c                   the declared rate against fps x the shrunk frame pitch
//   s c, s p, x               each job's wall time and the precise job's against the classic
//   missed                    the targets the precise reader misses on the reel:
//                             S within 1 dB of ideal (or 60 dB) and not below classic,
//                             J no slipped join, F every event flagged and no false
//                             warning, C no click off the dust, R rate within 100 ppm,
//                             T at most 1.5 x the classic job's time
// The film settings are given as a user would: film type, speed, direction, Long strip,
// Inverse, and Frame correction where the gate's shadow shows; the readers measure the
// resolution themselves.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include <sndfile.h>
#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "reel/dust.h"
#include "reel/ideal_reader.h"
#include "reel/random_reel.h"
#include "reel/reel.h"
#include "reel/sound_quality.h"

namespace {

namespace fs = std::filesystem;
using kelvora::reel::ClickRun;
using kelvora::reel::Reel;
using kelvora::reel::ReelOptions;

constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();

// One reader's run through the command line.
struct Job {
  bool ok = false;
  std::string failure;
  std::vector<float> sound;
  nlohmann::json report;
  double seconds = 0.0;
};

std::string quoted(const std::string& s) { return "'" + s + "'"; }

std::vector<float> readFloats(const std::string& path) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  std::vector<float> sound;
  if (!file) return sound;
  std::vector<float> frames(static_cast<size_t>(info.frames) * static_cast<size_t>(info.channels));
  const sf_count_t read = sf_readf_float(file, frames.data(), info.frames);
  sf_close(file);
  for (sf_count_t i = 0; i < read; ++i)
    sound.push_back(frames[static_cast<size_t>(i) * static_cast<size_t>(info.channels)]);
  return sound;
}

std::string filmArguments(const ReelOptions& o) {
  std::string a = o.filmType == 1 ? "--film 35va" : o.filmType == 2 ? "--film 35vd" : "--film 16va";
  a += " --fps " + std::to_string(o.fps);
  if (o.longStrip) a += " --long-strip";
  if (!o.directionUp) a += " --down";
  if (o.inverse) a += " --inverse";
  if (o.gateShadow > 0.0) a += " --frame-correction";
  return a;
}

// Runs one reader `runs` times and keeps the median time.
Job runReader(const std::string& cli, const std::string& dir, const fs::path& work,
              const std::string& reader, const std::string& film, int runs) {
  Job job;
  const std::string wav = (work / (reader + ".wav")).string();
  const std::string json = (work / (reader + ".json")).string();
  const std::string log = (work / (reader + ".log")).string();
  const std::string command = quoted(cli) + " sound " + quoted(dir) + " -o " + quoted(wav) +
                              " --report " + quoted(json) + " --reader " + reader +
                              " --format float --no-filter " + film + " > " + quoted(log) + " 2>&1";
  std::vector<double> times;
  int status = 0;
  for (int r = 0; r < runs; ++r) {
    const auto t0 = std::chrono::steady_clock::now();
    status = std::system(command.c_str());
    times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  }
  std::sort(times.begin(), times.end());
  job.seconds = times[times.size() / 2];
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::ifstream in(log);
    std::string line, last;
    while (std::getline(in, line))
      if (!line.empty()) last = line;
    job.failure = last.empty() ? "exit " + std::to_string(WEXITSTATUS(status)) : last;
    return job;
  }
  job.sound = readFloats(wav);
  try {
    std::ifstream in(json);
    job.report = nlohmann::json::parse(in);
    job.ok = !job.sound.empty();
  } catch (const std::exception& e) {
    job.failure = std::string("report: ") + e.what();
  }
  if (job.sound.empty() && job.failure.empty()) job.failure = "no sound written";
  return job;
}

double numberOr(const nlohmann::json& j, const char* key, double fallback) {
  return j.is_object() && j.contains(key) && j[key].is_number() ? j[key].get<double>() : fallback;
}

// Where the reel's scans lie, in listing order as the readers see them.
struct Listing {
  std::vector<double> places;      // film row of each listed scan's first row
  std::vector<int> missingBefore;  // scans missing just before each listed scan
};

Listing listingOf(const Reel& reel) {
  Listing l;
  const int n = reel.options.scans;
  int previous = -1;
  for (const int number : reel.scanNumbers) {
    const int index = reel.options.inverse ? n - 1 - number : number;
    l.places.push_back(reel.geometry.scanPlace(index));
    l.missingBefore.push_back(previous < 0 ? 0 : number - previous - 1);
    previous = number;
  }
  return l;
}

// Joins (listed scan 2 onwards) whose advance is off the true one by a row or more;
// joins across missing scans are the warnings' business.
int slippedJoins(const Reel& reel, const Listing& l, const nlohmann::json& report) {
  if (!report.contains("frames") || !report["frames"].is_array()) return -1;
  const auto& frames = report["frames"];
  int slipped = 0;
  for (size_t k = 1; k < l.places.size() && k < frames.size(); ++k) {
    if (l.missingBefore[k] > 0) continue;
    const auto& f = frames[k];
    if (!f.contains("cut_point") || !f["cut_point"].is_number()) {
      ++slipped;
      continue;
    }
    const double truth = std::abs(l.places[k] - l.places[k - 1]);
    if (std::abs(f["cut_point"].get<double>() - truth) >= 1.0) ++slipped;
  }
  (void)reel;
  return slipped;
}

struct WarningVerdict {
  int events = 0;   // missing-scan gaps and splices on the reel
  int flagged = 0;  // of them, warned of
  int wrong = 0;    // warnings where nothing is wrong, or said again
  std::vector<std::string> wrongTexts;
};

// Holds each warning against what the reel really has.
WarningVerdict judgeWarnings(const Reel& reel, const Listing& l, const nlohmann::json& report) {
  WarningVerdict v;
  const ReelOptions& o = reel.options;
  const int length = reel.geometry.scanLength;
  // Events: a gap before listed frame k + 1; a splice inside listed frames.
  std::vector<int> gapFrames;
  for (size_t k = 0; k < l.missingBefore.size(); ++k)
    if (l.missingBefore[k] > 0) gapFrames.push_back(static_cast<int>(k) + 1);
  const std::vector<int>& splices = reel.spliceRows;
  std::vector<bool> gapSaid(gapFrames.size(), false), spliceSaid(splices.size(), false);
  v.events = static_cast<int>(gapFrames.size() + splices.size());
  const auto spliceIn = [&](int frame) {
    std::vector<size_t> found;
    if (frame < 1 || frame > static_cast<int>(l.places.size())) return found;
    const double start = l.places[static_cast<size_t>(frame - 1)];
    for (size_t s = 0; s < splices.size(); ++s)
      if (splices[s] >= start - 2 && splices[s] <= start + length + 2) found.push_back(s);
    return found;
  };
  const auto mentions = [](const std::string& text, std::initializer_list<const char*> words) {
    return std::any_of(words.begin(), words.end(),
                       [&](const char* w) { return text.find(w) != std::string::npos; });
  };
  if (!report.contains("warnings") || !report["warnings"].is_array()) return v;
  static const std::regex frameNumber("frame ([0-9]+)");
  for (const auto& w : report["warnings"]) {
    if (!w.is_string()) continue;
    const std::string text = w.get<std::string>();
    std::smatch m;
    const int frame = std::regex_search(text, m, frameNumber) ? std::stoi(m[1]) : -1;
    bool right = false;
    if (mentions(text, {"missing", "does not continue"})) {
      for (size_t g = 0; g < gapFrames.size(); ++g)
        if (gapFrames[g] == frame && !gapSaid[g]) gapSaid[g] = right = true;
      if (!right)
        for (const int f : {frame - 1, frame})
          for (const size_t s : spliceIn(f))
            if (!spliceSaid[s] && !right) spliceSaid[s] = right = true;
    } else if (mentions(text, {"splice"})) {
      for (const size_t s : spliceIn(frame))
        if (!spliceSaid[s] && !right) spliceSaid[s] = right = true;
    } else if (mentions(text, {"did you mean"})) {
      right = false;  // the settings given are the reel's own
    } else if (mentions(text, {"shrunk"})) {
      right = o.shrinkage >= 0.002;
    } else {
      right = (mentions(text, {"dust", "speck"}) && o.dust > 0) ||
              (mentions(text, {"shadow", "gate"}) && o.gateShadow > 0) ||
              (mentions(text, {"scratch"}) && o.scratch >= 0) ||
              (mentions(text, {"weave"}) && o.weave > 0) ||
              (mentions(text, {"skew", "turned"}) && o.skewDegrees != 0) ||
              (mentions(text, {"negative"}) && o.negative) ||
              (mentions(text, {"leader", "silent"}) && o.leaderFrames > 0) ||
              (mentions(text, {"light", "flicker"}) && (o.vignetting > 0 || o.flicker > 0));
    }
    if (!right) {
      ++v.wrong;
      v.wrongTexts.push_back(text);
    }
  }
  v.flagged = static_cast<int>(std::count(gapSaid.begin(), gapSaid.end(), true) +
                               std::count(spliceSaid.begin(), spliceSaid.end(), true));
  return v;
}

// Whether a click at reference sample `at` is the reader's own: the ideal reader has
// none near it, no speck crossing the track lies there, and a scan holds the film there
// (`scanned`): rows no scan holds are silent in the reference, where a reader bridges a
// missing scan, eased into and out of the sound either side, and the ideal reader steps.
// The ideal reader's click is near wherever its run of errors lies, not only where it
// departs most: two runs over the same rows of film can peak further apart than that.
bool ownClick(const Reel& reel, int at, const std::vector<ClickRun>& idealClicks,
              const std::vector<bool>& scanned) {
  constexpr int kNear = 16;
  if (!scanned[static_cast<size_t>(at)]) return false;
  const bool ideal = std::any_of(idealClicks.begin(), idealClicks.end(), [at](const ClickRun& c) {
    return at >= c.first - kNear && at <= c.last + kNear;
  });
  const bool dust = std::any_of(
      reel.film.specks.begin(), reel.film.specks.end(), [&](const kelvora::reel::Speck& s) {
        const kelvora::reel::RowRange r = kelvora::reel::trackRowsOf(reel.geometry, s);
        return r.first <= r.last && at >= r.first - 4 && at <= r.last + 4;
      });
  return !ideal && !dust;
}

// The reader's own clicks in `residual` (see ownClick).
int clicksOffDust(const Reel& reel, const std::vector<float>& residual,
                  const std::vector<ClickRun>& idealClicks, const std::vector<bool>& scanned) {
  const std::vector<int> clicks = kelvora::reel::clicksIn(residual);
  return static_cast<int>(std::count_if(clicks.begin(), clicks.end(), [&](int at) {
    return ownClick(reel, at, idealClicks, scanned);
  }));
}

// Where each of the reader's own clicks lies: its film row, the residual of both
// readers around it, the scans (playing order) holding that row and the row in each.
void printClickPlaces(const Reel& reel, const std::vector<float>& residual,
                      const std::vector<float>& idealResidual,
                      const std::vector<ClickRun>& idealClicks, const std::vector<bool>& scanned) {
  const kelvora::reel::ReelGeometry& g = reel.geometry;
  std::vector<bool> present(static_cast<size_t>(reel.options.scans), false);
  for (const int number : reel.scanNumbers)
    present[static_cast<size_t>(reel.options.inverse ? reel.options.scans - 1 - number : number)] =
        true;
  for (const int at : kelvora::reel::clicksIn(residual)) {
    if (!ownClick(reel, at, idealClicks, scanned)) continue;
    std::string text;
    char t[80];
    for (int i = 0; i < reel.options.scans; ++i) {
      const double row = at - g.scanPlace(i);
      if (row < 0 || row >= g.scanLength || !present[static_cast<size_t>(i)]) continue;
      std::snprintf(t, sizeof t, "; scan %d row %.0f of %d", i, row, g.scanLength);
      text += t;
    }
    text += "; residual precise/ideal";
    for (int i = std::max(0, at - 3); i <= at + 3 && i < static_cast<int>(residual.size()); ++i) {
      std::snprintf(t, sizeof t, " %.3f/%.3f", residual[static_cast<size_t>(i)],
                    idealResidual[static_cast<size_t>(i)]);
      text += t;
    }
    std::printf("|   | click at film row %d%s |\n", at, text.c_str());
  }
}

// The faults a reel has, by name, for the summary of what costs most.
std::vector<std::string> faultsOf(const ReelOptions& o) {
  std::vector<std::string> f;
  if (o.filmType == 2) f.push_back("variable density");
  if (o.filmType != 2 && o.unilateral) f.push_back("unilateral");
  if (o.filmType == 3) f.push_back("16 mm");
  if (o.longStrip) f.push_back("long strips");
  if (o.inverse) f.push_back("Inverse");
  if (o.deep) f.push_back("16-bit");
  if (o.dpi != 900 && o.dpi != 1800 && o.dpi != 2400 && o.dpi != 4000) f.push_back("odd dpi");
  if (o.shrinkage > 0) f.push_back("shrinkage");
  if (o.weave > 0) f.push_back("weave");
  if (o.skewDegrees != 0) f.push_back("skew");
  if (o.scratch >= 0) f.push_back(o.darkScratch ? "dark scratch" : "bright scratch");
  if (o.negative) f.push_back("negative");
  if (o.vignetting > 0 || o.flicker > 0) f.push_back("uneven light");
  if (o.densityDrift > 0) f.push_back("density drift");
  if (!o.splices.empty()) f.push_back("splices");
  if (!o.missingScans.empty()) f.push_back("missing scans");
  if (o.dust > 0) f.push_back("dust");
  if (o.gateShadow > 0) f.push_back("gate shadow");
  if (o.leaderFrames > 0) f.push_back("silent leader");
  if (o.partRowSteps || o.stepJitter > 0) f.push_back("uneven steps");
  return f;
}

struct Outcome {
  unsigned seed = 0;
  double ideal = kNoValue, precise = kNoValue, classic = kNoValue;
  int slipped = 0;
  int clicks = 0;
  int wrong = 0;
  double ppm = kNoValue;
  double ratio = kNoValue;
  std::string missed;
  std::vector<std::string> faults;
};

std::string dB(double v) {
  char t[16];
  if (std::isnan(v)) return "fail";
  std::snprintf(t, sizeof t, "%.1f", v);
  return t;
}

std::string ppmText(double v) {
  char t[24];
  if (std::isnan(v)) return "-";
  std::snprintf(t, sizeof t, "%+.0f", v);
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"The readers on random archive reels: SNR, joins, warnings, clicks, rate, time"};
  std::string cli = KELVORA_CLI_PATH;
  int reels = 40;
  unsigned first = 1;
  int runs = 1;
  std::vector<unsigned> only;
  std::string keep;
  bool where = false;
  app.add_option("--cli", cli, "The kelvora-cli binary to run");
  app.add_option("--reels", reels, "How many reels")->check(CLI::Range(1, 100000));
  app.add_option("--first", first, "The first reel's seed");
  app.add_option("--runs", runs, "Runs of each job, for the median time")->check(CLI::Range(1, 99));
  app.add_option("--seed", only, "Only these seeds");
  app.add_option("--keep", keep, "Keep the reels and outputs in this directory");
  app.add_flag("--where", where, "Print where each of the precise reader's clicks lies");
  CLI11_PARSE(app, argc, argv);
  if (only.empty())
    for (int k = 0; k < reels; ++k) only.push_back(first + static_cast<unsigned>(k));

  // A run of its own, so that two runs at once never share a reel.
  const fs::path root =
      keep.empty()
          ? fs::temp_directory_path() / ("kelvora_robustness_bench." + std::to_string(::getpid()))
          : fs::path(keep);
  const auto benchStart = std::chrono::steady_clock::now();
  std::printf(
      "| seed | reel | ideal dB | precise dB | classic dB | slip p/c | flags p | false p/c | "
      "clicks p/c | ppm p | ppm c | s c | s p | x | missed |\n");
  std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
  std::fflush(stdout);
  std::vector<Outcome> outcomes;
  for (const unsigned seed : only) {
    const ReelOptions o = kelvora::reel::randomArchiveReel(seed);
    const fs::path work = root / ("seed" + std::to_string(seed));
    fs::remove_all(work);
    const std::string dir = (work / "scans").string();
    const Reel reel = kelvora::reel::writeReel(o, dir);
    std::vector<float> reference = reel.audio;
    const std::vector<bool> scanned = kelvora::reel::scannedRows(reel);
    for (size_t i = 0; i < reference.size(); ++i)
      if (!scanned[i]) reference[i] = 0.0f;
    const std::vector<float> ideal = kelvora::reel::idealSound(reel);
    if (!keep.empty()) {
      // Beside the readers' sounds: the film's own and the ideal reader's, raw floats.
      const auto save = [&](const char* name, const std::vector<float>& v) {
        std::ofstream((work / name).string(), std::ios::binary)
            .write(reinterpret_cast<const char*>(v.data()),
                   static_cast<std::streamsize>(v.size() * sizeof(float)));
      };
      save("reference.f32", reference);
      save("ideal.f32", ideal);
    }
    const std::string film = filmArguments(o);
    const Job classic = runReader(cli, dir, work, "classic", film, runs);
    const Job precise = runReader(cli, dir, work, "precise", film, runs);

    Outcome out;
    out.seed = seed;
    out.faults = faultsOf(o);
    out.ideal = kelvora::reel::trackedQuality(ideal, reference).snrDb;
    const std::vector<ClickRun> idealClicks =
        kelvora::reel::clickRunsIn(kelvora::reel::trackedResidual(ideal, reference));
    const Listing listing = listingOf(reel);
    const double trueRate = reel.geometry.trueRate;
    int slip[2] = {-1, -1}, wrong[2] = {-1, -1}, clicks[2] = {-1, -1};
    double ppm[2] = {kNoValue, kNoValue};
    WarningVerdict preciseWarnings;
    const Job* jobs[2] = {&precise, &classic};
    double snr[2] = {kNoValue, kNoValue};
    for (int r = 0; r < 2; ++r) {
      const Job& job = *jobs[r];
      if (!job.ok) continue;
      snr[r] = kelvora::reel::trackedQuality(job.sound, reference).snrDb;
      slip[r] = slippedJoins(reel, listing, job.report);
      const WarningVerdict verdict = judgeWarnings(reel, listing, job.report);
      if (r == 0) preciseWarnings = verdict;
      wrong[r] = verdict.wrong;
      clicks[r] = clicksOffDust(reel, kelvora::reel::trackedResidual(job.sound, reference),
                                idealClicks, scanned);
      const double rate = numberOr(job.report, "film_rate", kNoValue);
      ppm[r] = 1e6 * (rate - trueRate) / trueRate;
    }
    out.precise = snr[0];
    out.classic = snr[1];
    out.slipped = slip[0];
    out.clicks = clicks[0];
    out.wrong = wrong[0];
    out.ppm = ppm[0];
    out.ratio = precise.seconds / std::max(classic.seconds, 1e-6);
    const bool soundMet = precise.ok && (out.precise >= out.ideal - 1.0 || out.precise >= 60.0) &&
                          (!classic.ok || out.precise >= out.classic);
    out.missed += soundMet ? '.' : 'S';
    out.missed += precise.ok && slip[0] == 0 ? '.' : 'J';
    out.missed += precise.ok && preciseWarnings.flagged == preciseWarnings.events && wrong[0] == 0
                      ? '.'
                      : 'F';
    out.missed += precise.ok && clicks[0] == 0 ? '.' : 'C';
    out.missed += precise.ok && std::abs(ppm[0]) <= 100.0 ? '.' : 'R';
    out.missed += out.ratio <= 1.5 ? '.' : 'T';
    outcomes.push_back(out);

    const auto pair = [](int a, int b) {
      const auto one = [](int v) { return v < 0 ? std::string("-") : std::to_string(v); };
      return one(a) + "/" + one(b);
    };
    std::printf(
        "| %u | %s | %s | %s | %s | %s | %d/%d | %s | %s | %s | %s | %.2f | %.2f | %.2fx | %s |\n",
        seed, kelvora::reel::describeReel(o).c_str(), dB(out.ideal).c_str(),
        dB(out.precise).c_str(), dB(out.classic).c_str(), pair(slip[0], slip[1]).c_str(),
        preciseWarnings.flagged, preciseWarnings.events, pair(wrong[0], wrong[1]).c_str(),
        pair(clicks[0], clicks[1]).c_str(), ppmText(ppm[0]).c_str(), ppmText(ppm[1]).c_str(),
        classic.seconds, precise.seconds, out.ratio, out.missed.c_str());
    if (!precise.ok) std::printf("|   | precise failed: %s |\n", precise.failure.c_str());
    if (!classic.ok) std::printf("|   | classic failed: %s |\n", classic.failure.c_str());
    if (where && precise.ok)
      printClickPlaces(reel, kelvora::reel::trackedResidual(precise.sound, reference),
                       kelvora::reel::trackedResidual(ideal, reference), idealClicks, scanned);
    for (const std::string& w : preciseWarnings.wrongTexts)
      std::printf("|   | false warning: %s |\n", w.c_str());
    std::fflush(stdout);
    if (keep.empty()) fs::remove_all(work);
  }
  if (keep.empty()) fs::remove_all(root);

  // The summary: reels meeting each target, the worst cases, what costs the most.
  const int n = static_cast<int>(outcomes.size());
  const char* names = "SJFCRT";
  std::string met;
  int allMet = 0;
  for (int t = 0; t < 6; ++t) {
    const int count = static_cast<int>(std::count_if(
        outcomes.begin(), outcomes.end(), [t](const Outcome& o) { return o.missed[t] == '.'; }));
    met += std::string(t ? ", " : "") + names[t] + " " + std::to_string(count) + "/" +
           std::to_string(n);
  }
  for (const Outcome& o : outcomes) allMet += o.missed == "......" ? 1 : 0;
  const auto worst = [&](auto key) {
    const Outcome* w = nullptr;
    for (const Outcome& o : outcomes)
      if (!w || key(o) > key(*w)) w = &o;
    return w;
  };
  const auto shortfall = [](const Outcome& o) {
    return std::isnan(o.precise) ? 1e9 : o.ideal - o.precise;
  };
  const auto rateOff = [](const Outcome& o) { return std::isnan(o.ppm) ? 1e12 : std::abs(o.ppm); };
  const Outcome* dbWorst = worst(shortfall);
  const Outcome* rateWorst = worst(rateOff);
  const Outcome* clickWorst = worst([](const Outcome& o) { return o.clicks; });
  const Outcome* timeWorst = worst([](const Outcome& o) { return o.ratio; });
  const Outcome* warnWorst = worst([](const Outcome& o) { return o.wrong; });
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - benchStart).count();
  if (n > 0) {
    std::printf(
        "\nsummary: %d reels; targets met: %s; all six %d/%d; worst: precise %s dB under ideal "
        "(seed %u), rate %s ppm (seed %u), %d clicks (seed %u), %.2fx time (seed %u), %d false "
        "warnings (seed %u); %.0f s\n",
        n, met.c_str(), allMet, n, dB(shortfall(*dbWorst)).c_str(), dbWorst->seed,
        ppmText(rateWorst->ppm).c_str(), rateWorst->seed, clickWorst->clicks, clickWorst->seed,
        timeWorst->ratio, timeWorst->seed, warnWorst->wrong, warnWorst->seed, seconds);
    // What each fault costs: the precise reader's mean shortfall against the ideal on the
    // reels that have it, worst first.
    std::map<std::string, std::vector<double>> byFault;
    for (const Outcome& o : outcomes)
      for (const std::string& f : o.faults) byFault[f].push_back(std::min(shortfall(o), 100.0));
    std::vector<std::pair<double, std::string>> cost;
    for (const auto& [fault, values] : byFault) {
      double sum = 0.0;
      for (const double v : values) sum += v;
      cost.emplace_back(sum / values.size(), fault);
    }
    std::sort(cost.rbegin(), cost.rend());
    std::printf("\n| fault | reels | precise under ideal, mean dB |\n|---|---|---|\n");
    for (const auto& [mean, fault] : cost)
      std::printf("| %s | %zu | %.1f |\n", fault.c_str(), byFault[fault].size(), mean);
  }
  return 0;
}
