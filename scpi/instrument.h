// The counter behind every SCPI session: the front panel itself, driven as
// a user would click it. A setting is refused where the panel would not let
// the user click or would refuse the click; the readings are the panel's.
// Shared by all sessions and used from one thread.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "counter/counter.h"
#include "panel/model/panel_model.h"
#include "scpi/errors.h"
#include "scpi/telemetry.h"

namespace kolvane::scpi {

// The mode radios, with the variants their dialogs choose.
enum class Function { kFrequency, kPeriod, kPulse, kRatio, kTachometer, kDutyCycle, kCount };

// What CONFigure sets: a mode radio, its dialog's variant (DL1..DL4 as
// 0..3; A/C, C/A, B/C as 0..2; the counts 0..1) and the channel, if given.
struct Configuration {
  Function function = Function::kFrequency;
  int variant = 0;
  std::optional<std::uint32_t> channel;
};

// Nothing when the command was carried out, else why not.
using Result = std::optional<Error>;

class Instrument {
 public:
  Instrument(ISerialPorts& ports, IClock& clock);

  // The logger's scan and readback.
  bool Connect(int first, int last, IScanObserver& observer);
  void Close();
  std::optional<std::uint8_t> Serial() const { return serial_; }

  // Before a command that needs the instrument: after a dead line, the same
  // port opened again and the configuration read back, as Config does.
  Result Ready();

  Result Configure(const Configuration& c);
  // The panel's start-up settings, sent whatever the panel would enable.
  Result Reset();
  // A fresh readback; true when the instrument answered.
  bool SelfTest();

  Result SetTimestamp(int index);
  Result SetGate(int index);
  Result SetGenerator(int index);
  Result SetTest(bool on);
  Result SetMemory(bool on);
  // channel: protocol::kChannelA or kChannelC.
  Result SetInput(std::uint32_t channel, InputField field, int value);
  Result SetLevel(std::uint32_t channel, int position);
  Result ResetLevel(std::uint32_t channel);
  Result SetCalibration(int value);
  Result StoreCalibration();
  Result SetLaunch(bool singleShot);

  // Between commands, as the panel's timer ticks: in automatic launch, the
  // result that has begun to arrive, if any, is taken (it never waits on a
  // quiet line); on a lost line the port is tried again once a second.
  void Tick();
  // The link's state into the telemetry, after a command.
  void NoteLink();
  // Connected, and answering since the line was last opened.
  bool LinkUp();
  // The panel's user (a page in a browser): `action` makes the same calls on
  // the panel that the desktop panel's user makes, then the readback a
  // click asked for runs as the panel's timer would run it. The link's
  // state goes to the action.
  void AsUser(const std::function<void(PanelModel&, bool linkUp)>& action);
  // The panel and the link's state as they are, for a view; changes nothing.
  void View(const std::function<void(const PanelModel&, bool linkUp)>& view);
  Telemetry& Live() { return live_; }
  const Telemetry& Live() const { return live_; }
  // Each result taken from the line, a stop or an overflow too, as it is
  // taken; on this thread, so it must be quick.
  void WatchShown(std::function<void(const ShownReading&)> watch) { watch_ = std::move(watch); }

  // INITiate: in automatic launch the results already waiting are dropped,
  // in single shot the first measurement is started.
  void Arm();
  // n readings in NR3; those that failed are +9.91E+37 with their error.
  // False when the line failed (its error is among the errors).
  // A set *cancel ends the wait at once with false and no error.
  bool Acquire(int n, bool armed, std::vector<std::string>& readings, std::vector<Error>& errors,
               const std::atomic<bool>* cancel = nullptr);

  const CounterState& State() const { return model_.State(); }
  // The panel that the commands click.
  const PanelModel& Panel() const { return model_; }
  // What CONFigure? reports.
  Configuration Current() const;
  // The level spin's position for channel A or C, and the calibration value
  // (the spin's while calibrating unsaved, else the stored one).
  int LevelPosition(std::uint32_t channel) const;
  int CalibrationValue() const;

 private:
  Result Check(const std::optional<Outcome>& o);
  Result ReadBack(int attempts);
  Result ChannelReadBack();
  void NoteLevel();
  Result Click(const Configuration& target, std::uint32_t step);
  std::optional<std::vector<std::uint32_t>> Plan(const Configuration& c, std::uint32_t channel);
  std::uint64_t ResultWaitMs() const;
  // A result taken from the line, into the telemetry.
  void Took(const ShownReading& shown);
  CounterState& St() { return model_.State(); }
  const CounterState& St() const { return model_.State(); }

  IClock& clock_;
  PanelModel model_;
  bool connected_ = false;
  bool resync_ = false;  // the port came back: read the configuration before use
  std::optional<std::uint8_t> serial_;
  std::array<int, 2> level_{protocol::kLevelMiddle, protocol::kLevelMiddle};  // A, C
  Telemetry live_;
  // Between INITiate and the readings it waits for, the results the ticks
  // took, for FETCh? to give; bounded.
  bool collecting_ = false;
  std::deque<ShownReading> polled_;
  std::uint64_t nextReopenMs_ = 0;
  std::function<void(const ShownReading&)> watch_;
};

// CONFigure?'s short token of the function: FREQ, PER, FREQ:RAT, PDUR,
// TOT:DUR, TOT:PER, TACH or DCYC.
std::string FunctionToken(const Configuration& c);

// The mode's and the channel's names for a reason in English.
std::string ModeName(std::uint32_t measureMode);
std::string ChannelName(std::uint32_t channel);

inline Error Conflict(std::string reason) {
  return {err::kSettingsConflict, std::move(reason)};
}

inline bool IsInputChannel(std::uint32_t channel) {
  return channel == protocol::kChannelA || channel == protocol::kChannelC;
}

}  // namespace kolvane::scpi
