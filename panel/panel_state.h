// The one process-wide record of the link, the poll timer, the settings as
// the panel believes them and the cycle flags. Every field starts at zero.
#pragma once

#include <cstdint>
#include <string>

#include "counter/counter.h"

namespace kolvane {

// The link's fields and the instrument's settings come first, from
// CounterState.
struct PanelState : CounterState {
  std::string readingText;

  // Timer and requests.
  std::uint32_t timerId = 0;
  std::uint32_t configRequested = 0;

  // Cycle flags.
  std::uint32_t replyPending = 0;
  std::uint32_t measurementArmed = 0;

  // Remembered choices of the mode dialogs.
  std::int32_t countChoice = 0;
  std::int32_t durationChoice = 0;
  std::int32_t ratioChoice = 0;
};

}  // namespace kolvane
