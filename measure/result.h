// From one poll's outcome to what is shown: the step the panel's cycle and
// the logger share, so a result is converted one way only.
#pragma once

#include <cstdint>
#include <optional>

#include "measure/reading_sink.h"
#include "protocol/frames.h"

namespace kolvane {

// The settings a result is converted under.
struct CycleSettings {
  std::uint32_t measureMode = 0;
  std::uint32_t timestampIndex = 0;
  std::uint32_t gateIndex = 0;
  std::uint32_t singleShot = 0;
  int testMeasureToggle = 0;
};

// Count bytes after 'G': two counts in DL4 and the duty cycle, else one.
std::uint32_t ResultFieldLength(std::uint32_t measureMode);

// Nothing for a poll that brought no result, or a result whose mode or
// indexes are out of range (the display then keeps its text).
std::optional<ShownReading> ShownFromPoll(const PollOutcome& poll, const CycleSettings& s);

}  // namespace kolvane
