// The module holding the general image library (see general_decoder.h). It links
// nothing of ours: the records it fills are plain, and the text it gives is made fit
// for reports by the caller.
#include <OpenImageIO/imageio.h>

#include <memory>

#include "scans/direct_read.h"
#include "scans/general_decoder.h"

namespace {

// The first two or three channels of a file hold the picture; a fourth is alpha.
int pictureChannels(int channels) { return channels >= 3 ? 3 : 1; }

// Opens an image file and reads its header into `header`; nullptr, with the
// library's complaint in `why`, when it cannot.
std::unique_ptr<OIIO::ImageInput> openImage(const std::string& path, OIIO::ImageSpec& header,
                                            std::string& why) {
  auto in = OIIO::ImageInput::create(path);
  if (!in) {
    why = OIIO::geterror();
    return nullptr;
  }
  if (!in->open(path, header)) {
    why = in->geterror();
    return nullptr;
  }
  return in;
}

std::string readPixels(const std::string& path, cv::Mat& rgb) {
  OIIO::ImageSpec image;
  std::string cannotOpen;
  const auto in = openImage(path, image, cannotOpen);
  if (!in) {
    return cannotOpen.empty() ? "the file could not be decoded as an image"
                              : "the file could not be decoded as an image (" + cannotOpen + ")";
  }
  if (image.width < 1 || image.height < 1 || image.nchannels < 1 || image.nchannels > 16)
    return "not a readable image";
  if (static_cast<std::uint64_t>(image.width) * static_cast<std::uint64_t>(image.height) >
      kelvora::kMostScanPixels)
    return "the file declares " + std::to_string(image.width) + "x" + std::to_string(image.height) +
           " pixels, too large to load (at most " + std::to_string(kelvora::kMostScanPixels) +
           " pixels)";
  const int channels = pictureChannels(image.nchannels);
  const int bits =
      image.get_int_attribute("oiio:BitsPerSample", static_cast<int>(image.format.size() * 8));
  const OIIO::TypeDesc type = bits <= 8 ? OIIO::TypeDesc::UINT8 : OIIO::TypeDesc::UINT16;
  const int depth = bits <= 8 ? CV_8U : CV_16U;
  try {
    rgb.create(image.height, image.width, CV_MAKETYPE(depth, channels));
  } catch (const cv::Exception&) {
    return "the image is too large to load";
  }
  if (!in->read_image(0, 0, 0, channels, type, rgb.data)) {
    const std::string why = in->geterror();
    rgb.release();
    return "corrupt image data (" + (why.empty() ? std::string("the decoder failed") : why) + ")";
  }
  // A decoder that read short says so only through its error record.
  if (const std::string why = in->geterror(); !why.empty()) {
    rgb.release();
    return "corrupt image data (" + why + ")";
  }
  in->close();
  return "";
}

// A text field without the 0xFF or NUL fill a writer leaves in one it does not use.
std::string unpadded(std::string text) {
  while (!text.empty() && (text.back() == '\xff' || text.back() == '\0')) text.pop_back();
  return text;
}

std::string codeOf(const OIIO::ImageSpec& image, const char* name) {
  const OIIO::ParamValue* p = image.find_attribute(name);
  return p != nullptr ? OIIO::ImageSpec::metadata_val(*p, true) : std::string();
}

kelvora::ScanHeader readHeader(const std::string& path) {
  kelvora::ScanHeader h;
  OIIO::ImageSpec image;
  std::string cannotOpen;
  const auto in = openImage(path, image, cannotOpen);
  if (!in) return h;
  h.read = true;
  h.format = in->format_name();
  h.width = image.width;
  h.height = image.height;
  h.channels = image.nchannels;
  h.bits = image.get_int_attribute("oiio:BitsPerSample", static_cast<int>(image.format.size() * 8));
  const float x = image.get_float_attribute("XResolution", 0.0f);
  const float y = image.get_float_attribute("YResolution", 0.0f);
  const std::string unit = image.get_string_attribute("ResolutionUnit", "in");
  const double perInch = unit == "cm" ? 2.54 : (unit == "in" || unit == "inch") ? 1.0 : 0.0;
  h.dpiX = x * perInch;
  h.dpiY = y * perInch;
  h.frameRate = image.get_float_attribute("dpx:FrameRate", 0.0f);
  h.filmType = image.get_string_attribute("dpx:Format");
  // The edge code as the film header spells it (manufacturer, film type, prefix,
  // count, perforation offset), else the key code's fields.
  h.keycode = unpadded(image.get_string_attribute("dpx:FilmEdgeCode"));
  if (h.keycode.empty()) h.keycode = codeOf(image, "smpte:KeyCode");
  return h;
}

const kelvora::GeneralDecoder kDecoder{readPixels, readHeader};

}  // namespace

extern "C" const kelvora::GeneralDecoder* kelvoraGeneralDecoder() { return &kDecoder; }
