// The instrument's protocol as both ends use it: the panel, the logger and
// the simulator. State bytes and mode codes are the reply's own (0-based);
// the panel keeps its mode as the code plus one.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "protocol/frames.h"

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

// Measurement modes as the panel and the counter keep them: the code plus one.
namespace mode {
inline constexpr std::uint32_t kFrequency = MeasureMode(ModeCode::kFrequency);
inline constexpr std::uint32_t kPeriod = MeasureMode(ModeCode::kPeriod);
inline constexpr std::uint32_t kDl1 = MeasureMode(ModeCode::kDuration1);
inline constexpr std::uint32_t kDl2 = MeasureMode(ModeCode::kDuration2);
inline constexpr std::uint32_t kDl3 = MeasureMode(ModeCode::kDuration3);
inline constexpr std::uint32_t kDl4 = MeasureMode(ModeCode::kDuration4);
inline constexpr std::uint32_t kCountByDuration = MeasureMode(ModeCode::kCountByDuration);
inline constexpr std::uint32_t kCountByPeriod = MeasureMode(ModeCode::kCountByPeriod);
inline constexpr std::uint32_t kCountVariant = MeasureMode(ModeCode::kCountVariant);
inline constexpr std::uint32_t kRatio = MeasureMode(ModeCode::kRatio);
inline constexpr std::uint32_t kTachometer = MeasureMode(ModeCode::kTachometer);
inline constexpr std::uint32_t kDutyCycle = MeasureMode(ModeCode::kDutyCycle);
}  // namespace mode

// The modes' short names, by mode code, as recordings name them.
inline constexpr std::array<const char*, 12> kModeNames{
    "f", "T", "DL1", "DL2", "DL3", "DL4", "count", "count", "count", "ratio", "tacho", "duty"};

// The 15 state bytes by name, as the reply holds them.
struct StateFields {
  std::uint8_t mode = 0, timestamp = 0, gate = 0, generator = 0, channel = 0, memory = 0,
               test = 0, slope = 0, impedance = 0, attenuator = 0, coupling = 0, filter = 0,
               level = 0, calibration = 0, launch = 0;
};

constexpr StateFields ParseState(const std::uint8_t* b) {
  StateFields s;
  s.mode = b[kMode];
  s.timestamp = b[kTimestamp];
  s.gate = b[kGate];
  s.generator = b[kGenerator];
  s.channel = b[kChannel];
  s.memory = b[kMemory];
  s.test = b[kTest];
  s.slope = b[kSlope];
  s.impedance = b[kImpedance];
  s.attenuator = b[kAttenuator];
  s.coupling = b[kCoupling];
  s.filter = b[kFilter];
  s.level = b[kLevel];
  s.calibration = b[kCalibration];
  s.launch = b[kLaunch];
  return s;
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

constexpr MeasurementState ParseMeasurement(const StateFields& s) {
  MeasurementState m;
  m.measureMode = s.mode + 1u;
  m.timestampIndex = s.timestamp + 1u;
  m.gateIndex = s.gate + 1u;
  m.channel = s.channel;
  m.launchKnown = s.launch <= 1;
  m.singleShot = m.launchKnown ? s.launch : 0;
  m.testMeasureToggle = s.test == 1 ? 1 : 0;
  return m;
}

// Channel codes of state byte 4 and of the panel's activeChannel.
inline constexpr std::uint8_t kChannelA = 1;
inline constexpr std::uint8_t kChannelB = 2;
inline constexpr std::uint8_t kChannelC = 4;
// The channels in the order of their frames and radios: A, B, C.
inline constexpr std::array<std::uint8_t, 3> kChannels{kChannelA, kChannelB, kChannelC};
// 0, 1, 2 for the codes of A, B and C; -1 for any other.
constexpr int ChannelIndex(std::uint32_t code) {
  for (std::size_t i = 0; i < kChannels.size(); ++i) {
    if (kChannels[i] == code) return static_cast<int>(i);
  }
  return -1;
}

// How long the line may take to fall quiet after a drain that may have cut
// a result in two.
inline constexpr std::uint32_t kResyncMs = 2000;

// The poll timer's period, and the longer one after channels A and C and the
// duty cycle, which give the instrument time to switch.
inline constexpr unsigned kPollMs = 20;
inline constexpr unsigned kSlowPollMs = 40;

// What the panel says when a setting's acknowledgement does not hold.
enum class Failure : std::uint8_t {
  kNoResponse,     // "Нет отклика от прибора" and blanks
  kNoUsb,          // "Нет передачи данных по USB" and blanks
  kTxBufferEmpty,  // "Буфер передачи пуст."
  kUnreported,     // a mode dialog without a message field
};

// A setting's frame with the rule its acknowledgement is read by, and the
// failure text (with its number of trailing blanks) shown when it fails.
struct SettingFrame {
  Command command;
  std::size_t failureBlanks = 0;
  Failure failure = Failure::kNoResponse;
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

// The time base by index 1..5 (here 0..4): each value in seconds, and its
// name on a command line.
inline constexpr std::array<double, 5> kTimestampSeconds{1e-7, 1e-6, 1e-5, 1e-4, 1e-3};
inline constexpr std::array<const char*, 5> kTimestampNames{"100ns", "1us", "10us", "100us", "1ms"};
inline constexpr std::array<double, 5> kGateSeconds{1e-3, 1e-2, 1e-1, 1.0, 10.0};
inline constexpr std::array<const char*, 5> kGateNames{"1ms", "10ms", "100ms", "1s", "10s"};

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
// The variants the mode dialogs send: DL1..DL4, and the two counts.
inline constexpr std::array<SettingFrame, 4> kDurationFrames{{
    {{'R', '3', AckRule::k7}, 0, Failure::kUnreported},
    {{'R', '4', AckRule::k7}, 0, Failure::kUnreported},
    {{'R', '5', AckRule::k7}, 0, Failure::kUnreported},
    {{'R', '6', AckRule::k7}, 0, Failure::kUnreported},
}};
inline constexpr std::array<SettingFrame, 2> kCountFrames{{
    {{'R', '7', AckRule::k7}, 0, Failure::kUnreported},
    {{'R', '8', AckRule::k7}, 0, Failure::kUnreported},
}};
// Ratios A/C, C/A and B/C; the blanks are those of the dialog's opening
// send, a change of selection has its own (kRatioChangeBlanks).
inline constexpr std::array<SettingFrame, 3> kRatioFrames{{
    {{'A', '1', AckRule::k7}, 3},
    {{'A', '2', AckRule::k7}, 4},
    {{'A', '3', AckRule::k7}, 3},
}};
inline constexpr std::array<std::size_t, 3> kRatioChangeBlanks{3, 5, 3};
inline constexpr std::size_t kRatioBC = 2;

// Memory on and off; off is also sent before a mode that cannot use it.
inline constexpr SettingFrame kMemoryOffFrame{{'P', '1', AckRule::k7}, 2};
inline constexpr SettingFrame kMemoryOnFrame{{'P', '2', AckRule::k7}, 2};
// The test function.
inline constexpr SettingFrame kTestOffFrame{{'Q', '1', AckRule::k8}, 3, Failure::kNoUsb};
inline constexpr SettingFrame kTestOnFrame{{'Q', '2', AckRule::k8}, 3, Failure::kNoUsb};
// Automatic launch and single shot.
inline constexpr SettingFrame kLaunchAutoFrame{{'I', '0', AckRule::k7}, 5};
inline constexpr SettingFrame kLaunchSingleFrame{
    {'I', '1', AckRule::k10}, 0, Failure::kTxBufferEmpty};
// Bytes read away before the single-shot frame: what is still on its way.
inline constexpr std::uint32_t kLaunchDrainBytes = 5;
// The reference generator: internal, external.
inline constexpr std::array<SettingFrame, 2> kGeneratorFrames{{
    {{'I', '2', AckRule::k7}, 2},
    {{'I', '3', AckRule::k7}, 2},
}};

// Input settings of the active channel, indexed by the panel's list
// position; the attenuator's frames run against the list order ("1:1" is V4).
inline constexpr std::array<SettingFrame, 2> kImpedanceFrames{{
    {{'V', '1', AckRule::k7}, 4},
    {{'V', '2', AckRule::k7}, 4},
}};
inline constexpr std::array<SettingFrame, 2> kCouplingFrames{{
    {{'V', '5', AckRule::k7}, 2},
    {{'V', '6', AckRule::k7}, 2},
}};
inline constexpr std::array<SettingFrame, 2> kAttenuatorFrames{{
    {{'V', '4', AckRule::k7}, 2},
    {{'V', '3', AckRule::k7}, 2},
}};
// Off, on.
inline constexpr std::array<SettingFrame, 2> kFilterFrames{{
    {{'V', '8', AckRule::k7}, 2},
    {{'V', '7', AckRule::k7}, 2},
}};
inline constexpr std::array<SettingFrame, 2> kSlopeFrames{{
    {{'F', '2', AckRule::k7}, 1},
    {{'F', '1', AckRule::k7}, 1},
}};

// The trigger level and the calibration value travel as one raw byte, the
// spin's position. A step of the level spin is read by rule 5, its reset by
// rule 8; the calibration mode's entry lets the instrument settle first.
inline constexpr std::uint8_t kLevelMiddle = 64;
// The level a spin position stands for, in the panel's units: the position
// times 8, less 512.
inline constexpr int kLevelStep = 8;
inline constexpr int kLevelOffset = 512;
inline constexpr int kLevelTop = 127;  // the spin's highest position
constexpr int LevelValue(int position) {
  return position * kLevelStep - kLevelOffset;
}
inline constexpr std::uint32_t kCalibrationSettleMs = 10;
constexpr SettingFrame LevelFrame(std::uint8_t pos) {
  return {{'L', pos, AckRule::k5}, 4, Failure::kNoUsb};
}
constexpr SettingFrame LevelResetFrame(std::uint8_t pos) {
  return {{'L', pos, AckRule::k8}, 4, Failure::kNoUsb};
}
constexpr SettingFrame CalibrationFrame(std::uint8_t pos) {
  return {{'Y', pos, AckRule::k5}, 4, Failure::kNoUsb};
}
constexpr SettingFrame CalibrationEntryFrame(std::uint8_t pos) {
  return {{'Y', pos, AckRule::k5, kCalibrationSettleMs}, 4, Failure::kNoUsb};
}
inline constexpr SettingFrame kCalibrationSaveFrame{
    {'Z', kNoParam, AckRule::k9}, 0, Failure::kTxBufferEmpty};
// The instrument takes this long to store the calibration.
inline constexpr std::uint32_t kCalibrationStoreMs = 200;

// Start of one measurement in single-shot launch; the result comes to the poll.
inline constexpr Command kStartFrame{'C', kNoParam, AckRule::kNone};
// The instrument settles this long after a mode dialog or a memory switch.
inline constexpr std::uint32_t kModeSettleMs = 200;

// Frames the link itself sends: the presence handshake, the state request
// and the closing frame.
inline constexpr std::uint8_t kHandshakeLetter = 'B';
inline constexpr std::uint8_t kStateLetter = 'D';
inline constexpr std::uint8_t kStateParam = '1';
inline constexpr std::uint8_t kStateReplyLetter = 'C';
inline constexpr std::uint8_t kCloseLetter = 'J';
// The instrument's answer to the handshake, followed by its serial byte.
inline constexpr std::uint8_t kPresenceReply = 'N';
// Result status bytes: a result follows, the measurement was interrupted, or
// an error without counts.
inline constexpr std::uint8_t kResultStatus = 'G';
inline constexpr std::uint8_t kStopStatus = 'N';
inline constexpr std::uint8_t kErrorStatus = 'E';

// How many bytes a frame with this letter has, CR included; 0 for a letter
// the instrument does not know.
constexpr std::size_t FrameLength(std::uint8_t letter) {
  switch (letter) {
    case 'B':
    case 'J':
    case 'H':
    case 'S':
    case 'C':
    case 'Z':
      return 2;
    case 'D':
    case 'M':
    case 'T':
    case 'K':
    case 'R':
    case 'A':
    case 'P':
    case 'Q':
    case 'I':
    case 'V':
    case 'F':
    case 'L':
    case 'Y':
      return 3;
    default:
      return 0;
  }
}

}  // namespace kolvane::protocol
