// The trigger level spin, its reset, and the calibration value: stepped in
// calibration mode, saved by "Сохранить".
#include <cstdint>

#include "inputs/texts.h"
#include "panel/format.h"
#include "panel/panel_dlg.h"
#include "protocol/protocol.h"
#include "resources/ids.h"

namespace kolvane {

namespace {

using protocol::kPollMs;
constexpr int kLevelMiddle = 64;
constexpr std::uint32_t kTestStateRefusalMs = 1000;
constexpr std::uint32_t kCalibrationSettleMs = 10;
constexpr std::uint32_t kAfterSaveMs = 200;

// The level is shown as position x 8 - 512; the instrument gets the position.
std::string LevelText(int pos) {
  return Format(" %d", static_cast<std::int16_t>(pos * 8 - 512));
}

std::string CalibrationText(int pos) {
  return Format("  %d", static_cast<std::int16_t>(pos));
}

// The position travels as one raw byte, not as a digit.
std::uint8_t RawByte(int pos) {
  return static_cast<std::uint8_t>(pos & 0xFF);
}

bool LevelApplies(const PanelState& st) {
  return st.activeChannel == 1 || st.activeChannel == 4;
}

}  // namespace

// The scroll code is not looked at: a click brings a change and an end of
// scroll, and each of them sends the spin's own position.
void CPanelDlg::OnVScroll(const Message& m) {
  IWindow& w = Wnd();
  StopTimer();
  ShowMessage(Blanks(kClearedMessageBlanks));

  if (LevelApplies(st)) {
    if (m.id == ids::kLevelSpin) {
      if (testMeasureToggle == 1) {
        ShowMessage(kSwitchToMeasureText);
        deps.clock.Sleep(kTestStateRefusalMs);
      } else {
        const int pos = w.SpinGetPos(ids::kLevelSpin);
        w.SetText(ids::kLevelText, LevelText(pos));
        SendCommand(Command{'L', RawByte(pos), AckRule::k5}, NoUsbText(4));
      }
    }
    if (st.activeChannel == 4) UpdateData(false);
  }

  if (st.calibrationMode == 1 && m.id == ids::kCalibrationSpin) {
    const int pos = w.SpinGetPos(ids::kCalibrationSpin);
    w.SetText(ids::kCalibrationText, CalibrationText(pos));
    SendCommand(Command{'Y', RawByte(pos), AckRule::k5}, NoUsbText(4));
  }

  StartTimer(kPollMs);
}

void CPanelDlg::OnLevelReset() {
  IWindow& w = Wnd();
  StopTimer();
  ShowMessage(Blanks(kClearedMessageBlanks));
  if (LevelApplies(st)) {
    w.SpinSetPos(ids::kLevelSpin, kLevelMiddle);
    const int pos = w.SpinGetPos(ids::kLevelSpin);
    w.SetText(ids::kLevelText, LevelText(pos));
    w.SetFont(ids::kLevelText, spinTextFont);
    SendCommand(Command{'L', RawByte(pos), AckRule::k8}, NoUsbText(4));
  }
  StartTimer(kPollMs);
}

void CPanelDlg::OnCalibrationMode() {
  IWindow& w = Wnd();
  StopTimer();
  w.EnableControl(ids::kCalibrationSave, true);
  st.calibrationMode = 1;

  const int pos = w.SpinGetPos(ids::kCalibrationSpin);
  // The first entry takes the spin's value as the one to return to, so that
  // leaving calibration unsaved puts the spin back where it was.
  if (st.calibrationUntouched == 1) {
    st.calibrationUntouched = 0;
    st.calibrationCode = RawByte(pos);
  }
  SendCommand(Command{'Y', RawByte(pos), AckRule::k5, kCalibrationSettleMs}, NoUsbText(4));

  w.EnableControl(ids::kModeCalibration, true);
  UpdateData(true);
  StartTimer(kPollMs);
}

void CPanelDlg::OnCalibrationSave() {
  IWindow& w = Wnd();
  StopTimer();
  st.calibrationMode = 0;
  w.ProgressSetPos(ids::kProgress, 0);
  ShowMessage(Blanks(5));

  st.calibrationCode = RawByte(w.SpinGetPos(ids::kCalibrationSpin));
  st.calibrationUntouched = 0;
  SendCommand(Command{'Z', kNoParam, AckRule::k9}, kTxBufferEmptyText);
  deps.clock.Sleep(kAfterSaveMs);

  for (int id = ids::kChannelA; id <= ids::kChannelC; ++id) w.EnableControl(id, true);
  for (int id = ids::kTimestamp1; id <= ids::kTimestamp5; ++id) {
    w.EnableControl(id, testMeasureToggle == 1);
  }
  for (int id = ids::kGate1; id <= ids::kGate5; ++id) w.EnableControl(id, true);
  w.EnableControl(ids::kModeFrequency, true);

  SendCommand(Command{'R', '1', AckRule::k6}, NoResponseText(6));
  st.measureMode = 1;

  modeRadio = 0;
  UpdateData(false);
  st.measurementArmed = 0;
  StartTimer(kPollMs);
}

}  // namespace kolvane
