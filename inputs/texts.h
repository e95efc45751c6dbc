// Texts of the input, level and calibration handlers beyond the shared
// failure texts of the command exchange.
#pragma once

#include <cstddef>

#include "commands/exchange.h"

namespace kolvane {

inline constexpr const char* kSwitchToMeasureText = "Включите измерение";

// The message field cleared.
inline constexpr std::size_t kClearedMessageBlanks = 36;

}  // namespace kolvane
