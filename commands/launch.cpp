// Launch control: automatic or single-shot launch, Start, and the test and
// memory toggles.
#include "commands/setup_controls.h"
#include "panel/format.h"
#include "panel/panel_dlg.h"

namespace kolvane {

namespace {

constexpr std::uint32_t kDrainBytes = 5;

}  // namespace

void CPanelDlg::OnLaunchAuto() {
  StopTimer();
  st.calibrationMode = 0;
  RevertCalibrationDisplay();
  launchRadio = 0;
  st.singleShot = 0;
  st.measurementArmed = 0;
  // The generator list shows internal again; no generator frame is sent.
  Wnd().ListSetCurSel(ids::kGenerator, 0);
  SendCommand({'I', '0', AckRule::k7}, NoResponseText(5));
  StartTimer(kPollMs);
}

void CPanelDlg::OnLaunchSingle() {
  StopTimer();
  st.calibrationMode = 0;
  RevertCalibrationDisplay();
  // Clears whatever the instrument is still sending before the launch frame.
  ReadPort(st.rxBuffer.data(), kDrainBytes);
  Wnd().ProgressSetPos(ids::kProgress, 0);
  launchRadio = 1;
  st.singleShot = 1;
  st.measurementArmed = 0;
  SendCommand({'I', '1', AckRule::k10}, kTxBufferEmptyText);
  StartTimer(kPollMs);
}

void CPanelDlg::OnStart() {
  StopTimer();
  st.calibrationMode = 0;
  Wnd().ProgressSetPos(ids::kProgress, 0);
  if (st.singleShot == 1) {
    ShowMessage("Измерение.");
    // The result is read by the poll cycle, not here.
    ExchangeFrame(protocol::kStartFrame);
    st.measurementArmed = 1;
  }
  StartTimer(kPollMs);
}

void CPanelDlg::OnTestMeasure() {
  StopTimer();
  RevertCalibrationDisplay();
  ShowMessage(Blanks(36));
  const bool followsTest = TimestampsFollowTest(st.measureMode);
  Command cmd{'Q', '1', AckRule::k8};
  if (testMeasureToggle == 1) {
    testMeasureToggle = 0;
    if (followsTest) EnableControls(kTimestampRadios, false);
    st.measurementArmed = 0;
  } else {
    testMeasureToggle = 1;
    cmd.param = '2';
    if (followsTest) EnableControls(kTimestampRadios, true);
  }
  SendCommand(cmd, NoUsbText(3));
  StartTimer(kPollMs);
}

void CPanelDlg::OnMemory() {
  // No timer stop here: the restart below replaces the running timer.
  if (st.calibrationMode != 1) {
    Wnd().EnableControl(ids::kCalibrationSave, false);
    st.calibrationMode = 0;
    RevertCalibrationDisplay();
    if (st.measureMode == mode::kDl4 || st.measureMode == mode::kTachometer ||
        st.measureMode == mode::kDutyCycle) {
      memoryToggle = 0;
    } else {
      memoryToggle = memoryToggle == 1 ? 0 : 1;
      st.memoryUsed = 1;
      SendCommand({'P', memoryToggle == 1 ? '2' : '1', AckRule::k7}, NoResponseText(2));
      EnableControls(kTimeBaseRadios, true);
    }
  }
  st.measurementArmed = 0;
  StartTimer(kPollMs);
  // Puts the button back wherever the press was refused.
  UpdateData(false);
}

}  // namespace kolvane
