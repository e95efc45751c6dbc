// The input settings of channels A and C, the reference generator and the
// hidden start-source list. One user action sends one frame.
#include <array>

#include "inputs/texts.h"
#include "panel/format.h"
#include "panel/panel_dlg.h"
#include "protocol/protocol.h"
#include "resources/ids.h"

namespace kolvane {

namespace {

// A list whose index picks one of two frames and is kept per channel.
struct ListSetting {
  int listId;
  std::int32_t InputSettings::*field;
  char letter;
  std::array<char, 2> digitByIndex;
  std::size_t failureBlanks;
};

// A check box whose stored state, not the control's, decides the frame.
struct CheckSetting {
  std::int32_t InputSettings::*field;
  int CPanelDlg::*exchangeValue;
  char letter;
  char onDigit;
  char offDigit;
  std::size_t failureBlanks;
};

// The attenuator's frames run against the list order: "1:1" is V4.
constexpr ListSetting kImpedance{ids::kImpedance, &InputSettings::impedance, 'V', {'1', '2'}, 4};
constexpr ListSetting kCoupling{ids::kCoupling, &InputSettings::coupling, 'V', {'5', '6'}, 2};
constexpr ListSetting kAttenuator{ids::kAttenuator, &InputSettings::attenuator, 'V', {'4', '3'}, 2};

constexpr CheckSetting kLowPassFilter{
    &InputSettings::lowPassFilter, &CPanelDlg::filterCheck, 'V', '7', '8', 2};
constexpr CheckSetting kSlope{&InputSettings::slope, &CPanelDlg::slopeCheck, 'F', '1', '2', 1};

using protocol::kPollMs;

// Only channels A and C have input settings.
InputSettings* ActiveRecord(PanelState& st) {
  if (st.activeChannel == 1) return &st.inputA;
  if (st.activeChannel == 4) return &st.inputC;
  return nullptr;
}

// Common entry of the five input handlers: leave calibration mode and drop
// an unsaved calibration display.
void EnterInputHandler(CPanelDlg& panel, bool clearMessage) {
  PanelState& st = panel.State();
  panel.StopTimer();
  st.calibrationMode = 0;
  panel.RevertCalibrationDisplay();
  st.measurementArmed = 0;
  if (clearMessage) panel.ShowMessage(Blanks(kClearedMessageBlanks));
}

void LeaveHandler(CPanelDlg& panel) {
  panel.State().measurementArmed = 0;
  panel.StartTimer(kPollMs);
}

void ApplyList(CPanelDlg& panel, const ListSetting& s) {
  EnterInputHandler(panel, true);
  InputSettings* record = ActiveRecord(panel.State());
  const int index = panel.Wnd().ListGetCurSel(s.listId);
  // A list without a selection has no frame; keep the record as it was.
  if (record != nullptr && (index == 0 || index == 1)) {
    record->*s.field = index;
    panel.SendCommand(
        Command{s.letter, s.digitByIndex[static_cast<std::size_t>(index)], AckRule::k7},
        NoResponseText(s.failureBlanks));
  }
  LeaveHandler(panel);
}

void ApplyCheck(CPanelDlg& panel, const CheckSetting& s) {
  EnterInputHandler(panel, false);
  if (InputSettings* record = ActiveRecord(panel.State())) {
    const bool turnOn = record->*s.field == 0;
    record->*s.field = turnOn ? 1 : 0;
    panel.*s.exchangeValue = record->*s.field;
    panel.SendCommand(Command{s.letter, turnOn ? s.onDigit : s.offDigit, AckRule::k7},
                      NoResponseText(s.failureBlanks));
  }
  LeaveHandler(panel);
}

// The generator and start-source lists end calibration mode without
// touching the calibration display.
void EnterGeneratorHandler(CPanelDlg& panel) {
  PanelState& st = panel.State();
  panel.StopTimer();
  st.calibrationMode = 0;
  st.measurementArmed = 0;
  panel.ShowMessage(Blanks(kClearedMessageBlanks));
}

}  // namespace

void CPanelDlg::OnImpedanceSelChange() {
  ApplyList(*this, kImpedance);
}

void CPanelDlg::OnCouplingSelChange() {
  ApplyList(*this, kCoupling);
}

void CPanelDlg::OnAttenuatorSelChange() {
  ApplyList(*this, kAttenuator);
}

void CPanelDlg::OnLowPassFilterClicked() {
  ApplyCheck(*this, kLowPassFilter);
}

void CPanelDlg::OnSlopeClicked() {
  ApplyCheck(*this, kSlope);
}

void CPanelDlg::OnGeneratorSelChange() {
  EnterGeneratorHandler(*this);
  const int index = Wnd().ListGetCurSel(ids::kGenerator);
  if (index == 0 || index == 1) {
    SendCommand(Command{'I', index == 0 ? '2' : '3', AckRule::k7}, NoResponseText(2));
  }
  LeaveHandler(*this);
}

// The start source is shown nowhere and has no frame of its own.
void CPanelDlg::OnStartSourceSelChange() {
  EnterGeneratorHandler(*this);
  LeaveHandler(*this);
}

}  // namespace kolvane
