#include "cli/sound_command.h"

#include <unistd.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>

#include <opencv2/imgcodecs.hpp>

#include "audio/archive_writer.h"
#include "cli/exit_codes.h"
#include "cli/job_reports.h"
#include "cli/stop_on_signal.h"
#include "cli/terminal_controls.h"
#include "jobs/job_records.h"
#include "jobs/staged_file.h"
#include "views/job_plot.h"

namespace kelvora {

namespace {

int colorIndex(const std::string& color) {
  return color == "B" ? 0 : color == "G" ? 1 : color == "Y" ? 3 : 2;
}

// The finished sound, read back as a player hears it, drawn with its joins.
std::string writePlot(const SoundJobReport& r, const Picture_Parameters& record,
                      const std::string& input, const std::string& sound, const std::string& path) {
  std::vector<float> samples;
  int rate = 0;
  if (std::string e = readSoundSamples(sound, samples, rate); !e.empty()) return e;
  const std::vector<JoinMark> joins = joinsOfSoundJob(r, record.inverse, samples.size(), rate);
  const cv::Mat image = plotSound(samples, rate, joins, input + "  ->  " + sound, overlapOf(r));
  try {
    if (!cv::imwrite(path, image)) return "the image writer failed";
  } catch (const cv::Exception&) {
    return "the image writer failed";
  }
  return "";
}

}  // namespace

CLI::App* addSoundCommand(CLI::App& app, SoundOptions& o) {
  CLI::App* sound = app.add_subcommand("sound", "Decode the optical soundtrack into a WAV file");
  addFilmOptions(*sound, o.film, "Output WAV file, or a directory for sound.wav (default: .)");
  addSoundSettings(*sound, o);
  sound->add_option("--report", o.report, "Write measurements and cut points as JSON");
  sound->add_option("--plot", o.plot,
                    "Draw the finished sound with its joins and level into a PNG");
  return sound;
}

void addSoundSettings(CLI::App& command, SoundOptions& o) {
  command.add_option("--color", o.color, "Colour element read from colour scans: B, G, R or Y")
      ->check(CLI::IsMember({"B", "G", "R", "Y"}));
  command.add_flag("--no-dc", o.noDc, "Keep each frame's mean level (no -DC)");
  command.add_flag("--no-crossfade", o.noCrossfade, "Join frames without a crossfade");
  command.add_flag("--cut-by-soundtrack", o.cutBySoundtrack,
                   "Find the track and the splices from the soundtrack alone");
  command.add_flag("--no-filter", o.noFilter, "Leave out the output low-pass (A-Chain)");
  command
      .add_option("--reader", o.reader,
                  "classic (the default) or precise: follows the track over the reel, reads "
                  "all of its width and measures the rate on the film")
      ->check(CLI::IsMember({"classic", "precise"}));
  command
      .add_option("--format", o.format,
                  "wav8 (the classic file), wav16, wav24, float (32-bit float WAV) or flac")
      ->check(CLI::IsMember({"wav8", "wav16", "wav24", "float", "flac"}));
  command
      .add_option("--rate", o.rate,
                  "film (a sample a scanned row, the default), 48000, 96000 or any rate "
                  "from 8000 to 384000")
      ->check([](const std::string& v) {
        return parseSoundRate(v) ? std::string() : "--rate takes film or 8000 to 384000";
      });
}

std::string soundJobSettings(const SoundOptions& o, JobSettings& settings) {
  const std::string error = applyFilmOptions(o.film, settings);
  settings.colorElement = colorIndex(o.color);
  settings.removeDC = o.noDc ? 0 : 1;
  settings.crossfade = o.noCrossfade ? 0 : 1;
  settings.cutBySoundtrack = o.cutBySoundtrack;
  settings.aChain = !o.noFilter;
  settings.soundFormat = parseSoundFormat(o.format).value_or(SoundFormat::Wav8);
  settings.soundRate = parseSoundRate(o.rate).value_or(0);
  settings.reader = o.reader == "precise" ? Reader::Precise : Reader::Classic;
  return error;
}

std::string soundOutputNameProblem(const std::string& path, const SoundOutput& output) {
  const std::string wanted = extensionOf(output.format);
  std::string end = std::filesystem::path(path).extension().string();
  for (char& c : end) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (end == wanted || (output.classic() && end != ".flac")) return "";
  return "--format " + formatName(output.format) + " is written as " +
         (output.format == SoundFormat::Flac ? "FLAC" : "WAV") + ": the output must end in " +
         wanted + " (" + path + ")";
}

std::string soundReportJson(const SoundJobReport& r, JobOutcome outcome,
                            const std::string& output) {
  nlohmann::ordered_json j;
  j["outcome"] = describe(outcome);
  j["output"] = output;
  j.update(soundMeasurements(r));
  return j.dump(2) + "\n";
}

int runSoundCommand(const SoundOptions& given) {
  SoundOptions o = given;
  std::string chosen;
  std::string error = resolveAutoFilm(o.film, chosen);
  if (!chosen.empty()) std::fprintf(stderr, "kelvora-cli sound: %s\n", chosen.c_str());
  JobSettings settings;
  if (error.empty()) error = soundJobSettings(o, settings);

  JobTarget target;
  const SoundOutput wanted{settings.soundFormat, settings.soundRate};
  if (error.empty()) error = selectTarget(o.film, extensionOf(wanted.format), target);
  if (error.empty()) error = soundOutputNameProblem(target.outputPath, wanted);
  // The report is checked before the job like the output, and written aside too.
  std::optional<StagedFile> report;
  if (error.empty() && !o.report.empty()) {
    error = refuseScanAsOutput(target.inputPath, o.report);
    if (error.empty() && o.report == target.outputPath)
      error = "the report and the sound cannot be the same file";
    if (error.empty()) {
      report.emplace(o.report, ".json");
      if (!report->ok()) error = "cannot write the report " + o.report + ": " + report->error();
    }
  }
  // The plot, like the report, is checked before the job and written aside.
  std::optional<StagedFile> plot;
  if (error.empty() && !o.plot.empty()) {
    std::string end = std::filesystem::path(o.plot).extension().string();
    for (char& c : end) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (end != ".png") error = "a plot is written as PNG: --plot must end in .png (" + o.plot + ")";
    if (error.empty()) error = refuseScanAsOutput(target.inputPath, o.plot);
    if (error.empty() && (o.plot == target.outputPath || o.plot == o.report))
      error = "the plot must be a file of its own";
    if (error.empty()) {
      plot.emplace(o.plot, ".png");
      if (!plot->ok()) error = "cannot write the plot " + o.plot + ": " + plot->error();
    }
  }
  if (!error.empty()) {
    std::fprintf(stderr, "kelvora-cli sound: %s\n", error.c_str());
    return kExitUsage;
  }
  const std::string& output = target.outputPath;

  TerminalControls controls(stderr, ::isatty(STDERR_FILENO) == 1);
  Picture_Parameters record;
  fillPictureParameters(record, settings,
                        JobRequest{&controls, target.inputPath, output, target.start, target.stop});
  SoundJobReport measured;
  JobOutcome outcome;
  {
    const StopOnSignal stopOnCtrlC([&record] { record.stopRequested = true; });
    outcome = ThreadPicture(record, &measured);
  }

  for (const std::string& w : measured.warnings)
    std::fprintf(stderr, "kelvora-cli sound: warning: %s\n", w.c_str());
  bool reportWritten = true;
  if (report) {
    std::ofstream json(report->tempPath(), std::ios::binary);
    json << soundReportJson(measured, outcome, output);
    json.close();
    reportWritten = json.good() && report->commit();
    if (!reportWritten)
      std::fprintf(stderr, "kelvora-cli sound: cannot write the report %s: %s\n", o.report.c_str(),
                   json.good() ? report->error().c_str() : probeWriteError(o.report).c_str());
  }
  if (plot && outcome == JobOutcome::Finished) {
    if (const std::string e =
            writePlot(measured, record, target.inputPath, output, plot->tempPath());
        !e.empty() || !plot->commit()) {
      std::fprintf(stderr, "kelvora-cli sound: cannot write the plot %s: %s\n", o.plot.c_str(),
                   e.empty() ? plot->error().c_str() : e.c_str());
      reportWritten = false;
    }
  }
  switch (outcome) {
    case JobOutcome::Finished:
      std::fprintf(stderr, "Wrote %s: %zu samples at %d Hz (%.2f s)\n", output.c_str(),
                   measured.samplesWritten, measured.sampleRate,
                   measured.sampleRate > 0
                       ? static_cast<double>(measured.samplesWritten) / measured.sampleRate
                       : 0.0);
      return reportWritten ? kExitOk : kExitFailed;
    case JobOutcome::Stopped:
      std::fprintf(stderr, "kelvora-cli sound: stopped; no sound file written\n");
      return kExitStopped;
    case JobOutcome::Unreadable:
      std::fprintf(stderr, "kelvora-cli sound: cannot read frame %d (%s): %s; nothing written\n",
                   measured.failedFrame, measured.failedPath.c_str(), measured.failure.c_str());
      return kExitFailed;
    case JobOutcome::WriteFailed:
      std::fprintf(stderr, "kelvora-cli sound: cannot write %s: %s\n", output.c_str(),
                   measured.failure.c_str());
      return kExitFailed;
  }
  return kExitFailed;
}

}  // namespace kelvora
