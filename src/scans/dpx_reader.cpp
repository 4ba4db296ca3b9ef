#include "scans/dpx_reader.h"

#include <OpenImageIO/imageio.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <memory>
#include <vector>

#include "scans/sample_depth.h"
#include "scans/scan_header.h"

namespace kelvora {

namespace {

bool endsWithFolded(const std::string& name, const std::string& suffix) {
  if (name.size() < suffix.size()) return false;
  for (size_t i = 0; i < suffix.size(); ++i) {
    char c = name[name.size() - suffix.size() + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != suffix[i]) return false;
  }
  return true;
}

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

// Reads every pixel of the file, the picture channels only, in the file's order (RGB):
// 8-bit samples as 8 bits, deeper ones as 16. Returns "" or the cause.
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

std::string codeOf(const OIIO::ImageSpec& image, const char* name) {
  const OIIO::ParamValue* p = image.find_attribute(name);
  return p != nullptr ? OIIO::ImageSpec::metadata_val(*p, true) : std::string();
}

// The decoder reads a DPX file cut short without a word, so its length is checked
// against the total the file header gives (bytes 16-19, in the byte order the magic
// number at 0 shows). Returns "" or the cause.
std::string checkDpxLength(const std::string& path) {
  std::ifstream file(path, std::ios::binary | std::ios::ate);
  if (!file) return "";  // the decoder says why
  const auto actual = static_cast<std::uint64_t>(file.tellg());
  unsigned char header[20] = {};
  file.seekg(0);
  if (!file.read(reinterpret_cast<char*>(header), sizeof header)) return "";
  const bool big = std::memcmp(header, "SDPX", 4) == 0;
  if (!big && std::memcmp(header, "XPDS", 4) != 0) return "";
  const unsigned char* f = header + 16;
  const std::uint64_t total = big ? (std::uint64_t{f[0]} << 24) | (f[1] << 16) | (f[2] << 8) | f[3]
                                  : (std::uint64_t{f[3]} << 24) | (f[2] << 16) | (f[1] << 8) | f[0];
  if (actual >= total) return "";
  return "corrupt image data (the file holds " + std::to_string(actual) + " of the " +
         std::to_string(total) + " bytes its header gives: a copy cut short)";
}

}  // namespace

bool isDpxName(const std::string& name) { return endsWithFolded(name, ".dpx"); }

std::string readDpx(const std::string& path, cv::Mat& image) {
  if (std::string shortFile = checkDpxLength(path); !shortFile.empty()) return shortFile;
  cv::Mat rgb;
  if (std::string error = readPixels(path, rgb); !error.empty()) return error;
  image = rgb.depth() == CV_8U ? bgrOrderOf(rgb) : eightBitBgrOfSixteen(rgb);
  return "";
}

std::string readFullDepth(const std::string& path, cv::Mat& image) {
  if (isDpxName(path))
    if (std::string shortFile = checkDpxLength(path); !shortFile.empty()) return shortFile;
  cv::Mat rgb;
  if (std::string error = readPixels(path, rgb); !error.empty()) return error;
  image = bgrOrderOf(rgb);  // only reorders the channels; the depth stays
  return "";
}

ScanHeader readScanHeader(const std::string& path) {
  ScanHeader h;
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
  if (!std::isfinite(h.frameRate)) h.frameRate = 0.0;
  h.filmType = image.get_string_attribute("dpx:Format");
  // The edge code as the film header spells it (manufacturer, film type, prefix,
  // count, perforation offset), else the key code's fields.
  h.keycode = image.get_string_attribute("dpx:FilmEdgeCode");
  if (h.keycode.empty()) h.keycode = codeOf(image, "smpte:KeyCode");
  return h;
}

}  // namespace kelvora
