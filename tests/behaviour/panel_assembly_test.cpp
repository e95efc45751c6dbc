#include "app/panel_assembly.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "panel/recording_entry.h"
#include "tests/support/panel_harness.h"

namespace kolvane::test {
namespace {

struct CountingObserver : IScanObserver {
  void OnOpenFailed(int, const std::string&, std::uint32_t) override { ++openFailures; }
  int openFailures = 0;
};

// The panel as the programs put it together, on test doubles and with no
// instrument: the recording entry and the scan's observer are there as asked.
TEST(PanelAssembly, GivesThePanelItsRecordingEntryAndScanObserverAsAsked) {
  for (const bool entry : {true, false}) {
    SCOPED_TRACE(entry ? "with the recording entry" : "without it");
    auto clock = std::make_unique<VirtualClock>();
    FakeWindow window(*clock);
    auto ports = std::make_unique<ScriptedPorts>(*clock);
    CountingObserver observer;
    PanelAssembly assembly(
        {.recordingEntry = entry, .scanObserver = entry ? &observer : nullptr},
        SystemServices{std::move(ports), std::move(clock), std::make_unique<NoBridge>(),
                       std::make_unique<EmptyRegistry>(), std::make_unique<FixedVersion>()});
    window.Bind(assembly.Panel());
    assembly.Panel().OnInitDialog();

    const bool hasEntry =
        std::any_of(window.systemMenu.begin(), window.systemMenu.end(),
                    [](const auto& e) { return e.first == record::kRecordCommand; });
    EXPECT_EQ(hasEntry, entry);
    EXPECT_EQ(observer.openFailures, entry ? 9 : 0);
    EXPECT_EQ(assembly.State().portFound, 0);
  }
}

}  // namespace
}  // namespace kolvane::test
