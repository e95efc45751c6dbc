// The input settings of channels A and C, the reference generator and the
// hidden start-source list. One user action sends one frame.
#include <array>

#include "panel/panel_dlg.h"
#include "protocol/protocol.h"
#include "resources/format.h"
#include "resources/ids.h"
#include "resources/texts.h"

namespace kolvane {

namespace {

// A list whose index is kept per channel.
struct ListSetting {
  int listId;
  InputField field;
};

// A check box whose stored state, not the control's, decides the frame.
struct CheckSetting {
  std::int32_t InputSettings::*field;
  int CPanelDlg::*exchangeValue;
  InputField input;
};

constexpr ListSetting kImpedance{ids::kImpedance, InputField::kImpedance};
constexpr ListSetting kCoupling{ids::kCoupling, InputField::kCoupling};
constexpr ListSetting kAttenuator{ids::kAttenuator, InputField::kAttenuator};

constexpr CheckSetting kLowPassFilter{&InputSettings::lowPassFilter, &CPanelDlg::filterCheck,
                                      InputField::kFilter};
constexpr CheckSetting kSlope{&InputSettings::slope, &CPanelDlg::slopeCheck, InputField::kSlope};

using protocol::kPollMs;

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
  Counter& counter = panel.Instrument();
  const int index = panel.Wnd().ListGetCurSel(s.listId);
  // A list without a selection has no frame; keep the record as it was.
  if (const auto refusal = counter.InputRefusal()) {
    panel.NoteOutcome(*refusal);
  } else if (index == 0 || index == 1) {
    panel.ShowFailure(counter.SetInput(s.field, index));
  }
  LeaveHandler(panel);
}

void ApplyCheck(CPanelDlg& panel, const CheckSetting& s) {
  EnterInputHandler(panel, false);
  Counter& counter = panel.Instrument();
  if (InputSettings* record = counter.ActiveInput()) {
    const bool turnOn = record->*s.field == 0;
    panel.*s.exchangeValue = turnOn ? 1 : 0;
    panel.ShowFailure(counter.SetInput(s.input, turnOn ? 1 : 0));
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
  if (index == 0 || index == 1) ShowFailure(counter.SetGenerator(index));
  LeaveHandler(*this);
}

// The start source is shown nowhere and has no frame of its own.
void CPanelDlg::OnStartSourceSelChange() {
  EnterGeneratorHandler(*this);
  LeaveHandler(*this);
}

}  // namespace kolvane
