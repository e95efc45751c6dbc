#include "counter/counter.h"

#include <array>
#include <cstddef>

#include "resources/texts.h"

namespace kolvane {

namespace {

using protocol::SettingFrame;
namespace mode = protocol::mode;

template <std::size_t N>
const SettingFrame* Row(const std::array<SettingFrame, N>& rows, int i) {
  return i >= 0 && static_cast<std::size_t>(i) < N ? &rows[static_cast<std::size_t>(i)] : nullptr;
}

Outcome OutOfRange() {
  return Refusal({}, "the value is out of range");
}

}  // namespace

Outcome Refusal(std::string text, std::string reason) {
  return {Outcome::kRefused, std::move(text), std::move(reason)};
}

Outcome Counter::Send(const SettingFrame& frame) {
  if (link_.Exchange(frame.command)) return {};
  const Command& c = frame.command;
  std::string what(1, c.letter);
  if (c.param != kNoParam && c.letter != 'L' && c.letter != 'Y') what += static_cast<char>(c.param);
  return {Outcome::kFailed, FailureText(frame),
          link_.Lost() ? "the line to the instrument failed"
                       : "the instrument did not acknowledge \"" + what + "\""};
}

void Counter::AssumeStartValues() {
  st_.calibrationUntouched = 1;
  st_.calibrationCode = 127;
  st_.levelPosition = protocol::kLevelMiddle;
  st_.timestampIndex = 2;
  st_.gateIndex = 1;
  st_.measureMode = mode::kFrequency;
  st_.singleShot = 0;
}

// ---- Time base ----

Outcome Counter::SetTimestamp(int index) {
  const SettingFrame* row = Row(protocol::kTimestampFrames, index - 1);
  if (row == nullptr) return OutOfRange();
  st_.calibrationMode = 0;
  st_.timestampIndex = static_cast<std::uint32_t>(index);
  return Send(*row);
}

Outcome Counter::SetGate(int index) {
  const SettingFrame* row = Row(protocol::kGateFrames, index - 1);
  if (row == nullptr) return OutOfRange();
  st_.calibrationMode = 0;
  st_.gateIndex = static_cast<std::uint32_t>(index);
  return Send(*row);
}

// ---- Channel ----

std::optional<Outcome> Counter::ChannelRefusal(std::uint32_t measureMode, std::uint32_t channel) {
  if (measureMode == mode::kDl4 && channel != protocol::kChannelC) {
    return Refusal(kSwitchToChannelCText, "pulse duration DL4 measures on channel C only");
  }
  return std::nullopt;
}

std::optional<Outcome> Counter::ChannelRefusal(std::uint32_t channel) const {
  return ChannelRefusal(st_.measureMode, channel);
}

Outcome Counter::SelectChannel(std::uint32_t channel) {
  if (auto refusal = ChannelRefusal(channel)) return *refusal;
  return ForceChannel(channel);
}

Outcome Counter::ForceChannel(std::uint32_t channel) {
  const int i = protocol::ChannelIndex(channel);
  if (i < 0) return OutOfRange();
  st_.calibrationMode = 0;
  st_.activeChannel = channel;
  return Send(protocol::kChannelFrames[static_cast<std::size_t>(i)]);
}

// ---- Modes ----

Outcome Counter::SetFrequencyMode() {
  st_.calibrationMode = 0;
  st_.measureMode = mode::kFrequency;
  return Send(protocol::kFrequencyFrame);
}

Outcome Counter::SetPeriodMode() {
  st_.calibrationMode = 0;
  st_.measureMode = mode::kPeriod;
  return Send(protocol::kPeriodFrame);
}

Outcome Counter::SetTachometerMode() {
  st_.calibrationMode = 0;
  st_.measureMode = mode::kTachometer;
  return Send(protocol::kTachometerFrame);
}

Outcome Counter::SetDutyCycleMode() {
  st_.calibrationMode = 0;
  st_.measureMode = mode::kDutyCycle;
  return Send(protocol::kDutyCycleFrame);
}

Outcome Counter::SetDurationMode(int variant) {
  const SettingFrame* row = Row(protocol::kDurationFrames, variant);
  if (row == nullptr) return OutOfRange();
  st_.calibrationMode = 0;
  st_.measureMode = mode::kDl1 + static_cast<std::uint32_t>(variant);
  return Send(*row);
}

Outcome Counter::SetCountMode(int variant) {
  const SettingFrame* row = Row(protocol::kCountFrames, variant);
  if (row == nullptr) return OutOfRange();
  st_.calibrationMode = 0;
  st_.measureMode = mode::kCountByDuration + static_cast<std::uint32_t>(variant);
  return Send(*row);
}

std::optional<Outcome> Counter::RatioRefusal(int variant, std::uint32_t ch) {
  if (Row(protocol::kRatioFrames, variant) == nullptr) return OutOfRange();
  const bool a = ch == protocol::kChannelA;
  const bool c = ch == protocol::kChannelC;
  if (static_cast<std::size_t>(variant) != protocol::kRatioBC) {
    if (!a && !c) return Refusal(kChannelBOnText, "channel B is active: only B/C suits it");
  } else if (a) {
    return Refusal(kChannelAOnText, "channel A is active: only A/C or C/A suits it");
  } else if (c) {
    return Refusal(kChannelCOnText, "channel C is active: only A/C or C/A suits it");
  } else if (ch != protocol::kChannelB) {
    return Refusal({}, "no channel is active yet");
  }
  return std::nullopt;
}

Outcome Counter::SetRatio(int variant, bool opening) {
  if (auto refusal = RatioRefusal(variant, st_.activeChannel)) return *refusal;
  const SettingFrame* row = Row(protocol::kRatioFrames, variant);
  st_.calibrationMode = 0;
  st_.ratioVariant = variant;
  SettingFrame frame = *row;
  if (!opening)
    frame.failureBlanks = protocol::kRatioChangeBlanks[static_cast<std::size_t>(variant)];
  return Send(frame);
}

void Counter::Settle() {
  clock_.Sleep(protocol::kModeSettleMs);
}

// ---- Launch ----

void Counter::DrainBeforeSingleShot() {
  link_.Read(st_.rxBuffer.data(), protocol::kLaunchDrainBytes);
}

Outcome Counter::SetLaunch(bool singleShot) {
  st_.calibrationMode = 0;
  st_.singleShot = singleShot ? 1 : 0;
  return Send(singleShot ? protocol::kLaunchSingleFrame : protocol::kLaunchAutoFrame);
}

void Counter::Start() {
  st_.calibrationMode = 0;
  link_.Exchange(protocol::kStartFrame);
}

// ---- Test and memory ----

Outcome Counter::SetTest(bool on) {
  st_.test = on ? 1 : 0;
  return Send(on ? protocol::kTestOnFrame : protocol::kTestOffFrame);
}

std::optional<Outcome> Counter::MemoryRefusal() const {
  if (st_.calibrationMode == 1) return Refusal({}, "memory cannot be switched in calibration");
  if (st_.measureMode == mode::kDl4 || st_.measureMode == mode::kTachometer ||
      st_.measureMode == mode::kDutyCycle) {
    return Refusal({}, "memory cannot be used in tachometer, duty-cycle or DL4 mode");
  }
  return std::nullopt;
}

Outcome Counter::SetMemory(bool on) {
  if (auto refusal = MemoryRefusal()) return *refusal;
  st_.memory = on ? 1 : 0;
  st_.memoryUsed = 1;
  return Send(on ? protocol::kMemoryOnFrame : protocol::kMemoryOffFrame);
}

Outcome Counter::SwitchMemoryOff() {
  st_.memoryUsed = 0;
  st_.memory = 0;
  return Send(protocol::kMemoryOffFrame);
}

// ---- Inputs and generator ----

InputSettings* Counter::ActiveInput() {
  if (st_.activeChannel == protocol::kChannelA) return &st_.inputA;
  if (st_.activeChannel == protocol::kChannelC) return &st_.inputC;
  return nullptr;
}

std::optional<Outcome> Counter::InputRefusal() const {
  if (st_.activeChannel == protocol::kChannelA || st_.activeChannel == protocol::kChannelC) {
    return std::nullopt;
  }
  return Refusal({}, "input settings apply to channels A and C only");
}

Outcome Counter::SetInput(InputField field, int value) {
  if (auto refusal = InputRefusal()) return *refusal;
  if (value != 0 && value != 1) return OutOfRange();
  InputSettings& in = *ActiveInput();
  const std::array<SettingFrame, 2>* rows = nullptr;
  switch (field) {
    case InputField::kImpedance:
      in.impedance = value;
      rows = &protocol::kImpedanceFrames;
      break;
    case InputField::kCoupling:
      in.coupling = value;
      rows = &protocol::kCouplingFrames;
      break;
    case InputField::kAttenuator:
      in.attenuator = value;
      rows = &protocol::kAttenuatorFrames;
      break;
    case InputField::kFilter:
      in.lowPassFilter = value;
      rows = &protocol::kFilterFrames;
      break;
    case InputField::kSlope:
      in.slope = value;
      rows = &protocol::kSlopeFrames;
      break;
  }
  st_.calibrationMode = 0;
  return Send((*rows)[static_cast<std::size_t>(value)]);
}

Outcome Counter::SetGenerator(int index) {
  const SettingFrame* row = Row(protocol::kGeneratorFrames, index);
  if (row == nullptr) return OutOfRange();
  st_.calibrationMode = 0;
  st_.generator = index;
  return Send(*row);
}

// ---- Level and calibration ----

std::optional<Outcome> Counter::LevelRefusal() const {
  if (st_.activeChannel != protocol::kChannelA && st_.activeChannel != protocol::kChannelC) {
    return Refusal({}, "the level applies to channels A and C only");
  }
  if (st_.test == 1)
    return Refusal(kSwitchToMeasureText, "the level cannot be set while test is on");
  return std::nullopt;
}

Outcome Counter::SetLevel(std::uint8_t position) {
  if (auto refusal = LevelRefusal()) return *refusal;
  st_.levelPosition = position;
  return Send(protocol::LevelFrame(position));
}

Outcome Counter::ResetLevel(std::uint8_t position) {
  st_.levelPosition = position;
  return Send(protocol::LevelResetFrame(position));
}

Outcome Counter::EnterCalibration(std::uint8_t position) {
  st_.calibrationMode = 1;
  if (st_.calibrationUntouched == 1) {
    st_.calibrationUntouched = 0;
    st_.calibrationCode = position;
  }
  return Send(protocol::CalibrationEntryFrame(position));
}

Outcome Counter::SetCalibration(std::uint8_t position) {
  if (st_.calibrationMode != 1) return Refusal({}, "not in calibration mode");
  return Send(protocol::CalibrationFrame(position));
}

Outcome Counter::SaveCalibration(std::uint8_t position) {
  st_.calibrationMode = 0;
  st_.calibrationCode = position;
  st_.calibrationUntouched = 0;
  return Send(protocol::kCalibrationSaveFrame);
}

// ---- Readback, poll ----

StateReply Counter::ReadBack() {
  const StateReply reply = link_.RequestState();
  if (reply != StateReply::Ok) return reply;
  const protocol::StateFields b = protocol::ParseState(st_.rxBuffer.data());
  st_.readBack = b;
  const protocol::MeasurementState m = protocol::ParseMeasurement(b);
  st_.calibrationMode = 0;
  st_.measureMode = m.measureMode;
  st_.timestampIndex = m.timestampIndex;
  st_.gateIndex = m.gateIndex;
  st_.activeChannel = b.channel;
  st_.generator = b.generator;
  if (m.launchKnown) st_.singleShot = m.singleShot;
  st_.memory = b.memory == 1 ? 1 : 0;
  st_.test = m.testMeasureToggle;
  st_.calibrationCode = b.calibration;
  if (InputSettings* in = ActiveInput()) {
    in->impedance = b.impedance;
    in->attenuator = b.attenuator == 0 ? 1 : 0;
    in->coupling = b.coupling;
    in->lowPassFilter = b.filter == 0 ? 1 : 0;
    in->slope = b.slope;
    st_.levelPosition = b.level;
  }
  return reply;
}

CycleSettings Counter::Cycle() const {
  return {st_.measureMode, st_.timestampIndex, st_.gateIndex, st_.singleShot, st_.test};
}

CounterReading Counter::Poll(bool patient) {
  CounterReading r;
  r.poll = link_.Poll(ResultFieldLength(st_.measureMode), patient);
  if (r.poll.kind != PollOutcome::Nothing) r.shown = ShownFromPoll(r.poll, Cycle());
  return r;
}

CounterReading Counter::PollIfWaiting() {
  if (!link_.StatusWaiting()) return {};
  return Poll(true);
}

}  // namespace kolvane
