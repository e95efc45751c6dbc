// The instrument's protocol as both ends use it: the panel, the logger and
// the simulator. State bytes and mode codes are the reply's own (0-based);
// the panel keeps its mode as the code plus one.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "commands/exchange.h"

namespace kolvane::protocol {

// Positions in the 15 state bytes that follow the "C" of the state reply.
enum StateByte : std::size_t {
  kMode = 0,
  kTimestamp = 1,
  kGate = 2,
  kGenerator = 3,
  kChannel = 4,
  kMemory = 5,
  kTest = 6,
  kSlope = 7,
  kImpedance = 8,
  kAttenuator = 9,  // 0 means 1:10
  kCoupling = 10,
  kFilter = 11,  // 0 means on
  kLevel = 12,
  kCalibration = 13,
  kLaunch = 14,
};
inline constexpr std::size_t kStateBytes = 15;

// Mode codes of state byte 0.
enum ModeCode : std::uint8_t {
  kFrequency = 0,
  kPeriod = 1,
  kDuration1 = 2,
  kDuration2 = 3,
  kDuration3 = 4,
  kDuration4 = 5,
  kCountByDuration = 6,
  kCountByPeriod = 7,
  kCountVariant = 8,
  kRatio = 9,
  kTachometer = 10,
  kDutyCycle = 11,
};

// The panel's measureMode for a mode code.
constexpr std::uint32_t MeasureMode(ModeCode code) {
  return static_cast<std::uint32_t>(code) + 1u;
}

// What a state reply says of the measurement, as the panel keeps it.
struct MeasurementState {
  std::uint32_t measureMode = 0;     // code + 1
  std::uint32_t timestampIndex = 0;  // byte + 1
  std::uint32_t gateIndex = 0;       // byte + 1
  std::uint8_t channel = 0;          // 1 A, 2 B, 4 C
  bool launchKnown = false;          // byte 14 is 0 (automatic) or 1 (single shot)
  std::uint32_t singleShot = 0;
  int testMeasureToggle = 0;
};

constexpr MeasurementState ParseMeasurement(const std::uint8_t* b) {
  MeasurementState m;
  m.measureMode = b[kMode] + 1u;
  m.timestampIndex = b[kTimestamp] + 1u;
  m.gateIndex = b[kGate] + 1u;
  m.channel = b[kChannel];
  m.launchKnown = b[kLaunch] <= 1;
  m.singleShot = m.launchKnown ? b[kLaunch] : 0;
  m.testMeasureToggle = b[kTest] == 1 ? 1 : 0;
  return m;
}

// Channel codes of state byte 4 and of the panel's activeChannel.
inline constexpr std::uint8_t kChannelA = 1;
inline constexpr std::uint8_t kChannelB = 2;
inline constexpr std::uint8_t kChannelC = 4;

// The poll timer's period, and the longer one after channels A and C and the
// duty cycle, which give the instrument time to switch.
inline constexpr unsigned kPollMs = 20;
inline constexpr unsigned kSlowPollMs = 40;

// A setting's frame with the rule its acknowledgement is read by, and the
// number of blanks after "Нет отклика от прибора" when it fails.
struct SettingFrame {
  Command command;
  std::size_t failureBlanks = 0;
};

// Time stamps 10^-7 .. 10^-3 s ("M1".."M5") and gates 10^-3 .. 10 s ("T1".."T5").
inline constexpr std::array<SettingFrame, 5> kTimestampFrames{{
    {{'M', '1', AckRule::k1}, 6},
    {{'M', '2', AckRule::k2}, 4},
    {{'M', '3', AckRule::k2}, 4},
    {{'M', '4', AckRule::k2}, 6},
    {{'M', '5', AckRule::k2}, 5},
}};
inline constexpr std::array<SettingFrame, 5> kGateFrames{{
    {{'T', '1', AckRule::k2}, 5},
    {{'T', '2', AckRule::k2}, 7},
    {{'T', '3', AckRule::k2}, 5},
    {{'T', '4', AckRule::k2}, 4},
    {{'T', '5', AckRule::k3}, 7},
}};

// Channels A, B and C.
inline constexpr std::array<SettingFrame, 3> kChannelFrames{{
    {{'K', '1', AckRule::k4}, 5},
    {{'K', '2', AckRule::k4}, 8},
    {{'K', '3', AckRule::k4}, 4},
}};

// The modes a radio sets with one frame of its own.
inline constexpr SettingFrame kFrequencyFrame{{'R', '1', AckRule::k6}, 6};
inline constexpr SettingFrame kPeriodFrame{{'R', '2', AckRule::k6}, 5};
inline constexpr SettingFrame kTachometerFrame{{'H', kNoParam, AckRule::k6}, 6};
inline constexpr SettingFrame kDutyCycleFrame{{'S', kNoParam, AckRule::k6}, 7};
// Memory off, sent before a mode that cannot use it.
inline constexpr SettingFrame kMemoryOffFrame{{'P', '1', AckRule::k7}, 2};
// Start of one measurement in single-shot launch; the result comes to the poll.
inline constexpr Command kStartFrame{'C', kNoParam, AckRule::kNone};
// The instrument settles this long after a mode dialog or a memory switch.
inline constexpr std::uint32_t kModeSettleMs = 200;

}  // namespace kolvane::protocol
