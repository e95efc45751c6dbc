// The panel on the real termios port and clock, with a fake window whose
// timers only fire when a test sends the tick.
#pragma once

#include <string>

#include "panel/panel_dlg.h"
#include "platform/posix/posix_serial.h"
#include "platform/posix/system_clock.h"
#include "tests/support/fake_window.h"
#include "tests/support/panel_harness.h"

namespace kolvane::test {

struct RealPanel {
  RealPanel() { window.Bind(panel); }
  void Tick() { window.Send({WM_TIMER, 1, 0, 0}); }
  // Ticks until the display shows a kHz reading, at most `ticks` times.
  bool TickUntilReading(int ticks = 20) {
    for (int i = 0; i < ticks; ++i) {
      Tick();
      if (window.GetText(1092).find("kHz") != std::string::npos) return true;
    }
    return false;
  }

  VirtualClock timerClock;  // drives only the fake window's timers
  PosixSerialPorts ports;
  SystemClock clock;
  NoBridge bridge;
  EmptyRegistry registry;
  FixedVersion version;
  PanelState state;
  FakeWindow window{timerClock};
  CPanelDlg panel{state, PanelDeps{ports, clock, bridge, registry, version}};
};

}  // namespace kolvane::test
