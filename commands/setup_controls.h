// Names shared by the setup handlers: mode codes, poll periods and the
// control groups they enable and disable together.
#pragma once

#include <array>
#include <cstdint>

#include "resources/ids.h"

namespace kolvane {

// Measurement mode codes as the panel state holds them.
namespace mode {
inline constexpr std::uint32_t kFrequency = 1;
inline constexpr std::uint32_t kPeriod = 2;
inline constexpr std::uint32_t kDl1 = 3;
inline constexpr std::uint32_t kDl2 = 4;
inline constexpr std::uint32_t kDl3 = 5;
inline constexpr std::uint32_t kDl4 = 6;
inline constexpr std::uint32_t kCountByDuration = 7;
inline constexpr std::uint32_t kCountByPeriod = 8;
inline constexpr std::uint32_t kRatio = 10;
inline constexpr std::uint32_t kTachometer = 11;
inline constexpr std::uint32_t kDutyCycle = 12;
}  // namespace mode

// Channel codes of activeChannel.
namespace channel {
inline constexpr std::uint32_t kA = 1;
inline constexpr std::uint32_t kB = 2;
inline constexpr std::uint32_t kC = 4;
}  // namespace channel

// Poll timer periods: the usual one, and the one that channels A and C and
// the duty cycle restart it with.
inline constexpr unsigned kPollMs = 20;
inline constexpr unsigned kSlowPollMs = 40;

inline constexpr std::array kTimestampRadios{1001, 1002, 1003, 1004, 1005};
inline constexpr std::array kGateRadios{1006, 1007, 1008, 1009, 1010};
inline constexpr std::array kTimeBaseRadios{1001, 1002, 1003, 1004, 1005,
                                            1006, 1007, 1008, 1009, 1010};
inline constexpr std::array kChannelRadios{ids::kChannelA, ids::kChannelB, ids::kChannelC};
inline constexpr std::array kInputControls{ids::kImpedance, ids::kCoupling, ids::kAttenuator,
                                           ids::kSlope, ids::kLowPassFilter};
// What channels A and C give back: every mode radio and the Memory button.
inline constexpr std::array kModeRadiosAndMemory{
    ids::kModePulseDuration, ids::kModePeriod,      ids::kModeRatio,
    ids::kModeFrequency,     ids::kModeCount,       ids::kModeTachometer,
    ids::kModeDutyCycle,     ids::kModeCalibration, ids::kMemory};

// Modes in which the time stamps serve only the test function.
inline bool TimestampsFollowTest(std::uint32_t measureMode) {
  return measureMode == mode::kFrequency || measureMode == mode::kCountByDuration ||
         measureMode == mode::kCountByPeriod || measureMode == mode::kRatio;
}

}  // namespace kolvane
