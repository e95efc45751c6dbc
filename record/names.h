// The words a recording uses for a shown reading: mode, unit and status.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "measure/reading_sink.h"

namespace kolvane::record {

enum class RowStatus { Ok, Overflow, Stop };

// "f", "T", "DL1".."DL4", "count", "ratio", "tacho", "duty"; empty outside 1..12.
std::string_view ModeName(std::uint32_t measureMode);
// "kHz", "us", "ms"; empty for no unit and for the overflow text.
std::string_view UnitName(ReadingUnit unit);
RowStatus StatusOf(const ShownReading& shown);
// "ok", "OL", "stop".
std::string_view StatusName(RowStatus status);
// Frequency and period: the modes whose series has an Allan deviation.
bool HasAllanDeviation(std::uint32_t measureMode);
// The reading in a few characters: "12.34 kHz", "OL" or "stop".
std::string ShortText(const ShownReading& shown);

}  // namespace kolvane::record
