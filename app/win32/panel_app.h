// The application object on Windows: builds the front panel on the
// system's own serial ports, clock, bridge library and registry, and runs
// it as a window of the desktop.
#pragma once

#include "platform/win32/ui/desktop_host.h"

namespace kolvane {

class CPanelApp {
 public:
  // Runs the panel modally and returns false: the program ends when the
  // panel closes.
  bool InitInstance();

  win32::Win32DesktopHost& Host() { return host_; }

 private:
  win32::Win32DesktopHost host_;
};

}  // namespace kolvane
