// The channel radios A, B and C.
#include <array>

#include "panel/handlers/controls.h"
#include "panel/panel_dlg.h"
#include "resources/format.h"

namespace kolvane {

namespace {

// Mode radios that channel B has no use for, and those it keeps.
constexpr std::array kModesWithoutB{ids::kModePeriod,     ids::kModePulseDuration,
                                    ids::kModeTachometer, ids::kModeDutyCycle,
                                    ids::kModeCount,      ids::kMemory};
constexpr std::array kModesWithB{ids::kModeRatio, ids::kModeCalibration};

}  // namespace

void CPanelDlg::OnChannelA() {
  StopTimer();
  UpdateData(true);
  st.calibrationMode = 0;
  st.activeChannel = channel::kA;
  EnableControls(kInputControls, true);
  RevertCalibrationDisplay();
  Wnd().EnableControl(ids::kChannelA, true);
  if (const auto refusal = counter.ChannelRefusal(channel::kA)) {
    // The readback asked for below puts the channel right again.
    NoteOutcome(*refusal);
    ShowMessage(refusal->text);
  } else {
    channelRadio = 0;
    ShowMessage(Blanks(36));
    EnableControls(kModeRadiosAndMemory, true);
    EnableTimestampsForChannel();
    SendChannelCommand(channel::kA);
  }
  FinishInputChannel(st.inputA);
}

void CPanelDlg::OnChannelB() {
  StopTimer();
  st.activeChannel = channel::kB;
  st.calibrationMode = 0;
  EnableControls(kModesWithoutB, false);
  EnableControls(kInputControls, false);
  EnableControls(kModesWithB, true);
  RevertCalibrationDisplay();
  if (const auto refusal = counter.ChannelRefusal(channel::kB)) {
    NoteOutcome(*refusal);
    ShowMessage(refusal->text);
  } else {
    channelRadio = 1;
    ShowMessage(Blanks(36));
    Wnd().EnableControl(ids::kModeFrequency, true);
    EnableTimestampsByTest();
    EnableControls(kGateRadios, true);
    SendChannelCommand(channel::kB);
  }
  st.measurementArmed = 0;
  StartTimer(kPollMs);
}

void CPanelDlg::OnChannelC() {
  StopTimer();
  UpdateData(true);
  st.activeChannel = channel::kC;
  EnableControls(kInputControls, true);
  EnableControls(kModeRadiosAndMemory, true);
  st.calibrationMode = 0;
  RevertCalibrationDisplay();
  channelRadio = 2;
  ShowMessage(Blanks(36));
  EnableTimestampsForChannel();
  SendChannelCommand(channel::kC);
  FinishInputChannel(st.inputC);
}

}  // namespace kolvane
