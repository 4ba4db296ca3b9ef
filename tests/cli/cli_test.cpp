// The command line as a user meets it: the real binary, its messages and exit codes.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include <gtest/gtest.h>
#include <pty.h>

#include "reel/reel.h"
#include "support/cli_run.h"
#include "support/damage.h"
#include "support/temp_dir.h"
#include "support/wav_file.h"

namespace kelvora {
namespace {

using test::TempDir;

using Result = test::CliResult;
using test::runCli;

// The same, in a shell whose files may grow to `blocks` of 512 bytes: a full disk.
Result runLimited(int blocks, const std::string& args) {
  return runCli(args, "trap '' XFSZ; ulimit -f " + std::to_string(blocks) + "; ");
}

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reel::ReelOptions options;
    options.scans = 4;
    reel_ = reel::writeReel(options, dir_.file("scans"));
  }
  TempDir dir_;
  reel::Reel reel_;
};

TEST(CliBasicsTest, VersionAndHelp) {
  const Result version = runCli("--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_NE(version.output.find("kelvora-cli 0.9"), std::string::npos);
  const Result help = runCli("sound --help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.output.find("--cut-by-soundtrack"), std::string::npos);
}

TEST_F(CliTest, DecodesADirectoryWithAReport) {
  const Result r = runCli("sound " + dir_.file("scans") + " -o " + dir_.file("out.wav") +
                          " --report " + dir_.file("r.json"));
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("Translating frame number : 4..."), std::string::npos);
  EXPECT_NE(r.output.find("Pictures were tranlated succesfully!"), std::string::npos);
  const test::WavFile wav = test::readWav(dir_.file("out.wav"));
  EXPECT_TRUE(wav.valid);
  EXPECT_EQ(static_cast<int>(wav.sampleRate), reel_.geometry.sampleRate);
  const std::string report = test::fileText(dir_.file("r.json"));
  EXPECT_NE(report.find("\"cut_point\": 680"), std::string::npos);
  EXPECT_NE(report.find("\"frame_pitch\": 680"), std::string::npos);
}

TEST_F(CliTest, AScanFileNamesItsDirectoryAndADirectoryOutputGetsTheDefaultName) {
  std::filesystem::create_directory(dir_.file("out"));
  const Result r = runCli("sound " + reel_.scanPaths[1] + " --start 2 --stop 3 -o " +
                          dir_.file("out") + " --no-filter --no-crossfade --color G");
  ASSERT_EQ(r.status, 0) << r.output;
  const test::WavFile wav = test::readWav(dir_.file("out/sound.wav"));
  EXPECT_EQ(wav.data.size(),
            static_cast<size_t>(reel_.geometry.advance + reel_.geometry.scanLength));
}

// What a job cannot do is refused before it starts: exit 2, a message naming the
// cause, and an older output left as it was.
TEST_F(CliTest, ProblemsAreRefusedBeforeTheJob) {
  const std::string scans = dir_.file("scans");
  const std::string out = " -o " + dir_.file("x.wav");
  const struct {
    std::string args;
    std::string message;
  } cases[] = {
      {"sound", "input is required"},
      {"sound /no/such/reel", "input not found"},
      {"sound " + scans + " --film 70mm", "70mm"},
      {"sound " + scans + " --fps 30", "30"},
      {"sound " + scans + " --start 0" + out, "--start must be 1 or more"},
      {"sound " + scans + " --stop 0" + out, "--stop must be 1 or more"},
      {"sound " + scans + " --start 3 --stop 2" + out, "--stop must not be lower than --start"},
      {"sound " + scans + " --stop 9" + out, "holds 4 scans"},
      {"sound " + scans + " --resolution 1800" + out, "two whole numbers"},
      {"sound " + scans + " --resolution 0,0" + out, "between 100 and 20000 dpi"},
      {"sound " + scans + " --resolution 1,1" + out, "between 100 and 20000 dpi"},
      {"sound " + scans + " --resolution 1800,20001" + out, "between 100 and 20000 dpi"},
      {"sound " + scans + " -o " + dir_.file("nowhere/x.wav"), "No such file or directory"},
      {"sound " + scans + " -o " + dir_.file(std::string(300, 'n') + ".wav"), "File name too long"},
      {"sound " + scans + " -o " + reel_.scanPaths[1], "is the input scan"},
      {"sound " + scans + out + " --report " + dir_.file("nowhere/r.json"),
       "cannot write the report"},
      {"sound " + scans + out + " --report " + reel_.scanPaths[0], "is the input scan"},
      {"sound " + scans + " --format flac" + out, "must end in .flac"},
      {"sound " + scans + " --format wav24 -o " + dir_.file("x.flac"), "must end in .wav"},
      {"sound " + scans + " -o " + dir_.file("x.flac"), "must end in .wav"},
      // Every name says what it holds, and a mistake is named with what was meant.
      {"sound " + scans + " -o " + dir_.file("x.mp3"), "must end in .wav"},
      {"sound " + scans + " -o " + dir_.file("x.txt"), "must end in .wav"},
      {"sound " + scans + " -o " + dir_.file("x"), "must end in .wav"},
      {"sound " + scans + " -o " + dir_.file("missing/"),
       "the output directory " + dir_.file("missing/") + " does not exist"},
      {"sound " + scans + " --flim 16va" + out,
       "--flim is no option of sound: did you mean --film?"},
      {"sound " + scans + " --frame-corection" + out, "did you mean --frame-correction?"},
      {"bach " + scans, "bach is no command of kelvora-cli: did you mean batch?"},
      {"sound " + scans + " --format mp3" + out, "mp3"},
      {"sound " + scans + " --rate 7999" + out, "--rate takes film or 8000 to 384000"},
      {"movie " + scans + " -o " + dir_.file("m.png"), "must end in .avi"},
      {"movie " + scans + " -o " + dir_.file("m.mkv"), "must end in .avi"},
      {"movie " + scans + " --codec H264 -o " + dir_.file("m.avi"), "H264"},
      {"movie " + scans + " --size native -o " + dir_.file("m.avi"), "give --with-sound"},
      {"movie " + scans + " --with-sound auto -o " + dir_.file("m.avi"),
       "must end in .mkv or .mp4"},
      {"movie " + scans + " --with-sound auto --codec FFV1 -o " + dir_.file("m.mp4"),
       "FFV1 is written in MKV"},
      {"movie " + scans + " --with-sound " + dir_.file("none.wav") + " -o " + dir_.file("m.mkv"),
       "is not there"},
  };
  const std::string scan = test::fileText(reel_.scanPaths[1]);
  test::writeText(dir_.file("x.wav"), "an earlier take");
  for (const auto& c : cases) {
    const Result r = runCli(c.args);
    EXPECT_EQ(r.status, 2) << c.args;
    EXPECT_NE(r.output.find(c.message), std::string::npos) << c.args << "\n" << r.output;
    EXPECT_EQ(r.output.find("Translating"), std::string::npos) << c.args;
    EXPECT_EQ(r.output.find("not in range"), std::string::npos) << c.args;
  }
  EXPECT_TRUE(test::fileText(dir_.file("x.wav")) == "an earlier take");
  EXPECT_TRUE(test::fileText(reel_.scanPaths[1]) == scan);
  EXPECT_FALSE(std::filesystem::exists(dir_.file("m.png")));
}

// A disk that fills up mid-write (here a file size limit) is a failure that names its
// cause, and the older file of that name survives it.
TEST_F(CliTest, AFullDiskNamesTheCauseAndKeepsTheOlderFile) {
  const struct {
    std::string command;
    std::string output;
    int limitBlocks;  // of 512 bytes
  } cases[] = {{"sound", "x.wav", 4},
               {"sound --format wav24 --rate 48000", "x.wav", 4},
               {"sound --format flac", "x.flac", 1},
               {"movie", "x.avi", 40}};
  for (const auto& c : cases) {
    test::writeText(dir_.file(c.output), "an earlier take");
    const Result r = runLimited(
        c.limitBlocks, c.command + " " + dir_.file("scans") + " -o " + dir_.file(c.output));
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("File too large"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("Wrote"), std::string::npos) << r.output;
    EXPECT_TRUE(test::fileText(dir_.file(c.output)) == "an earlier take") << c.command;
    EXPECT_EQ(test::hiddenFiles(dir_.path().string()), 0) << c.command;
  }
}

// A disk really full: each output kind names "No space left on device", leaves the older
// file as it was and no temporary. The disk is a small file system mounted, in a mount
// namespace of the test's own, where the system allows one.
TEST_F(CliTest, ARealFullDiskIsNamedForEveryOutputKind) {
  if (std::system("unshare -Urm true 2>/dev/null") != 0) GTEST_SKIP() << "no mount namespace";
  const std::string disk = dir_.file("disk");
  std::filesystem::create_directory(disk);
  const struct {
    std::string options;
    std::string output;
  } cases[] = {{"sound", "x.wav"},
               {"sound --format wav24 --rate 48000", "x.wav"},
               {"sound --format flac", "x.flac"},
               {"sound --format float --reader precise", "x.wav"},
               {"sound --report " + disk + "/r.json", "x.wav"},
               {"movie", "x.avi"},
               {"movie --with-sound auto", "x.mkv"}};
  for (const auto& c : cases) {
    // The older take fills one page of the sixteen, the filler the other fifteen.
    const std::string out = disk + "/" + c.output;
    const std::string script = "mount -t tmpfs -o size=64k tmpfs " + disk +
                               " && printf 'an earlier take' > " + out + " && head -c 61440 " +
                               "/dev/zero > " + disk + "/fill && " + KELVORA_CLI_PATH + " " +
                               c.options + " " + dir_.file("scans") + " -o " + out +
                               "; echo status=$?; echo older=$(cat " + out +
                               "); echo hidden=$(ls -A " + disk + " | grep -c '^[.]')";
    test::writeText(dir_.file("full.sh"), script);
    const Result r = test::runShell("unshare -Urm sh " + dir_.file("full.sh") + " 2>&1");
    EXPECT_NE(r.output.find("status=1"), std::string::npos) << c.options << "\n" << r.output;
    EXPECT_NE(r.output.find("No space left on device"), std::string::npos) << c.options << "\n"
                                                                           << r.output;
    EXPECT_NE(r.output.find("older=an earlier take"), std::string::npos) << c.options;
    EXPECT_NE(r.output.find("hidden=0"), std::string::npos) << c.options << "\n" << r.output;
  }
}

// On a terminal one progress line, with the frames a second and the time left, stands in
// for the line each frame would print; the job's other lines still print.
TEST_F(CliTest, OnATerminalOneProgressLineStandsInForTheFrameLines) {
  int terminal = -1;
  const pid_t pid = ::forkpty(&terminal, nullptr, nullptr, nullptr);
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::execl(KELVORA_CLI_PATH, KELVORA_CLI_PATH, "sound", dir_.file("scans").c_str(), "-o",
            dir_.file("tty.wav").c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  std::string seen;
  char buffer[256];
  ssize_t n;
  while ((n = ::read(terminal, buffer, sizeof buffer)) > 0) seen.append(buffer, n);
  ::close(terminal);
  int status = 0;
  ::waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << seen;
  EXPECT_EQ(seen.find("Translating frame number"), std::string::npos) << seen;
  EXPECT_NE(seen.find("Picture resolution (dpi) x=900,y=900"), std::string::npos) << seen;
  EXPECT_NE(seen.find("frame 4 of 4"), std::string::npos) << seen;
  EXPECT_NE(seen.find(" frames/s  0:0"), std::string::npos) << seen;
  EXPECT_NE(seen.find(" left"), std::string::npos) << seen;
  EXPECT_NE(seen.find("Pictures were tranlated succesfully!"), std::string::npos) << seen;
  // Without a terminal every line prints, as the window's status box shows them.
  const Result plain = runCli("sound " + dir_.file("scans") + " -o " + dir_.file("plain.wav"));
  EXPECT_NE(plain.output.find("Translating frame number : 4..."), std::string::npos);
  EXPECT_EQ(plain.output.find("frames/s"), std::string::npos);
}

// A scan that cannot be read fails the job naming the cause; the sound is all or
// nothing, the classic movie keeps the frames before it.
TEST_F(CliTest, UnreadableScanFailsAndNamesTheCause) {
  test::corruptImageData(reel_.scanPaths[2]);
  const Result r = runCli("sound " + dir_.file("scans") + " -o " + dir_.file("out.wav"));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("Wrong file format !!!"), std::string::npos);
  EXPECT_NE(r.output.find("cannot read frame 3"), std::string::npos);
  EXPECT_NE(r.output.find("corrupt image data"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir_.file("out.wav")));
  const Result movie = runCli("movie " + dir_.file("scans") + " -o " + dir_.file("out.avi"));
  EXPECT_EQ(movie.status, 1);
  EXPECT_NE(movie.output.find("keeps the 2 frames written"), std::string::npos) << movie.output;
}

TEST_F(CliTest, MakesAMovie) {
  const Result r = runCli("movie " + dir_.file("scans") + " -o " + dir_.file("out.avi") +
                          " --size 320x240 --codec XVID --fps 24");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("Cutting frame number : 4..."), std::string::npos);
  EXPECT_NE(r.output.find("Film was made succesfully!!!"), std::string::npos);
  EXPECT_NE(r.output.find("4 frames of 320x240 at 24 fps (XVID)"), std::string::npos);
  EXPECT_GT(std::filesystem::file_size(dir_.file("out.avi")), 1000u);
}

// Each process loads only the libraries its job needs: the movie codecs and the general
// image library bring a hundred others each, which would slow every start.
TEST_F(CliTest, AJobLoadsOnlyTheLibrariesItNeeds) {
  struct Case {
    const char* job;
    bool codecs;
  };
  const Case cases[] = {
      {"sound {in} -o {out}.wav", false},
      {"sound {in} -o {out}.flac --format flac --reader precise", false},
      {"movie {in} -o {out}.avi", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.job);
    std::string job = c.job;
    job.replace(job.find("{in}"), 4, dir_.file("scans"));
    job.replace(job.find("{out}"), 5, dir_.file("out"));
    const Result r = runCli(job, "LD_DEBUG=files ");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output.find("libkelvora_movie_codecs") != std::string::npos, c.codecs);
    EXPECT_EQ(r.output.find("libavcodec") != std::string::npos, c.codecs);
    EXPECT_EQ(r.output.find("libkelvora_general_decoder"), std::string::npos);
  }
}

// Ctrl-C stops every job between frames and says so; what is all or nothing leaves
// nothing (no temporary either), an older file of its name as it was, and the classic
// movie keeps the frames it wrote.
TEST(CliStopTest, CtrlCStopsBetweenFramesAndLeavesNoHalfFile) {
  TempDir dir;
  reel::ReelOptions options;
  options.scans = 150;
  options.dpi = 450;
  options.grain = 0;
  reel::writeReel(options, dir.file("scans"));
  const struct {
    std::vector<std::string> args;
    std::string output;
    std::string line;  // shown before Ctrl-C
    std::string said;
    bool keepsFrames;
  } cases[] = {
      {{"sound"}, "out.wav", "Translating frame number : 2...", "no sound file written", false},
      {{"sound", "--format", "flac"},
       "out.flac",
       "Translating frame number : 2...",
       "stopped",
       false},
      {{"movie", "--with-sound", "auto"},
       "out.mkv",
       "Cutting frame number : 3...",
       "stopped; no movie written",
       false},
      {{"movie"}, "out.avi", "Cutting frame number : 3...", "keeps the", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.output);
    test::writeText(dir.file(c.output), "an earlier take");
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {dir.file("scans"), "-o", dir.file(c.output)});
    std::vector<char*> argv = {const_cast<char*>(KELVORA_CLI_PATH)};
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int err[2];
    ASSERT_EQ(::pipe(err), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ::dup2(err[1], STDERR_FILENO);
      ::close(err[0]);
      ::execv(KELVORA_CLI_PATH, argv.data());
      ::_exit(127);
    }
    ::close(err[1]);
    std::string seen;
    char ch;
    while (seen.find(c.line) == std::string::npos && ::read(err[0], &ch, 1) == 1) seen += ch;
    ::kill(pid, SIGINT);
    while (::read(err[0], &ch, 1) == 1) seen += ch;
    ::close(err[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130) << seen;
    EXPECT_NE(seen.find("Operation stopped !!!!"), std::string::npos) << seen;
    EXPECT_NE(seen.find(c.said), std::string::npos) << seen;
    EXPECT_EQ(test::fileText(dir.file(c.output)) == "an earlier take", !c.keepsFrames);
    EXPECT_EQ(test::hiddenFiles(dir.path().string()), 0);
  }
}

// A wrong setting is decoded as asked but named; --film auto takes what the first
// scan shows and gives the file the right settings give.
TEST(CliSettingsCheckTest, WrongSettingsAreNamedAndAutoTakesTheFilmsOwn) {
  TempDir dir;
  reel::ReelOptions o;
  o.scans = 3;
  o.filmType = 3;
  o.dpi = 1800;
  o.directionUp = false;
  o.longStrip = true;
  reel::writeReel(o, dir.file("r16"));
  const std::string reel = dir.file("r16");
  const struct {
    std::string command;
    std::string said;  // "" for no warning
  } cases[] = {
      {"sound " + reel + " --film 16va --down --long-strip", ""},
      {"movie " + reel + " --film 16va --down --long-strip", ""},
      {"sound " + reel + " --film 16va --long-strip",
       "warning: the soundtrack lies along the bottom edge: did you mean DOWN?"},
      {"movie " + reel + " --film 16va --long-strip",
       "warning: the soundtrack lies along the bottom edge: did you mean DOWN?"},
      {"sound " + reel + " --film 16va --down", "did you mean Long strip?"},
      {"sound " + reel + " --film 35va --down --long-strip", "did you mean 16 mm?"},
      {"sound " + reel + " --film 16va --down --long-strip --resolution 900,900",
       "warning: the sound will play 50.0 % slow: the classic reader takes 900 dpi"},
      {"sound " + reel + " --film auto", "--film auto: 16 mm variable area, DOWN, long strip"},
  };
  for (const auto& c : cases) {
    const bool movie = c.command.rfind("movie", 0) == 0;
    const std::string out = dir.file(movie ? "m.avi" : "s.wav");
    const Result r =
        runCli(c.command + " -o " + out + (movie ? "" : " --report " + dir.file("r.json")));
    ASSERT_EQ(r.status, 0) << c.command << "\n" << r.output;
    if (c.said.empty()) {
      EXPECT_EQ(r.output.find("warning"), std::string::npos) << c.command << "\n" << r.output;
    } else {
      EXPECT_NE(r.output.find(c.said), std::string::npos) << c.command << "\n" << r.output;
    }
    if (!movie && c.said.find("warning: ") == 0) {
      EXPECT_NE(test::fileText(dir.file("r.json")).find(c.said.substr(9)), std::string::npos);
    }
  }
  // The automatic choice decodes what the right settings decode.
  ASSERT_EQ(runCli("sound " + reel + " --film auto -o " + dir.file("auto.wav")).status, 0);
  ASSERT_EQ(
      runCli("sound " + reel + " --film 16va --down --long-strip -o " + dir.file("set.wav")).status,
      0);
  EXPECT_TRUE(test::readBytes(dir.file("auto.wav")) == test::readBytes(dir.file("set.wav")));
}

}  // namespace
}  // namespace kelvora
