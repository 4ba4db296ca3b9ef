#include "cli/inspect_command.h"

#include <cstdio>
#include <filesystem>

#include <opencv2/imgcodecs.hpp>

#include "cli/exit_codes.h"
#include "jobs/frame_listing.h"
#include "jobs/job_records.h"
#include "jobs/staged_file.h"
#include "scans/scan_header.h"
#include "scans/scan_loader.h"
#include "views/inspect_view.h"

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

int runInspectCommand(const InspectOptions& given) {
  InspectOptions o = given;
  const auto refuse = [](const std::string& why) {
    std::fprintf(stderr, "kelvora-cli inspect: %s\n", why.c_str());
    return kExitUsage;
  };
  std::string chosen;
  if (const std::string e = resolveAutoFilm(o.film, chosen); !e.empty()) return refuse(e);
  if (!chosen.empty()) std::fprintf(stderr, "kelvora-cli inspect: %s\n", chosen.c_str());
  JobSettings settings;
  if (const std::string e = applyFilmOptions(o.film, settings); !e.empty()) return refuse(e);
  const InputSelection input = selectInput(o.film.input);
  if (!input.error.empty()) return refuse(input.error);
  int start = 0, stop = 0;
  if (const std::string e = selectRange(o.film, input.scans, start, stop); !e.empty())
    return refuse(e);
  const std::string output = o.film.output.empty() ? "preview.png" : o.film.output;
  std::string end = std::filesystem::path(output).extension().string();
  for (char& c : end) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (end != ".png")
    return refuse("a preview is written as PNG: the output must end in .png (" + output + ")");
  if (const std::string e = refuseScanAsOutput(input.inputPath, output); !e.empty())
    return refuse(e);
  StagedFile staged(output, ".png");
  if (!staged.ok()) return refuse("cannot write " + output + ": " + staged.error());

  const std::string directory =
      JobDirectory(input.inputPath, static_cast<int>(input.inputPath.size()));
  const std::string path = *FrameListing::open(directory).path(start);
  LoadedScan scan = loadScan(path);
  requireAFrame(scan);
  if (!scan.ok()) {
    std::fprintf(stderr, "kelvora-cli inspect: cannot read frame %d (%s): %s\n", start,
                 path.c_str(), scan.error.c_str());
    return kExitFailed;
  }
  settings.cutBySoundtrack = o.cutBySoundtrack;
  settings.cutSoundtrack = o.cutSoundtrack ? 1 : 0;
  const InspectSettings s = inspectSettingsFor(settings, readScanHeader(path).dpiY);
  const InspectView view = inspectScan(scan.image, s);
  for (const std::string& w : view.warnings)
    std::fprintf(stderr, "kelvora-cli inspect: warning: %s\n", w.c_str());
  bool written = false;
  try {
    written = cv::imwrite(staged.tempPath(), view.image);
  } catch (const cv::Exception&) {
  }
  if (!written || !staged.commit()) {
    const std::string why = written ? staged.error() : probeWriteError(output);
    std::fprintf(stderr, "kelvora-cli inspect: cannot write %s: %s\n", output.c_str(),
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
