#include "cli/inspect_command.h"

#include <cstdio>
#include <filesystem>

#include <opencv2/imgcodecs.hpp>

#include "cli/exit_codes.h"
#include "jobs/staged_file.h"
#include "runner/preview.h"
#include "runner/reel_input.h"

namespace kelvora {

CLI::App* addInspectCommand(CLI::App& app, InspectOptions& o) {
  CLI::App* inspect = app.add_subcommand(
      "inspect", "Draw the first scan with the soundtrack, picture and frame lines found on it");
  addFilmOptions(*inspect, o.film, "Output PNG file (default: preview.png)");
  inspect->add_flag("--cut-by-soundtrack", o.cutBySoundtrack,
                    "Find the track as the sound job does with this option");
  inspect->add_flag("--cut-soundtrack", o.cutSoundtrack,
                    "Leave the soundtrack out of the picture, as the movie would");
  return inspect;
}

int runInspectCommand(const InspectOptions& o) {
  const char* const command = "kelvora-cli inspect";
  const auto refuse = [command](const std::string& why) {
    std::fprintf(stderr, "%s: %s\n", command, why.c_str());
    return kExitUsage;
  };
  ReelRequest reel;
  std::string ignored;
  if (const std::string e = reelOf(o.film, ".png", command, reel, ignored); !e.empty())
    return refuse(e);
  InspectSettings settings;
  settings.film = reel.film;
  const std::string output = o.film.output.empty() ? "preview.png" : o.film.output;
  std::string end = std::filesystem::path(output).extension().string();
  for (char& c : end) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (end != ".png")
    return refuse("a preview is written as PNG: the output must end in .png (" + output + ")");
  if (const std::string e = outputProblem(reel.inputPath, output); !e.empty()) return refuse(e);
  StagedFile staged(output, ".png");
  if (!staged.ok()) return refuse("cannot write " + output + ": " + staged.error());

  settings.cutBySoundtrack = o.cutBySoundtrack;
  settings.cutSoundtrack = o.cutSoundtrack;
  const Preview preview = previewScan(reel.inputPath, reel.startFrame, settings);
  if (!preview.error.empty()) {
    std::fprintf(stderr, "%s: %s\n", command, preview.error.c_str());
    return kExitFailed;
  }
  const InspectView& view = preview.view;
  const int start = reel.startFrame;
  for (const std::string& w : view.warnings)
    std::fprintf(stderr, "%s: warning: %s\n", command, w.c_str());
  bool written = false;
  try {
    written = cv::imwrite(staged.tempPath(), view.image);
  } catch (const cv::Exception&) {
  }
  if (!written || !staged.commit()) {
    const std::string why = written ? staged.error() : probeWriteError(output);
    std::fprintf(stderr, "%s: cannot write %s: %s\n", command, output.c_str(),
                 why.empty() ? "the image writer failed" : why.c_str());
    return kExitFailed;
  }
  std::fprintf(stderr,
               "Wrote %s: frame %d at %d x %d dpi; classic cut rows %d-%d, sound in rows %d-%d, "
               "picture %dx%d\n",
               output.c_str(), start, view.resolution.x, view.resolution.y, view.classicCut.first,
               view.classicCut.last, view.track.first, view.track.last, view.picture.width,
               view.picture.height);
  return kExitOk;
}

}  // namespace kelvora
