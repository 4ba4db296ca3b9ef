#include "scans/dpx_reader.h"

#include <OpenImageIO/imageio.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "scans/dpx_layout.h"
#include "scans/dpx_unpack.h"
#include "scans/header_text.h"
#include "scans/open_file.h"
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
  if (static_cast<std::uint64_t>(image.width) * static_cast<std::uint64_t>(image.height) >
      kMostScanPixels)
    return "the file declares " + std::to_string(image.width) + "x" + std::to_string(image.height) +
           " pixels, too large to load (at most " + std::to_string(kMostScanPixels) + " pixels)";
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

// A text field of a header as reports may show it: a field a writer left undefined
// (filled with 0xFF, as DPX marks unset numbers) is empty, the rest valid UTF-8.
std::string headerText(std::string text) {
  while (!text.empty() && (text.back() == '\xff' || text.back() == '\0')) text.pop_back();
  return validUtf8(text);
}

std::string codeOf(const OIIO::ImageSpec& image, const char* name) {
  const OIIO::ParamValue* p = image.find_attribute(name);
  return p != nullptr ? OIIO::ImageSpec::metadata_val(*p, true) : std::string();
}

// Reads up to `count` bytes at `offset`; returns how many were read (fewer at the end
// of the file or on an error).
size_t readAt(int fd, std::uint8_t* into, size_t count, std::uint64_t offset) {
  size_t done = 0;
  while (done < count) {
    const ssize_t n = ::pread(fd, into + done, count - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

// Rows are read a few at a time into a buffer that stays in the cache while they are
// unpacked.
constexpr std::uint64_t kChunkBytes = 256 << 10;

}  // namespace

bool isDpxName(const std::string& name) { return endsWithFolded(name, ".dpx"); }

DirectRead readDpxDirect(const std::string& path, cv::Mat& image, std::string& error,
                         SampleDepth depth, const RowBand& band, cv::Size* scanSize, int element) {
  const OpenFile file(path);
  struct stat st {};
  if (file.fd() < 0 || ::fstat(file.fd(), &st) != 0) return DirectRead::NotHandled;
  std::array<std::uint8_t, kDpxHeaderBytes> header{};
  const size_t headerBytes = readAt(file.fd(), header.data(), header.size(), 0);
  DpxLayout layout;
  const DirectRead read = readDpxLayout(std::span(header.data(), headerBytes),
                                        static_cast<std::uint64_t>(st.st_size), layout, error);
  if (read != DirectRead::Done) return read;

  const cv::Range rows = band.of(layout.height);
  cv::Mat out;
  try {
    out.create(rows.size(), layout.width, dpxImageType(layout, depth, element));
  } catch (const cv::Exception&) {
    error = "the image is too large to load";
    return DirectRead::Failed;
  }
  const DpxBytes line = dpxRowBytes(layout, 0, 1);
  const int rowsAtOnce = static_cast<int>(std::clamp<std::uint64_t>(
      kChunkBytes / (line.to - line.from + 1), 1, static_cast<std::uint64_t>(rows.size())));
  std::vector<std::uint8_t> buffer;
  for (int r = rows.start; r < rows.end; r += rowsAtOnce) {
    const int end = std::min(r + rowsAtOnce, rows.end);
    const DpxBytes bytes = dpxRowBytes(layout, r, end);
    const auto count = static_cast<size_t>(bytes.to - bytes.from);
    buffer.resize(count);
    if (readAt(file.fd(), buffer.data(), count, layout.dataOffset + bytes.from) != count) {
      error = "corrupt image data (the file ends inside its picture)";
      return DirectRead::Failed;
    }
    cv::Mat part = out.rowRange(r - rows.start, end - rows.start);
    unpackDpxRows(buffer, bytes.from, layout, r, part, element);
  }
  image = out;
  if (scanSize != nullptr) *scanSize = cv::Size(layout.width, layout.height);
  return DirectRead::Done;
}

std::string readDpx(const std::string& path, cv::Mat& image) {
  std::string error;
  const DirectRead direct = readDpxDirect(path, image, error, SampleDepth::Bytes);
  if (direct != DirectRead::NotHandled) return error;
  cv::Mat rgb;
  if (error = readPixels(path, rgb); !error.empty()) return error;
  image = rgb.depth() == CV_8U ? bgrOrderOf(rgb) : eightBitBgrOfSixteen(rgb);
  return "";
}

std::string readFullDepth(const std::string& path, cv::Mat& image) {
  std::string error;
  if (isDpxName(path)) {
    const DirectRead direct = readDpxDirect(path, image, error, SampleDepth::Own);
    if (direct != DirectRead::NotHandled) return error;
  }
  cv::Mat rgb;
  if (error = readPixels(path, rgb); !error.empty()) return error;
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
  h.format = headerText(in->format_name());
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
  h.filmType = headerText(image.get_string_attribute("dpx:Format"));
  // The edge code as the film header spells it (manufacturer, film type, prefix,
  // count, perforation offset), else the key code's fields.
  h.keycode = headerText(image.get_string_attribute("dpx:FilmEdgeCode"));
  if (h.keycode.empty()) h.keycode = headerText(codeOf(image, "smpte:KeyCode"));
  return h;
}

}  // namespace kelvora
