#include "scans/scan_header.h"

#include <cmath>

#include "scans/dpx_reader.h"
#include "scans/general_decoder.h"
#include "scans/header_text.h"
#include "scans/tiff_errors.h"
#include "scans/tiff_reader.h"

namespace kelvora {

namespace {

// A text field of a header as reports may show it: a field a writer left undefined
// (filled with 0xFF, as DPX marks unset numbers) is empty, the rest valid UTF-8.
std::string headerText(std::string text) {
  while (!text.empty() && (text.back() == '\xff' || text.back() == '\0')) text.pop_back();
  return validUtf8(text);
}

}  // namespace

ScanHeader readScanHeader(const std::string& path) {
  ScanHeader h;
  // Headers are read as the pixels are, by the direct readers; the general decoder is
  // loaded only for what they do not take.
  if (isDpxName(path)) {
    h = readDpxHeader(path);
  } else {
    installTiffHandlers();
    h = readTiffHeader(path);
    takeTiffError();  // a complaint about the header is not one about the pixels
  }
  if (!h.read) {
    std::string why;
    const GeneralDecoder* decoder = generalDecoder(why);
    if (decoder == nullptr) return h;
    h = decoder->readHeader(path);
  }
  h.format = headerText(h.format);
  h.filmType = headerText(h.filmType);
  h.keycode = headerText(h.keycode);
  if (!std::isfinite(h.frameRate)) h.frameRate = 0.0;
  return h;
}

}  // namespace kelvora
