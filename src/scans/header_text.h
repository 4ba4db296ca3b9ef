#pragma once

#include <string>
#include <string_view>

namespace kelvora {

// `text` as valid UTF-8: every byte that does not belong to a well-formed UTF-8
// sequence (Latin-1 text, 0xFF fill, a sequence cut off, an overlong form, a surrogate)
// is replaced by U+FFFD. Text from a file's header goes through this before it reaches
// a report, a record or a message.
std::string validUtf8(std::string_view text);

}  // namespace kelvora
