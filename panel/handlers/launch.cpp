// Launch control: automatic or single-shot launch, Start, and the test and
// memory toggles.
#include "panel/handlers/controls.h"
#include "panel/panel_dlg.h"
#include "resources/format.h"

namespace kolvane {

void CPanelDlg::OnLaunchAuto() {
  StopTimer();
  st.calibrationMode = 0;
  RevertCalibrationDisplay();
  launchRadio = 0;
  st.singleShot = 0;
  st.measurementArmed = 0;
  // The generator list shows internal again; no generator frame is sent.
  Wnd().ListSetCurSel(ids::kGenerator, 0);
  ShowFailure(counter.SetLaunch(false));
  StartTimer(kPollMs);
}

void CPanelDlg::OnLaunchSingle() {
  StopTimer();
  st.calibrationMode = 0;
  RevertCalibrationDisplay();
  // Clears whatever the instrument is still sending before the launch frame.
  counter.DrainBeforeSingleShot();
  Wnd().ProgressSetPos(ids::kProgress, 0);
  launchRadio = 1;
  st.singleShot = 1;
  st.measurementArmed = 0;
  ShowFailure(counter.SetLaunch(true));
  StartTimer(kPollMs);
}

void CPanelDlg::OnStart() {
  StopTimer();
  st.calibrationMode = 0;
  Wnd().ProgressSetPos(ids::kProgress, 0);
  if (st.singleShot == 1) {
    ShowMessage(kMeasuringText);
    // The result is read by the poll cycle, not here.
    counter.Start();
    st.measurementArmed = 1;
  }
  StartTimer(kPollMs);
}

void CPanelDlg::OnTestMeasure() {
  StopTimer();
  RevertCalibrationDisplay();
  ShowMessage(Blanks(36));
  const bool followsTest = TimestampsFollowTest(st.measureMode);
  const bool on = testMeasureToggle != 1;
  if (!on) {
    testMeasureToggle = 0;
    if (followsTest) EnableControls(kTimestampRadios, false);
    st.measurementArmed = 0;
  } else {
    testMeasureToggle = 1;
    if (followsTest) EnableControls(kTimestampRadios, true);
  }
  ShowFailure(counter.SetTest(on));
  StartTimer(kPollMs);
}

void CPanelDlg::OnMemory() {
  // No timer stop here: the restart below replaces the running timer.
  if (st.calibrationMode != 1) {
    Wnd().EnableControl(ids::kCalibrationSave, false);
    st.calibrationMode = 0;
    RevertCalibrationDisplay();
    if (const auto refusal = counter.MemoryRefusal()) {
      NoteOutcome(*refusal);
      memoryToggle = 0;
    } else {
      ShowFailure(counter.SetMemory(memoryToggle != 1));
      EnableControls(kTimeBaseRadios, true);
    }
  }
  st.measurementArmed = 0;
  StartTimer(kPollMs);
  // Puts the button back wherever the press was refused.
  UpdateData(false);
}

}  // namespace kolvane
