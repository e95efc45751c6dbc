// A bridge pulled while the panel runs, put back, and the handshake's serial
// byte arriving late or not at all.
#include <gtest/gtest.h>

#include "tests/support/panel_harness.h"
#include "tests/support/panel_texts.h"

namespace kolvane::test {
namespace {

const std::string kReading = " 12.34 kHz" + std::string(17, ' ');
const std::string kNoState =
    "Неверно получено состояние панели, нажмите кнопку <Конфигурация>." + std::string(4, ' ');

// An instrument on COM1 in frequency mode, gate 0.1 s, past its readback.
struct Live : PanelHarness {
  Live() {
    ports.AddPort("COM1:");
    ports.OnWrite([](ScriptedPorts& p, const std::vector<std::uint8_t>& f) {
      if (f == std::vector<std::uint8_t>{'B', '\r'}) p.Reply(std::string("N\x05"));
      if (f == std::vector<std::uint8_t>{'D', '1', '\r'}) {
        const std::uint8_t state[] = {'C', 0, 1, 2, 0, 1, 0, 0, 0, 1, 1, 0, 1, 64, 127, 0};
        p.Reply(state);
      }
    });
    Init();
    Tick();
  }
  void Result() {
    const std::uint8_t result[] = {'G', 0, 0, 0x04, 0xD2};
    ports.Reply(result);
  }
  std::string Display() const { return window.GetText(1092); }
};

TEST(LinkLoss, UnplugShowsTheStoppedDisplayOnceAndStopsPolling) {
  Live p;
  p.Result();
  p.Tick();
  ASSERT_EQ(p.Display(), kReading);

  p.ports.Unplug("COM1:");
  const std::uint64_t before = p.clock.now;
  p.Tick();
  EXPECT_EQ(p.clock.now, before) << "a dead port answers at once";
  EXPECT_EQ(p.Display(), kStopText);
  EXPECT_EQ(p.Message(), kInterrupted);

  // Idle from now on: no read reaches the port, the display is not redone.
  p.window.SetText(1053, "later");
  const std::size_t reads = p.ports.reads.size();
  p.RunFor(2000);
  EXPECT_EQ(p.ports.reads.size(), reads);
  EXPECT_EQ(p.Message(), "later");
}

TEST(LinkLoss, ConfigAfterReplugReopensThePortAndReadingsResume) {
  Live p;
  p.ports.Unplug("COM1:");
  p.Tick();
  p.ports.Replug("COM1:");
  p.TakeFrames();

  p.window.Click(1024);
  EXPECT_EQ(p.ports.opened, (std::vector<std::string>{"COM1:", "COM1:"}));
  EXPECT_EQ(p.ports.timeouts["COM1:"], (CommTimeouts{100, 0, 1000, 0, 800}));
  p.Tick();
  EXPECT_EQ(p.TakeFrames(), (std::vector<std::string>{"D1\r"})) << "no handshake on reopening";
  p.Result();
  p.Tick();
  EXPECT_EQ(p.Display(), kReading);
  EXPECT_EQ(p.Message(), std::string(15, ' '));

  // A second pull is reported again.
  p.ports.Unplug("COM1:");
  p.Tick();
  EXPECT_EQ(p.Display(), kStopText);
}

TEST(LinkLoss, ConfigWhileStillUnpluggedShowsTheReadbackFailure) {
  Live p;
  p.ports.Unplug("COM1:");
  p.Tick();
  const std::uint64_t before = p.clock.now;
  p.window.Click(1024);
  p.Tick();
  EXPECT_EQ(p.Message(), kNoState);
  EXPECT_LT(p.clock.now - before, 100u);
}

TEST(LinkLoss, ClosingAfterUnplugStillClosesThePort) {
  Live p;
  p.ports.Unplug("COM1:");
  p.Tick();
  const std::uint64_t before = p.clock.now;
  p.panel.DestroyWindow();
  EXPECT_EQ(p.clock.now - before, 100u);
  EXPECT_EQ(p.ports.closed, (std::vector<std::string>{"COM1:"}));
}

struct SerialCase {
  const char* name;
  std::uint64_t serialDelayMs;  // 0: never sent
  std::string serialText;
};

class HandshakeSerial : public ::testing::TestWithParam<SerialCase> {};

TEST_P(HandshakeSerial, IsCompletedOrLeftEmpty) {
  const SerialCase& c = GetParam();
  PanelHarness h;
  h.ports.AddPort("COM1:");
  h.ports.OnWrite([&](ScriptedPorts& p, const std::vector<std::uint8_t>& f) {
    if (f != std::vector<std::uint8_t>{'B', '\r'}) return;
    p.Reply(std::string("N"));
    if (c.serialDelayMs != 0) p.Reply(std::string("\x07"), c.serialDelayMs);
  });
  h.state.rxBuffer[1] = 9;  // a stale byte that is no serial number
  EXPECT_TRUE(h.Init());
  EXPECT_EQ(h.window.GetText(1119), c.serialText);
  EXPECT_EQ(h.state.portFound, 1u);
}

INSTANTIATE_TEST_SUITE_P(Replies, HandshakeSerial,
                         ::testing::Values(SerialCase{"AfterAPause", 300, "   0007"},
                                           SerialCase{"Never", 0, "        "}),
                         [](const auto& i) { return std::string(i.param.name); });

}  // namespace
}  // namespace kolvane::test
