// The panel under test: a CPanelDlg on a fake window, a scripted port and a
// virtual clock, with no bridge attached.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "panel/model/no_bridge.h"
#include "panel/panel_dlg.h"
#include "tests/support/fake_window.h"
#include "tests/support/scripted_port.h"
#include "tests/support/virtual_clock.h"

namespace kolvane::test {

class FixedVersion : public ISystemVersion {
 public:
  std::uint32_t GetVersion() override { return version; }
  std::uint32_t version = 0x0A00000A;  // NT 10.0
};

struct PanelHarness {
  PanelHarness();
  // The same panel on another bridge library, registry and system version.
  PanelHarness(IBridgeLibrary& bridgeLibrary, IRegistry& reg, ISystemVersion& ver);

  // Declares COMn as the instrument's port (the others do not exist) and
  // has it answer the handshake with "N" and the serial byte.
  void InstrumentOn(int n, std::uint8_t serial = 5);
  // Runs OnInitDialog; returns its result.
  bool Init();
  // Lets virtual time pass, firing timer ticks as they fall due.
  void RunFor(std::uint64_t ms);
  // Fires the poll timer once, now.
  void Tick();
  // Frames written since the last call (or since the start).
  std::vector<std::string> TakeFrames();
  std::string Message() const { return window.GetText(1053); }

  VirtualClock clock;
  ScriptedPorts ports{clock};
  NoBridge bridge;
  EmptyRegistry registry;
  FixedVersion version;
  PanelState state;
  FakeWindow window{clock};
  CPanelDlg panel{state, PanelDeps{ports, clock, bridge, registry, version}};

 private:
  std::size_t framesTaken_ = 0;
};

}  // namespace kolvane::test
