#include "app/panel_app.h"

#include <cstdio>
#include <string>

#include "app/panel_assembly.h"
#include "platform/posix/port_diagnostics.h"

namespace kolvane {

namespace {

// Writes a line to stderr for every port the scan could not open.
class StderrPortDiagnostics : public IScanObserver {
 public:
  void OnOpenFailed(int, const std::string& name, std::uint32_t error) override {
    const std::string line = DescribePortOpenFailure(name, error);
    if (!line.empty()) std::fprintf(stderr, "kolvane-panel: %s\n", line.c_str());
  }
};

}  // namespace

bool CPanelApp::InitInstance() {
  StderrPortDiagnostics diagnostics;
  PanelAssembly panel({.scanObserver = &diagnostics});
  panel.Run(host_);
  return false;
}

}  // namespace kolvane
