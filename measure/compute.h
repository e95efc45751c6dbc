// Turning a result's counts into the value to show and the way to show it.
// Pure: depends only on its inputs, so it is tested without a panel.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kolvane {

enum class ReadingUnit { Kilohertz, Microseconds, Milliseconds, None, Overflow };

struct ReadingFormat {
  ReadingUnit unit = ReadingUnit::None;
  int decimals = 0;
  bool operator==(const ReadingFormat&) const = default;
};

struct Reading {
  double value = 0.0;
  ReadingFormat format;
};

enum class LaunchBranch { Automatic, SingleShot };

struct ReadingInputs {
  std::uint32_t measureMode = 0;     // 1..12
  std::uint32_t timestampIndex = 0;  // 1..5
  std::uint32_t gateIndex = 0;       // 1..5
  LaunchBranch launch = LaunchBranch::Automatic;
  int testMeasureToggle = 0;
  std::uint32_t n1 = 0;
  std::uint32_t n2 = 0;  // only in the two eight-byte modes
};

// The value and its format; nothing when a mode or index it needs is out of
// range, in which case the caller keeps the text it had.
std::optional<Reading> ComputeReading(const ReadingInputs& in);

// The unit as the display writes it: "kHz", "mkS", "mS"; empty for none.
std::string_view DisplayUnit(ReadingUnit unit);

// The reading's text: a blank, the number with the format's decimals, the
// unit, and the fixed run of trailing blanks. Independent of the locale.
std::string FormatReading(const Reading& r);

// The number alone, as printf's "%.<decimals>f" prints it in the C locale.
std::string FormatFixed(double value, int decimals);

}  // namespace kolvane
