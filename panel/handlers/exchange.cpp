#include "panel/handlers/controls.h"
#include "panel/panel_dlg.h"
#include "protocol/frames.h"
#include "resources/format.h"
#include "resources/ids.h"

namespace kolvane {

bool CPanelDlg::ExchangeFrame(const Command& cmd) {
  return session.Link().Exchange(cmd);
}

void CPanelDlg::SendCommand(const Command& cmd, std::string_view failureText) {
  if (!ExchangeFrame(cmd)) ShowMessage(failureText);
}

void CPanelDlg::ShowFailure(const Outcome& outcome) {
  NoteOutcome(outcome);
  if (outcome.Failed()) ShowMessage(outcome.text);
}

void CPanelDlg::NoteOutcome(const Outcome& outcome) {
  if (outcomes != nullptr) outcomes->OnOutcome(outcome);
}

void CPanelDlg::RevertCalibrationDisplay() {
  IWindow& w = Wnd();
  w.SpinSetPos(ids::kCalibrationSpin, st.calibrationCode & 0xFF);
  const int pos = w.SpinGetPos(ids::kCalibrationSpin);
  w.SetText(ids::kCalibrationText, CalibrationText(pos));
}

}  // namespace kolvane
