// The one process-wide record of the link, the poll timer, the settings as
// the panel believes them and the cycle flags. Every field starts at zero.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "link/instrument_link.h"

namespace kolvane {

struct InputSettings {
  std::int32_t impedance = 0;      // 0 "50 Ом", 1 "1 МOм"
  std::int32_t coupling = 0;       // 0 " =~ ", 1 " ~ "
  std::int32_t attenuator = 0;     // 0 "1:1", 1 "1:10"
  std::int32_t lowPassFilter = 0;  // 0 off, 1 on
  std::int32_t slope = 0;          // 0 unchecked, 1 checked
  bool operator==(const InputSettings&) const = default;
};

// The link's fields (port handle, portFound, saved time-outs, txFrame and
// rxBuffer) come first, from LinkState.
struct PanelState : LinkState {
  std::string readingText;

  // Timer and requests.
  std::uint32_t timerId = 0;
  std::uint32_t configRequested = 0;

  // Instrument settings as the panel believes them.
  std::uint32_t measureMode = 0;
  std::uint32_t timestampIndex = 0;
  std::uint32_t gateIndex = 0;
  std::uint32_t activeChannel = 0;  // 1 A, 2 B, 4 C
  InputSettings inputA{};
  InputSettings inputC{};
  std::uint32_t singleShot = 0;
  std::uint8_t calibrationCode = 0;
  std::uint32_t calibrationMode = 0;
  std::uint32_t calibrationUntouched = 0;
  std::uint32_t memoryUsed = 0;

  // Cycle flags.
  std::uint32_t replyPending = 0;
  std::uint32_t measurementArmed = 0;

  // Remembered choices of the mode dialogs.
  std::int32_t countChoice = 0;
  std::int32_t durationChoice = 0;
  std::int32_t ratioChoice = 0;
};

}  // namespace kolvane
