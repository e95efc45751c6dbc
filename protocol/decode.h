// A frame read back into what it sets, from the same tables the senders
// use: the simulator answers by it, and checks of the senders use it to
// tell a frame of the command set from any other bytes.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "protocol/protocol.h"

namespace kolvane::protocol {

enum class Setting : std::uint8_t {
  kTimestamp,  // value: row 0..4
  kGate,       // row 0..4
  kChannel,    // 0 A, 1 B, 2 C
  kFrequency,
  kPeriod,
  kDuration,  // 0..3: DL1..DL4
  kCount,     // 0 by duration, 1 by period
  kRatio,     // 0 A/C, 1 C/A, 2 B/C
  kTachometer,
  kDutyCycle,
  kMemory,  // 0 off, 1 on
  kTest,    // 0 off, 1 on
  kLaunch,  // 0 automatic, 1 single shot
  kGenerator,
  kImpedance,  // the panel's list index
  kCoupling,
  kAttenuator,
  kFilter,  // 0 off, 1 on
  kSlope,   // 0 off, 1 on
  kLevel,   // the raw position
  kCalibration,
  kCalibrationSave,
  kStart,
  kHandshake,
  kStateRequest,
  kClose,
};

struct DecodedFrame {
  Setting setting;
  int value = 0;
};

namespace detail {

template <std::size_t N>
constexpr std::optional<int> RowOf(const std::array<SettingFrame, N>& rows, std::uint8_t letter,
                                   int param) {
  for (std::size_t i = 0; i < N; ++i) {
    if (static_cast<std::uint8_t>(rows[i].command.letter) == letter &&
        rows[i].command.param == param) {
      return static_cast<int>(i);
    }
  }
  return std::nullopt;
}

constexpr bool Is(const SettingFrame& f, std::uint8_t letter, int param) {
  return static_cast<std::uint8_t>(f.command.letter) == letter && f.command.param == param;
}

}  // namespace detail

// The setting of the frame letter + param (kNoParam for a 2-byte frame);
// nothing for bytes outside the command set.
constexpr std::optional<DecodedFrame> Decode(std::uint8_t letter, int param) {
  using detail::Is;
  using detail::RowOf;
  struct Table {
    Setting setting;
    std::optional<int> row;
  };
  const Table tables[] = {
      {Setting::kTimestamp, RowOf(kTimestampFrames, letter, param)},
      {Setting::kGate, RowOf(kGateFrames, letter, param)},
      {Setting::kChannel, RowOf(kChannelFrames, letter, param)},
      {Setting::kDuration, RowOf(kDurationFrames, letter, param)},
      {Setting::kCount, RowOf(kCountFrames, letter, param)},
      {Setting::kRatio, RowOf(kRatioFrames, letter, param)},
      {Setting::kGenerator, RowOf(kGeneratorFrames, letter, param)},
      {Setting::kImpedance, RowOf(kImpedanceFrames, letter, param)},
      {Setting::kCoupling, RowOf(kCouplingFrames, letter, param)},
      {Setting::kAttenuator, RowOf(kAttenuatorFrames, letter, param)},
      {Setting::kFilter, RowOf(kFilterFrames, letter, param)},
      {Setting::kSlope, RowOf(kSlopeFrames, letter, param)},
  };
  for (const Table& t : tables) {
    if (t.row) return DecodedFrame{t.setting, *t.row};
  }
  const struct {
    const SettingFrame& frame;
    Setting setting;
    int value;
  } singles[] = {
      {kFrequencyFrame, Setting::kFrequency, 0},
      {kPeriodFrame, Setting::kPeriod, 0},
      {kTachometerFrame, Setting::kTachometer, 0},
      {kDutyCycleFrame, Setting::kDutyCycle, 0},
      {kMemoryOffFrame, Setting::kMemory, 0},
      {kMemoryOnFrame, Setting::kMemory, 1},
      {kTestOffFrame, Setting::kTest, 0},
      {kTestOnFrame, Setting::kTest, 1},
      {kLaunchAutoFrame, Setting::kLaunch, 0},
      {kLaunchSingleFrame, Setting::kLaunch, 1},
      {kCalibrationSaveFrame, Setting::kCalibrationSave, 0},
  };
  for (const auto& s : singles) {
    if (Is(s.frame, letter, param)) return DecodedFrame{s.setting, s.value};
  }
  // The level and the calibration value carry a raw byte.
  if (param >= 0 && param <= 0xFF) {
    if (letter == static_cast<std::uint8_t>(LevelFrame(0).command.letter)) {
      return DecodedFrame{Setting::kLevel, param};
    }
    if (letter == static_cast<std::uint8_t>(CalibrationFrame(0).command.letter)) {
      return DecodedFrame{Setting::kCalibration, param};
    }
  }
  if (letter == static_cast<std::uint8_t>(kStartFrame.letter) && param == kNoParam) {
    return DecodedFrame{Setting::kStart, 0};
  }
  if (letter == kHandshakeLetter && param == kNoParam) return DecodedFrame{Setting::kHandshake, 0};
  if (letter == kCloseLetter && param == kNoParam) return DecodedFrame{Setting::kClose, 0};
  if (letter == kStateLetter && param == kStateParam) {
    return DecodedFrame{Setting::kStateRequest, 0};
  }
  return std::nullopt;
}

}  // namespace kolvane::protocol
