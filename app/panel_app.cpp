#include "app/panel_app.h"

#include "panel/panel_dlg.h"
#include "panel/panel_state.h"
#include "panel/recording_entry.h"
#include "platform/posix/port_diagnostics.h"
#include "platform/posix/system_clock.h"
#include "platform/posix/system_deps.h"

namespace kolvane {

bool CPanelApp::InitInstance() {
  const auto ports = MakeSerialPorts();
  SystemClock clock;
  const auto bridge = MakeBridgeLibrary();
  const auto registry = MakeRegistry();
  const auto version = MakeSystemVersion();
  PanelState state;
  record::PanelRecording recording;
  CPanelDlg panel(state, PanelDeps{*ports, clock, *bridge, *registry, *version});
  panel.SetRecording(&recording);
  StderrPortDiagnostics diagnostics("kolvane-panel");
  panel.SetScanObserver(&diagnostics);
  panel.DoModal(host_);
  return false;
}

}  // namespace kolvane
