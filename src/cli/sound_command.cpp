#include "cli/sound_command.h"

#include <cstdio>

#include "cli/exit_codes.h"
#include "cli/terminal_job.h"

namespace kelvora {

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

SoundSettings soundSettingsOf(const SoundOptions& o) {
  SoundSettings s;
  s.color = o.color == "B" ? kBlue : o.color == "G" ? kGreen : o.color == "Y" ? kLuma : kRed;
  s.removeDC = !o.noDc;
  s.crossfade = !o.noCrossfade;
  s.cutBySoundtrack = o.cutBySoundtrack;
  s.aChain = !o.noFilter;
  s.reader = o.reader == "precise" ? Reader::Precise : Reader::Classic;
  s.output = SoundOutput{parseSoundFormat(o.format).value_or(SoundFormat::Wav8),
                         parseSoundRate(o.rate).value_or(0)};
  return s;
}

int runSoundCommand(const SoundOptions& o) {
  const char* const command = "kelvora-cli sound";
  ReelRequest reel;
  SoundRequest request;
  request.sound = soundSettingsOf(o);
  request.report = o.report;
  request.plot = o.plot;
  std::string error =
      reelOf(o.film, extensionOf(request.sound.output.format), command, reel, request.output);
  if (error.empty()) error = soundRequestProblem(reel, request);
  if (!error.empty()) {
    std::fprintf(stderr, "%s: %s\n", command, error.c_str());
    return kExitUsage;
  }
  const SoundResult result = runOnTerminal(
      reel, command, [&request](const ReelRequest& r) { return decodeSound(r, request); });
  const SoundJobReport& r = result.report;
  switch (result.outcome) {
    case JobOutcome::Finished:
      std::fprintf(stderr, "Wrote %s: %zu samples at %d Hz (%.2f s)\n", request.output.c_str(),
                   r.samplesWritten, r.sampleRate,
                   r.sampleRate > 0 ? static_cast<double>(r.samplesWritten) / r.sampleRate : 0.0);
      return kExitOk;
    case JobOutcome::Stopped:
      std::fprintf(stderr, "%s: %s\n", command, result.error.c_str());
      return kExitStopped;
    case JobOutcome::Unreadable:
    case JobOutcome::WriteFailed:
      std::fprintf(stderr, "%s: %s\n", command, result.error.c_str());
      return kExitFailed;
  }
  return kExitFailed;
}

}  // namespace kelvora
