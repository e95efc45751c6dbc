#include <gtest/gtest.h>

#include "tests/support/panel_harness.h"

namespace kolvane::test {
namespace {

TEST(Startup, OpensOnInstrumentAndStartsTimer) {
  PanelHarness h;
  h.InstrumentOn(3, 5);
  EXPECT_TRUE(h.Init());
  EXPECT_EQ(h.window.GetText(1119), "   0005");
  EXPECT_EQ(h.window.timers.count(1), 1u);
  EXPECT_EQ(h.state.configRequested, 1u);
}

}  // namespace
}  // namespace kolvane::test
