#include "scpi/reading.h"

#include <cstdlib>

namespace kolvane::scpi {

namespace {

// The power of ten from the shown unit to the SI base unit.
int UnitExponent(ReadingUnit unit) {
  switch (unit) {
    case ReadingUnit::Kilohertz:
      return 3;
    case ReadingUnit::Microseconds:
      return -6;
    case ReadingUnit::Milliseconds:
      return -3;
    case ReadingUnit::None:
    case ReadingUnit::Overflow:
      break;
  }
  return 0;
}

std::string Exponent(int e) {
  std::string digits = std::to_string(std::abs(e));
  if (digits.size() < 2) digits.insert(0, "0");
  return (e < 0 ? "E-" : "E+") + digits;
}

}  // namespace

std::string ToNr3(const Reading& r) {
  if (r.format.unit == ReadingUnit::Overflow) return kNotANumber;
  // The text the display shows, from the one formatting code path.
  const std::string shown = FormatFixed(r.value, r.format.decimals);
  if (shown.empty()) return kNotANumber;
  std::string sign = "+";
  std::string digits;
  int decimals = 0;
  bool afterPoint = false;
  for (char c : shown) {
    if (c == '-') {
      sign = "-";
    } else if (c == '.') {
      afterPoint = true;
    } else {
      digits += c;
      if (afterPoint) ++decimals;
    }
  }
  const std::size_t first = digits.find_first_not_of('0');
  if (first == std::string::npos) {
    // Zero keeps its shown decimals as zeros.
    std::string mantissa = "0";
    if (digits.size() > 1) mantissa += "." + std::string(digits.size() - 1, '0');
    return "+" + mantissa + "E+00";
  }
  digits.erase(0, first);
  const int exponent = static_cast<int>(digits.size()) - 1 - decimals + UnitExponent(r.format.unit);
  std::string mantissa = digits.substr(0, 1);
  if (digits.size() > 1) mantissa += "." + digits.substr(1);
  return sign + mantissa + Exponent(exponent);
}

}  // namespace kolvane::scpi
