#include "readers/sound_geometry.h"

#include "film/resolution.h"
#include "film/soundtrack_area.h"
#include "readers/picture_parameters.h"
#include "signal/image_ops.h"

namespace kelvora {

SoundGeometry soundGeometry(const cv::Mat& scan, const Picture_Parameters& record) {
  SoundGeometry g;
  if (record.manualResolution) {
    g.resolution = Resolution{record.resX, record.resY};
  } else {
    resolution(rot90(scan, 1), record.filmType, g.resolution, record.longstrip, record.direction);
  }
  filParametersT(record.filmType, g.resolution, g.parameters);
  return g;
}

}  // namespace kelvora
