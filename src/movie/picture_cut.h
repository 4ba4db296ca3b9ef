#pragma once

#include <opencv2/core.hpp>

#include "movie/frame_sink.h"
#include "movie/picture_area.h"
#include "movie/scan_picture.h"

namespace kelvora {

// The picture rectangle of a scan, bounds inclusive.
struct PictureRect {
  int top = 0;
  int bottom = 0;
  int left = 0;
  int right = 0;
};

// Finds the picture in a turned scan: its top on the first row after the strongest
// brightening (the end of a frame line) in the upper part of the scan, its left edge
// at the boundary between soundtrack and picture when `image_sound` is set. Not
// clipped to the scan.
PictureRect findPicture(const cv::Mat& reimg, const ParametersM& filParM, int filmType,
                        int longstrip, int image_sound);

// Cuts the picture out of a turned scan. For 35 mm, and for 16 mm scanned frame by
// frame, returns it at the scan's resolution, as a view that shares the scan's pixels. For a 16 mm
// long strip, cuts four consecutive frames, scales each to `film_width` x `film_height`, mirrors it
// left to right, writes it to `writer` and returns an empty image. Rectangles are clipped to the
// scan and hold at least one pixel. Other film types return an empty image.
cv::Mat cutBW(const cv::Mat& reimg, FrameSink& writer, const ParametersM& filParM, int filmType,
              int longstrip, int image_sound, int film_width, int film_height);

// The same pictures as cutBW(turnQuarter(scan, mirrorBefore, mirrorAfter), ...), found
// on the scan as loaded: a 35 mm or 16 mm frame is returned as the part of the scan it
// lies in, with the turn that stands it upright (upright already on a scan too tall for
// the search to run unturned); 16 mm strips go to `writer`, turned and scaled.
ScanPicture cutUnturned(const cv::Mat& scan, bool mirrorBefore, bool mirrorAfter, FrameSink& writer,
                        const ParametersM& filParM, int filmType, int longstrip, int image_sound,
                        int film_width, int film_height);

}  // namespace kelvora
