#pragma once

#include <cstdint>
#include <span>

#include <opencv2/core.hpp>

#include "scans/direct_read.h"
#include "scans/dpx_layout.h"

namespace kelvora {

// The image a DPX picture is read into at `depth`: 8-bit samples (or any sample at
// SampleDepth::Bytes) as CV_8U, deeper ones as CV_16U; grey or blue-green-red, or the
// one colour element `element` names (see kEveryElement).
int dpxImageType(const DpxLayout& layout, SampleDepth depth, int element = kEveryElement);

// Unpacks rows `first` to `first + out.rows` of `layout` into `out`, an image of
// dpxImageType at the depth wanted, from `bytes`: the element's bytes from `from` on,
// as the file holds them, covering dpxRowBytes of those rows. Into 16 bits, 10 and 12
// bits are taken to 16 by repeating their high bits; into 8 bits, deeper samples are
// taken to 16 so, then reduced by the rules of sample_depth.h. Alpha and any other
// samples beyond the picture are dropped, and with them the colour elements other than
// `element` when it names one.
void unpackDpxRows(std::span<const std::uint8_t> bytes, std::uint64_t from, const DpxLayout& layout,
                   int first, cv::Mat& out, int element = kEveryElement);

}  // namespace kelvora
