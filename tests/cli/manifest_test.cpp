// Manifests as archives write them, and how a batch plans and splits them.
#include <filesystem>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "cli/manifest.h"
#include "cli/reel_plan.h"
#include "support/damage.h"
#include "support/temp_dir.h"

namespace kelvora {
namespace {

Manifest parse(const std::string& text) {
  std::istringstream in(text);
  return parseManifest(in);
}

BatchPlan plan(const std::string& text, bool movie = false) {
  BatchRequest request;
  request.outputDirectory = "/out";
  request.movie = movie;
  request.common.film.fps = 24;
  return planBatch(parse(text), request);
}

TEST(ManifestTest, LinesAndRows) {
  const struct {
    std::string text;
    std::vector<std::string> directories;
    std::vector<std::string> names;
    std::vector<std::string> errors;  // per reel, "" for none
  } cases[] = {
      {"# reels of box 12\n/scans/r1\n\n  /scans/r2/  --film 16va --down\n",
       {"/scans/r1", "/scans/r2/"},
       {"r1", "r2"},
       {"", ""}},
      {"'/scans/box 3/reel 1' --name first\n\"/scans/b\" --fps 25\n",
       {"/scans/box 3/reel 1", "/scans/b"},
       {"first", "b"},
       {"", ""}},
      {"dir,film,down,name\n/s/a,16va,yes,\n\"/s/b,c\",,no,bc\n/s/d,35vd,0\n",
       {"/s/a", "/s/b,c", ""},
       {"a", "bc", ""},
       {"", "", "3 fields where the header has 4"}},
      {"/s/a --film 70mm\n/s/b --no-such-option\n'/s/c\n/s/d",
       {"/s/a", "/s/b", "", "/s/d"},
       {"a", "b", "", "d"},
       {"70mm", "--no-such-option", "an unclosed quote", ""}},
      {"dir,colour\n/s/a,R\n", {"/s/a"}, {"a"}, {"no option --colour"}},
  };
  for (const auto& c : cases) {
    const BatchPlan p = plan(c.text);
    ASSERT_EQ(p.error, "") << c.text;
    ASSERT_EQ(p.reels.size(), c.directories.size()) << c.text;
    for (size_t k = 0; k < p.reels.size(); ++k) {
      const ReelPlan& r = p.reels[k];
      EXPECT_EQ(r.directory, c.directories[k]) << c.text;
      if (c.errors[k].empty()) {
        EXPECT_EQ(r.error, "") << c.text;
        EXPECT_EQ(r.name, c.names[k]) << c.text;
        EXPECT_EQ(r.soundPath(), "/out/" + c.names[k] + ".wav");
      } else {
        EXPECT_NE(r.error.find(c.errors[k]), std::string::npos) << r.error;
      }
    }
  }
}

TEST(ManifestTest, ALineChangesOnlyItsOwnReel) {
  const BatchPlan p = plan("/s/a --film 16va --down\n/s/b\ndir\n");
  ASSERT_EQ(p.reels.size(), 3u);
  EXPECT_EQ(p.reels[0].settings.film.film, "16va");
  EXPECT_TRUE(p.reels[0].settings.film.down);
  EXPECT_EQ(p.reels[0].settings.film.fps, 24);  // the batch's own
  EXPECT_EQ(p.reels[1].settings.film.film, "35va");
  EXPECT_FALSE(p.reels[1].settings.film.down);
  EXPECT_NE(describeSettings(p.reels[0]), describeSettings(p.reels[1]));
  EXPECT_EQ(p.reels[2].directory, "dir");  // not on the first line: a reel called dir
  const BatchPlan csv = plan("dir\n/s/a\n/s/b\n");
  ASSERT_EQ(csv.reels.size(), 2u);
  EXPECT_EQ(csv.reels[1].name, "b");

  // An archive format names its file and its settings; a classic reel's line is as
  // it was, so the records of earlier batches still hold.
  const BatchPlan flac = plan("/s/a --format flac --rate 48000\n/s/b\n");
  EXPECT_EQ(flac.reels[0].soundPath(), "/out/a.flac");
  EXPECT_NE(describeSettings(flac.reels[0]).find(" format=flac rate=48000"), std::string::npos);
  EXPECT_EQ(describeSettings(flac.reels[1]).find("format="), std::string::npos);
  // A batch's movie is the classic AVI.
  const BatchPlan movies = plan("/s/a --codec H264\n/s/b --size native\n/s/c --codec XVID\n", true);
  EXPECT_NE(movies.reels[0].error.find("give --with-sound"), std::string::npos);
  EXPECT_NE(movies.reels[1].error.find("give --with-sound"), std::string::npos);
  EXPECT_EQ(movies.reels[2].error, "");
}

TEST(ManifestTest, WholeManifestProblems) {
  const struct {
    std::string text;
    std::string error;
  } cases[] = {
      {"", "lists no reels"},
      {"# only a comment\n\n", "lists no reels"},
      {"/box1/reel1\n/box2/reel1/\n", "lines 1 and 2 would both write reel1.*"},
      {"/s/a --name x\n/s/b\n/s/c --name x\n", "lines 1 and 3"},
      // A CSV whose header names its directories otherwise is no list of reels "path,film".
      {"path,film\n/s/a,16va\n", "header without a dir column"},
      {"reel_dir, film, down\n/s/a,16va,yes\n", "(reel_dir, film, down)"},
  };
  for (const auto& c : cases) {
    const Manifest m = parse(c.text);
    const std::string error = m.error.empty() ? plan(c.text).error : m.error;
    EXPECT_NE(error.find(c.error), std::string::npos) << c.text << ": " << error;
  }
}

// Relative directories are taken from where the manifest lies, not from where the batch
// was started; absolute ones and standard input's stay as they are.
TEST(ManifestTest, RelativeDirectoriesAreTheManifests) {
  test::TempDir dir;
  std::filesystem::create_directories(dir.file("box12"));
  test::writeText(dir.file("box12/manifest.txt"), "reel1 --down\n../box13/reel2\n/abs/reel3\n");
  test::writeText(dir.file("box12/manifest.csv"), "dir,down\nreel1,yes\n");
  const Manifest text = readManifest(dir.file("box12/manifest.txt"));
  ASSERT_EQ(text.reels.size(), 3u);
  EXPECT_EQ(text.reels[0].directory, dir.file("box12/reel1"));
  EXPECT_EQ(text.reels[1].directory, dir.file("box12/../box13/reel2"));
  EXPECT_EQ(text.reels[2].directory, "/abs/reel3");
  EXPECT_EQ(readManifest(dir.file("box12/manifest.csv")).reels[0].directory,
            dir.file("box12/reel1"));
}

TEST(ShardTest, ShardsSplitTheManifestOnce) {
  for (const size_t reels : {0u, 1u, 6u, 7u, 100u}) {
    for (int count = 1; count <= 8; ++count) {
      std::multiset<size_t> taken;
      for (int index = 1; index <= count; ++index) {
        Shard shard;
        ASSERT_EQ(parseShard(std::to_string(index) + "/" + std::to_string(count), shard), "");
        const std::vector<size_t> mine = reelsOfShard(reels, shard);
        EXPECT_LE(mine.size(), reels / static_cast<size_t>(count) + 1);
        taken.insert(mine.begin(), mine.end());
      }
      ASSERT_EQ(taken.size(), reels);
      for (size_t k = 0; k < reels; ++k) EXPECT_EQ(taken.count(k), 1u);
    }
  }
  Shard shard;
  for (const char* bad : {"", "3", "0/3", "4/3", "1/0", "a/b", "1/3x", "-1/3"})
    EXPECT_NE(parseShard(bad, shard), "") << bad;
}

}  // namespace
}  // namespace kelvora
