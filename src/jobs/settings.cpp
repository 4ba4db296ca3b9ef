#include "jobs/settings.h"

#include <cctype>
#include <limits>

namespace kelvora {

int leadingNumber(const std::string& text) {
  long long value = 0;
  for (const char ch : text) {
    if (!std::isdigit(static_cast<unsigned char>(ch))) break;
    value = value * 10 + (ch - '0');
    if (value > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
  }
  return static_cast<int>(value);
}

}  // namespace kelvora
