// The mode radios. Count, pulse duration and ratio open their dialog, which
// sends the variant's frame itself while the poll timer stays stopped.
#include "panel/dialogs/mode_dialogs.h"
#include "panel/handlers/controls.h"
#include "panel/panel_dlg.h"
#include "resources/format.h"
#include "resources/texts.h"

namespace kolvane {

namespace {

// The first steps of the tachometer and duty cycle, which cannot use the memory.
void EnterModeWithoutMemory(CPanelDlg& d) {
  d.State().calibrationMode = 0;
  d.StopTimer();
  d.UpdateData(true);
  d.Wnd().EnableControl(ids::kCalibrationSave, false);
  if (d.State().memoryUsed == 1) d.SwitchMemoryOff(false);
  d.Instrument().Settle();
  d.RevertCalibrationDisplay();
}

void EnableChannels(IWindow& w, bool a, bool b, bool c) {
  w.EnableControl(ids::kChannelA, a);
  w.EnableControl(ids::kChannelB, b);
  w.EnableControl(ids::kChannelC, c);
}

}  // namespace

void CPanelDlg::OnModeFrequency() {
  StopTimer();
  st.calibrationMode = 0;
  st.measurementArmed = 0;
  ShowMessage(Blanks(36));
  Wnd().EnableControl(ids::kCalibrationSave, false);
  EnableControls(kChannelRadios, true);
  EnableTimestampsByTest();
  EnableControls(kGateRadios, true);
  modeRadio = 0;
  ShowFailure(counter.SetFrequencyMode());
  RevertCalibrationDisplay();
  st.measurementArmed = 0;
  StartTimer(kPollMs);
}

void CPanelDlg::OnModePeriod() {
  IWindow& w = Wnd();
  StopTimer();
  st.calibrationMode = 0;
  st.measurementArmed = 0;
  modeRadio = 1;
  ShowMessage(Blanks(36));
  w.EnableControl(ids::kCalibrationSave, false);
  RevertCalibrationDisplay();
  // The channel stays as it is, even B.
  EnableChannels(w, true, false, true);
  EnableControls(kTimeBaseRadios, true);
  ShowFailure(counter.SetPeriodMode());
  st.measurementArmed = 0;
  StartTimer(kPollMs);
}

void CPanelDlg::OnModePulseDuration() {
  IWindow& w = Wnd();
  StopTimer();
  st.calibrationMode = 0;
  w.EnableControl(ids::kCalibrationSave, false);
  EnableChannels(w, true, false, true);
  RevertCalibrationDisplay();
  modeRadio = 2;
  DurationDialog().DoModal(w);
  counter.Settle();

  // The dialog has set the variant; act on what it left.
  if (st.measureMode == mode::kDl4) {
    if (st.memoryUsed == 1) SwitchMemoryOff(true);
    // DL4 measures on C; no channel frame goes with it.
    channelRadio = 2;
    EnableControls(kChannelRadios, false);
    st.activeChannel = channel::kC;
  }
  EnableControls(kTimestampRadios, true);
  if (st.measureMode == mode::kDl1 || st.measureMode == mode::kDl3) {
    EnableControls(kGateRadios, false);
  } else if (st.measureMode == mode::kDl2 || st.measureMode == mode::kDl4) {
    EnableControls(kGateRadios, true);
  }
  StartTimer(kPollMs);
  st.measurementArmed = 0;
}

void CPanelDlg::OnModeRatio() {
  StopTimer();
  Wnd().EnableControl(ids::kCalibrationSave, false);
  st.calibrationMode = 0;
  RevertCalibrationDisplay();
  OpenRatioDialog();
  EnableControls(kChannelRadios, true);
  EnableTimestampsByTest();
  EnableControls(kGateRadios, true);
  st.measureMode = mode::kRatio;
  modeRadio = 3;
  st.measurementArmed = 0;
  StartTimer(kPollMs);
}

void CPanelDlg::OnModeTachometer() {
  IWindow& w = Wnd();
  EnterModeWithoutMemory(*this);
  modeRadio = 4;
  st.measureMode = mode::kTachometer;
  EnableChannels(w, false, true, false);
  EnableControls(kTimeBaseRadios, false);
  ShowFailure(counter.SetTachometerMode());
  UpdateData(false);
  st.measurementArmed = 0;
  StartTimer(kPollMs);
}

void CPanelDlg::OnModeDutyCycle() {
  IWindow& w = Wnd();
  EnterModeWithoutMemory(*this);
  modeRadio = 5;
  st.measureMode = mode::kDutyCycle;
  ShowMessage(Blanks(36));
  EnableChannels(w, true, false, true);
  EnableControls(kTimestampRadios, true);
  EnableControls(kGateRadios, false);
  ShowFailure(counter.SetDutyCycleMode());
  st.measurementArmed = 0;
  UpdateData(false);
  StartTimer(kSlowPollMs);
}

void CPanelDlg::OnModeCount() {
  StopTimer();
  st.calibrationMode = 0;
  Wnd().EnableControl(ids::kCalibrationSave, false);
  EnableTimestampsByTest();
  EnableControls(kGateRadios, false);
  EnableControls(kChannelRadios, false);
  RevertCalibrationDisplay();
  modeRadio = 6;
  CountDialog().DoModal(Wnd());
  StartTimer(kPollMs);
  ShowMessage(kNoChannelsInCount);
  st.measurementArmed = 0;
}

}  // namespace kolvane
