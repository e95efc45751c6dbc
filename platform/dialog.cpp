#include "platform/dialog.h"

namespace kolvane {

bool CDialog::Dispatch(const Message& m) {
  if (DispatchMap(m)) return true;
  if (m.message == WM_COMMAND && m.code == BN_CLICKED) {
    if (m.id == IDOK) {
      OnOK();
      return true;
    }
    if (m.id == IDCANCEL) {
      OnCancel();
      return true;
    }
  }
  return false;
}

CtlColors CDialog::OnCtlColor(int, int) {
  return {};
}

void CDialog::EndDialog(int result) {
  if (window_ != nullptr) window_->EndModal(result);
}

int CDialog::DoModal(IModalHost& host) {
  const int result = host.RunModal(*this);
  DestroyWindow();
  return result;
}

}  // namespace kolvane
