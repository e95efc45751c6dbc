// The instrument as every front end sees it: one operation per setting, each
// sending the setting's frame with its acknowledgement rule and keeping the
// instrument-side state, and refusing what the instrument cannot take in
// the state it is in. The panel, the logger and the SCPI server drive the
// instrument through this class only; none of them sees a byte.
//
// An operation does not pause the poll or touch a window: the front end
// does that around it, in its own order.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "link/instrument_link.h"
#include "measure/reading_sink.h"
#include "measure/result.h"
#include "platform/clock.h"
#include "protocol/protocol.h"

namespace kolvane {

struct InputSettings {
  std::int32_t impedance = 0;      // 0 "50 Ом", 1 "1 МOм"
  std::int32_t coupling = 0;       // 0 " =~ ", 1 " ~ "
  std::int32_t attenuator = 0;     // 0 "1:1", 1 "1:10"
  std::int32_t lowPassFilter = 0;  // 0 off, 1 on
  std::int32_t slope = 0;          // 0 unchecked, 1 checked
  bool operator==(const InputSettings&) const = default;
};

// The instrument's settings as the front end believes them. The link's
// fields (port handle, portFound, saved time-outs, txFrame and rxBuffer)
// come first, from LinkState. Every field starts at zero.
struct CounterState : LinkState {
  std::uint32_t measureMode = 0;  // protocol::mode
  std::uint32_t timestampIndex = 0;
  std::uint32_t gateIndex = 0;
  std::uint32_t activeChannel = 0;  // 1 A, 2 B, 4 C
  InputSettings inputA{};
  InputSettings inputC{};
  std::uint32_t singleShot = 0;
  std::uint8_t calibrationCode = 0;  // the stored value
  std::uint32_t calibrationMode = 0;
  std::uint32_t calibrationUntouched = 0;
  std::uint32_t memoryUsed = 0;
  int test = 0;                      // the test function
  int memory = 0;                    // the memory
  std::int32_t generator = 0;        // 0 internal, 1 external
  std::int32_t levelPosition = 0;    // the level spin's position, 0..127
  std::int32_t ratioVariant = 0;     // 0 A/C, 1 C/A, 2 B/C
  protocol::StateFields readBack{};  // what the last whole readback said
};

// How a setting ended.
struct Outcome {
  enum Kind { kAcknowledged, kFailed, kRefused };
  Kind kind = kAcknowledged;
  // The panel's text: the failure text of the setting, or its refusal
  // (empty where the panel shows none).
  std::string text;
  // Why, in plain English, for front ends without the panel's texts.
  std::string reason;

  bool Acknowledged() const { return kind == kAcknowledged; }
  bool Failed() const { return kind == kFailed; }
  bool Refused() const { return kind == kRefused; }
};

// The input settings of channels A and C.
enum class InputField { kImpedance, kCoupling, kAttenuator, kFilter, kSlope };

// A poll's outcome, and what it shows, if anything.
struct CounterReading {
  PollOutcome poll;
  std::optional<ShownReading> shown;
};

class Counter {
 public:
  Counter(InstrumentLink& link, IClock& clock, CounterState& state)
      : link_(link), clock_(clock), st_(state) {}

  // The values the panel starts with, before any readback.
  void AssumeStartValues();

  // ---- Time base (index 1..5) ----
  Outcome SetTimestamp(int index);
  Outcome SetGate(int index);

  // ---- Channel (protocol::kChannelA, kChannelB or kChannelC) ----
  // DL4 measures on channel C only.
  std::optional<Outcome> ChannelRefusal(std::uint32_t channel) const;
  // The same for a mode the front end is only planning to set.
  static std::optional<Outcome> ChannelRefusal(std::uint32_t measureMode, std::uint32_t channel);
  Outcome SelectChannel(std::uint32_t channel);
  // SelectChannel without the refusal, for a reset that sends its frames
  // whatever the mode is.
  Outcome ForceChannel(std::uint32_t channel);

  // ---- Modes ----
  Outcome SetFrequencyMode();
  Outcome SetPeriodMode();
  Outcome SetTachometerMode();
  Outcome SetDutyCycleMode();
  Outcome SetDurationMode(int variant);  // 0..3: DL1..DL4
  Outcome SetCountMode(int variant);     // 0 by duration, 1 by period
  // 0 A/C, 1 C/A, 2 B/C; refused unless it suits the active channel. The
  // failure text differs between the dialog's opening and a change.
  // The dialog runs under the old mode: the mode is the opener's to set.
  Outcome SetRatio(int variant, bool opening = true);
  // Whether a ratio variant suits the channel (refused as SetRatio would).
  static std::optional<Outcome> RatioRefusal(int variant, std::uint32_t channel);
  // The mode frames' settle time after a mode dialog or a memory switch.
  void Settle();

  // ---- Launch ----
  // Reads away what the instrument is still sending, before single shot.
  void DrainBeforeSingleShot();
  Outcome SetLaunch(bool singleShot);
  // One measurement in single shot; its result comes to the poll.
  void Start();

  // ---- Test and memory ----
  Outcome SetTest(bool on);
  // Memory is refused in DL4, tachometer and duty cycle, and in calibration.
  std::optional<Outcome> MemoryRefusal() const;
  Outcome SetMemory(bool on);
  // Memory off before a mode that cannot use it.
  Outcome SwitchMemoryOff();

  // ---- Inputs of the active channel (A or C), the generator ----
  std::optional<Outcome> InputRefusal() const;
  // value: the panel's list index, or 0/1 for the filter and the slope.
  Outcome SetInput(InputField field, int value);
  InputSettings* ActiveInput();
  Outcome SetGenerator(int index);  // 0 internal, 1 external

  // ---- Level and calibration (spin positions) ----
  // The level applies to channels A and C, and not while test is on.
  std::optional<Outcome> LevelRefusal() const;
  Outcome SetLevel(std::uint8_t position);
  // The level's reset to the middle: read by its own rule, and allowed in test.
  Outcome ResetLevel(std::uint8_t position);
  // Calibration mode with the spin at `position`; the first entry takes it
  // as the value to return to.
  Outcome EnterCalibration(std::uint8_t position);
  Outcome SetCalibration(std::uint8_t position);
  // "Z": the instrument stores `position`; the front end then waits
  // protocol::kCalibrationStoreMs and sets frequency mode, as Save does.
  Outcome SaveCalibration(std::uint8_t position);

  // ---- Readback, poll and close ----
  // "D1": on a whole reply, the state takes the instrument's settings.
  StateReply ReadBack();
  // One poll; the result is converted under the state's settings.
  CounterReading Poll(bool patient = false);
  // A poll only when a result has begun to arrive: never waits on a quiet
  // line, for front ends that poll between other work.
  CounterReading PollIfWaiting();
  CycleSettings Cycle() const;

  InstrumentLink& Link() { return link_; }
  CounterState& State() { return st_; }
  const CounterState& State() const { return st_; }

 private:
  Outcome Send(const protocol::SettingFrame& frame);

  InstrumentLink& link_;
  IClock& clock_;
  CounterState& st_;
};

// A refusal with the panel's text and the reason in English.
Outcome Refusal(std::string text, std::string reason);

}  // namespace kolvane
