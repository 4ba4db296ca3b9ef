#include "support/dpx_file.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace kelvora::test {

namespace {

constexpr size_t kDataOffset = 2048;

// A file's bytes, with numbers put in the file's byte order.
class Bytes {
 public:
  explicit Bytes(bool big) : big_(big) {}
  std::vector<std::uint8_t> data;
  void put(size_t at, std::uint64_t v, int size) {
    if (data.size() < at + size) data.resize(at + size, 0);
    for (int i = 0; i < size; ++i) {
      const int shift = 8 * (big_ ? size - 1 - i : i);
      data[at + i] = static_cast<std::uint8_t>(v >> shift);
    }
  }
  void text(size_t at, const std::string& s, size_t field) {
    if (data.size() < at + field) data.resize(at + field, 0);
    std::memcpy(data.data() + at, s.data(), std::min(s.size(), field));
  }
  void appendWord(std::uint64_t v, int size) { put(data.size(), v, size); }

 private:
  bool big_;
};

int descriptorOf(const DpxFileLayout& l, int channels) {
  if (l.descriptor != 0) return l.descriptor;
  return channels == 1 ? 6 : channels == 2 ? 150 : channels == 3 ? 50 : 51;
}

// The samples of a stretch of lines, one after another, encoded into whole words.
void encode(const std::vector<std::uint32_t>& samples, const DpxFileLayout& l, int channels,
            Bytes& out) {
  if (l.bits == 8) {
    for (const std::uint32_t v : samples) out.appendWord(v, 1);
  } else if (l.bits == 16) {
    for (const std::uint32_t v : samples) out.appendWord(v, 2);
  } else if (l.bits == 12 && l.packing != DpxPacking::Packed) {
    for (const std::uint32_t v : samples)
      out.appendWord(l.packing == DpxPacking::FilledA ? v << 4 : v, 2);
  } else if (l.bits == 10 && l.packing != DpxPacking::Packed) {
    // Three to a word: a single-channel file puts the first in the low bits.
    const int pad = l.packing == DpxPacking::FilledA ? 2 : 0;
    for (size_t i = 0; i < samples.size(); i += 3) {
      std::uint32_t word = 0;
      for (size_t k = 0; k < 3 && i + k < samples.size(); ++k) {
        const int place = channels == 1 ? static_cast<int>(k) : 2 - static_cast<int>(k);
        word |= samples[i + k] << (10 * place + pad);
      }
      out.appendWord(word, 4);
    }
  } else {
    // End to end through 32-bit words, the first in the low bits.
    std::vector<bool> bits;
    for (const std::uint32_t v : samples)
      for (int b = 0; b < l.bits; ++b) bits.push_back(((v >> b) & 1) != 0);
    for (size_t i = 0; i < bits.size(); i += 32) {
      std::uint32_t word = 0;
      for (size_t b = 0; b < 32 && i + b < bits.size(); ++b)
        if (bits[i + b]) word |= 1u << b;
      out.appendWord(word, 4);
    }
  }
}

std::vector<std::uint32_t> lineOf(const cv::Mat& samples, int y) {
  std::vector<std::uint32_t> line;
  const int n = samples.cols * samples.channels();
  for (int i = 0; i < n; ++i)
    line.push_back(samples.depth() == CV_8U ? samples.ptr<std::uint8_t>(y)[i]
                                            : samples.ptr<std::uint16_t>(y)[i]);
  return line;
}

}  // namespace

std::string nameOf(const DpxFileLayout& l, int channels) {
  const char* packing = l.bits == 8 || l.bits == 16        ? ""
                        : l.packing == DpxPacking::Packed  ? "P"
                        : l.packing == DpxPacking::FilledA ? "A"
                                                           : "B";
  return std::to_string(l.bits) + packing + (l.bigEndian ? "-be-" : "-le-") +
         std::to_string(channels) + "ch" + (l.runOn ? "-runon" : "");
}

void writeDpxFile(const std::string& path, const cv::Mat& samples, const DpxFileLayout& l) {
  const int channels = samples.channels();
  Bytes file(l.bigEndian);
  file.data.assign(kDataOffset, 0);
  if (l.undefinedFilled) std::fill(file.data.begin() + 1664, file.data.begin() + 1920, 0xff);
  file.text(0, "SDPX", 4);
  if (!l.bigEndian) file.text(0, "XPDS", 4);
  file.put(4, kDataOffset, 4);
  file.text(8, "V2.0", 8);
  file.put(24, 1664, 4);  // generic header
  file.put(28, 384, 4);   // industry header
  file.put(32, 0, 4);     // user data
  file.put(768, 0, 2);    // left to right, top to bottom
  file.put(770, 1, 2);
  file.put(772, static_cast<std::uint64_t>(samples.cols), 4);
  file.put(776, static_cast<std::uint64_t>(samples.rows), 4);
  file.put(780, 0, 4);  // unsigned
  file.put(780 + 20, static_cast<std::uint64_t>(descriptorOf(l, channels)), 1);
  file.put(780 + 21, 2, 1);  // printing density
  file.put(780 + 22, 2, 1);
  file.put(780 + 23, static_cast<std::uint64_t>(l.bits), 1);
  const int packing = l.packing == DpxPacking::Packed    ? 0
                      : l.packing == DpxPacking::FilledA ? 1
                                                         : 2;
  file.put(780 + 24, static_cast<std::uint64_t>(l.bits == 8 || l.bits == 16 ? 1 : packing), 2);
  file.put(780 + 26, 0, 2);
  file.put(780 + 28, kDataOffset, 4);
  file.put(780 + 32, static_cast<std::uint64_t>(l.linePadding), 4);
  file.put(780 + 36, 0, 4);
  file.put(780 + 72, 0xffffffff, 4);  // the second element: none
  if (!l.manufacturer.empty()) file.text(1664, l.manufacturer, 2);
  if (!l.filmFormat.empty()) file.text(1680, l.filmFormat, 32);

  if (l.runOn) {
    std::vector<std::uint32_t> all;
    for (int y = 0; y < samples.rows; ++y) {
      const auto line = lineOf(samples, y);
      all.insert(all.end(), line.begin(), line.end());
    }
    encode(all, l, channels, file);
  } else {
    for (int y = 0; y < samples.rows; ++y) {
      encode(lineOf(samples, y), l, channels, file);
      file.data.resize(file.data.size() + static_cast<size_t>(l.linePadding), 0xee);
    }
  }
  file.put(16, file.data.size(), 4);
  file.put(20, file.data.size() - kDataOffset, 4);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(file.data.data()),
            static_cast<std::streamsize>(file.data.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

cv::Mat samplesAtDepth(const cv::Mat& image, int bits, int channels) {
  cv::Mat ordered;
  if (image.channels() == 1) {
    ordered = image;
  } else {
    cv::cvtColor(image, ordered, channels >= 3 ? cv::COLOR_BGR2RGB : cv::COLOR_BGR2GRAY);
  }
  const double top = static_cast<double>((1 << bits) - 1);
  const double from = image.depth() == CV_8U ? 255.0 : 65535.0;
  cv::Mat scaled;
  ordered.convertTo(scaled, bits == 8 ? CV_8U : CV_16U, top / from);
  if (channels == 2 || channels == 4) {
    // An alpha that varies, so that a reader taking it for the picture shows.
    cv::Mat alpha(scaled.size(), scaled.depth());
    cv::randu(alpha, 0, top);
    std::vector<cv::Mat> planes;
    cv::split(scaled, planes);
    planes.push_back(alpha);
    cv::merge(planes, scaled);
  }
  return scaled;
}

cv::Mat pictureOf(const cv::Mat& samples, int bits) {
  const int channels = samples.channels();
  cv::Mat picture;
  if (channels <= 2) {
    cv::extractChannel(samples, picture, 0);
  } else {
    cv::cvtColor(samples, picture, channels == 4 ? cv::COLOR_RGBA2BGR : cv::COLOR_RGB2BGR);
  }
  if (bits == 8 || bits == 16) return picture;
  cv::Mat sixteen(picture.size(), picture.type());
  const int n = picture.rows * picture.cols * picture.channels();
  cv::Mat flat = picture.reshape(1, 1), out = sixteen.reshape(1, 1);
  for (int i = 0; i < n; ++i) {
    const unsigned v = flat.ptr<std::uint16_t>(0)[i];
    out.ptr<std::uint16_t>(0)[i] =
        static_cast<std::uint16_t>(bits == 10 ? (v << 6) | (v >> 4) : (v << 4) | (v >> 8));
  }
  return sixteen;
}

namespace {

// The scans of `reel` and where their files of `extension` go in `directory`.
std::vector<std::pair<cv::Mat, std::string>> scansOf(const reel::Reel& reel,
                                                     const std::string& directory,
                                                     const std::string& extension) {
  std::filesystem::create_directories(directory);
  std::vector<std::pair<cv::Mat, std::string>> scans;
  for (const std::string& path : reel.scanPaths) {
    const std::string name = std::filesystem::path(path).stem().string() + extension;
    scans.emplace_back(cv::imread(path, cv::IMREAD_ANYDEPTH | cv::IMREAD_ANYCOLOR),
                       (std::filesystem::path(directory) / name).string());
  }
  return scans;
}

}  // namespace

std::vector<std::string> writeDpxReel(const reel::Reel& reel, const DpxFileLayout& layout,
                                      int channels, const std::string& directory) {
  std::vector<std::string> paths;
  for (const auto& [scan, path] : scansOf(reel, directory, ".dpx")) {
    writeDpxFile(path, samplesAtDepth(scan, layout.bits, channels), layout);
    paths.push_back(path);
  }
  return paths;
}

std::vector<std::string> writeTwinReel(const reel::Reel& reel, int bits,
                                       const std::string& directory) {
  std::vector<std::string> paths;
  for (const auto& [scan, path] : scansOf(reel, directory, ".tif")) {
    const int channels = scan.channels() == 1 ? 1 : 3;
    if (!cv::imwrite(path, pictureOf(samplesAtDepth(scan, bits, channels), bits)))
      throw std::runtime_error("cannot write " + path);
    paths.push_back(path);
  }
  return paths;
}

}  // namespace kelvora::test
