#include "scpi/instrument.h"

#include <array>

#include "panel/handlers/controls.h"
#include "resources/ids.h"
#include "scpi/parameters.h"

namespace kolvane::scpi {

namespace {

using protocol::kChannelA;
using protocol::kChannelC;

// Keeps the serial byte the handshake brought, and passes every report on.
class SerialCatcher : public IScanObserver {
 public:
  SerialCatcher(IScanObserver& next, std::optional<std::uint8_t>& serial)
      : next_(next), serial_(serial) {}
  void OnScanStart() override { next_.OnScanStart(); }
  void OnOpenFailed(int n, const std::string& name, std::uint32_t error) override {
    next_.OnOpenFailed(n, name, error);
  }
  void OnStateFailed(int n, std::uint32_t error) override { next_.OnStateFailed(n, error); }
  void OnTimeoutsFailed(int n) override { next_.OnTimeoutsFailed(n); }
  void OnNoAnswer(int n) override { next_.OnNoAnswer(n); }
  void OnFound(int n, std::optional<std::uint8_t> serial) override {
    serial_ = serial;
    next_.OnFound(n, serial);
  }

 private:
  IScanObserver& next_;
  std::optional<std::uint8_t>& serial_;
};

Error NotActive(std::uint32_t channel, std::string_view what) {
  return Conflict("channel " + ChannelName(channel) + " is not active; the instrument applies " +
                  std::string(what) + " to the active channel");
}

}  // namespace

Instrument::Instrument(ISerialPorts& ports, IClock& clock) : clock_(clock), model_(ports, clock) {
  model_.Open();
  model_.Instrument().AssumeStartValues();
}

bool Instrument::Connect(int first, int last, IScanObserver& observer) {
  SerialCatcher catcher(observer, serial_);
  connected_ = model_.Connect(first, last, catcher);
  if (connected_) ReadBack(3);
  NoteLink();
  return connected_;
}

void Instrument::Close() {
  if (connected_) model_.Session().Close();
  connected_ = false;
}

Result Instrument::Check(const std::optional<Outcome>& o) {
  if (!o) return std::nullopt;
  if (o->Refused()) return Conflict(o->reason);
  if (model_.Session().Lost()) return Error{err::kHardware, "the line to the instrument failed"};
  return Error{err::kNotAcknowledged, o->reason};
}

void Instrument::NoteLevel() {
  if (St().activeChannel == kChannelA) level_[0] = St().levelPosition;
  if (St().activeChannel == kChannelC) level_[1] = St().levelPosition;
}

Result Instrument::ReadBack(int attempts) {
  const StateReply reply = model_.ReadBack(attempts);
  if (reply == StateReply::Ok) {
    NoteLevel();
    return std::nullopt;
  }
  if (model_.Session().Lost()) return Error{err::kHardware, "the line to the instrument failed"};
  return Error{err::kNotReadBack, "no whole reply to the state request"};
}

// The readback that channels A and C ask for on the panel's next tick.
Result Instrument::ChannelReadBack() {
  const auto reply = model_.RunPendingReadBack();
  if (!reply) return std::nullopt;
  if (*reply == StateReply::Ok) {
    NoteLevel();
    return std::nullopt;
  }
  if (model_.Session().Lost()) return Error{err::kHardware, "the line to the instrument failed"};
  return Error{err::kNotReadBack, "no whole reply to the state request"};
}

Result Instrument::Ready() {
  if (!connected_) return Error{err::kHardware, "no instrument was found"};
  if (model_.Session().Lost()) {
    if (!model_.Session().Reopen())
      return Error{err::kHardware, "the line to the instrument is lost"};
    resync_ = true;
  }
  if (resync_) {
    if (ReadBack(1)) {
      return Error{err::kHardware, "the instrument does not answer since its line was lost"};
    }
    resync_ = false;
  }
  return std::nullopt;
}

bool Instrument::SelfTest() {
  if (!connected_) return false;
  if (model_.Session().Lost()) {
    if (!model_.Session().Reopen()) return false;
  }
  const bool ok = !ReadBack(3);
  resync_ = !ok;
  return ok;
}

Result Instrument::Reset() {
  // The start-up settings whatever the panel enables: frames sent through
  // the counter where a radio may be disabled.
  PanelState& st = model_.State();
  st.durationChoice = st.countChoice = st.ratioChoice = 0;
  Counter& counter = model_.Instrument();
  Result first;
  const auto note = [&](Result r) {
    if (r && !first) first = r;
    return !model_.Session().Lost();
  };
  const auto sent = [&](const Outcome& o) {
    return Check(o.Acknowledged() ? std::nullopt : std::optional(o));
  };
  model_.Drain();
  if (!note(sent(counter.SetTimestamp(2)))) return first;
  model_.Drain();
  if (!note(sent(counter.SetGate(3)))) return first;
  model_.Drain();
  if (!note(sent(counter.ForceChannel(kChannelA)))) return first;
  clock_.Sleep(protocol::kSlowPollMs);
  if (!note(ReadBack(1))) return first;
  model_.Drain();
  if (!note(Check(model_.Click(ids::kModeFrequency)))) return first;
  model_.Drain();
  if (!note(Check(model_.Click(ids::kLaunchAuto)))) return first;
  // The start-up panel, whose automatic launch radio is enabled.
  model_.Window().EnableControl(ids::kLaunchAuto, true);
  return first;
}

// ---- Settings ----

Result Instrument::SetTimestamp(int index) {
  if (!model_.Enabled(ids::kTimestamp1 + index - 1)) {
    const bool byTest = TimestampsFollowTest(St().measureMode);
    return Conflict("the panel disables the time stamps in " + ModeName(St().measureMode) +
                    " mode" + (byTest && St().test == 0 ? " with test off" : ""));
  }
  model_.Drain();
  return Check(model_.Click(ids::kTimestamp1 + index - 1));
}

Result Instrument::SetGate(int index) {
  if (!model_.Enabled(ids::kGate1 + index - 1)) {
    return Conflict("the panel disables the gate in " + ModeName(St().measureMode) + " mode");
  }
  model_.Drain();
  return Check(model_.Click(ids::kGate1 + index - 1));
}

Result Instrument::SetGenerator(int index) {
  model_.Drain();
  return Check(model_.Select(ids::kGenerator, index));
}

Result Instrument::SetTest(bool on) {
  // A toggle: pressing it into the state it shows sends nothing.
  if ((St().test == 1) == on) return std::nullopt;
  model_.Drain();
  return Check(model_.Click(ids::kTestMeasure));
}

Result Instrument::SetMemory(bool on) {
  if (!model_.Enabled(ids::kMemory)) {
    return Conflict("the panel disables the memory while channel B is active");
  }
  if (auto refusal = model_.Instrument().MemoryRefusal()) return Conflict(refusal->reason);
  if ((St().memory == 1) == on) return std::nullopt;
  model_.Drain();
  return Check(model_.Click(ids::kMemory));
}

Result Instrument::SetInput(std::uint32_t channel, InputField field, int value) {
  if (St().activeChannel != channel) return NotActive(channel, "input settings");
  Counter& counter = model_.Instrument();
  if (auto refusal = counter.InputRefusal()) return Conflict(refusal->reason);
  model_.Drain();
  switch (field) {
    case InputField::kImpedance:
      return Check(model_.Select(ids::kImpedance, value));
    case InputField::kCoupling:
      return Check(model_.Select(ids::kCoupling, value));
    case InputField::kAttenuator:
      return Check(model_.Select(ids::kAttenuator, value));
    case InputField::kFilter:
    case InputField::kSlope:
      break;
  }
  // The check boxes toggle what the channel's record holds.
  const InputSettings* record = counter.ActiveInput();
  const bool filter = field == InputField::kFilter;
  const int now = record == nullptr ? 0 : filter ? record->lowPassFilter : record->slope;
  if ((now != 0) == (value != 0)) return std::nullopt;
  return Check(model_.Click(filter ? ids::kLowPassFilter : ids::kSlope));
}

Result Instrument::SetLevel(std::uint32_t channel, int position) {
  if (St().activeChannel != channel) return NotActive(channel, "the level");
  if (auto refusal = model_.Instrument().LevelRefusal()) return Conflict(refusal->reason);
  model_.Drain();
  Result r = Check(model_.SpinTo(ids::kLevelSpin, position));
  NoteLevel();
  return r;
}

Result Instrument::ResetLevel(std::uint32_t channel) {
  if (St().activeChannel != channel) return NotActive(channel, "the level");
  model_.Drain();
  Result r = Check(model_.Click(ids::kLevelReset));
  NoteLevel();
  return r;
}

Result Instrument::SetCalibration(int value) {
  if (St().calibrationMode != 1) {
    // The calibration radio first, with the spin where the stored value put it.
    model_.Drain();
    if (Result r = Check(model_.Click(ids::kModeCalibration))) return r;
  }
  model_.Drain();
  return Check(model_.SpinTo(ids::kCalibrationSpin, value));
}

Result Instrument::StoreCalibration() {
  // Only a calibration being entered. The panel's button stays enabled before
  // the first entry and after calibration mode ends; a press there stores
  // whatever the spin shows, which a script never means.
  if (St().calibrationMode != 1) {
    return Conflict("calibration mode is not on: CALibration:VALue enters it");
  }
  model_.Drain();
  return Check(model_.Click(ids::kCalibrationSave));
}

Result Instrument::SetLaunch(bool singleShot) {
  if (!singleShot && !model_.Enabled(ids::kLaunchAuto)) {
    return Conflict("the panel disables automatic launch after reading back single-shot launch");
  }
  model_.Drain();
  return Check(model_.Click(singleShot ? ids::kLaunchSingle : ids::kLaunchAuto));
}

int Instrument::LevelPosition(std::uint32_t channel) const {
  return level_[channel == kChannelC ? 1 : 0];
}

int Instrument::CalibrationValue() const {
  return St().calibrationMode == 1 ? model_.Window().SpinGetPos(ids::kCalibrationSpin)
                                   : St().calibrationCode;
}

std::string FunctionToken(const Configuration& c) {
  switch (c.function) {
    case Function::kFrequency:
      return "FREQ";
    case Function::kPeriod:
      return "PER";
    case Function::kPulse:
      return "PDUR";
    case Function::kRatio:
      return "FREQ:RAT";
    case Function::kTachometer:
      return "TACH";
    case Function::kDutyCycle:
      return "DCYC";
    case Function::kCount:
      return c.variant == 0 ? "TOT:DUR" : c.variant == 1 ? "TOT:PER" : "TOT";
  }
  return "FREQ";
}

}  // namespace kolvane::scpi
