#include "scans/header_text.h"

#include <cstdint>

namespace kelvora {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

bool continuation(std::uint8_t b) { return (b & 0xC0) == 0x80; }

// The length of the well-formed UTF-8 sequence at the start of `s`, or 0.
size_t sequenceAt(std::string_view s) {
  const auto b = [&s](size_t i) { return static_cast<std::uint8_t>(s[i]); };
  const std::uint8_t lead = b(0);
  if (lead < 0x80) return 1;
  size_t length = 0;
  std::uint8_t low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing past U+10FFFF
  } else {
    return 0;
  }
  if (s.size() < length || b(1) < low || b(1) > high) return 0;
  for (size_t i = 2; i < length; ++i)
    if (!continuation(b(i))) return 0;
  return length;
}

}  // namespace

std::string validUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    const size_t n = sequenceAt(text);
    if (n == 0) {
      out += kReplacement;
      text.remove_prefix(1);
    } else {
      out += text.substr(0, n);
      text.remove_prefix(n);
    }
  }
  return out;
}

}  // namespace kelvora
