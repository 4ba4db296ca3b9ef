#include "scans/scan_names.h"

#include <algorithm>
#include <cctype>

namespace kelvora {

namespace {

// The number the stem of a scan name ends in, or -1.
long trailingNumber(const std::string& name) {
  const size_t dot = name.find_last_of('.');
  const std::string stem = name.substr(0, dot == std::string::npos ? name.size() : dot);
  size_t i = stem.size();
  while (i > 0 && std::isdigit(static_cast<unsigned char>(stem[i - 1]))) --i;
  const std::string digits = stem.substr(i);
  if (digits.empty() || digits.size() > 9) return -1;
  return std::stol(digits);
}

}  // namespace

int numbersSkipped(const std::string& before, const std::string& after) {
  const long a = trailingNumber(before);
  const long b = trailingNumber(after);
  if (a < 0 || b <= a) return 0;
  return static_cast<int>(std::min<long>(b - a - 1, 1000));
}

}  // namespace kelvora
