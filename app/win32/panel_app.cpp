#include "app/win32/panel_app.h"

#include "panel/panel_dlg.h"
#include "panel/panel_state.h"
#include "panel/recording_entry.h"
#include "platform/win32/system_clock.h"
#include "platform/win32/system_deps.h"

namespace kolvane {

bool CPanelApp::InitInstance() {
  win32::InitControls();
  const auto ports = MakeSerialPorts();
  SystemClock clock;
  const auto bridge = MakeBridgeLibrary();
  const auto registry = MakeRegistry();
  const auto version = MakeSystemVersion();
  PanelState state;
  record::PanelRecording recording;
  CPanelDlg panel(state, PanelDeps{*ports, clock, *bridge, *registry, *version});
  panel.SetRecording(&recording);
  panel.DoModal(host_);
  return false;
}

}  // namespace kolvane
