// The time-base radios: ten handlers that differ only in their row below.
#include <array>
#include <cstddef>

#include "commands/setup_controls.h"
#include "panel/format.h"
#include "panel/panel_dlg.h"

namespace kolvane {

namespace {

struct TimeBaseGroup {
  int firstId;
  const std::array<protocol::SettingFrame, 5>& rows;
};

constexpr TimeBaseGroup kTimestamps{ids::kTimestamp1, protocol::kTimestampFrames};
constexpr TimeBaseGroup kGates{ids::kGate1, protocol::kGateFrames};

// index is the state field the group sets (1..5), radio the member that
// mirrors the group's buttons (0..4).
void SelectTimeBase(CPanelDlg& d, const TimeBaseGroup& group, int controlId, std::uint32_t& index,
                    int& radio) {
  const int i = controlId - group.firstId;
  if (i < 0 || i >= static_cast<int>(group.rows.size())) return;
  const protocol::SettingFrame& row = group.rows[static_cast<std::size_t>(i)];
  PanelState& st = d.State();

  d.StopTimer();
  st.calibrationMode = 0;
  d.ShowMessage(Blanks(36));
  d.RevertCalibrationDisplay();
  index = static_cast<std::uint32_t>(i + 1);
  // The button is already checked; keeping the member in step stops a later
  // write of the controls from checking the previous radio again.
  radio = i;
  d.SendCommand(row.command, NoResponseText(row.failureBlanks));
  st.measurementArmed = 0;
  d.StartTimer(kPollMs);
}

}  // namespace

void CPanelDlg::OnTimestampRadio(int controlId) {
  SelectTimeBase(*this, kTimestamps, controlId, st.timestampIndex, timestampRadio);
}

void CPanelDlg::OnGateRadio(int controlId) {
  SelectTimeBase(*this, kGates, controlId, st.gateIndex, gateRadio);
}

}  // namespace kolvane
