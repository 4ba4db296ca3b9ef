// kelvora-cli: the soundtrack and movie jobs without a window, for batch work.
#include <cstdio>

#include <CLI/CLI.hpp>

#include "cli/batch_command.h"
#include "cli/exit_codes.h"
#include "cli/inspect_command.h"
#include "cli/mistyped_option.h"
#include "cli/movie_command.h"
#include "cli/sound_command.h"
#include "runner/preview.h"

int main(int argc, char** argv) {
  CLI::App app{
      "Kelvora: decodes the optical soundtrack of scanned film into a WAV file, or cuts the "
      "pictures into a movie."};
  app.set_version_flag("--version", std::string("kelvora-cli ") + KELVORA_VERSION);
  app.require_subcommand(0, 1);
  bool verbose = false;
  app.add_flag("--verbose", verbose, "Let the picture and sound encoders print their own messages");
  app.fallthrough();

  kelvora::SoundOptions sound;
  CLI::App* soundCommand = kelvora::addSoundCommand(app, sound);
  kelvora::MovieOptions movie;
  CLI::App* movieCommand = kelvora::addMovieCommand(app, movie);
  kelvora::InspectOptions inspect;
  CLI::App* inspectCommand = kelvora::addInspectCommand(app, inspect);
  kelvora::BatchOptions batch;
  CLI::App* batchCommand = kelvora::addBatchCommand(app, batch);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // A mistyped option is named with the one most like it.
    if (const std::string mistyped =
            kelvora::mistypedOption(app, std::vector<std::string>(argv + 1, argv + argc));
        !mistyped.empty() && e.get_exit_code() != 0) {
      std::fprintf(stderr, "kelvora-cli: %s\n", mistyped.c_str());
      return kelvora::kExitUsage;
    }
    const int code = app.exit(e);
    return code == 0 ? kelvora::kExitOk : kelvora::kExitUsage;
  }
  kelvora::prepareProcess(verbose);
  if (soundCommand->parsed()) return kelvora::runSoundCommand(sound);
  if (movieCommand->parsed()) return kelvora::runMovieCommand(movie);
  if (inspectCommand->parsed()) return kelvora::runInspectCommand(inspect);
  if (batchCommand->parsed()) return kelvora::runBatchCommand(batch);
  std::fputs(app.help().c_str(), stdout);
  return kelvora::kExitOk;
}
