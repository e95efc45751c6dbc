// Placeholder until bridge discovery is built: no bridge known.
#include "panel/panel_dlg.h"

namespace kolvane {

int CPanelDlg::DiscoverBridgePort() {
  return -1;
}

}  // namespace kolvane
