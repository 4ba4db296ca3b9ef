#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "scans/direct_read.h"

namespace kelvora {

// How the samples of a DPX line are stored.
enum class DpxPacking {
  Packed,   // 10 or 12 bits end to end through 32-bit words, the first in the low bits
  FilledA,  // 10 bits three to a 32-bit word, or 12 bits to a 16-bit word, padding low
  FilledB,  // the same with the padding in the high bits
};

// Where the picture of a DPX file's first image element lies and how it is stored:
// everything needed to read any of its rows straight from the file.
struct DpxLayout {
  int width = 0;
  int height = 0;
  int channels = 0;  // samples a pixel stores, 1 to 4
  int bits = 0;      // 8, 10, 12 or 16
  DpxPacking packing = DpxPacking::FilledA;
  bool bigEndian = true;
  // Filled 10 bits: the first sample of a word in its low bits (single-channel files
  // are written so), else in its high bits.
  bool lowSampleFirst = false;
  std::uint64_t dataOffset = 0;  // the file offset of the element's first line
  // From one line's start to the next, in bytes; 0 when the lines run on without
  // padding, each starting where the one before ended (inside a word, if so).
  std::uint64_t lineBytes = 0;
  int pictureChannels = 1;     // 1 grey, 3 colour
  int picture[3] = {0, 0, 0};  // the samples of a pixel holding blue, green, red (grey: [0])
};

// The bytes a DPX header takes up to the end of its image element table.
constexpr std::size_t kDpxHeaderBytes = 1356;

// Reads the layout of a DPX file from its first bytes (`header`, at least
// kDpxHeaderBytes of them to be Done) and its length. Done with `layout` filled;
// NotHandled for files the direct reader leaves to the general decoder (not DPX,
// run-length encoded, YCbCr, floating point, 1-bit); Failed, with the cause in `error`,
// for a picture of no pixels, one too large to load, or image data the file is too
// short to hold.
DirectRead readDpxLayout(std::span<const std::uint8_t> header, std::uint64_t fileBytes,
                         DpxLayout& layout, std::string& error);

// Where row `row` of `layout` starts, from the element's first byte: the byte of the
// word that holds its first sample, and how far into that word, in samples (filled
// 10 bits) or bits (packed).
struct DpxRowStart {
  std::uint64_t byte = 0;
  int into = 0;
};
DpxRowStart dpxRowStart(const DpxLayout& layout, std::int64_t row);

// The bytes rows `first` to `end` (exclusive) of `layout` are read from: whole words,
// from the element's first byte.
struct DpxBytes {
  std::uint64_t from = 0;
  std::uint64_t to = 0;
};
DpxBytes dpxRowBytes(const DpxLayout& layout, int first, int end);

// What the film industry header of a DPX says of the film, its text as the file holds
// it: the edge code (manufacturer, film type, perforation offset, prefix and count,
// end to end), the film format ("Academy", ...) and the frame rate (not finite when
// the header leaves it undefined).
struct DpxFilm {
  std::string edgeCode;
  std::string format;
  float frameRate = 0.0f;
};

// The bytes a DPX header takes up to the end of its film industry header.
constexpr std::size_t kDpxFilmHeaderEnd = 1920;

// Reads the film industry header from a DPX file's first bytes (`header`, at least
// kDpxFilmHeaderEnd of them, else nothing is read), in the file's byte order.
DpxFilm readDpxFilm(std::span<const std::uint8_t> header, bool bigEndian);

}  // namespace kelvora
