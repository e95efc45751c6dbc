// Names shared by the panel's handlers: mode codes, poll periods and the
// control groups they enable and disable together.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "protocol/protocol.h"
#include "resources/format.h"
#include "resources/ids.h"

namespace kolvane {

// Measurement mode codes as the panel state holds them.
namespace mode = protocol::mode;

// Channel codes of activeChannel.
namespace channel {
inline constexpr std::uint32_t kA = protocol::kChannelA;
inline constexpr std::uint32_t kB = protocol::kChannelB;
inline constexpr std::uint32_t kC = protocol::kChannelC;
}  // namespace channel

// Poll timer periods: the usual one, and the one that channels A and C and
// the duty cycle restart it with.
using protocol::kPollMs;
using protocol::kSlowPollMs;

inline constexpr std::array kTimestampRadios{1001, 1002, 1003, 1004, 1005};
inline constexpr std::array kGateRadios{1006, 1007, 1008, 1009, 1010};
inline constexpr std::array kTimeBaseRadios{1001, 1002, 1003, 1004, 1005,
                                            1006, 1007, 1008, 1009, 1010};
// In the order of protocol::kChannels.
inline constexpr std::array kChannelRadios{ids::kChannelA, ids::kChannelB, ids::kChannelC};
inline constexpr std::array kInputControls{ids::kImpedance, ids::kCoupling, ids::kAttenuator,
                                           ids::kSlope, ids::kLowPassFilter};
// What channels A and C give back: every mode radio and the Memory button.
inline constexpr std::array kModeRadiosAndMemory{
    ids::kModePulseDuration, ids::kModePeriod,      ids::kModeRatio,
    ids::kModeFrequency,     ids::kModeCount,       ids::kModeTachometer,
    ids::kModeDutyCycle,     ids::kModeCalibration, ids::kMemory};

// The texts beside the level and calibration spins.
inline std::string LevelText(int pos) {
  return Format(" %d", static_cast<std::int16_t>(protocol::LevelValue(pos)));
}
inline std::string CalibrationText(int pos) {
  return Format("  %d", static_cast<std::int16_t>(pos));
}

// Modes in which the time stamps serve only the test function.
inline bool TimestampsFollowTest(std::uint32_t measureMode) {
  return measureMode == mode::kFrequency || measureMode == mode::kCountByDuration ||
         measureMode == mode::kCountByPeriod || measureMode == mode::kRatio;
}

}  // namespace kolvane
