// The bridge pulled and put back while the panel polls, on the real port:
// the simulator drops its line, a new one appears under the same name.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <memory>

#include "panel/panel_dlg.h"
#include "platform/posix/posix_serial.h"
#include "platform/posix/system_clock.h"
#include "tests/integration/real_panel.h"
#include "tests/integration/sim_process.h"
#include "tests/support/fake_window.h"
#include "tests/support/panel_harness.h"
#include "tests/support/panel_texts.h"

namespace kolvane::test {
namespace {

// The simulators send 7 results a second: at 10 a second one would fall
// exactly into the readback that follows the handshake's 200 ms pause.
TEST(LinkLossOnTheRealPort, StopDisplayThenConfigAfterReplugBringsReadingsBack) {
  const std::string fifo = "/tmp/kolvane-loss-" + std::to_string(getpid()) + ".fifo";
  auto sim =
      std::make_unique<SimProcess>(std::vector<std::string>{"--control", fifo, "--rate", "7"});
  ASSERT_TRUE(sim->Ready());
  RealPanel p;
  ASSERT_TRUE(p.panel.OnInitDialog());
  ASSERT_TRUE(p.TickUntilReading())
      << p.window.GetText(1053) << "|" << p.window.GetText(1092) << "|" << p.panel.Link().Lost();

  std::ofstream(fifo) << "drop\n";
  ASSERT_TRUE(sim->WaitForLog("DROP"));
  const auto start = std::chrono::steady_clock::now();
  p.TickUntilReading(3);
  const double ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(p.window.GetText(1092), kStopText);
  EXPECT_LT(ms, 1500) << "the dead line is not waited on";
  sim.reset();
  unlink(fifo.c_str());

  // The bridge back under the same name; the instrument measured on.
  SimProcess again({"--running", "--rate", "7"});
  ASSERT_TRUE(again.Ready());
  p.window.Click(1024);
  EXPECT_TRUE(p.TickUntilReading());
  p.panel.DestroyWindow();
  EXPECT_TRUE(again.WaitForLog(" J\\x0D"));
}

}  // namespace
}  // namespace kolvane::test
