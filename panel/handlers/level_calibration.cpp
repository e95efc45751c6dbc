// The trigger level spin, its reset, and the calibration value: stepped in
// calibration mode, saved by "Сохранить".
#include <cstdint>

#include "panel/handlers/controls.h"
#include "panel/panel_dlg.h"
#include "protocol/protocol.h"
#include "resources/format.h"
#include "resources/ids.h"
#include "resources/texts.h"

namespace kolvane {

namespace {

using protocol::kPollMs;
constexpr int kLevelMiddle = protocol::kLevelMiddle;
constexpr std::uint32_t kTestStateRefusalMs = 1000;

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
      if (const auto refusal = counter.LevelRefusal()) {
        NoteOutcome(*refusal);
        ShowMessage(refusal->text);
        deps.clock.Sleep(kTestStateRefusalMs);
      } else {
        const int pos = w.SpinGetPos(ids::kLevelSpin);
        w.SetText(ids::kLevelText, LevelText(pos));
        ShowFailure(counter.SetLevel(RawByte(pos)));
      }
    }
    if (st.activeChannel == 4) UpdateData(false);
  }

  if (st.calibrationMode == 1 && m.id == ids::kCalibrationSpin) {
    const int pos = w.SpinGetPos(ids::kCalibrationSpin);
    w.SetText(ids::kCalibrationText, CalibrationText(pos));
    ShowFailure(counter.SetCalibration(RawByte(pos)));
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
    ShowFailure(counter.ResetLevel(RawByte(pos)));
  }
  StartTimer(kPollMs);
}

void CPanelDlg::OnCalibrationMode() {
  IWindow& w = Wnd();
  StopTimer();
  w.EnableControl(ids::kCalibrationSave, true);
  // The first entry takes the spin's value as the one to return to, so that
  // leaving calibration unsaved puts the spin back where it was.
  ShowFailure(counter.EnterCalibration(RawByte(w.SpinGetPos(ids::kCalibrationSpin))));

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

  ShowFailure(counter.SaveCalibration(RawByte(w.SpinGetPos(ids::kCalibrationSpin))));
  deps.clock.Sleep(protocol::kCalibrationStoreMs);

  for (int id = ids::kChannelA; id <= ids::kChannelC; ++id) w.EnableControl(id, true);
  for (int id = ids::kTimestamp1; id <= ids::kTimestamp5; ++id) {
    w.EnableControl(id, testMeasureToggle == 1);
  }
  for (int id = ids::kGate1; id <= ids::kGate5; ++id) w.EnableControl(id, true);
  w.EnableControl(ids::kModeFrequency, true);

  ShowFailure(counter.SetFrequencyMode());

  modeRadio = 0;
  UpdateData(false);
  st.measurementArmed = 0;
  StartTimer(kPollMs);
}

}  // namespace kolvane
