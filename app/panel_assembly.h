// The panel as the programs run it, put together in one place for Linux,
// Windows and the benchmark: this system's services, the panel's state, the
// dialog, the recording entry of its system menu and the observer of the
// port scan. What differs between them (the window's host, the scan's
// diagnostics) stays with each program.
#pragma once

#include <memory>

#include "measure/reading_sink.h"
#include "panel/panel_dlg.h"
#include "panel/panel_state.h"
#include "platform/system.h"

namespace kolvane {

namespace record {
class PanelRecording;
}

class PanelAssembly {
 public:
  struct Options {
    // The recording entry of the system menu; the benchmark records through
    // a sink of its own instead.
    bool recordingEntry = true;
    // Also given every shown result and stop.
    IReadingSink* readingSink = nullptr;
    // Told of every port the scan could not open.
    IScanObserver* scanObserver = nullptr;
  };

  explicit PanelAssembly(Options options, SystemServices services = MakeSystemServices());
  ~PanelAssembly();
  PanelAssembly(const PanelAssembly&) = delete;
  PanelAssembly& operator=(const PanelAssembly&) = delete;

  CPanelDlg& Panel() { return panel_; }
  PanelState& State() { return state_; }
  // Runs the panel modally over host until it closes.
  int Run(IModalHost& host) { return panel_.DoModal(host); }

 private:
  SystemServices services_;
  PanelState state_;
  std::unique_ptr<record::PanelRecording> recording_;
  CPanelDlg panel_;
};

}  // namespace kolvane
