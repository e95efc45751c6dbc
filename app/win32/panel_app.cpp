#include "app/win32/panel_app.h"

#include "app/panel_assembly.h"

namespace kolvane {

bool CPanelApp::InitInstance() {
  win32::InitControls();
  PanelAssembly panel(PanelAssembly::Options{});
  panel.Run(host_);
  return false;
}

}  // namespace kolvane
