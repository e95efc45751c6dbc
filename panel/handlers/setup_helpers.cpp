// Steps that several setup handlers share.
#include "panel/dialogs/mode_dialogs.h"
#include "panel/handlers/controls.h"
#include "panel/panel_dlg.h"

namespace kolvane {

void CPanelDlg::EnableControls(std::span<const int> ids, bool enable) {
  IWindow& w = Wnd();
  for (int id : ids) w.EnableControl(id, enable);
}

void CPanelDlg::EnableTimestampsByTest() {
  EnableControls(kTimestampRadios, testMeasureToggle == 1);
}

void CPanelDlg::EnableTimestampsForChannel() {
  if (st.measureMode == mode::kFrequency) {
    EnableTimestampsByTest();
  } else if (st.measureMode == mode::kPeriod || st.measureMode == mode::kDl1) {
    EnableControls(kTimestampRadios, true);
  }
}

void CPanelDlg::SendChannelCommand(std::uint32_t channel) {
  ShowFailure(counter.SelectChannel(channel));
  // The ratio's variant depends on the channel, so it is chosen again.
  if (st.measureMode == mode::kRatio) OpenRatioDialog();
}

void CPanelDlg::FinishInputChannel(const InputSettings& inputs) {
  IWindow& w = Wnd();
  w.ListSetCurSel(ids::kImpedance, inputs.impedance);
  w.ListSetCurSel(ids::kCoupling, inputs.coupling);
  w.ListSetCurSel(ids::kAttenuator, inputs.attenuator);
  // The checks are shown through their members, which the write below
  // puts onto the buttons.
  filterCheck = inputs.lowPassFilter != 0 ? 1 : 0;
  slopeCheck = inputs.slope != 0 ? 1 : 0;
  UpdateData(false);
  st.configRequested = 1;
  st.measurementArmed = 0;
  StartTimer(kSlowPollMs);
}

void CPanelDlg::SwitchMemoryOff(bool exchangeControls) {
  if (exchangeControls) UpdateData(true);
  st.memoryUsed = 0;
  memoryToggle = 0;
  if (exchangeControls) UpdateData(false);
  ShowFailure(counter.SwitchMemoryOff());
}

void CPanelDlg::OpenRatioDialog() {
  CRatioModeDlg dlg(*this);
  dlg.DoModal(Wnd());
}

}  // namespace kolvane
