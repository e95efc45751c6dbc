// The time-base radios: ten handlers that differ only in their row below.
#include <array>
#include <cstddef>

#include "panel/handlers/controls.h"
#include "panel/panel_dlg.h"
#include "resources/format.h"

namespace kolvane {

namespace {

struct TimeBaseGroup {
  int firstId;
  Outcome (Counter::*set)(int index);
};

constexpr TimeBaseGroup kTimestamps{ids::kTimestamp1, &Counter::SetTimestamp};
constexpr TimeBaseGroup kGates{ids::kGate1, &Counter::SetGate};
constexpr int kTimeBaseRows = 5;

// radio is the member that mirrors the group's buttons (0..4).
void SelectTimeBase(CPanelDlg& d, const TimeBaseGroup& group, int controlId, int& radio) {
  const int i = controlId - group.firstId;
  if (i < 0 || i >= kTimeBaseRows) return;
  PanelState& st = d.State();

  d.StopTimer();
  st.calibrationMode = 0;
  d.ShowMessage(Blanks(36));
  d.RevertCalibrationDisplay();
  // The button is already checked; keeping the member in step stops a later
  // write of the controls from checking the previous radio again.
  radio = i;
  d.ShowFailure((d.Instrument().*group.set)(i + 1));
  st.measurementArmed = 0;
  d.StartTimer(kPollMs);
}

}  // namespace

void CPanelDlg::OnTimestampRadio(int controlId) {
  SelectTimeBase(*this, kTimestamps, controlId, timestampRadio);
}

void CPanelDlg::OnGateRadio(int controlId) {
  SelectTimeBase(*this, kGates, controlId, gateRadio);
}

}  // namespace kolvane
