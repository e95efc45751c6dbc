#include "scpi/instrument.h"

#include "scpi/reading.h"

namespace kolvane::scpi {

namespace {

namespace mode = protocol::mode;
using protocol::kChannelA;
using protocol::kChannelB;
using protocol::kChannelC;

// Plan steps besides the channel codes: the wanted mode's radio, and the
// frequency radio, which frees every channel.
constexpr std::uint32_t kModeClick = 0;
constexpr std::uint32_t kFrequencyClick = 0xFF;
constexpr int kDrainRounds = 64;
// How long the line may take to fall quiet between results, as the logger's.
constexpr std::uint32_t kResyncMs = 2000;
// A poll's status read waits up to the link's read time-out; a result may
// take the gate and three of those.
constexpr std::uint64_t kResultGraceMs = 3 * kLinkTimeouts.readTotalTimeoutConstant;

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

std::string ChannelName(std::uint32_t channel) {
  const int i = ChannelIndex(channel);
  return i < 0 ? "none" : std::string(1, "ABC"[i]);
}

Error Conflict(std::string reason) {
  return {err::kSettingsConflict, std::move(reason)};
}

bool IsInputChannel(std::uint32_t channel) {
  return channel == kChannelA || channel == kChannelC;
}

}  // namespace

std::string ModeName(std::uint32_t measureMode) {
  switch (measureMode) {
    case mode::kFrequency:
      return "frequency";
    case mode::kPeriod:
      return "period";
    case mode::kDl1:
    case mode::kDl2:
    case mode::kDl3:
    case mode::kDl4:
      return "pulse duration DL" + std::to_string(measureMode - mode::kDl1 + 1);
    case mode::kCountByDuration:
      return "count by duration";
    case mode::kCountByPeriod:
      return "count by period";
    case mode::kRatio:
      return "ratio";
    case mode::kTachometer:
      return "tachometer";
    case mode::kDutyCycle:
      return "duty-cycle";
    default:
      return "count";
  }
}

Instrument::Instrument(ISerialPorts& ports, IClock& clock)
    : clock_(clock), link_(ports, clock, state_), counter_(link_, clock, state_) {
  counter_.AssumeStartValues();
  calibrationSpin_ = state_.calibrationCode;
}

bool Instrument::Connect(int first, int last, IScanObserver& observer) {
  SerialCatcher catcher(observer, serial_);
  connected_ = link_.Scan(catcher, first, last) != 0;
  if (connected_) ReadBack(3);
  return connected_;
}

void Instrument::Close() {
  if (connected_) link_.Close();
  connected_ = false;
}

Result Instrument::Check(const Outcome& o) {
  if (o.Acknowledged()) return std::nullopt;
  if (o.Refused()) return Conflict(o.reason);
  if (link_.Lost()) return Error{err::kHardware, "the line to the instrument failed"};
  return Error{err::kNotAcknowledged, o.reason};
}

void Instrument::Drain() {
  // Results pile up while no command reads them; the link reads away 1 KiB
  // at a time.
  for (int i = 0; i < kDrainRounds && link_.DropUnreadInput() != 0; ++i) {
  }
}

void Instrument::NoteLevel() {
  if (state_.activeChannel == kChannelA) level_[0] = state_.levelPosition;
  if (state_.activeChannel == kChannelC) level_[1] = state_.levelPosition;
}

Result Instrument::ReadBack(int attempts) {
  for (int i = 0; i < attempts && !link_.Lost(); ++i) {
    // Results that came meanwhile are no reply to the request.
    Drain();
    if (counter_.ReadBack() == StateReply::Ok) {
      ReadBackApplied(controls_, state_.rxBuffer.data(), state_.test);
      NoteLevel();
      return std::nullopt;
    }
  }
  if (link_.Lost()) return Error{err::kHardware, "the line to the instrument failed"};
  return Error{err::kNotReadBack, "no whole reply to the state request"};
}

Result Instrument::Ready() {
  if (!connected_) return Error{err::kHardware, "no instrument was found"};
  if (link_.Lost()) {
    if (!link_.Reopen()) return Error{err::kHardware, "the line to the instrument is lost"};
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
  if (link_.Lost()) {
    if (!link_.Reopen()) return false;
  }
  const bool ok = !ReadBack(3);
  resync_ = !ok;
  return ok;
}

// ---- Configure ----

// The panel as far as planning needs it.
struct Instrument::View {
  Controls controls;
  std::uint32_t measureMode = 0;
  std::uint32_t channel = 0;
  int ratio = 0;        // the variant last sent
  int ratioChoice = 0;  // the dialog's remembered choice
  int test = 0;

  // A click the panel allows, and what it leaves; false when not allowed.
  bool Click(const Configuration& target, std::uint32_t step) {
    if (step == kModeClick) {
      if (!ModeEnabled(controls, target.function)) return false;
      if (target.function == Function::kRatio) {
        if (Counter::RatioRefusal(target.variant, channel)) return false;
        ratio = ratioChoice = target.variant;
      }
      measureMode = MeasureModeOf(target.function, target.variant);
      if (measureMode == mode::kDl4) channel = kChannelC;
      ModeClicked(controls, target.function, target.variant, test);
      return true;
    }
    if (!ChannelEnabled(controls, step) || Counter::ChannelRefusal(measureMode, step)) {
      return false;
    }
    channel = step;
    ChannelClicked(controls, step, measureMode, test);
    // In ratio mode the dialog opens again with its remembered choice.
    if (measureMode == mode::kRatio && !Counter::RatioRefusal(ratioChoice, channel)) {
      ratio = ratioChoice;
    }
    return true;
  }
};

std::optional<std::vector<std::uint32_t>> Instrument::Plan(const Configuration& c,
                                                           std::uint32_t channel) {
  const View start{controls_,           state_.measureMode, state_.activeChannel,
                   state_.ratioVariant, ratioChoice_,       state_.test};
  const std::uint32_t wanted = MeasureModeOf(c.function, c.variant);
  const bool ratio = c.function == Function::kRatio;
  const auto reached = [&](const View& v) {
    return v.measureMode == wanted && v.channel == channel && (!ratio || v.ratio == c.variant);
  };
  // The clicks a user would try, fewest first; a ratio takes its channel
  // first, since a channel click in ratio mode opens the dialog again.
  const std::uint32_t m = kModeClick;
  const std::uint32_t f = kFrequencyClick;
  std::vector<std::vector<std::uint32_t>> tries{{m}};
  if (ratio) {
    tries.push_back({channel, m});
    tries.push_back({m, channel});
  } else {
    tries.push_back({m, channel});
    tries.push_back({channel, m});
  }
  tries.push_back({kChannelA, m, channel});
  tries.push_back({f, channel, m});
  tries.push_back({f, m, channel});
  for (const auto& t : tries) {
    View v = start;
    bool ok = true;
    for (std::uint32_t step : t) {
      ok = step == f ? v.Click({Function::kFrequency, 0, {}}, kModeClick) : v.Click(c, step);
      if (!ok) break;
    }
    if (ok && reached(v)) return t;
  }
  // Already there, with a mode radio the panel disables (the tachometer on B).
  if (reached(start) && !ModeEnabled(controls_, c.function)) return std::vector<std::uint32_t>{};
  return std::nullopt;
}

Result Instrument::Click(const Configuration& target, bool modeClick, std::uint32_t channel) {
  Drain();
  if (!modeClick) {
    ChannelClicked(controls_, channel, state_.measureMode, state_.test);
    if (Result r = Check(counter_.SelectChannel(channel))) return r;
    if (state_.measureMode == mode::kRatio) {
      const Outcome reopened = counter_.SetRatio(ratioChoice_);
      if (!reopened.Refused()) {
        if (Result r = Check(reopened)) return r;
      }
    }
    if (IsInputChannel(channel)) {
      // The readback channels A and C ask for, on the panel's next tick.
      clock_.Sleep(protocol::kSlowPollMs);
      return ReadBack(1);
    }
    return std::nullopt;
  }
  Outcome o;
  const int v = target.variant;
  switch (target.function) {
    case Function::kFrequency:
      o = counter_.SetFrequencyMode();
      break;
    case Function::kPeriod:
      o = counter_.SetPeriodMode();
      break;
    case Function::kPulse:
      o = counter_.EnterDuration(durationChoice_, v);
      durationChoice_ = v;
      break;
    case Function::kRatio:
      o = counter_.EnterRatio(ratioChoice_, v);
      ratioChoice_ = v;
      break;
    case Function::kTachometer:
      o = counter_.EnterTachometer();
      break;
    case Function::kDutyCycle:
      o = counter_.EnterDutyCycle();
      break;
    case Function::kCount:
      o = counter_.EnterCount(countChoice_, v);
      countChoice_ = v;
      break;
  }
  ModeClicked(controls_, target.function, v, state_.test);
  return Check(o);
}

Result Instrument::Configure(const Configuration& c) {
  const std::uint32_t active = state_.activeChannel;
  const bool activeAC = IsInputChannel(active);
  std::uint32_t channel = 0;
  switch (c.function) {
    case Function::kFrequency:
    case Function::kTachometer:
      channel = c.channel.value_or(ChannelIndex(active) >= 0 ? active : kChannelA);
      break;
    case Function::kRatio:
      channel = c.variant == 2 ? kChannelB : activeAC ? active : kChannelA;
      break;
    case Function::kPulse:
      if (c.variant == 3) {
        channel = c.channel.value_or(kChannelC);
        if (auto refusal = Counter::ChannelRefusal(mode::kDl4, channel)) {
          return Conflict(refusal->reason);
        }
        break;
      }
      [[fallthrough]];
    default:
      channel = c.channel.value_or(activeAC ? active : kChannelA);
      break;
  }
  const auto plan = Plan(c, channel);
  if (!plan) {
    const std::uint32_t wanted = MeasureModeOf(c.function, c.variant);
    return Conflict("the panel cannot set " + ModeName(wanted) + " mode on channel " +
                    ChannelName(channel));
  }
  for (std::uint32_t step : *plan) {
    Result r = step == kFrequencyClick ? Click({Function::kFrequency, 0, {}}, true, 0)
                                       : Click(c, step == kModeClick, step);
    if (r) return r;
  }
  return std::nullopt;
}

Result Instrument::Reset() {
  durationChoice_ = countChoice_ = ratioChoice_ = 0;
  Result first;
  const auto note = [&](Result r) {
    if (r && !first) first = r;
    return !link_.Lost();
  };
  Drain();
  if (!note(Check(counter_.SetTimestamp(2)))) return first;
  Drain();
  if (!note(Check(counter_.SetGate(3)))) return first;
  Drain();
  ChannelClicked(controls_, kChannelA, state_.measureMode, state_.test);
  if (!note(Check(counter_.ForceChannel(kChannelA)))) return first;
  clock_.Sleep(protocol::kSlowPollMs);
  if (!note(ReadBack(1))) return first;
  Drain();
  ModeClicked(controls_, Function::kFrequency, 0, state_.test);
  if (!note(Check(counter_.SetFrequencyMode()))) return first;
  Drain();
  // The start-up panel, whose automatic launch radio is enabled.
  if (!note(Check(counter_.SetLaunch(false)))) return first;
  controls_.launchAuto = true;
  return first;
}

// ---- Settings ----

Result Instrument::SetTimestamp(int index) {
  if (!controls_.timestamps) {
    const bool byTest =
        state_.measureMode == mode::kFrequency || state_.measureMode == mode::kRatio ||
        state_.measureMode == mode::kCountByDuration || state_.measureMode == mode::kCountByPeriod;
    return Conflict("the panel disables the time stamps in " + ModeName(state_.measureMode) +
                    " mode" + (byTest && state_.test == 0 ? " with test off" : ""));
  }
  Drain();
  return Check(counter_.SetTimestamp(index));
}

Result Instrument::SetGate(int index) {
  if (!controls_.gates) {
    return Conflict("the panel disables the gate in " + ModeName(state_.measureMode) + " mode");
  }
  Drain();
  return Check(counter_.SetGate(index));
}

Result Instrument::SetGenerator(int index) {
  Drain();
  return Check(counter_.SetGenerator(index));
}

Result Instrument::SetTest(bool on) {
  // A toggle: pressing it into the state it shows sends nothing.
  if ((state_.test == 1) == on) return std::nullopt;
  Drain();
  TestSwitched(controls_, state_.measureMode, on);
  // The test button puts the calibration spin back to the stored value,
  // though calibration mode stays on.
  calibrationSpin_ = state_.calibrationCode;
  return Check(counter_.SetTest(on));
}

Result Instrument::SetMemory(bool on) {
  if (!controls_.memory) return Conflict("the panel disables the memory while channel B is active");
  if (auto refusal = counter_.MemoryRefusal()) return Conflict(refusal->reason);
  if ((state_.memory == 1) == on) return std::nullopt;
  Drain();
  MemorySwitched(controls_);
  return Check(counter_.SetMemory(on));
}

Result Instrument::SetInput(std::uint32_t channel, InputField field, int value) {
  if (state_.activeChannel != channel) {
    return Conflict("channel " + ChannelName(channel) +
                    " is not active; the instrument applies input settings to the active channel");
  }
  if (auto refusal = counter_.InputRefusal()) return Conflict(refusal->reason);
  Drain();
  return Check(counter_.SetInput(field, value));
}

Result Instrument::SetLevel(std::uint32_t channel, int position) {
  if (state_.activeChannel != channel) {
    return Conflict("channel " + ChannelName(channel) +
                    " is not active; the instrument applies the level to the active channel");
  }
  if (auto refusal = counter_.LevelRefusal()) return Conflict(refusal->reason);
  Drain();
  Result r = Check(counter_.SetLevel(static_cast<std::uint8_t>(position)));
  NoteLevel();
  return r;
}

Result Instrument::ResetLevel(std::uint32_t channel) {
  if (state_.activeChannel != channel) {
    return Conflict("channel " + ChannelName(channel) +
                    " is not active; the instrument applies the level to the active channel");
  }
  Drain();
  Result r = Check(counter_.ResetLevel(protocol::kLevelMiddle));
  NoteLevel();
  return r;
}

Result Instrument::SetCalibration(int value) {
  if (state_.calibrationMode != 1) {
    // The calibration radio first, with the spin where the stored value put it.
    Drain();
    calibrationSpin_ = state_.calibrationCode;
    if (Result r = Check(counter_.EnterCalibration(static_cast<std::uint8_t>(calibrationSpin_)))) {
      return r;
    }
  }
  Drain();
  calibrationSpin_ = value;
  return Check(counter_.SetCalibration(static_cast<std::uint8_t>(value)));
}

Result Instrument::StoreCalibration() {
  // Only a calibration being entered. The panel's button stays enabled before
  // the first entry and after calibration mode ends; a press there stores
  // whatever the spin shows, which a script never means.
  if (state_.calibrationMode != 1) {
    return Conflict("calibration mode is not on: CALibration:VALue enters it");
  }
  Drain();
  const auto value = static_cast<std::uint8_t>(CalibrationValue());
  CalibrationSaved(controls_, state_.test);
  return Check(counter_.StoreCalibration(value));
}

Result Instrument::SetLaunch(bool singleShot) {
  if (!singleShot && !controls_.launchAuto) {
    return Conflict("the panel disables automatic launch after reading back single-shot launch");
  }
  Drain();
  if (singleShot) counter_.DrainBeforeSingleShot();
  return Check(counter_.SetLaunch(singleShot));
}

// ---- Measurement ----

std::uint64_t Instrument::ResultWaitMs() const {
  static constexpr std::uint64_t kGateMs[] = {1, 10, 100, 1000, 10000};
  const std::uint32_t g = state_.gateIndex;
  return (g >= 1 && g <= 5 ? kGateMs[g - 1] : kGateMs[4]) + kResultGraceMs;
}

void Instrument::Arm() {
  Drain();
  // The next byte should start a result; a drain may have cut one.
  link_.StartPolling(kResyncMs);
  if (state_.singleShot != 0) counter_.Start();
}

bool Instrument::Acquire(int n, bool armed, std::vector<std::string>& readings,
                         std::vector<Error>& errors) {
  for (int i = 0; i < n; ++i) {
    if (state_.singleShot != 0 && (i > 0 || !armed)) counter_.Start();
    const std::uint64_t deadline = clock_.NowMs() + ResultWaitMs();
    std::optional<std::string> value;
    do {
      // Back to back, as the logger polls: the status read waits for a result.
      const CounterReading r = counter_.Poll(true);
      if (link_.Lost()) {
        errors.push_back({err::kHardware, "the line to the instrument failed"});
        return false;
      }
      if (!r.shown) continue;
      if (r.shown->kind == ShownKind::Stop) {
        errors.push_back({err::kStale, "the instrument reported the measurement interrupted"});
        value = kNotANumber;
      } else {
        value = ToNr3(r.shown->reading);
      }
    } while (!value && clock_.NowMs() < deadline);
    if (!value) {
      // The rest would wait as long for nothing.
      errors.push_back(
          {err::kNoResult, "no result within " + std::to_string(ResultWaitMs()) + " ms"});
      readings.resize(static_cast<std::size_t>(n), kNotANumber);
      return true;
    }
    readings.push_back(*value);
  }
  return true;
}

// ---- Queries ----

Configuration Instrument::Current() const {
  const std::uint32_t m = state_.measureMode;
  Configuration c;
  c.channel = state_.activeChannel;
  if (m >= mode::kDl1 && m <= mode::kDl4) {
    c.function = Function::kPulse;
    c.variant = static_cast<int>(m - mode::kDl1);
  } else if (m == mode::kCountByDuration || m == mode::kCountByPeriod) {
    c.function = Function::kCount;
    c.variant = static_cast<int>(m - mode::kCountByDuration);
  } else if (m == mode::kRatio) {
    c.function = Function::kRatio;
    c.variant = state_.ratioVariant;
  } else if (m == mode::kPeriod) {
    c.function = Function::kPeriod;
  } else if (m == mode::kTachometer) {
    c.function = Function::kTachometer;
  } else if (m == mode::kDutyCycle) {
    c.function = Function::kDutyCycle;
  } else if (m == mode::kFrequency) {
    c.function = Function::kFrequency;
  } else {
    c.function = Function::kCount;
    c.variant = -1;  // a count variant the panel has no radio for
  }
  return c;
}

int Instrument::LevelPosition(std::uint32_t channel) const {
  return level_[channel == kChannelC ? 1 : 0];
}

int Instrument::CalibrationValue() const {
  return state_.calibrationMode == 1 ? calibrationSpin_ : state_.calibrationCode;
}

}  // namespace kolvane::scpi
