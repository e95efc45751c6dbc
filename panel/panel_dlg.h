// The front panel: the main dialog of the program. It owns every handler;
// a handler's body lives in the folder of the subsystem it belongs to.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "counter/counter.h"
#include "counter/instrument_session.h"
#include "measure/reading_sink.h"
#include "panel/panel_recording.h"
#include "panel/panel_state.h"
#include "platform/bridge.h"
#include "platform/clock.h"
#include "platform/dialog.h"
#include "platform/serial.h"
#include "platform/window.h"
#include "protocol/protocol.h"
#include "resources/texts.h"

namespace kolvane {

class CCountModeDlg;
class CDurationModeDlg;

// What the panel needs of the world besides its window.
struct PanelDeps {
  ISerialPorts& ports;
  IClock& clock;
  IBridgeLibrary& bridge;
  IRegistry& registry;
  ISystemVersion& version;
};

// Hears how each of the panel's settings ended: what a driver of the panel
// reports where a user would read the message field.
class IOutcomeObserver {
 public:
  virtual ~IOutcomeObserver() = default;
  virtual void OnOutcome(const Outcome& outcome) = 0;
};

// The panel's brushes and the colours of its texts.
inline constexpr ColorRef kPanelGrey = Rgb(203, 203, 203);
inline constexpr ColorRef kDarkRed = Rgb(128, 0, 0);
inline constexpr ColorRef kBlack = Rgb(0, 0, 0);

class CPanelDlg : public CDialog {
 public:
  CPanelDlg(PanelState& state, PanelDeps deps);
  ~CPanelDlg() override;

  // ---- Application shell (panel/) ----
  bool OnInitDialog() override;
  // The controls as the panel opens, before the port scan.
  void InitControls();
  void OnSysCommand(const Message& m);
  CtlColors OnCtlColor(int controlId, int kind) override;
  int OnQueryDragIcon() const { return panelIcon; }
  void DestroyWindow() override;
  // Moves the radio and check members to (save) or from the buttons.
  void UpdateData(bool save);

  // ---- Instrument link (panel/handlers/) ----
  // COMfirst..COMlast in turn; portFound (1 when the instrument answered).
  int ScanPorts(int first = 1, int last = 9);
  int DiscoverBridgePort();
  int LookUpPortNumber(std::uint16_t vid, std::uint16_t pid, char* serial);
  void OnComPortSelChange() {}
  void OnConfigButton();
  StateReply ReadBackConfiguration();

  // ---- Setup commands (panel/handlers/) ----
  // Writes the frame and applies its acknowledgement rule; true when it held.
  bool ExchangeFrame(const Command& cmd);
  // ExchangeFrame, showing failureText in the message field when it failed.
  void SendCommand(const Command& cmd, std::string_view failureText);
  // Shows a setting's failure text in the message field when it failed.
  void ShowFailure(const Outcome& outcome);
  // Tells the outcome observer of a setting that the panel reports in its
  // own way, or not at all.
  void NoteOutcome(const Outcome& outcome);
  void RevertCalibrationDisplay();
  void OnTimestampRadio(int controlId);
  void OnGateRadio(int controlId);
  void OnChannelA();
  void OnChannelB();
  void OnChannelC();
  void OnModeFrequency();
  void OnModePeriod();
  void OnModePulseDuration();
  void OnModeRatio();
  void OnModeTachometer();
  void OnModeDutyCycle();
  void OnModeCount();
  void OnLaunchAuto();
  void OnLaunchSingle();
  void OnStart();
  void OnTestMeasure();
  void OnMemory();

  // ---- Acquisition and display (panel/handlers/) ----
  void OnTimer(const Message& m);
  void PollInstrument();
  // What a poll gave, on the display as PollInstrument shows it; for front
  // ends that poll the counter themselves (the SCPI server's tick).
  void ShowPolled(const CounterReading& r);
  // The stopped display, once, after the instrument's port has failed.
  void ShowLinkLoss();
  void ShowStop();
  void ShowReading();
  void OnStopMessage(const Message& m);
  void OnUser100(const Message&) {}

  // ---- Inputs, level and calibration (panel/handlers/) ----
  void OnImpedanceSelChange();
  void OnCouplingSelChange();
  void OnAttenuatorSelChange();
  void OnLowPassFilterClicked();
  void OnSlopeClicked();
  void OnGeneratorSelChange();
  void OnStartSourceSelChange();
  void OnVScroll(const Message& m);
  void OnLevelReset();
  void OnCalibrationSave();
  void OnCalibrationMode();

  // ---- Shared helpers ----
  PanelState& State() { return st; }
  InstrumentLink& Link() { return session.Link(); }
  InstrumentSession& Session() { return session; }
  Counter& Instrument() { return counter; }
  // Where every shown result and stop also goes; none by default.
  void SetReadingSink(IReadingSink* sink) { readingSink = sink; }
  // The recording entry of the system menu; set before the panel runs.
  void SetRecording(IPanelRecording* entry) { recording = entry; }
  // Told of every step of the port scan (for a diagnostic line).
  void SetScanObserver(IScanObserver* observer) { scanDiagnostics = observer; }
  // Told of every setting's outcome, refusals included, as it happens.
  void SetOutcomeObserver(IOutcomeObserver* observer) { outcomes = observer; }
  PanelDeps& Deps() { return deps; }
  // Writes to / reads from the instrument's port through the serial seam.
  std::uint32_t WritePort(const std::uint8_t* data, std::uint32_t n);
  std::uint32_t ReadPort(std::uint8_t* data, std::uint32_t n);
  void StopTimer();
  void StartTimer(unsigned periodMs);
  void ShowMessage(std::string_view text);

  // Members, in declaration order.
  FontSpec readingFont;
  FontSpec serialFont;
  FontSpec spinTextFont;
  int timestampRadio = 1;
  int gateRadio = 0;
  int channelRadio = 0;
  int modeRadio = 0;
  int launchRadio = 0;
  int filterCheck = 0;
  int slopeCheck = 0;
  // The test and memory toggles are the instrument's own state.
  int& testMeasureToggle;
  int& memoryToggle;
  int panelIcon = 0;
  ColorRef backgroundBrush = 0;
  ColorRef fieldBrush = 0;
  bool fontsCreated = false;

  // The long-lived mode dialogs.
  CCountModeDlg& CountDialog();
  CDurationModeDlg& DurationDialog();

  // ---- Helpers shared by the handlers ----
  void EnableControls(std::span<const int> ids, bool enable);
  // The time-stamp radios, enabled exactly while test is on.
  void EnableTimestampsByTest();
  // What channels A and C do to the time stamps for the mode in force.
  void EnableTimestampsForChannel();
  // Selects the channel; in ratio mode the ratio dialog follows.
  void SendChannelCommand(std::uint32_t channel);
  // Shows the channel's remembered input settings, then asks for a readback.
  void FinishInputChannel(const InputSettings& inputs);
  // Turns the instrument's memory off for a mode that cannot use it.
  void SwitchMemoryOff(bool exchangeControls);
  void OpenRatioDialog();
  // Reads an n-byte field into data: up to `attempts` reads until one brings
  // a byte, then more reads for the rest while each brings something.
  // Returns how many bytes arrived.
  std::uint32_t ReadField(std::uint8_t* data, std::uint32_t n, int attempts);

 protected:
  bool DispatchMap(const Message& m) override;

 private:
  PanelState& st;
  PanelDeps deps;
  InstrumentSession session;
  Counter& counter;
  IReadingSink* readingSink = nullptr;
  IPanelRecording* recording = nullptr;
  IScanObserver* scanDiagnostics = nullptr;
  IOutcomeObserver* outcomes = nullptr;
  bool linkLossShown = false;
  std::unique_ptr<CCountModeDlg> countDlg;
  std::unique_ptr<CDurationModeDlg> durationDlg;
};

// The radio groups, in data-exchange order: first id and the ids of the group.
std::span<const int> RadioGroup(int firstId);

// The one message map of the panel.
std::span<const MessageMapEntry<CPanelDlg>> PanelMessageMap();

}  // namespace kolvane
