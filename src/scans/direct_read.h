#pragma once

#include <cstdint>

namespace kelvora {

// A scan declaring more pixels than this is refused before anything is allocated for
// it: the general decoder's own limit.
constexpr std::uint64_t kMostScanPixels = std::uint64_t{1} << 30;

// How a reader that decodes a scan straight from its file fared.
enum class DirectRead {
  Done,        // `image` holds the scan
  NotHandled,  // a kind of file this reader leaves to the general decoder
  Failed,      // the file cannot be read; `error` says why
};

// The depth a scan is read at.
enum class SampleDepth {
  Bytes,  // the jobs' 8 bits a channel (see sample_depth.h for how deeper samples go)
  Own,    // the file's own depth: 8 bits as CV_8U, deeper as CV_16U
};

// Which samples of a colour scan are read: every one (blue-green-red), or one colour
// element alone (0 blue, 1 green, 2 red) into a single-channel image, for a reader that
// looks at nothing else. A grey scan is read as it is either way.
constexpr int kEveryElement = -1;

}  // namespace kelvora
