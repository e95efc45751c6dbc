#include "tests/support/panel_harness.h"

#include <algorithm>

#include "resources/format.h"

namespace kolvane::test {

PanelHarness::PanelHarness() : PanelHarness(bridge, registry, version) {}

PanelHarness::PanelHarness(IBridgeLibrary& bridgeLibrary, IRegistry& reg, ISystemVersion& ver)
    : panel{state, PanelDeps{ports, clock, bridgeLibrary, reg, ver}} {
  window.Bind(panel);
  for (int first : {1001, 1006, 1013, 1016, 1066}) {
    const auto g = RadioGroup(first);
    window.AddRadioGroup(std::vector<int>(g.begin(), g.end()));
  }
  for (int id : {1073, 1095, 1025, 1050}) window.AddCheckBox(id);
}

void PanelHarness::InstrumentOn(int n, std::uint8_t serial) {
  ports.AddPort(Format("COM%d:", n));
  ports.OnWrite([serial](ScriptedPorts& p, const std::vector<std::uint8_t>& frame) {
    if (frame == std::vector<std::uint8_t>{'B', '\r'}) {
      const std::uint8_t reply[] = {'N', serial};
      p.Reply(reply);
    }
  });
}

bool PanelHarness::Init() {
  return panel.OnInitDialog();
}

void PanelHarness::RunFor(std::uint64_t ms) {
  const std::uint64_t end = clock.now + ms;
  for (;;) {
    auto next =
        std::min_element(window.timers.begin(), window.timers.end(),
                         [](const auto& a, const auto& b) { return a.second.due < b.second.due; });
    if (next == window.timers.end() || next->second.due > end) break;
    clock.AdvanceTo(next->second.due);
    next->second.due = clock.now + next->second.period;
    window.Send({WM_TIMER, static_cast<int>(next->first), 0, 0});
  }
  clock.AdvanceTo(end);
}

void PanelHarness::Tick() {
  window.Send({WM_TIMER, 1, 0, 0});
}

std::vector<std::string> PanelHarness::TakeFrames() {
  std::vector<std::string> out;
  for (std::size_t i = framesTaken_; i < ports.writes.size(); ++i) {
    out.push_back(ports.writes[i].Text());
  }
  framesTaken_ = ports.writes.size();
  return out;
}

}  // namespace kolvane::test
