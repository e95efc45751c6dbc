#include "record/names.h"

#include <array>

#include "protocol/protocol.h"

namespace kolvane::record {

std::string_view ModeName(std::uint32_t measureMode) {
  const auto& names = protocol::kModeNames;
  if (measureMode < 1 || measureMode > names.size()) return {};
  return names[measureMode - 1];
}

std::string_view UnitName(ReadingUnit unit) {
  switch (unit) {
    case ReadingUnit::Kilohertz:
      return "kHz";
    case ReadingUnit::Microseconds:
      return "us";
    case ReadingUnit::Milliseconds:
      return "ms";
    case ReadingUnit::None:
    case ReadingUnit::Overflow:
      break;
  }
  return {};
}

RowStatus StatusOf(const ShownReading& shown) {
  if (shown.kind == ShownKind::Stop) return RowStatus::Stop;
  return shown.reading.format.unit == ReadingUnit::Overflow ? RowStatus::Overflow : RowStatus::Ok;
}

std::string_view StatusName(RowStatus status) {
  switch (status) {
    case RowStatus::Ok:
      return "ok";
    case RowStatus::Overflow:
      return "OL";
    case RowStatus::Stop:
      return "stop";
  }
  return {};
}

bool HasAllanDeviation(std::uint32_t measureMode) {
  return measureMode == protocol::mode::kFrequency || measureMode == protocol::mode::kPeriod;
}

std::string ShortText(const ShownReading& shown) {
  const RowStatus status = StatusOf(shown);
  if (status != RowStatus::Ok) return std::string(StatusName(status));
  std::string text = FormatFixed(shown.reading.value, shown.reading.format.decimals);
  const std::string_view unit = UnitName(shown.reading.format.unit);
  if (!unit.empty()) {
    text += ' ';
    text += unit;
  }
  return text;
}

}  // namespace kolvane::record
