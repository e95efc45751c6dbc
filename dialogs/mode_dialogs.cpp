// Placeholder bodies until the mode dialogs are built.
#include "dialogs/mode_dialogs.h"

#include "panel/panel_dlg.h"

namespace kolvane {

bool CCountModeDlg::OnInitDialog() {
  return true;
}
void CCountModeDlg::OnCountSelChange() {}
bool CCountModeDlg::DispatchMap(const Message&) {
  return false;
}

bool CDurationModeDlg::OnInitDialog() {
  return true;
}
void CDurationModeDlg::OnDurationSelChange() {}
bool CDurationModeDlg::DispatchMap(const Message&) {
  return false;
}

bool CRatioModeDlg::OnInitDialog() {
  return true;
}
void CRatioModeDlg::OnRatioSelChange() {}
CtlColors CRatioModeDlg::OnCtlColor(int controlId, int kind) {
  return CDialog::OnCtlColor(controlId, kind);
}
bool CRatioModeDlg::DispatchMap(const Message&) {
  return false;
}

}  // namespace kolvane
