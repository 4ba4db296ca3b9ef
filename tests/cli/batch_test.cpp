// Batches of generated reels through the real binary: the same files as single runs,
// a kill -9 survived, one bad reel alone, shards that split the work once.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "reel/reel.h"
#include "support/cli_run.h"
#include "support/damage.h"
#include "support/temp_dir.h"
#include "support/wav_file.h"

namespace kelvora {
namespace {

namespace fs = std::filesystem;
using test::runCli;

nlohmann::json readJson(const std::string& path) {
  std::ifstream in(path);
  return nlohmann::json::parse(in, nullptr, false);
}

// Three kinds of reel, each with the manifest options it needs.
class BatchTest : public ::testing::Test {
 protected:
  struct Kind {
    std::string name;
    std::string options;       // for both jobs
    std::string soundOptions;  // for the sound alone
    reel::ReelOptions film;
  };

  void SetUp() override {
    kinds_ = {
        {"colour", "", "", {.scans = 5}},
        {"sixteen", "--film 16va", "", {.filmType = 3, .dpi = 1800, .scans = 5, .colour = false}},
        {"down", "--down", "--no-filter", {.scans = 5, .directionUp = false}}};
    for (const Kind& k : kinds_) reel::writeReel(k.film, dir_.file(k.name));
  }

  std::string manifest(const std::string& text) const {
    test::writeText(dir_.file("manifest.txt"), text);
    return dir_.file("manifest.txt");
  }

  std::string allKinds() const {
    std::string text = "# three reels\n";
    for (const Kind& k : kinds_)
      text += dir_.file(k.name) + " " + k.options + " " + k.soundOptions + "\n";
    return manifest(text);
  }

  // What `sound` and `movie` write for a kind of reel on their own.
  std::string single(const Kind& k, const std::string& command) const {
    const std::string out = dir_.file("single-" + k.name + (command == "sound" ? ".wav" : ".avi"));
    const auto r = runCli(command + " " + dir_.file(k.name) + " " + k.options + " " +
                          (command == "sound" ? k.soundOptions : "") + " -o " + out);
    EXPECT_EQ(r.status, 0) << r.output;
    return test::fileText(out);
  }

  test::TempDir dir_;
  std::vector<Kind> kinds_;
};

TEST_F(BatchTest, GivesTheFilesOfSingleRunsAndSkipsThemNextTime) {
  const std::string out = dir_.file("out");
  const auto first = runCli("batch " + allKinds() + " -o " + out + " --sound --movie --jobs 2");
  ASSERT_EQ(first.status, 0) << first.output;
  for (const Kind& k : kinds_) {
    EXPECT_TRUE(test::fileText(out + "/" + k.name + ".wav") == single(k, "sound")) << k.name;
    EXPECT_TRUE(test::fileText(out + "/" + k.name + ".avi") == single(k, "movie")) << k.name;
    const nlohmann::json record = readJson(out + "/" + k.name + ".json");
    EXPECT_EQ(record["complete"], true);
    EXPECT_EQ(record["frames"], 5);
    EXPECT_EQ(record["sound"]["frames"].size(), 5u);
  }
  const nlohmann::json summary = readJson(out + "/batch.json");
  ASSERT_EQ(summary["reels"].size(), 3u);
  EXPECT_EQ(summary["failed"], 0);
  EXPECT_EQ(test::hiddenFiles(out), 0);
  EXPECT_NE(first.output.find("reel     outcome"), std::string::npos) << first.output;

  // Again: nothing to do. Then one reel's settings change, and one output is lost.
  const auto again = runCli("batch " + allKinds() + " -o " + out + " --sound --movie");
  ASSERT_EQ(again.status, 0) << again.output;
  const nlohmann::json skipped = readJson(out + "/batch.json");
  for (const nlohmann::json& reel : skipped["reels"]) EXPECT_EQ(reel["outcome"], "skipped") << reel;
  fs::remove(out + "/colour.avi");
  kinds_[2].soundOptions = "";
  const auto changed = runCli("batch " + allKinds() + " -o " + out + " --sound --movie");
  ASSERT_EQ(changed.status, 0) << changed.output;
  const nlohmann::json reels = readJson(out + "/batch.json")["reels"];
  EXPECT_EQ(reels[0]["outcome"], "done");
  EXPECT_EQ(reels[1]["outcome"], "skipped");
  EXPECT_EQ(reels[2]["outcome"], "done");
  EXPECT_TRUE(test::fileText(out + "/down.wav") == single(kinds_[2], "sound"));
  EXPECT_TRUE(test::fileText(out + "/colour.avi") == single(kinds_[0], "movie"));
}

// A batch killed outright leaves no file that looks finished; run again, it does only
// what was not complete and ends with every output whole.
TEST_F(BatchTest, AKillMidBatchLosesNothingDone) {
  reel::ReelOptions longer{.dpi = 450, .scans = 60, .grain = 0};
  std::string text;
  for (int k = 1; k <= 4; ++k) {
    longer.seed = static_cast<unsigned>(k);
    reel::writeReel(longer, dir_.file("long" + std::to_string(k)));
    text += dir_.file("long" + std::to_string(k)) + "\n";
  }
  const std::string list = manifest(text);
  const std::string out = dir_.file("out");

  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    const int devnull = ::open("/dev/null", O_WRONLY);
    ::dup2(devnull, STDERR_FILENO);
    ::execl(KELVORA_CLI_PATH, KELVORA_CLI_PATH, "batch", list.c_str(), "-o", out.c_str(), "--jobs",
            "1", "--sound", "--movie", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  // Killed while the second reel is under way.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (!fs::exists(out + "/long1.json") && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  ::kill(pid, SIGKILL);
  int status = 0;
  ::waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status)) << "the batch ended before it could be killed";

  std::map<std::string, std::string> before;
  for (int k = 1; k <= 4; ++k) {
    const std::string name = "long" + std::to_string(k);
    const bool recorded = fs::exists(out + "/" + name + ".json");
    // An output in place has a record that calls it complete.
    for (const char* ext : {".wav", ".avi"}) {
      if (!fs::exists(out + "/" + name + ext)) continue;
      ASSERT_TRUE(recorded) << name << ext;
      EXPECT_EQ(readJson(out + "/" + name + ".json")["complete"], true) << name;
    }
    if (recorded) before[name] = test::fileText(out + "/" + name + ".json");
  }
  EXPECT_GE(before.size(), 1u);
  EXPECT_LE(before.size(), 2u);

  const auto resumed = runCli("batch " + list + " -o " + out + " --sound --movie");
  ASSERT_EQ(resumed.status, 0) << resumed.output;
  // What the killed run left half written is cleared away by the next.
  EXPECT_EQ(test::hiddenFiles(out), 0);
  const nlohmann::json reels = readJson(out + "/batch.json")["reels"];
  for (int k = 1; k <= 4; ++k) {
    const std::string name = "long" + std::to_string(k);
    const bool wasDone = before.count(name) == 1;
    EXPECT_EQ(reels[k - 1]["outcome"], wasDone ? "skipped" : "done") << name;
    if (wasDone) {
      EXPECT_TRUE(test::fileText(out + "/" + name + ".json") == before[name]);
    }
    const test::WavFile wav = test::readWav(out + "/" + name + ".wav");
    EXPECT_TRUE(wav.valid) << name;
    const auto single = runCli("sound " + dir_.file(name) + " -o " + dir_.file(name + ".wav"));
    EXPECT_TRUE(test::fileText(dir_.file(name + ".wav")) ==
                test::fileText(out + "/" + name + ".wav"))
        << name << single.output;
  }
}

// One reel with a corrupt scan fails alone; with --skip-unreadable it is bridged with
// silence of the scan's length and the sound on either side stays where it was.
TEST_F(BatchTest, ACorruptScanFailsItsReelAloneOrIsBridged) {
  fs::copy(dir_.file("colour"), dir_.file("damaged"));
  test::corruptImageData(dir_.file("damaged/scan_0003.tif"));
  const std::string list = manifest(dir_.file("damaged") + "\n" + dir_.file("colour") + "\n");
  const std::string out = dir_.file("out");

  const auto failed = runCli("batch " + list + " -o " + out);
  EXPECT_EQ(failed.status, 1) << failed.output;
  EXPECT_NE(failed.output.find("cannot read frame 3"), std::string::npos) << failed.output;
  const nlohmann::json reels = readJson(out + "/batch.json")["reels"];
  EXPECT_EQ(reels[0]["outcome"], "failed");
  EXPECT_EQ(reels[1]["outcome"], "done");
  EXPECT_FALSE(fs::exists(out + "/damaged.wav"));
  EXPECT_EQ(readJson(out + "/damaged.json")["complete"], false);

  const auto bridged = runCli("batch " + list + " -o " + out + " --skip-unreadable --no-filter");
  ASSERT_EQ(bridged.status, 0) << bridged.output;
  const nlohmann::json record = readJson(out + "/damaged.json");
  ASSERT_EQ(record["warnings"].size(), 1u);
  EXPECT_NE(record["warnings"][0].get<std::string>().find("frame 3"), std::string::npos);
  EXPECT_EQ(record["sound"]["bridged"][0]["frame"], 3);

  runCli("sound " + dir_.file("colour") + " --no-filter -o " + dir_.file("whole.wav"));
  const test::WavFile whole = test::readWav(dir_.file("whole.wav"));
  const test::WavFile gap = test::readWav(out + "/damaged.wav");
  ASSERT_TRUE(gap.valid);
  ASSERT_EQ(gap.data.size(), whole.data.size());
  EXPECT_EQ(gap.sampleRate, whole.sampleRate);
  // Scans start `advance` rows apart: the third scan's own stretch is silent.
  const size_t advance = static_cast<size_t>(record["sound"]["frames"][1]["cut_point"]);
  size_t same = 0;
  for (size_t i = 0; i < whole.data.size(); ++i) {
    if (i >= 2 * advance && i < 3 * advance) {
      EXPECT_EQ(gap.data[i], gap.data[2 * advance]) << i;
    } else {
      same += gap.data[i] == whole.data[i];
    }
  }
  EXPECT_GT(same, (whole.data.size() - advance) * 9 / 10);
}

// Three shards into one directory do every reel exactly once, as one machine would.
TEST_F(BatchTest, ShardsDoEveryReelOnce) {
  std::string text;
  for (int k = 1; k <= 7; ++k) {
    const Kind& kind = kinds_[static_cast<size_t>(k) % kinds_.size()];
    text += dir_.file(kind.name) + " " + kind.options + " --name reel" + std::to_string(k) + "\n";
  }
  const std::string list = manifest(text);
  const std::string shared = dir_.file("shared");
  for (const char* shard : {"3/3", "1/3", "2/3"}) {
    const auto r = runCli("batch " + list + " -o " + shared + " --jobs 1 --shard " + shard);
    ASSERT_EQ(r.status, 0) << r.output;
  }
  std::map<std::string, int> done;
  for (int index = 1; index <= 3; ++index) {
    const nlohmann::json summary =
        readJson(shared + "/batch-" + std::to_string(index) + "-of-3.json");
    for (const nlohmann::json& reel : summary["reels"]) {
      EXPECT_EQ(reel["outcome"], "done");
      ++done[reel["reel"]];
    }
  }
  ASSERT_EQ(done.size(), 7u);
  for (const auto& [name, times] : done) EXPECT_EQ(times, 1) << name;

  const auto whole = runCli("batch " + list + " -o " + dir_.file("whole") + " --jobs 3");
  ASSERT_EQ(whole.status, 0) << whole.output;
  for (int k = 1; k <= 7; ++k) {
    const std::string wav = "/reel" + std::to_string(k) + ".wav";
    EXPECT_TRUE(test::fileText(shared + wav) == test::fileText(dir_.file("whole") + wav)) << wav;
  }
}

}  // namespace
}  // namespace kelvora
