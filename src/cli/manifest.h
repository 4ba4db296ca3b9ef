#pragma once

#include <istream>
#include <string>
#include <utility>
#include <vector>

namespace kelvora {

// One reel of a batch manifest: its directory and the settings given for it alone.
struct ManifestReel {
  std::string directory;
  int line = 0;  // in the manifest, for messages
  // A line of a text manifest: the options after the directory, as typed.
  std::vector<std::string> options;
  // A row of a CSV manifest: (column, value) for every column but the directory's.
  std::vector<std::pair<std::string, std::string>> columns;
  std::string error;  // the line could not be read; the reel fails alone
};

struct Manifest {
  std::vector<ManifestReel> reels;
  std::string error;  // the manifest as a whole cannot be used
};

// Reads a manifest. A text manifest has one reel per line: its directory, then any
// options for it (`/scans/reel7  --film 16va --down`); quotes keep spaces in a path
// or value; blank lines and lines starting with '#' are skipped. A manifest whose
// first line is a comma-separated header with a "dir" column is a CSV: each row is a
// reel, each other column an option of that name (a flag is set by "yes", "true",
// "1" or "x").
Manifest parseManifest(std::istream& in);

// Whether the value of a flag's CSV column sets the flag.
bool flagColumnSet(const std::string& value);

// Reads the manifest at `path`, or standard input for "-".
Manifest readManifest(const std::string& path);

// Which reels of a manifest one of `count` machines takes: every count-th, starting
// at `index` (1-based).
struct Shard {
  int index = 1;
  int count = 1;
};

// Parses "I/N"; returns an error message, or "".
std::string parseShard(const std::string& text, Shard& shard);

// The indices of the reels of a manifest of `reels` that `shard` takes, in order.
std::vector<size_t> reelsOfShard(size_t reels, Shard shard);

}  // namespace kelvora
