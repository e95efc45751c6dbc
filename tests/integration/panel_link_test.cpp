// The panel's port scan and closing sequence on the real port and clock,
// against kolvane-sim.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "panel/panel_dlg.h"
#include "platform/posix/posix_serial.h"
#include "platform/posix/system_clock.h"
#include "tests/integration/real_panel.h"
#include "tests/integration/sim_process.h"
#include "tests/support/fake_window.h"
#include "tests/support/panel_harness.h"

namespace kolvane::test {
namespace {

TEST(PanelLink, ScanFindsTheSimulatorAndClosingSendsJ) {
  SimProcess sim({"--serial", "9"}, 2);  // COM1 absent, the instrument on COM2
  ASSERT_TRUE(sim.Ready());
  RealPanel p;

  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(p.panel.ScanPorts(), 1);
  const double ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  EXPECT_NEAR(ms, 300, 60) << "100 ms before the handshake, 200 ms after";
  EXPECT_EQ(p.window.GetText(1119), "   0009");
  EXPECT_EQ(p.window.GetText(1053), "Ошибка COM порта ");
  EXPECT_EQ(p.state.portFound, 1u);
  ASSERT_TRUE(sim.WaitForLog("RX") && sim.WaitForLog(" B\\x0D"));

  p.panel.DestroyWindow();
  ASSERT_TRUE(sim.WaitForLog(" J\\x0D"));
  // The port was closed and its exclusive hold released.
  PosixSerialPorts again;
  const PortHandle h = again.Open("COM2:");
  EXPECT_NE(h, kInvalidPortHandle);
  again.Close(h);
}

TEST(PanelLink, SilentPortIsReportedAndLeftForTheNext) {
  SimProcess sim({"--fault", "silent"}, 1);
  ASSERT_TRUE(sim.Ready());
  RealPanel p;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(p.panel.ScanPorts(), 0);
  const double ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  EXPECT_NEAR(ms, 2100, 90) << "100 ms pause and two reads of 1000 ms";
  // The last port tried, COM9, does not exist.
  EXPECT_EQ(p.window.GetText(1053), "Ошибка COM порта ");
  EXPECT_EQ(p.window.GetText(1119), "        ");
  // The silent port was let go, so it can be opened again.
  PosixSerialPorts again;
  const PortHandle h = again.Open("COM1:");
  EXPECT_NE(h, kInvalidPortHandle);
  again.Close(h);
}

}  // namespace
}  // namespace kolvane::test
