#pragma once

#include "platform/dialog.h"
#include "resources/ids.h"

namespace kolvane {

// The About box: no members and no data exchange; OK and Escape end it.
class CAboutDlg : public CDialog {
 public:
  CAboutDlg() : CDialog(ids::kAboutDialog) {}

 protected:
  bool DispatchMap(const Message&) override { return false; }
};

}  // namespace kolvane
