// The application object: builds the front panel on the system's own
// serial ports, clock, bridge library and registry, and runs it.
#pragma once

#include "platform/qt/desktop_host.h"

namespace kolvane {

class CPanelApp {
 public:
  // Runs the panel modally and returns false: the program ends when the
  // panel closes.
  bool InitInstance();

  qt::QtDesktopHost& Host() { return host_; }

 private:
  qt::QtDesktopHost host_;
};

}  // namespace kolvane
