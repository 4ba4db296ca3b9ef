#pragma once

namespace kelvora {

// How one scan takes over from the one before it.
enum class JoinKind {
  Clean,      // the overlapping sound matches
  Quiet,      // too little sound in the overlap to match: the reel's usual advance
  Unmatched,  // the sound does not continue: a scan missing, or a splice
  Missing,    // scans are known to be missing here (the file numbers jump, or a scan
              // could not be read): silence stands in for them
};

// "clean", "quiet", "unmatched" or "missing".
inline const char* joinKindName(JoinKind kind) {
  switch (kind) {
    case JoinKind::Quiet:
      return "quiet";
    case JoinKind::Unmatched:
      return "unmatched";
    case JoinKind::Missing:
      return "missing";
    default:
      return "clean";
  }
}

}  // namespace kelvora
