#include "measure/compute.h"

#include <array>
#include <charconv>
#include <string_view>

#include "protocol/protocol.h"

namespace kolvane {

namespace mode = protocol::mode;

namespace {

// 10^-k as the nearest double: scales are products, never quotients, so that
// the shown digits match the instrument's own arithmetic.
constexpr std::array<double, 9> kScale{1.0, 0.1, 0.01, 0.001, 0.0001, 1e-05, 1e-06, 1e-07, 1e-08};

// Time stamp t = 1..5: its unit and how many decimals it adds (u(t) = 10^-d).
struct Stamp {
  ReadingUnit unit;
  int decimals;
};
constexpr std::array<Stamp, 5> kStamps{{{ReadingUnit::Microseconds, 1},
                                        {ReadingUnit::Microseconds, 0},
                                        {ReadingUnit::Milliseconds, 2},
                                        {ReadingUnit::Milliseconds, 1},
                                        {ReadingUnit::Milliseconds, 0}}};

// The single-shot and test branch of the fourth duration variant: m(t).
constexpr std::array<double, 5> kDl4Factor{0.1, 1.0, 10.0, 100.0, 1000.0};

constexpr bool InRange(std::uint32_t index) {
  return index >= 1 && index <= 5;
}

constexpr ReadingFormat kOverflow{ReadingUnit::Overflow, 0};

std::optional<Reading> PulseDl4(const ReadingInputs& in) {
  if (in.n2 == 0) return Reading{0.0, kOverflow};
  if (!InRange(in.timestampIndex)) return std::nullopt;
  const std::uint32_t t = in.timestampIndex - 1;
  const ReadingFormat fmt{t < 2 ? ReadingUnit::Microseconds : ReadingUnit::Milliseconds, 3};
  const double n1 = in.n1;
  if (in.launch == LaunchBranch::SingleShot || in.testMeasureToggle == 1) {
    return Reading{n1 * kDl4Factor[t], fmt};
  }
  if (!InRange(in.gateIndex)) return std::nullopt;
  if (in.gateIndex == 1) return Reading{n1 * 1000.0 / static_cast<double>(in.n2), fmt};
  return Reading{n1 * 0.01, fmt};
}

std::optional<Reading> DutyCycle(const ReadingInputs& in) {
  if (in.n2 == 0) return Reading{0.0, kOverflow};
  if (!InRange(in.gateIndex)) return std::nullopt;
  // The top bit of the first count is a flag of the instrument's, not count.
  const double n1 = in.n1 & 0x7FFFFFFFu;
  const double ratio = n1 / static_cast<double>(in.n2);
  return Reading{ratio * kScale[in.gateIndex - 1], {ReadingUnit::None, 6}};
}

}  // namespace

std::optional<Reading> ComputeReading(const ReadingInputs& in) {
  const double n1 = in.n1;
  const bool gateOk = InRange(in.gateIndex);
  const bool stampOk = InRange(in.timestampIndex);
  const int g = static_cast<int>(in.gateIndex) - 1;
  const Stamp stamp = stampOk ? kStamps[in.timestampIndex - 1] : Stamp{ReadingUnit::None, 0};

  switch (in.measureMode) {
    case mode::kFrequency:  // frequency: one count is one unit of the last digit
      if (!gateOk) return std::nullopt;
      return Reading{n1 * kScale[g], {ReadingUnit::Kilohertz, g}};
    case mode::kPeriod:
    case mode::kDl2: {  // second duration variant: averaged like the period
      if (!gateOk || !stampOk) return std::nullopt;
      const int k = g + stamp.decimals;
      return Reading{n1 * kScale[k], {stamp.unit, k}};
    }
    case mode::kDl1:
    case mode::kDl3:  // single-pulse durations: the gate has no effect
      if (!stampOk) return std::nullopt;
      return Reading{n1 * kScale[stamp.decimals], {stamp.unit, stamp.decimals}};
    case mode::kDl4:
      return PulseDl4(in);
    case mode::kCountByDuration:
    case mode::kCountByPeriod:
    case mode::kCountVariant:
    case mode::kTachometer:  // counts and the tachometer show the count itself
      return Reading{n1, {ReadingUnit::None, 0}};
    case mode::kRatio:
      if (!gateOk) return std::nullopt;
      return Reading{n1 * kScale[g], {ReadingUnit::None, g}};
    case mode::kDutyCycle:
      return DutyCycle(in);
    default:
      return std::nullopt;
  }
}

std::string FormatFixed(double value, int decimals) {
  // to_chars rounds the exact binary value like printf does, but never looks
  // at LC_NUMERIC, so a decimal-comma locale cannot change the reading.
  std::array<char, 400> buf{};
  const auto res =
      std::to_chars(buf.data(), buf.data() + buf.size(), value, std::chars_format::fixed, decimals);
  if (res.ec != std::errc{}) return {};
  return std::string(buf.data(), res.ptr);
}

std::string_view DisplayUnit(ReadingUnit unit) {
  switch (unit) {
    case ReadingUnit::Kilohertz:
      return "kHz";
    case ReadingUnit::Microseconds:
      return "mkS";
    case ReadingUnit::Milliseconds:
      return "mS";
    case ReadingUnit::None:
    case ReadingUnit::Overflow:
      break;
  }
  return {};
}

std::string FormatReading(const Reading& r) {
  // Everything after the number, trailing blanks included.
  constexpr std::size_t kUnitBlanks = 17;
  constexpr std::size_t kPlainBlanks = 21;
  constexpr std::size_t kDutyCycleBlanks = 18;

  std::string text = " ";
  switch (r.format.unit) {
    case ReadingUnit::Overflow:
      return " OL ";
    case ReadingUnit::Kilohertz:
    case ReadingUnit::Microseconds:
    case ReadingUnit::Milliseconds:
      text += FormatFixed(r.value, r.format.decimals);
      text += ' ';
      text += DisplayUnit(r.format.unit);
      text.append(kUnitBlanks, ' ');
      return text;
    case ReadingUnit::None:
      break;
  }
  text += FormatFixed(r.value, r.format.decimals);
  text.append(r.format.decimals == 6 ? kDutyCycleBlanks : kPlainBlanks, ' ');
  return text;
}

}  // namespace kolvane
