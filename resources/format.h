#pragma once

#include <string>

namespace kolvane {

// printf-style formatting into a string. Integer and text conversions only:
// readings are formatted locale-independently elsewhere.
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// A run of n blanks.
inline std::string Blanks(std::size_t n) {
  return std::string(n, ' ');
}

}  // namespace kolvane
